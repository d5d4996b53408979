#!/usr/bin/env bash
# The log store at the size of years of use: builds bench_store (win64 build, or the build named
# by QX_BENCH_ARCH), lays stores of 100 and of ROWS rows with photos (default 100000, about
# 4 GB; kept between runs under build/bench-store), and reports, with the same store and SQL:
#   - record query "全部" to the first rows painted, and private bytes, at 100 and at ROWS rows;
#   - a like and date-range query through the data layer against the sqlite3 shell (a ratio);
#   - the export of all rows against writing the same bytes raw (a ratio, and cells per second);
#   - a walk forward over ROWS rows without photos, every text read, with none deleted and with
#     every 50th deleted by another program after the open: statements run and time.
# A benchmark, not a test: figures depend on the machine and its load.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
rows=${1:-100000}
arch=${QX_BENCH_ARCH:-win64}
source scripts/wine-env.sh
command -v sqlite3 >/dev/null || apt-get install -y --no-install-recommends sqlite3 >/dev/null
build="${QX_BUILD_DIR:-$top/build}/$arch"
qx_configure_win "$build" "$arch"
cmake --build "$build" --target bench_store >/dev/null
work="${QX_BUILD_DIR:-$top/build}/bench-store"
mkdir -p "$work/small" "$work/big"
run() { LANG=zh_CN.UTF-8 "$top/scripts/wine-run.sh" --prefix "$build/wineprefix" --arch "$arch" "$build/bin/bench_store.exe" "$@" | tr -d '\r'; }
win() { echo "Z:${1//\//\\}"; }
value() { sed -n "s/^$1 \([0-9.]*\).*/\1/p" <<<"$2"; }

run lay "$(win "$work/small")" 100
run lay "$(win "$work/big")" "$rows"

echo "== record query \"全部\", first rows painted"
small=$(run first "$(win "$work/small")")
big=$(run first "$(win "$work/big")")
printf '%-28s %12s %12s\n' "" "100 rows" "$rows rows"
for k in first_rows private_before private_after private_after_last; do
  printf '%-28s %12s %12s\n' "$k" "$(value $k "$small")" "$(value $k "$big")"
done

echo "== like + date range: data layer against the sqlite3 shell"
layer=$(run query "$(win "$work/big")" "$(win "$work/query.sql")")
echo "$layer"
sqlite3 "$work/big/TLog.db" <"$work/query.sql" >/dev/null  # warm
best=
for i in 1 2 3; do
  s=$(date +%s%N)
  sqlite3 "$work/big/TLog.db" <"$work/query.sql" >/dev/null
  t=$(( ($(date +%s%N) - s) / 1000 ))
  [[ -z "$best" || $t -lt $best ]] && best=$t
done
shell_ms=$(awk -v t="$best" 'BEGIN { printf "%.1f", t / 1000 }')
echo "query_shell $shell_ms ms"
awk -v a="$(value query_layer "$layer")" -v b="$shell_ms" 'BEGIN { printf "query_ratio %.2f (target 1.2)\n", a / b }'

echo "== export of all rows"
ex=$(run export "$(win "$work/big")")
echo "$ex"
awk -v a="$(value export_time "$ex")" -v b="$(value raw_write_64k "$ex")" -v c="$(value raw_write_one "$ex")" \
  'BEGIN { printf "export_ratio %.2f against the bytes written raw in 64 KB pieces, %.2f against one write (target 2)\n", a / b, a / c }'

echo "== walk forward: none deleted, and every 50th row deleted elsewhere after the open"
mkdir -p "$work/walk"
run walk "$(win "$work/walk")" "$rows"
