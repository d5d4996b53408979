#!/usr/bin/env bash
# The built verification desk under Wine, on the reader simulator holding a sample card.
#   scripts/kestrin-desk.sh run [BUILD_DIR]
#       starts Kestrin from BUILD_DIR/bin as the build laid it out (templates, the log store
#       TLog.db with DBLink.udl, reader.ini) with a private spooler as its default printer, for
#       a person to use; prints go to BUILD_DIR/desk-spooler/out as PDF files. The window goes
#       to $DISPLAY, or to the Wine prefix's private Xvfb when none is set. Returns when the
#       desk is closed; the spooler is stopped then.
#   scripts/kestrin-desk.sh screenshot [BUILD_DIR] [OUT.png]
#       starts a copy of the laid-out desk (so the build's store stays empty) on the prefix's
#       Xvfb, verifies the card through the menu command, writes the root window to OUT.png
#       (default BUILD_DIR/kestrin-screenshot.png) and closes the desk.
# BUILD_DIR (default build/win32 where this host runs 32-bit code, else build/win64) must
# already be built; nothing is built here. The Wine prefix is BUILD_DIR/wineprefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"
mode=${1:-}
[[ $mode == run || $mode == screenshot ]] || { echo "usage: kestrin-desk.sh run|screenshot [BUILD_DIR] [OUT.png]" >&2; exit 2; }
build=$(cd "${2:-$root/build/$(qx_host_win_build)}" && pwd)
arch=win32
[[ -f "$build/CMakeCache.txt" ]] && grep -q '^CMAKE_TOOLCHAIN_FILE.*x86_64' "$build/CMakeCache.txt" && arch=win64
bin=$build/bin
desk_files=(Kestrin.exe sdtapi.dll WltRS.dll show.bmp bkF.bmp bkB.bmp da.bmp TLog.db DBLink.udl reader.ini)
needed=("${desk_files[@]}")
[[ $mode == screenshot ]] && needed+=(kestrin_drive.exe)
for f in "${needed[@]}"; do
  [[ -f $bin/$f ]] || { echo "kestrin-desk: $bin/$f is missing (build first)" >&2; exit 1; }
done

work=$(mktemp -d)
spool=$build/desk-spooler
# The spooler script reads CUPS's messages: keep them in English whatever Wine's locale.
spooler() { LANG=C LC_ALL=C bash "$root/scripts/spooler.sh" "$1" "$spool"; }
cleanup() {
  [[ -n ${desk_pid:-} ]] && kill "$desk_pid" 2>/dev/null || true
  [[ $mode == run ]] && spooler stop || true
  rm -rf "$work"
}
trap cleanup EXIT

# The shipped reader.ini names a USB reader, which the simulator answers on port 1001.
scenario=$root/scripts/sample-card.ini

if [[ $mode == run ]]; then
  [[ -n ${DISPLAY:-} ]] || echo "kestrin-desk: no DISPLAY set; the desk shows on the prefix's private Xvfb"
  qx_wine_setup "$build/wineprefix" "$arch"
  echo "kestrin-desk: display $DISPLAY"
  spooler start
  export "$(spooler env)"
  echo "kestrin-desk: prints go to $spool/out"
  export QX_READER_SCENARIO=$(winepath -w "$scenario") QX_READER_JOURNAL=$(winepath -w "$work/journal.txt")
  (cd "$bin" && wine "$bin/Kestrin.exe")
  exit 0
fi

out=${3:-$build/kestrin-screenshot.png}
if ! command -v import >/dev/null; then
  apt-get install -y --no-install-recommends imagemagick >/dev/null
fi
# The prefix's own Xvfb, so that the prefix's Wine desktop always has a live display.
unset DISPLAY
qx_wine_setup "$build/wineprefix" "$arch"
mkdir "$work/desk"
for f in "${desk_files[@]}"; do cp "$bin/$f" "$work/desk/"; done
export QX_READER_SCENARIO=$(winepath -w "$scenario") QX_READER_JOURNAL=$(winepath -w "$work/journal.txt")
(cd "$work/desk" && exec wine "$work/desk/Kestrin.exe") &
desk_pid=$!
wine "$bin/kestrin_drive.exe" verify
import -window root "$out"
wine "$bin/kestrin_drive.exe" end
wait "$desk_pid" || true
desk_pid=
echo "$out"
