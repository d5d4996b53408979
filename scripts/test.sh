#!/usr/bin/env bash
# Runs every test of both builds: sets up what is missing (packages, third-party libraries,
# Wine prefix, display), builds, runs CTest on the native and the win32 build, and prints
# one summary line. Exit code 0 only when everything passed.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
build="${QX_BUILD_DIR:-$top/build}"
jobs=$(nproc)

bash scripts/deps.sh || { echo "dependency set-up failed"; exit 1; }

cmake -S . -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null || exit 1
cmake --build "$build/native" -j "$jobs" || exit 1
cmake -S . -B "$build/win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build "$build/win32" -j "$jobs" || exit 1

prefix="$build/win32/wineprefix"
cleanup() {
  ( source scripts/wine-env.sh
    export WINEPREFIX="$prefix"
    wineserver -k 2>/dev/null || true )
  if [[ -f "$prefix.display" ]]; then
    read -r _ xpid < "$prefix.display" || true
    [[ -n "${xpid:-}" ]] && kill "$xpid" 2>/dev/null || true
    rm -f "$prefix.display"
  fi
}
[[ -n "${QX_KEEP_WINE:-}" ]] || trap cleanup EXIT

# Set the prefix and the display up once, before tests start in parallel.
( source scripts/wine-env.sh && qx_wine_setup "$prefix" ) || { echo "Wine set-up failed"; exit 1; }

pass=0 fail=0
run_ctest() { # dir
  local out rc
  out=$(mktemp)
  ctest --test-dir "$1" --output-on-failure -j "$jobs" 2>&1 | tee "$out"
  rc=${PIPESTATUS[0]}
  local p f
  p=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2 \1/p' "$out" | tail -n1)
  if [[ -n "$p" ]]; then
    read -r total f <<< "$p"
    pass=$((pass + total - f)); fail=$((fail + f))
  elif ((rc)); then
    fail=$((fail + 1))
  fi
  rm -f "$out"
  return "$rc"
}

rc=0
run_ctest "$build/native" || rc=1
run_ctest "$build/win32" || rc=1
echo
echo "ctest: $pass passed, $fail failed"
exit "$rc"
