#!/usr/bin/env bash
# The main job on the sample host: installs what is needed, builds the epd tool, copies the
# sample host (examples/host) to a temporary place, exports every waiting invoice with
# `epd export-new` and shows the exported files with `epd dbf`.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)" --target epd >/dev/null
epd="$PWD/build/linux/tools/epd/epd"

work=$(mktemp -d "${TMPDIR:-/tmp}/epd-sample.XXXXXX")
cp -r examples/host "$work/host"
mkdir "$work/export"
# Shows the temporary directory as $WORK, also in the library's "\"-form of paths.
work_back=$(printf '%s' "$work" | sed 's|/|\\\\|g')
hide() { sed -e "s|$work|\$WORK|g" -e "s|$work_back|\$WORK|g"; }
run() { echo "\$ epd $*" | hide; "$epd" "$@" | hide; echo; }

run settings --base "$work/host" set EPD Export_Dir "$work/export"
run suppliers --base "$work/host" add 102
run export-new --base "$work/host" --replace no
run dbf "$work/export/cat_epd.dbf" --rows --columns IDMSG,INVNUM,INVDT,SENDER,SUMTOT
run dbf "$work/export/body_epd.dbf" --rows --columns IDMSG,ITEMID,LOCALCOD,ITEMQTY,CATPRNV,GNVLS,USEBEFOR
run dbf "$work/host/ORDERS/EPD/cat_epd.dbf" --rows --columns IDMSG,CATTYP,SENDER,DLVCHN
echo "The host copy and the exported files are in $work"
