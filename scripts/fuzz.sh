#!/usr/bin/env bash
# Runs each libFuzzer target for a while (native clang build with ASan and UBSan):
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
seconds=${1:-60}
command -v clang++ >/dev/null || apt-get install -y --no-install-recommends clang >/dev/null
build="${QX_BUILD_DIR:-$top/build}/fuzz"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX_FUZZ=ON >/dev/null
targets=(fuzz_base64 fuzz_card_text fuzz_gbk fuzz_scenario)
cmake --build "$build" --target "${targets[@]}"
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  mkdir -p "$corpus"
  echo "== $t"
  "$build/bin/$t" -max_total_time="$seconds" -max_len=4096 "$corpus" 2>&1 | tail -n 3
done
