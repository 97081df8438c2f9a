#!/usr/bin/env python3
"""Draws the program's pictures and writes them as PNG files beside this script.

velomorph.png (64 x 64): the application icon, a velocity curve bending
through two control points on a dark rounded tile.
bullet.png (12 x 12): the bullet of the About box, a yellow ball.

Pure Python (zlib and struct); each pixel is sampled 4 x 4 times for smooth
edges. Run it again after changing a drawing and commit the PNG files.
"""
import math
import os
import struct
import zlib

SAMPLES = 4


def write_png(path, width, height, pixels):
    """pixels: rows of (r, g, b, a) tuples, 8 bits each."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter type: none
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # RGBA, 8 bits
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", header))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


def render(width, height, shade):
    """shade(x, y) gives (r, g, b, a) with a in 0..1, or None for clear."""
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = shade(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
                    if c is None:
                        continue
                    r, g, b, a = c
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha <= 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(v / acc[3])) for v in acc[:3]) + (int(round(alpha * 255)),))
        rows.append(row)
    return rows


def over(top, bottom):
    """Composites colour top over bottom; both (r, g, b, a) or None."""
    if top is None:
        return bottom
    if bottom is None:
        return top
    ta, ba = top[3], bottom[3]
    a = ta + ba * (1 - ta)
    if a == 0:
        return None
    mix = [(top[i] * ta + bottom[i] * ba * (1 - ta)) / a for i in range(3)]
    return (mix[0], mix[1], mix[2], a)


def distance_to_segment(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy))


def icon_shade(x, y):
    size, radius = 64.0, 12.0
    # Rounded tile, dark blue fading to black downwards.
    cx = min(max(x, radius), size - radius)
    cy = min(max(y, radius), size - radius)
    if math.hypot(x - cx, y - cy) > radius:
        return None
    t = y / size
    colour = (20 * (1 - t), 40 * (1 - t) + 8, 110 * (1 - t) + 20, 1.0)

    # Faint grid, as on the chart.
    plot_left, plot_bottom, plot_size = 10.0, 54.0, 44.0
    for k in range(1, 4):
        gx = plot_left + plot_size * k / 4
        gy = plot_bottom - plot_size * k / 4
        if (abs(x - gx) < 0.5 and plot_bottom - plot_size <= y <= plot_bottom) or (
            abs(y - gy) < 0.5 and plot_left <= x <= plot_left + plot_size
        ):
            colour = over((60, 90, 140, 0.8), colour)

    # The curve: origin, two control points, end point.
    def at(i, o):
        return (plot_left + plot_size * i / 127.0, plot_bottom - plot_size * o / 127.0)

    points = [at(0, 0), at(50, 20), at(80, 110), at(127, 127)]
    d = min(distance_to_segment(x, y, *points[i], *points[i + 1]) for i in range(3))
    if d < 2.4:
        colour = over((0, 255, 0, min(1.0, 2.4 - d)), colour)
    # Markers: yellow for the one being dragged, lime for the other.
    for (mx, my), fill in ((points[1], (0, 255, 0)), (points[2], (255, 255, 0))):
        if abs(x - mx) <= 4.0 and abs(y - my) <= 4.0:
            edge = abs(x - mx) > 3.0 or abs(y - my) > 3.0
            colour = over((0, 0, 0, 1.0) if edge else fill + (1.0,), colour)
    return colour


def bullet_shade(x, y):
    d = math.hypot(x - 6.0, y - 6.0)
    if d > 5.0:
        return None
    if d > 4.0:
        return (128, 0, 0, 1.0)  # maroon rim
    # Yellow ball with a light spot towards the top left.
    spot = max(0.0, 1.0 - math.hypot(x - 4.5, y - 4.5) / 3.0)
    return (255, 255, int(40 + 200 * spot), 1.0)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    write_png(os.path.join(here, "velomorph.png"), 64, 64, render(64, 64, icon_shade))
    write_png(os.path.join(here, "bullet.png"), 12, 12, render(12, 12, bullet_shade))


if __name__ == "__main__":
    main()
