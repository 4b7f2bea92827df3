#!/usr/bin/env bash
# Runs a Windows program under Wine with a fresh prefix and a virtual display:
#   scripts/wine-run.sh program.exe [args...]
# WINE_KEEP_PREFIX=dir reuses a prefix; EPD_DISPLAY=:N uses a running X server.
set -euo pipefail
wine=/usr/lib/wine/wine64
prefix=${WINE_KEEP_PREFIX:-$(mktemp -d /tmp/epd-wine.XXXXXX)}
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  if [ -z "${WINE_KEEP_PREFIX:-}" ]; then rm -rf "$prefix"; fi
}
trap cleanup EXIT
if [ -z "${EPD_DISPLAY:-}" ]; then
  for n in $(seq 90 140); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    break
  done
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break; sleep 0.1; done
else
  export DISPLAY=$EPD_DISPLAY
fi
"$wine" wineboot -i >/dev/null 2>&1 || true
"$wine" "$@"
