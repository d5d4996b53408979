#!/usr/bin/env bash
# Screenshot of Morvid showing a sample card, to check its fonts and layout by eye.
#   scripts/morvid-screenshot.sh [BUILD_DIR] [OUT.png]
# BUILD_DIR (default build/win32 where this host runs 32-bit code, else build/win64) must already hold bin/Morvid.exe, bin/termb.dll and
# bin/morvid_drive.exe; nothing is built here. The window is shown on a private Xvfb, a card
# is read (and its latest address and chip number), the root window is written to OUT.png
# (default BUILD_DIR/morvid-screenshot.png) and Morvid is ended with its exit button.
# The display is the Wine prefix's private Xvfb (BUILD_DIR/wineprefix, 1280 x 1024).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"
build=$(cd "${1:-$root/build/$(qx_host_win_build)}" && pwd)
arch=win32
[[ -f "$build/CMakeCache.txt" ]] && grep -q '^CMAKE_TOOLCHAIN_FILE.*x86_64' "$build/CMakeCache.txt" && arch=win64
out=${2:-$build/morvid-screenshot.png}
bin=$build/bin
for f in Morvid.exe termb.dll morvid_drive.exe; do
  [[ -f $bin/$f ]] || { echo "morvid-screenshot: $bin/$f is missing (build first)" >&2; exit 1; }
done
if ! command -v import >/dev/null; then
  apt-get install -y --no-install-recommends imagemagick >/dev/null
fi

# The prefix's own Xvfb (started by wine-env.sh when needed, kept like the tests' one), so
# that the prefix's Wine desktop always has a live display.
unset DISPLAY
qx_wine_setup "$build/wineprefix" "$arch"
work=$(mktemp -d)
cleanup() {
  [[ -n ${morvid_pid:-} ]] && kill "$morvid_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export QX_READER_SCENARIO=$(winepath -w "$root/scripts/sample-card.ini") QX_READER_JOURNAL=$(winepath -w "$work/journal.txt")

# Morvid reads its latest address and chip number from its current folder.
(cd "$work" && exec wine "$bin/Morvid.exe") &
morvid_pid=$!
wine "$bin/morvid_drive.exe" read newadd chip
import -window root "$out"
wine "$bin/morvid_drive.exe" end
wait "$morvid_pid" || true
morvid_pid=
echo "$out"
