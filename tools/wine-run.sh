#!/bin/bash
# Runs a Windows program under 32-bit wine, headless: a private wine prefix
# under build-win/ (or WINEPREFIX), no debug chatter, no display (SDL's
# dummy drivers), no Mono or Gecko install prompts, and at most
# WINE_TIMEOUT seconds (120). The first run creates the prefix (one run at
# a time: ctest starts many in parallel).
#
#   tools/wine-run.sh program.exe [arguments...]
set -uo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$(realpath -m "$HERE/../build-win/wineprefix")}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win32
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# ZORVA_WINE_DISPLAY=1 keeps the X display (wine draws real windows on it);
# otherwise programs run without one, on SDL's dummy drivers.
if [ "${ZORVA_WINE_DISPLAY:-0}" != 1 ]; then
  unset DISPLAY WAYLAND_DISPLAY
  export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-dummy}
  export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
fi

# wineboot writes system.reg early; a marker of our own says it finished.
READY=$WINEPREFIX/.zorva-ready
if [ ! -f "$READY" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$READY" ]; then
      timeout 300 wineboot -i >/dev/null 2>&1 9>&-
      # A crashing program ends with a backtrace on standard error instead
      # of waiting on wine's crash dialog (which nobody can close here).
      timeout 60 wine reg add "HKCU\\Software\\Wine\\WineDbg" \
        /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 9>&-
      timeout 60 wineserver -w 9>&-
      touch "$READY"
    fi
  ) 9>"$WINEPREFIX.lock"
fi

# The wine server and wine's own services (started by the first program)
# outlive that program and keep the standard output they inherited: a test
# that started them would look to CTest as if it were still running. So a
# fresh server is started here, with no inherited pipes, and the services
# with it; it stays 10 seconds after the last program ends.
(
  flock 9
  if timeout 30 wineserver -p10 </dev/null >/dev/null 2>&1 9>&-; then
    timeout 60 wine cmd /c exit </dev/null >/dev/null 2>&1 9>&-
  fi
) 9>"$WINEPREFIX.lock"

# wine's own Unix-side loader now and then dies of SIGSEGV while a program
# ends, after the program has finished (seen under load with many programs
# at once, most often while a new prefix is still settling). A fault inside
# the Windows program is not this: wine reports it as a Windows exception
# with a backtrace and an exit status of its own. So a SIGSEGV of the loader
# runs the program again, up to three runs in all, saying so.
run_wine() {
  local status attempt
  for attempt in 1 2 3; do
    timeout "${WINE_TIMEOUT:-120}" wine "$@"
    status=$?
    [ $status = 139 ] && [ $attempt -lt 3 ] || break
    echo "wine-run.sh: wine itself died of SIGSEGV; running the program again" >&2
    sleep 1
  done
  return $status
}

# Tests with servers get a helper beside them, started here because a
# Windows program cannot start the Linux python3 the servers need:
#  - ZORVA_TEST_HTTP_ROOT set: the tests' HTTP server (the one the Linux
#    tests start themselves) serves that folder on 127.0.0.1 while the
#    program runs; its port is in ZORVA_TEST_HTTP_PORT.
#  - ZORVA_TEST_SERVERS=1: the server broker, which starts servers as the
#    program asks (engine/tests/data/server_broker.py); its port is in
#    ZORVA_TEST_BROKER_PORT.
# Closing the helper's standard input ends it.
if [ -n "${ZORVA_TEST_HTTP_ROOT:-}" ]; then
  mkdir -p "$ZORVA_TEST_HTTP_ROOT"
  helper=(python3 "$HERE/../engine/tests/data/http_server.py" "$ZORVA_TEST_HTTP_ROOT")
  port_variable=ZORVA_TEST_HTTP_PORT
elif [ "${ZORVA_TEST_SERVERS:-0}" = 1 ]; then
  helper=(python3 "$HERE/../engine/tests/data/server_broker.py")
  port_variable=ZORVA_TEST_BROKER_PORT
else
  run_wine "$@"
  exit $?
fi

coproc SERVER { exec "${helper[@]}"; }
server_pid=$SERVER_PID
server_out=${SERVER[0]}
server_in=${SERVER[1]}
port=""
read -t 15 -r port <&"$server_out" || true
if ! [[ "$port" =~ ^[0-9]+$ ]]; then
  echo "wine-run.sh: ${helper[1]} did not start" >&2
  kill "$server_pid" 2>/dev/null
  exit 1
fi
export "$port_variable=$port"
# wine and its server must not hold the helper's pipes open.
run_wine "$@" {server_out}<&- {server_in}>&-
status=$?
exec {server_in}>&- {server_out}<&-
for _ in $(seq 50); do
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
kill "$server_pid" 2>/dev/null
wait "$server_pid" 2>/dev/null
exit $status
