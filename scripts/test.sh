#!/usr/bin/env bash
# Runs every test: sets up what is missing (packages, third-party libraries, Wine prefixes,
# display), builds, runs CTest on the native build and on each Windows build this host can
# execute, and prints one summary line. Exit code 0 only when everything passed.
#   win32 (i686, the shipped build): where the host executes 32-bit code;
#   win64 (x86_64): always.
# QX_WIN_BUILDS (for example "win64") restricts the Windows builds to those named.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
build="${QX_BUILD_DIR:-$top/build}"
jobs=$(nproc)

bash scripts/deps.sh || { echo "dependency set-up failed"; exit 1; }
source scripts/wine-env.sh

wanted="${QX_WIN_BUILDS:-win32 win64}"
builds=()
for b in win32 win64; do
  if [[ " $wanted " != *" $b "* ]]; then
    echo "[test] $b: left out (QX_WIN_BUILDS=$wanted)"
  elif [[ "$b" == win32 ]] && ! qx_host_runs_win32; then
    echo "[test] win32: left out (this host does not execute 32-bit x86 code)"
  else
    builds+=("$b")
  fi
done
echo "[test] builds: native ${builds[*]}"

cmake -S . -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null || exit 1
cmake --build "$build/native" -j "$jobs" || exit 1
for b in "${builds[@]}"; do
  qx_configure_win "$build/$b" "$b" || exit 1
  cmake --build "$build/$b" -j "$jobs" || exit 1
done

cleanup() {
  local b prefix
  for b in "${builds[@]}"; do
    prefix="$build/$b/wineprefix"
    ( export WINEPREFIX="$prefix"
      [[ "$b" == win64 ]] && qx_use_wine64 "$prefix.bin"
      wineserver -k 2>/dev/null || true )
    if [[ -f "$prefix.display" ]]; then
      read -r _ xpid < "$prefix.display" || true
      [[ -n "${xpid:-}" ]] && kill "$xpid" 2>/dev/null || true
      rm -f "$prefix.display"
    fi
  done
}
[[ -n "${QX_KEEP_WINE:-}" ]] || trap cleanup EXIT

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
for b in "${builds[@]}"; do
  # Set the prefix and the display up once, before tests start in parallel.
  ( qx_wine_setup "$build/$b/wineprefix" "$b" ) || { echo "Wine set-up failed ($b)"; rc=1; fail=$((fail + 1)); continue; }
  run_ctest "$build/$b" || rc=1
done
echo
echo "[test] ran: native ${builds[*]}"
echo "ctest: $pass passed, $fail failed"
exit "$rc"
