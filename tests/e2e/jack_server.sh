#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A private JACK server with the dummy driver, for the end-to-end tests.
#
#   jack_server.sh start NAME STATE_DIR [PERIOD]   starts server NAME in the
#                                         background, waits until it answers,
#                                         records it
#   jack_server.sh stop STATE_DIR         stops the server recorded there
#   jack_server.sh run NAME [PERIOD]      becomes server NAME (for a test that
#                                         starts a server of its own as its child)
#
# PERIOD is the number of frames of a cycle at 48,000 frames a second, 256
# unless given (the benchmarks also measure at 64).
# The server runs without real-time scheduling (-r) and needs no sound
# hardware. It runs synchronously (-S): in the default asynchronous mode a
# client that misses one cycle (a slow first cycle under a sanitizer, a busy
# machine) is never scheduled again, and the test would wait in vain.
# It is stopped by its own pid only. A server that dies without stopping
# leaves its sockets and semaphores in /dev/shm: stop removes those of its
# server, and those of the servers that tests of the same name started and
# that died with their test.
set -u
source "$(dirname "$0")/server_process.sh"

usage() {
  echo "usage: $0 start NAME STATE_DIR [PERIOD] | stop STATE_DIR | run NAME [PERIOD]" >&2
  exit 2
}

answers() {
  JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER="$1" jack_lsp >/dev/null 2>&1
}

# The files of server NAME in /dev/shm, unless it runs: jack_NAME_* sockets
# and jack_sem.UID_NAME_* semaphores.
remove_leftovers() {
  local name=$1
  answers "$name" && return 0
  rm -f "/dev/shm/jack_${name}_"* "/dev/shm/jack_sem.$(id -u)_${name}_"*
}

# Servers that tests started under NAME-private-SLOT and that died with their
# test: removed unless a server of that name answers.
remove_private_leftovers() {
  local name=$1 file rest slot
  for file in /dev/shm/jack_"${name}"-private-* /dev/shm/jack_sem."$(id -u)_${name}"-private-*; do
    [ -e "$file" ] || continue
    rest=${file##*-private-}
    slot=${rest%%_*}
    case "$slot" in '' | *[!0-9]*) continue ;; esac
    remove_leftovers "${name}-private-${slot}"
  done
}

stop_server() {
  local state_dir=$1 name
  name=$(cat "$state_dir/jackd.name" 2>/dev/null)
  if [ -f "$state_dir/jackd.pid" ]; then
    end_process "$(cat "$state_dir/jackd.pid")" jackd
    rm -f "$state_dir/jackd.pid"
  fi
  if [ -n "$name" ]; then
    remove_leftovers "$name"
    remove_private_leftovers "$name"
  fi
}

run_server() {
  local name=$1 period=${2:-256}
  command -v jackd >/dev/null || { echo "jackd is not installed" >&2; return 1; }
  exec jackd -n "$name" -r -S -d dummy -r 48000 -p "$period"
}

start_server() {
  local name=$1 state_dir=$2 period=${3:-256} pid i
  mkdir -p "$state_dir"
  # A server left over from an interrupted run goes first.
  stop_server "$state_dir"
  remove_leftovers "$name"
  echo "$name" >"$state_dir/jackd.name"
  # Detached from the test's pipes, so that the test runner does not wait for it.
  "$0" run "$name" "$period" </dev/null >"$state_dir/jackd.log" 2>&1 &
  pid=$!
  echo "$pid" >"$state_dir/jackd.pid"
  for i in $(seq 1 100); do
    if ! alive "$pid"; then
      echo "jackd exited while starting:" >&2
      cat "$state_dir/jackd.log" >&2
      rm -f "$state_dir/jackd.pid"
      return 1
    fi
    if answers "$name"; then
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
  start) [ $# -eq 3 ] || [ $# -eq 4 ] || usage; start_server "$2" "$3" "${4:-}" ;;
  stop) [ $# -eq 2 ] || usage; stop_server "$2" ;;
  run) [ $# -eq 2 ] || [ $# -eq 3 ] || usage; run_server "$2" "${3:-}" ;;
  *) usage ;;
esac
