#!/usr/bin/env bash
# Runs each libFuzzer target for a while (native clang build with ASan and UBSan):
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
# QX_FUZZ_TARGETS="fuzz_gbk fuzz_base64" runs only those targets.
# QX_FUZZ_PARALLEL=1 runs the targets side by side, one core each, instead of one after another.
# The corpora stay in the build folder; fuzz/seeds/<target> starts each one.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
seconds=${1:-60}
command -v clang++ >/dev/null || apt-get install -y --no-install-recommends clang >/dev/null
build="${QX_BUILD_DIR:-$top/build}/fuzz"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX_FUZZ=ON >/dev/null
rm -rf "$build/findings"
targets=(fuzz_base64 fuzz_card_text fuzz_gbk fuzz_scenario fuzz_data_link fuzz_jet_sql fuzz_biff_cells)
[ -n "${QX_FUZZ_TARGETS:-}" ] && read -r -a targets <<< "$QX_FUZZ_TARGETS"
cmake --build "$build" --target "${targets[@]}"
run() {
  local t=$1 corpus="$build/corpus/$1"
  mkdir -p "$corpus" "$build/findings/$t"
  [ -d "fuzz/seeds/$t" ] && cp -n fuzz/seeds/"$t"/* "$corpus"/ 2>/dev/null || true
  # Findings (crash-*, leak-*, timeout-*) land in the findings folder; the run's last lines
  # give the executions.
  "$build/bin/$t" -max_total_time="$seconds" -max_len=4096 -artifact_prefix="$build/findings/$t/" \
    "$corpus" >"$build/$t.log" 2>&1 && status=ok || status="FINDING (exit $?)"
  echo "== $t: $status"
  grep -E '^(Done|#[0-9]+ +DONE)' "$build/$t.log" | tail -n 2 || true
  ls "$build/findings/$t" | sed 's/^/   finding: /'
}
if [ "${QX_FUZZ_PARALLEL:-0}" = 1 ]; then
  for t in "${targets[@]}"; do run "$t" >"$build/$t.summary" & done
  wait
  for t in "${targets[@]}"; do cat "$build/$t.summary"; done
else
  for t in "${targets[@]}"; do run "$t"; done
fi
! ls "$build"/findings/*/* >/dev/null 2>&1
