#!/usr/bin/env bash
# The settings dialogs as the host opens them, in Wine's virtual desktop (so that frames and title
# bars are drawn): the WineDialogs tests of epd_win_tests.exe load export_epd.dll, call ShowSets
# and drive the windows. They run once in an English locale (Latin keyboard layout) and once in a
# Russian one (Wine then gives the keyboard layout 00000419). At each window the tests ask for a
# picture of the screen; this script takes it with ImageMagick into build/win64/dialog-shots/.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
shots=$root/build/win64/dialog-shots
rm -rf "$shots"
mkdir -p "$shots"

display=""
for n in $(seq 150 199); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  display=":$n"
  break
done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
watcher=""
prefixes=()
cleanup() {
  [ -n "$watcher" ] && kill "$watcher" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  rm -rf "${prefixes[@]}"
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

# A picture for each NAME.request the tests write.
(
  while true; do
    for request in "$shots"/*.request; do
      [ -e "$request" ] || continue
      name=${request%.request}
      import -window root -display "$display" "png:$name.png.part" && mv "$name.png.part" "$name.png"
      rm -f "$request"
    done
    sleep 0.1
  done
) &
watcher=$!

# Runs the tests of a filter in a fresh Wine prefix made in the locale of LANG, in a virtual desktop.
run_tests() {
  local prefix
  prefix=$(mktemp -d /tmp/epd-wine-dialogs.XXXXXX)
  prefixes+=("$prefix")
  local wine=(env WINE_KEEP_PREFIX="$prefix" EPD_DISPLAY="$display" bash "$root/scripts/wine-run.sh")
  "${wine[@]}" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shot /f >/dev/null 2>&1
  "${wine[@]}" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shot /d 1024x768 /f >/dev/null 2>&1
  # Wine's own fonts (MS Sans Serif, Marlett for the caption buttons) are found only in the
  # prefix's Fonts folder, which a new prefix leaves empty here.
  ln -sf /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
  EPD_SHOT_DIR=$shots "${wine[@]}" ./epd_win_tests.exe --gtest_brief=1 --gtest_filter="$1" 2>&1 | tee -a "$log"
}

cd build/win64
status=0
log=$(mktemp)
run_tests 'WineDialogs*-*Russian*' || status=1
# (bash warns that the system lacks that locale; Wine needs only the name)
LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8 run_tests 'WineDialogs*Russian*' || status=1
if grep -q "SKIPPED" "$log"; then
  echo "31-wine-dialogs: a dialog test was skipped"
  status=1
fi
rm -f "$log"
echo "pictures: $(ls "$shots"/*.png 2>/dev/null | wc -l) in $shots"
exit $status
