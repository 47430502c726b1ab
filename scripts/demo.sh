#!/usr/bin/env bash
# The run itself, called by scripts/run.sh (see there): the local server, the
# settings, and Tamarin Time under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
home=$TAMARIN_WINE_HOME

chronyd_pid=""
if [ "$TAMARIN_LOCAL_SERVER" = 1 ]; then
  cat >"$home/chrony.conf" <<CONF
local stratum 1
allow 127.0.0.1
bindaddress 127.0.0.1
port 123
cmdport 0
pidfile $home/chronyd.pid
driftfile $home/chrony.drift
CONF
  # -x: serve time only; the machine's clock is never touched.
  chronyd -x -4 -d -u root -f "$home/chrony.conf" >"$home/chronyd.log" 2>&1 &
  chronyd_pid=$!
  trap 'kill $chronyd_pid 2>/dev/null || true' EXIT
  echo "demo: chronyd serves time on 127.0.0.1:123"
fi

cat >"$home/settings.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Halden Works\\Tamarin Time]
"szServerName"="$TAMARIN_SERVER"
"fStartAtFirst"=dword:00000001
"fStayAfterAdjustment"=dword:00000000
REG
cmake/wine-run.sh regedit /S "Z:$(echo "$home/settings.reg" | tr / '\\')" >/dev/null

if [ "$TAMARIN_SHOW" = 1 ]; then
  TAMARIN_USE_DISPLAY=1 cmake/wine-run.sh build/app/tamarin-time.exe
else
  shot=$PWD/build/app/screenshot.png
  TAMARIN_SCREENSHOT=$shot TAMARIN_SCREENSHOT_AFTER=${TAMARIN_SCREENSHOT_AFTER:-4} \
    cmake/wine-run.sh build/app/tamarin-time.exe
  echo "Tamarin Time synchronised with $TAMARIN_SERVER under Wine; its window is in $shot"
fi
