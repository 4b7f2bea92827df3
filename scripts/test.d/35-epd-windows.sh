#!/usr/bin/env bash
# The main job with the Windows build: epd.exe exports the sample host under Wine into a folder
# with a Cyrillic name, and the result equals the Linux build's export of the same host.
set -euo pipefail
cd "$(dirname "$0")/../.."
work=$(mktemp -d /tmp/epd-winsample.XXXXXX)
trap 'rm -rf "$work"' EXIT
export WINE_KEEP_PREFIX="$work/prefix"
mkdir -p "$WINE_KEEP_PREFIX"
native=build/linux/tools/epd/epd
win() { bash scripts/wine-run.sh build/win64/tools/epd/epd.exe "$@"; }

version=$(sed -n 's/^project(export_epd VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$(win --version | tr -d '\r')" = "epd $version" ] || { echo "epd.exe --version does not print $version"; exit 1; }

for side in windows linux; do
  cp -r examples/host "$work/host-$side"
  mkdir "$work/Экспорт-$side"
done
win settings --base "Z:$work/host-windows" set EPD Export_Dir "Z:$work/Экспорт-windows" >/dev/null
win suppliers --base "Z:$work/host-windows" add 102 >/dev/null
out=$(win export-new --base "Z:$work/host-windows" --replace no)
echo "windows: $out"
grep -q "3 invoice(s) waiting: 3 exported, 0 kept as exported before, 0 failed" <<<"$out"

"$native" settings --base "$work/host-linux" set EPD Export_Dir "$work/Экспорт-linux" >/dev/null
"$native" suppliers --base "$work/host-linux" add 102 >/dev/null
"$native" export-new --base "$work/host-linux" --replace no >/dev/null

rows() { "$native" dbf "$1" --rows | tail -n +2; }  # without the line naming the file
for table in cat_epd.dbf body_epd.dbf; do
  diff <(rows "$work/Экспорт-windows/$table") <(rows "$work/Экспорт-linux/$table")
done
diff <(rows "$work/host-windows/ORDERS/EPD/cat_epd.dbf") <(rows "$work/host-linux/ORDERS/EPD/cat_epd.dbf")
# The CSV of a table is the same bytes on both systems (no "\n" turned into "\r\n" on Windows);
# the columns are ones the regional format does not touch (the prefix's is English).
csv=(--csv --columns IDMSG,ITEMID,LOCALCOD)
cmp <(win dbf "Z:$work/Экспорт-windows/body_epd.dbf" "${csv[@]}") <("$native" dbf "$work/Экспорт-linux/body_epd.dbf" "${csv[@]}")
# epd.exe doctor finds the exported host in order, and a spoilt one not.
report=$(win doctor --base "Z:$work/host-windows" | tr -d '\r') || { echo "$report"; exit 1; }
grep -q "^0 problems, 0 warnings: an export would work.$" <<<"$report" || { echo "$report"; exit 1; }
rm -r "$work/Экспорт-windows"
if report=$(win doctor --base "Z:$work/host-windows" | tr -d '\r'); then echo "$report"; exit 1; fi
grep -q "PROBLEM  Z:.*Экспорт-windows does not exist" <<<"$report" || { echo "$report"; exit 1; }
echo "the Windows build exports the sample host as the Linux build does, writes the same CSV, and epd.exe doctor checks the set-up"
