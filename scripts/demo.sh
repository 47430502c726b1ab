#!/usr/bin/env bash
# The run itself, called by scripts/run.sh (see there): the local server, the
# settings, and Tamarin Time under Wine, saving build/app/screenshot.png and
# the clock doctor's build/app/doctor.png; in a loopback-only network, also
# the history window's build/app/history.png.
set -euo pipefail
cd "$(dirname "$0")/.."
home=$TAMARIN_WINE_HOME

pids=()
stop_all() {
  [ ${#pids[@]} -gt 0 ] && kill "${pids[@]}" 2>/dev/null
  return 0
}
trap stop_all EXIT

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
  pids+=($!)
  echo "demo: chronyd serves time on 127.0.0.1:123"
fi

# The settings key afresh, so that no run inherits the last one's: the
# server name, then NAME=DWORD pairs.
write_settings() {
  local server=$1 key='HKEY_CURRENT_USER\Software\Halden Works\Tamarin Time'
  shift
  {
    printf 'REGEDIT4\n\n[-%s]\n\n[%s]\n' "$key" "$key"
    printf '"szServerName"="%s"\n' "$server"
    for pair in "$@"; do printf '"%s"=dword:%08x\n' "${pair%%=*}" "${pair#*=}"; done
  } >"$home/settings.reg"
  cmake/wine-run.sh regedit /S "Z:$(echo "$home/settings.reg" | tr / '\\')" >/dev/null
}

# The history window's X window, once it is on the screen.
history_window() {
  DISPLAY=$1 xwininfo -root -tree 2>/dev/null | awk '/"Tamarin Time 履歴"/ { print $1; exit }'
}

# history_demo with the given arguments, under a wineserver of its own, and
# the history window it leaves open saved to the file, within three minutes.
shoot_history_demo() {
  local shot=$1 window="" display demo status=1
  shift
  cmake/wine-run.sh --start build/app >/dev/null 2>&1
  display=:$(head -n 1 "$home/display")
  cmake/wine-run.sh build/app/history_demo.exe "$@" &
  demo=$!
  for _ in $(seq 900); do
    window=$(history_window "$display")
    [ -n "$window" ] && break
    sleep 0.2
  done
  if [ -n "$window" ]; then
    sleep 1  # its first paint
    import -display "$display" -window "$window" "$shot" && status=0
  fi
  cmake/wine-run.sh --stop build/app
  wait "$demo" || true  # ended with the wineserver
  return $status
}

# About 150 exchanges with chronyd, then 150 with a server that jumps, by
# history_demo, which holds the clock; then the history window it leaves open.
history_screenshot() {
  local shot=$PWD/build/app/history.png
  /usr/bin/python3 scripts/jumping_server.py 127.0.0.2 &
  pids+=($!)
  write_settings 127.0.0.1 nCheckTimer_minute=1 fStartAtFirst=0 fStayAfterAdjustment=1 fActAsSNTPServer=0
  if ! shoot_history_demo "$shot" exchanges 127.0.0.1 150 127.0.0.2 150; then
    echo "demo: no screenshot of the history window" >&2
    return 1
  fi
  echo "The history window after those exchanges is in $shot"
}

# The history window over 30 made days of a PC whose clock loses 2.1 s a day
# and stops while it is off, with what the clock doctor finds: build/app/doctor.png.
doctor_screenshot() {
  local shot=$PWD/build/app/doctor.png
  if ! shoot_history_demo "$shot" doctor; then
    echo "demo: no screenshot of the clock doctor" >&2
    return 1
  fi
  echo "The history window with the clock doctor's findings is in $shot"
}

# The history that the last run kept goes too, so that the pictures show
# this run's exchanges alone.
rm -f "$home"/prefix/drive_c/users/*/AppData/Local/"Tamarin Time"/history.dat
write_settings "$TAMARIN_SERVER" fStartAtFirst=1 fStayAfterAdjustment=0

if [ "$TAMARIN_SHOW" = 1 ]; then
  TAMARIN_USE_DISPLAY=1 cmake/wine-run.sh build/app/tamarin-time.exe
else
  shot=$PWD/build/app/screenshot.png
  TAMARIN_SCREENSHOT=$shot TAMARIN_SCREENSHOT_AFTER=${TAMARIN_SCREENSHOT_AFTER:-4} \
    cmake/wine-run.sh build/app/tamarin-time.exe
  echo "Tamarin Time synchronised with $TAMARIN_SERVER under Wine; its window is in $shot"
  doctor_screenshot
  # Only on a loopback of its own may the demonstration send its exchanges.
  if [ "$TAMARIN_LOCAL_SERVER" = 1 ] && [ "${TAMARIN_LOOPBACK_ONLY:-0}" = 1 ]; then
    history_screenshot
  elif [ "$TAMARIN_LOCAL_SERVER" = 1 ]; then
    echo "demo: no network namespace of its own here, so no screenshot of the history window"
  fi
fi
