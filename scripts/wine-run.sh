#!/usr/bin/env bash
# Runs a Windows program under Wine: wine-run.sh [--prefix DIR] [--arch win32|win64] PROGRAM.exe [ARGS...]
# CTest uses it as the emulator of the Windows builds; the exit code is the program's.
set -eo pipefail
prefix="${QX_WINEPREFIX:-}"
if [[ "${1:-}" == "--prefix" ]]; then
  [[ -n "$prefix" ]] || prefix=$2
  shift 2
fi
arch=win32
if [[ "${1:-}" == "--arch" ]]; then
  arch=$2
  shift 2
fi
[[ -n "$prefix" ]] || prefix="$(cd "$(dirname "$0")/.." && pwd)/build/wineprefix"
source "$(dirname "$0")/wine-env.sh"
qx_wine_setup "$prefix" "$arch"
# The output goes through a file: a Wine service that a program happens to start inherits
# its output handles and may outlive it, and CTest would wait on a pipe held that way.
out=$(mktemp)
rc=0
wine "$@" </dev/null >"$out" 2>&1 || rc=$?
cat "$out"
rm -f "$out"
exit "$rc"
