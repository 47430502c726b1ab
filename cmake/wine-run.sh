#!/usr/bin/env bash
# Runs a Windows program of this build under Wine, with everything it needs:
# a Wine prefix of the build's own, code page 932, quiet Wine, and an X
# display from an Xvfb of its own on a free display number.
#
#   wine-run.sh --start BUILD_DIR   prefix, Xvfb and a persistent wineserver
#   wine-run.sh --stop BUILD_DIR    ends that wineserver and that Xvfb
#   wine-run.sh PROGRAM [ARGS...]   runs PROGRAM; uses the started Xvfb and
#                                   wineserver, or brings up and ends its own
#
# With TAMARIN_USE_DISPLAY=1, PROGRAM runs on $DISPLAY instead.
# With TAMARIN_SCREENSHOT=FILE.png set, PROGRAM runs for
# TAMARIN_SCREENSHOT_AFTER seconds (default 5), the screen is saved to FILE,
# and the program is ended.
#
# The state lives in BUILD_DIR/wine, or in $TAMARIN_WINE_HOME when set; the
# build folder is found by walking up from PROGRAM to its CMakeCache.txt.
set -u

wineserver=/usr/lib/wine/wineserver

set_home() {
  home=${TAMARIN_WINE_HOME:-$1/wine}
  mkdir -p "$home"
  export WINEPREFIX=$home/prefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

build_dir_of() {
  local dir
  dir=$(cd "$(dirname "$1")" && pwd)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ -f "$dir/CMakeCache.txt" ] && echo "$dir"
}

ensure_prefix() {
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      env LC_ALL=ja_JP.UTF-8 wine wineboot --init >/dev/null 2>&1
      # Xvfb has no window manager: let Wine place its windows itself rather
      # than wait for a manager that never answers when one is hidden.
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
      "$wineserver" -w
    fi
    # A crash debugger that cannot start: a program that crashes then ends at
    # once, so that its test fails there and no dead instance keeps its port
    # or its window. Without the value Wine would start winedbg, which waits.
    if [ ! -f "$home/no-crash-debugger" ]; then
      wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
        /d 'no-crash-debugger %ld %ld' /f >/dev/null 2>&1
      "$wineserver" -w
      touch "$home/no-crash-debugger"
    fi
  ) 9>"$home/prefix.lock"
}

# Wine's background processes (services, the desktop window) outlive the
# program that started them and keep its output open; so a program's output
# is collected in a file, and at start they are brought up detached.
run_wine() {
  local out status
  out=$(mktemp)
  env LC_ALL=ja_JP.UTF-8 wine "$@" >"$out" 2>&1 </dev/null
  status=$?
  cat "$out"
  rm -f "$out"
  return $status
}

# An Xvfb's pid and display number are kept in the folder $1.
xvfb_alive() {
  [ -f "$1/xvfb.pid" ] && kill -0 "$(cat "$1/xvfb.pid")" 2>/dev/null && [ -s "$1/display" ]
}

start_xvfb() {
  rm -f "$1/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$1/display" >/dev/null 2>&1 &
  echo $! >"$1/xvfb.pid"
  for _ in $(seq 100); do
    [ -s "$1/display" ] && return 0
    sleep 0.1
  done
  echo "wine-run: Xvfb did not start" >&2
  return 1
}

stop_xvfb() {
  [ -f "$1/xvfb.pid" ] && kill "$(cat "$1/xvfb.pid")" 2>/dev/null
  rm -f "$1/xvfb.pid" "$1/display"
}

case "${1:-}" in
--start)
  set_home "$2"
  ensure_prefix
  xvfb_alive "$home" || start_xvfb "$home" || exit 1
  "$wineserver" -p >/dev/null 2>&1
  DISPLAY=:$(head -n 1 "$home/display") env LC_ALL=ja_JP.UTF-8 wine wineboot >/dev/null 2>&1 </dev/null
  exit 0
  ;;
--stop)
  set_home "$2"
  "$wineserver" -k 2>/dev/null
  stop_xvfb "$home"
  exit 0
  ;;
"")
  echo "usage: wine-run.sh --start DIR | --stop DIR | PROGRAM [ARGS...]" >&2
  exit 2
  ;;
esac

# A program outside a build folder needs TAMARIN_WINE_HOME: a prefix must
# never land in whatever folder this happens to run in.
build_dir=$(build_dir_of "$1")
if [ -z "$build_dir" ] && [ -z "${TAMARIN_WINE_HOME:-}" ]; then
  echo "wine-run: $1 is not in a build folder; set TAMARIN_WINE_HOME" >&2
  exit 2
fi
set_home "$build_dir"
ensure_prefix
xstate=$home
own=""
if [ "${TAMARIN_USE_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
  # On the desktop the user is looking at.
  run_wine "$@"
  exit $?
fi
if ! xvfb_alive "$home"; then
  # Nothing started for a test run: this run brings up its own display and
  # waits for the wineserver to end with it.
  own=$(mktemp -d)
  xstate=$own
  start_xvfb "$own" || exit 1
fi
export DISPLAY=:$(head -n 1 "$xstate/display")
if [ -n "${TAMARIN_SCREENSHOT:-}" ]; then
  run_wine "$@" &
  program=$!
  sleep "${TAMARIN_SCREENSHOT_AFTER:-5}"
  import -display "$DISPLAY" -window root "$TAMARIN_SCREENSHOT"
  status=$?
  "$wineserver" -k 2>/dev/null
  wait $program
else
  run_wine "$@"
  status=$?
fi
if [ -n "$own" ]; then
  "$wineserver" -w
  stop_xvfb "$own"
  rmdir "$own"
fi
exit $status
