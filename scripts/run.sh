#!/usr/bin/env bash
# The main job: two cards' road through Cardpost. Cardpost starts hidden under Wine with the
# reader simulator holding two sample cards; the console simulator performs the handshake,
# receives the first card in its new-member window, then closes that window so that the
# second card goes to its virtual reader (with the verification code), receives the ready
# packet and closes Cardpost. Shows what the console received, the head photos written,
# the reader journal and Cardpost's log lines.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
build="${QX_BUILD_DIR:-$top/build}"

bash scripts/deps.sh
source scripts/wine-env.sh
# The shipped i686 build where this host runs 32-bit code, else the x64 one.
win=$(qx_host_win_build)
echo "== Windows build: $win"
qx_configure_win "$build/$win" "$win"
cmake --build "$build/$win" -j "$(nproc)" --target Cardpost Encode sdtapi WltRS QuorixConsoleSim

bin="$build/$win/bin"
demo="$top/out/demo"
rm -rf "$demo"
mkdir -p "$demo/Cardpost" "$demo/Console/Logs" "$demo/Console/Photos/TempUser"
cp "$bin/Cardpost.exe" "$bin/Encode.dll" "$bin/sdtapi.dll" "$bin/WltRS.dll" "$demo/Cardpost/"
cat > "$demo/Cardpost/reader-scenario.ini" <<'INI'
[reader]
ports = 1001
samid = 05.01-20101217-0000001234-2305843009
present = 2

[card]
name = 张三丰
sex = 1
nation = 01
birth = 19800101
address = 北京市东城区景山前街4号
id = 110101198001010011
authority = 北京市公安局东城分局
valid_start = 20060101
valid_end = 20260101

[card]
name = 欧阳娜娜
sex = 2
nation = 03
birth = 19920315
address = 宁夏回族自治区银川市兴庆区解放东街18号
id = 640104199203150028
authority = 银川市公安局兴庆区分局
valid_start = 20120315
valid_end = 长期
INI
: > "$demo/Cardpost/reader-journal.txt"

prefix="$build/$win/wineprefix"
qx_wine_setup "$prefix" "$win"
winpath() { winepath -w "$1" 2>/dev/null; }

wine reg add 'HKLM\Software\Drelmoor\QuorixConsole' /v ExePath /t REG_SZ \
  /d "$(winpath "$demo/Console")\\Main.exe" /f >/dev/null 2>&1

echo "== Cardpost starts hidden and waits for the console"
(cd "$demo/Cardpost" && wine Cardpost.exe >/dev/null 2>&1) &
cardpost=$!

echo "== Console simulator: handshake, cards, ready packet"
wine "$bin/QuorixConsoleSim.exe" --windows CheckCard,NewMember,VirtualReader \
  --record "$(winpath "$demo/received.txt")" --wait-bridge 15000 --query \
  --handshake 0802 --timeout 20000 --expect 1 --destroy NewMember --expect 3 \
  --query --close --wait-gone 15000 || true
wait "$cardpost" 2>/dev/null || true
wine reg delete 'HKLM\Software\Drelmoor\QuorixConsole' /f >/dev/null 2>&1 || true

echo
echo "== Head photos"
for f in "$demo"/Console/Photos/TempUser/*; do
  [[ -e "$f" ]] || { echo "(none)"; break; }
  if command -v identify >/dev/null; then identify "$f"; else ls -l "$f"; fi
done
echo
echo "== Reader simulator journal"
cat "$demo/Cardpost/reader-journal.txt"
echo
echo "== Cardpost log"
for f in "$demo"/Console/Logs/*/*.log; do
  [[ -e "$f" ]] || { echo "(none)"; break; }
  echo "-- $f"
  iconv -f GBK -t UTF-8 "$f" | tr -d '\r'
done
