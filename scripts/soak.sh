#!/usr/bin/env bash
# Soak runs under Wine (not part of the test suite): Cardpost's read path for POLLS polls and
# Kestrin's automatic verification for TICKS ticks (10000 each by default), each driven by its
# timer's message so that no time passes between rounds, with the process's handles, GDI and
# USER objects and private bytes at checkpoints and every round that raised an object count to
# a new high. Exit code 0 only when neither program grew from its settle point (its warm-up,
# 200 polls or 2000 ticks, or a third of the run if later) to the end.
#   scripts/soak.sh [POLLS [TICKS]]
# The Windows build used is win32 where the host executes 32-bit code, else win64
# (QX_SOAK_BUILD names one).
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
polls=${1:-10000}
ticks=${2:-10000}
build="${QX_BUILD_DIR:-$top/build}"

bash scripts/deps.sh || { echo "dependency set-up failed"; exit 1; }
source scripts/wine-env.sh
b=${QX_SOAK_BUILD:-}
[[ -n "$b" ]] || { qx_host_runs_win32 && b=win32 || b=win64; }
qx_configure_win "$build/$b" "$b" || exit 1
cmake --build "$build/$b" --target soak_cardpost soak_kestrin || exit 1

run() { bash scripts/wine-run.sh --prefix "$build/$b/wineprefix" --arch "$b" "$@"; }
rc=0
echo "== Cardpost ($b)"
run "$build/$b/bin/soak_cardpost.exe" "$polls" || rc=1
echo "== Kestrin ($b)"
run "$build/$b/bin/soak_kestrin.exe" "$ticks" || rc=1
exit "$rc"
