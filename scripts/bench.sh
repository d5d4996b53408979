#!/usr/bin/env bash
# Builds and runs the benchmarks of the pure code (native, optimised): speed of the base64
# codec, the card text cutter and the packet builder, and the codec's allocations per call.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
dpkg -s libbenchmark-dev >/dev/null 2>&1 || apt-get install -y --no-install-recommends libbenchmark-dev >/dev/null
build="${QX_BUILD_DIR:-$top/build}/bench"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target bench_pure
"$build/bin/bench_pure" "$@"
