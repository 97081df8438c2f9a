#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A keyboard for the README's pictures: a JACK client whose MIDI output port
plays, two seconds after someone listens to it, a few hundred notes whose
velocities spread as a bell around a mean, always the same ones, says
"played" on its standard output, then stays connected until it is
terminated.

    play_velocities.py [--name Clavier] [--notes 400] [--mean 70] [--spread 18]

Runs on the JACK server named by JACK_DEFAULT_SERVER; needs the Debian
package python3-jack-client (the system's python3).
"""
import argparse
import random
import signal
import threading

import jack


def velocities(count, mean, spread):
    # A fixed seed: the picture is the same each time it is taken.
    draw = random.Random(23)
    return [min(127, max(1, round(draw.gauss(mean, spread)))) for _ in range(count)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--name", default="Clavier")
    parser.add_argument("--notes", type=int, default=400)
    parser.add_argument("--mean", type=float, default=70)
    parser.add_argument("--spread", type=float, default=18)
    args = parser.parse_args()

    notes = velocities(args.notes, args.mean, args.spread)
    client = jack.Client(args.name, no_start_server=True)
    port = client.midi_outports.register("out")
    listened = threading.Event()
    done = threading.Event()
    state = {"next": 0}

    @client.set_process_callback
    def process(frames):
        port.clear_buffer()
        if not listened.is_set():
            return
        # Two notes a cycle, each a Note On and its Note Off a few frames later.
        for slot in range(2):
            i = state["next"]
            if i >= len(notes):
                done.set()
                return
            key = 48 + (i * 7) % 37
            offset = slot * (frames // 2)
            port.write_midi_event(offset, (0x90, key, notes[i]))
            port.write_midi_event(offset + 8, (0x80, key, 0))
            state["next"] = i + 1

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    with client:
        while not stop.is_set() and not client.get_all_connections(port):
            stop.wait(0.1)
        # As a player would, it starts once the program has finished opening
        # its ports and played its test note.
        if not stop.wait(2):
            listened.set()
        while not stop.is_set() and not done.is_set():
            stop.wait(0.1)
        if done.is_set():
            print("played", flush=True)
        stop.wait()


if __name__ == "__main__":
    main()
