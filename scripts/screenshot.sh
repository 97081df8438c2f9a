#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the README's pictures of the main window from the real program: on a
# private X server (Xvfb) and a private JACK server (dummy driver) where two
# JACK clients stand for a keyboard and a synth, with a curve of four points
# opened from the command line. docs/main_window.png shows the window as it
# opens; with --played, docs/played_velocities.png shows the chart once the
# keyboard has played a few hundred notes of spread velocities. Every
# process started here is stopped by its pid.
#
#   scripts/screenshot.sh [--played]              builds build/release first
#   scripts/screenshot.sh [--played] BUILD_DIR    uses the program of a tree already built
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages

played=false
if [ "${1:-}" = --played ]; then
  played=true
  shift
fi
build=${1:-build/release}
if [ $# -eq 0 ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DVELOMORPH_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" --target velomorph >/dev/null
fi
program=$PWD/$build/src/app/velomorph
if $played; then
  output=$PWD/docs/played_velocities.png
else
  output=$PWD/docs/main_window.png
fi

work=$(mktemp -d)
pids=()
cleanup() {
  local pid i
  for pid in "${pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || continue
    for i in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  tests/e2e/jack_server.sh stop "$work/jack" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

# The program's user folders, all temporary.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=:$(head -n 1 "$work/display")

export JACK_DEFAULT_SERVER=velomorph-screenshot-$$
tests/e2e/jack_server.sh start "$JACK_DEFAULT_SERVER" "$work/jack" >/dev/null
if $played; then
  # A keyboard that plays 400 notes, velocities in a bell around 70, two
  # seconds after the program connects. Its JACK module is the system's
  # python3's.
  /usr/bin/python3 scripts/play_velocities.py --name Clavier >"$work/keyboard.log" 2>&1 &
else
  # A keyboard that plays a note every two seconds.
  jack_midiseq Clavier 96000 0 64 4800 >/dev/null 2>&1 &
fi
pids+=($!)
# A synth that listens.
jack_midi_dump Synthé >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
  ports=$(jack_lsp 2>/dev/null || true)
  grep -q '^Clavier:' <<<"$ports" && grep -q '^Synthé:' <<<"$ports" && break
  sleep 0.1
done

curve=$work/piano.dat
{
  printf '[Points]\r\nCount=4\r\n'
  printf 'Pt%sa=%s\r\nPt%sb=%s\r\n' 01 20 01 38 02 55 02 72 03 90 03 100 04 112 04 118 05 115 05 122 \
    06 118 06 123 07 121 07 124 08 124 08 125 09 127 09 127
} >"$curve"
"$program" "$curve" >"$work/program.log" 2>&1 &
pids+=($!)

caption="Velomorph - piano.dat"
window=
for _ in $(seq 1 300); do
  window=$(xwininfo -name "$caption" 2>/dev/null | awk '/Window id:/ {print $4}') && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "no window \"$caption\"" >&2; cat "$work/program.log" >&2; exit 1; }

if $played; then
  for _ in $(seq 1 300); do grep -q '^played$' "$work/keyboard.log" && break; sleep 0.1; done
  grep -q '^played$' "$work/keyboard.log" || { echo "the keyboard did not play" >&2; cat "$work/keyboard.log" >&2; exit 1; }
fi

# Taken once the window shows the same picture three times in a row.
previous= same=0
for _ in $(seq 1 100); do
  sleep 0.2
  xwd -silent -id "$window" >"$work/shot.xwd"
  sum=$(md5sum <"$work/shot.xwd")
  if [ "$sum" = "$previous" ]; then same=$((same + 1)); else same=0; fi
  previous=$sum
  [ "$same" -ge 2 ] && break
done
python3 scripts/xwd_to_png.py "$work/shot.xwd" "$output"
echo "wrote $output"
