#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks the include graph of src/: no include cycle between components (a
header and its source file are one component), and no include that runs
upward, from a lower room to a higher one, or between two rooms that know
nothing of each other.

Usage: include_layers.py <src folder> [--graph]
--graph prints the include edges between rooms, with their counts."""

import collections
import pathlib
import re
import sys

# Rooms, each with the rooms it may include (besides itself). A file belongs
# to the deepest room whose folder holds it.
ROOMS = {
    "app": {"app/widgets", "routing", "midi", "platform/midi", "platform/midi/messages", "curve", "platform"},
    "app/widgets": {"curve", "platform"},
    "routing": {"midi", "platform/midi", "platform/midi/messages", "curve", "platform"},
    "midi": {"platform/midi", "platform/midi/messages", "platform"},
    "platform/midi": {"platform/midi/backends", "platform/midi/backends/jack", "platform/midi/backends/alsa",
                      "platform/midi/messages", "platform"},
    "platform/midi/backends/jack": {"platform/midi/backends", "platform/midi/messages", "platform"},
    "platform/midi/backends/alsa": {"platform/midi/backends", "platform/midi/messages", "platform"},
    "platform/midi/backends": {"platform/midi/messages", "platform"},
    "platform/midi/messages": {"platform"},
    "curve": {"platform"},
    "platform": set(),
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def room_of(path):
    folder = str(pathlib.PurePosixPath(path).parent)
    while folder not in ROOMS and folder not in (".", ""):
        folder = str(pathlib.PurePosixPath(folder).parent)
    return folder if folder in ROOMS else None


def component_of(path):
    return str(pathlib.PurePosixPath(path).with_suffix(""))


def main():
    src = pathlib.Path(sys.argv[1])
    files = sorted(p for p in src.rglob("*") if p.suffix in (".h", ".cpp") or p.name.endswith(".cpp.in"))
    edges = collections.defaultdict(set)  # component -> components it includes
    room_edges = collections.Counter()
    faults = []
    for path in files:
        name = path.relative_to(src).as_posix()
        if name.endswith(".cpp.in"):
            name = name[: -len(".in")]
        room = room_of(name)
        if room is None:
            faults.append(f"{name}: in no room")
            continue
        for included in INCLUDE.findall(path.read_text(encoding="utf-8")):
            if not (src / included).exists():
                continue  # a generated header or one of the tests'
            target = room_of(included)
            if target != room:
                room_edges[(room, target)] += 1
                if target not in ROOMS[room]:
                    faults.append(f"{name}: includes {included}, from room {room} up or across to {target}")
            if component_of(included) != component_of(name):
                edges[component_of(name)].add(component_of(included))

    # Cycles between components, by depth-first search.
    state = {}
    stack = []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == "open":
                cycle = stack[stack.index(nxt):] + [nxt]
                faults.append("include cycle: " + " -> ".join(cycle))
            elif nxt not in state:
                visit(nxt)
        stack.pop()
        state[node] = "done"

    for node in sorted(edges):
        if node not in state:
            visit(node)

    if "--graph" in sys.argv:
        for (room, target), count in sorted(room_edges.items()):
            print(f"{room} -> {target}: {count}")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
