#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A private PipeWire server for the end-to-end test of its JACK server
# (pipewire-jack): no session manager, no D-Bus, no sound hardware; its
# runtime folder is the state folder, so that it meets no other server.
#
#   pipewire_server.sh start STATE_DIR   starts it, waits for its socket, records its pid
#   pipewire_server.sh stop STATE_DIR    stops the server recorded there, by its pid
set -u
source "$(dirname "$0")/server_process.sh"

usage() {
  echo "usage: $0 start|stop STATE_DIR" >&2
  exit 2
}

stop_server() {
  local state_dir=$1
  [ -f "$state_dir/pipewire.pid" ] || return 0
  end_process "$(cat "$state_dir/pipewire.pid")" pipewire
  rm -f "$state_dir/pipewire.pid" "$state_dir/pipewire-0" "$state_dir/pipewire-0.lock"
}

start_server() {
  local state_dir=$1 pid i
  mkdir -p "$state_dir"
  chmod 700 "$state_dir"
  stop_server "$state_dir"
  command -v pipewire >/dev/null || { echo "pipewire is not installed" >&2; return 1; }
  # Without a session bus the portal and D-Bus modules complain and carry on.
  env -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$state_dir" PIPEWIRE_RUNTIME_DIR="$state_dir" \
    pipewire </dev/null >"$state_dir/pipewire.log" 2>&1 &
  pid=$!
  echo "$pid" >"$state_dir/pipewire.pid"
  for i in $(seq 1 100); do
    if ! alive "$pid"; then
      echo "pipewire exited while starting:" >&2
      cat "$state_dir/pipewire.log" >&2
      rm -f "$state_dir/pipewire.pid"
      return 1
    fi
    if [ -S "$state_dir/pipewire-0" ]; then
      echo "PipeWire is up in $state_dir (pid $pid)"
      return 0
    fi
    sleep 0.1
  done
  echo "PipeWire did not open its socket within 10 s:" >&2
  cat "$state_dir/pipewire.log" >&2
  stop_server "$state_dir"
  return 1
}

[ $# -eq 2 ] || usage
case "$1" in
  start) start_server "$2" ;;
  stop) stop_server "$2" ;;
  *) usage ;;
esac
