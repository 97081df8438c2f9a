#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Converts a window dump of xwd (true colour, 24 or 32 bits per pixel) to PNG.

    xwd_to_png.py INPUT.xwd OUTPUT.png

Pure Python; the PNG is written by the project's own make_images.py.
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "app", "resources"))
from make_images import write_png  # noqa: E402

HEADER_FIELDS = 25


def shift_of(mask):
    shift = 0
    while mask and not mask & 1:
        mask >>= 1
        shift += 1
    return shift


def convert(data):
    fields = struct.unpack(">%dI" % HEADER_FIELDS, data[: 4 * HEADER_FIELDS])
    header_size, version = fields[0], fields[1]
    width, height = fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14], fields[15], fields[16]
    colours = fields[19]
    if version != 7 or bits_per_pixel not in (24, 32):
        raise ValueError("not a true-colour dump of xwd (version %d, %d bits)" % (version, bits_per_pixel))
    start = header_size + 12 * colours
    step = bits_per_pixel // 8
    endian = "little" if byte_order == 0 else "big"
    masks = [(m, shift_of(m)) for m in (red_mask, green_mask, blue_mask)]
    rows = []
    for y in range(height):
        line = data[start + y * bytes_per_line : start + (y + 1) * bytes_per_line]
        row = []
        for x in range(width):
            pixel = int.from_bytes(line[x * step : (x + 1) * step], endian)
            row.append(tuple((pixel & m) >> s for m, s in masks) + (255,))
        rows.append(row)
    return width, height, rows


def main(args):
    if len(args) != 2:
        print("usage: xwd_to_png.py INPUT.xwd OUTPUT.png", file=sys.stderr)
        return 2
    with open(args[0], "rb") as f:
        width, height, rows = convert(f.read())
    write_png(args[1], width, height, rows)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
