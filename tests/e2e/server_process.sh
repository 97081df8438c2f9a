# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the test servers' scripts: what they do with a server's process.

# True while the process runs (a zombie counts as gone).
alive() {
  local pid=$1 state
  kill -0 "$pid" 2>/dev/null || return 1
  state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) || return 1
  [ "$state" != "Z" ]
}

# Asks process PID to end, waits up to 10 s, then kills it and waits again.
# NAME says what it is in the message when it has to be killed.
end_process() { # <pid> <name>
  local pid=$1 name=$2 i
  alive "$pid" || return 0
  kill -TERM "$pid" 2>/dev/null
  for i in $(seq 1 100); do
    alive "$pid" || return 0
    sleep 0.1
  done
  echo "$name $pid did not stop; killing it" >&2
  kill -KILL "$pid" 2>/dev/null
  for i in $(seq 1 100); do
    alive "$pid" || return 0
    sleep 0.1
  done
}
