#!/usr/bin/env bash
# A private JACK server with the dummy driver, for the end-to-end tests.
#
#   jack_server.sh start NAME STATE_DIR   starts server NAME, waits until it
#                                         answers, records its pid
#   jack_server.sh stop STATE_DIR         stops the server recorded there
#
# The server runs without real-time scheduling (-r) and needs no sound
# hardware. It runs synchronously (-S): in the default asynchronous mode a
# client that misses one cycle (a slow first cycle under a sanitizer, a busy
# machine) is never scheduled again, and the test would wait in vain.
# It is stopped by its own pid only.
set -u

usage() {
  echo "usage: $0 start NAME STATE_DIR | stop STATE_DIR" >&2
  exit 2
}

# True while the process runs (a zombie counts as gone).
alive() {
  local pid=$1 state
  kill -0 "$pid" 2>/dev/null || return 1
  state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) || return 1
  [ "$state" != "Z" ]
}

stop_server() {
  local state_dir=$1 pid i
  [ -f "$state_dir/jackd.pid" ] || return 0
  pid=$(cat "$state_dir/jackd.pid")
  if [ -n "$pid" ] && alive "$pid"; then
    kill -TERM "$pid" 2>/dev/null
    for i in $(seq 1 100); do
      alive "$pid" || break
      sleep 0.1
    done
    if alive "$pid"; then
      echo "jackd $pid did not stop; killing it" >&2
      kill -KILL "$pid" 2>/dev/null
    fi
  fi
  rm -f "$state_dir/jackd.pid"
}

start_server() {
  local name=$1 state_dir=$2 pid i
  mkdir -p "$state_dir"
  # A server left over from an interrupted run goes first.
  stop_server "$state_dir"
  command -v jackd >/dev/null || { echo "jackd is not installed" >&2; return 1; }
  # Detached from the test's pipes, so that the test runner does not wait for it.
  jackd -n "$name" -r -S -d dummy -r 48000 -p 256 </dev/null >"$state_dir/jackd.log" 2>&1 &
  pid=$!
  echo "$pid" >"$state_dir/jackd.pid"
  for i in $(seq 1 100); do
    if ! alive "$pid"; then
      echo "jackd exited while starting:" >&2
      cat "$state_dir/jackd.log" >&2
      rm -f "$state_dir/jackd.pid"
      return 1
    fi
    if JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER="$name" jack_lsp >/dev/null 2>&1; then
      echo "JACK server '$name' is up (pid $pid)"
      return 0
    fi
    sleep 0.1
  done
  echo "JACK server '$name' did not answer within 10 s:" >&2
  cat "$state_dir/jackd.log" >&2
  stop_server "$state_dir"
  return 1
}

case "${1:-}" in
  start) [ $# -eq 3 ] || usage; start_server "$2" "$3" ;;
  stop) [ $# -eq 2 ] || usage; stop_server "$2" ;;
  *) usage ;;
esac
