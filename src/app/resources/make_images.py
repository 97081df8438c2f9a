#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the program's pictures.

Without arguments, writes the pictures built into the program beside this
script (run it again after changing a drawing and commit them):
  velomorph.png (64 x 64): the application icon, a velocity curve bending
    through two control points on a dark rounded tile;
  bullet.png (12 x 12): the bullet of the About box, a yellow ball.

With --theme DIR, writes the same icon for the desktop's icon theme:
DIR/hicolor/NxN/apps/velomorph.png for N in 16, 32, 48, 64, 128 and 256, and
DIR/hicolor/scalable/apps/velomorph.svg. The build runs this.

Pure Python (zlib and struct); each pixel is sampled several times for
smooth edges.
"""
import math
import os
import struct
import sys
import zlib

SAMPLES = 4
THEME_SIZES = (16, 32, 48, 64, 128, 256)
# The icon is drawn on a 64-unit square, whatever its size in pixels.
ICON_UNITS = 64.0
PLOT_LEFT, PLOT_BOTTOM, PLOT_SIZE = 10.0, 54.0, 44.0
TILE_RADIUS = 12.0
CURVE_HALF_WIDTH = 2.4
GRID_COLOUR = (60, 90, 140, 0.8)


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


def render(width, height, shade, samples=SAMPLES):
    """shade(x, y) gives (r, g, b, a) with a in 0..1, or None for clear."""
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    c = shade(px + (sx + 0.5) / samples, py + (sy + 0.5) / samples)
                    if c is None:
                        continue
                    r, g, b, a = c
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = samples * samples
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


def tile_colour(t):
    """The tile's colour at height t (0 top, 1 bottom): dark blue fading to black."""
    return (20 * (1 - t), 40 * (1 - t) + 8, 110 * (1 - t) + 20)


def grid_lines():
    """Faint grid, as on the chart: (x1, y1, x2, y2) for each line."""
    lines = []
    for k in range(1, 4):
        gx = PLOT_LEFT + PLOT_SIZE * k / 4
        gy = PLOT_BOTTOM - PLOT_SIZE * k / 4
        lines.append((gx, PLOT_BOTTOM - PLOT_SIZE, gx, PLOT_BOTTOM))
        lines.append((PLOT_LEFT, gy, PLOT_LEFT + PLOT_SIZE, gy))
    return lines


def curve_points():
    """The curve: origin, two control points, end point."""

    def at(i, o):
        return (PLOT_LEFT + PLOT_SIZE * i / 127.0, PLOT_BOTTOM - PLOT_SIZE * o / 127.0)

    return [at(0, 0), at(50, 20), at(80, 110), at(127, 127)]


def markers():
    """Markers: yellow for the point being dragged, lime for the other."""
    points = curve_points()
    return ((points[1], (0, 255, 0)), (points[2], (255, 255, 0)))


def icon_shade(x, y):
    size, radius = ICON_UNITS, TILE_RADIUS
    cx = min(max(x, radius), size - radius)
    cy = min(max(y, radius), size - radius)
    if math.hypot(x - cx, y - cy) > radius:
        return None
    colour = tile_colour(y / size) + (1.0,)

    lines = grid_lines()
    # A vertical and a horizontal line k, drawn as one (their crossing once).
    for vertical, horizontal in zip(lines[0::2], lines[1::2]):
        gx, top, _, bottom = vertical
        left, gy, right, _ = horizontal
        if (abs(x - gx) < 0.5 and top <= y <= bottom) or (abs(y - gy) < 0.5 and left <= x <= right):
            colour = over(GRID_COLOUR, colour)

    points = curve_points()
    d = min(distance_to_segment(x, y, *points[i], *points[i + 1]) for i in range(3))
    if d < CURVE_HALF_WIDTH:
        colour = over((0, 255, 0, min(1.0, CURVE_HALF_WIDTH - d)), colour)
    for (mx, my), fill in markers():
        if abs(x - mx) <= 4.0 and abs(y - my) <= 4.0:
            edge = abs(x - mx) > 3.0 or abs(y - my) > 3.0
            colour = over((0, 0, 0, 1.0) if edge else fill + (1.0,), colour)
    return colour


def icon_pixels(size):
    scale = ICON_UNITS / size
    # Large sizes need fewer samples per pixel for the same smoothness.
    samples = SAMPLES if size <= 64 else 2
    return render(size, size, lambda x, y: icon_shade(x * scale, y * scale), samples)


def rgb(colour):
    return "#%02x%02x%02x" % tuple(int(round(c)) for c in colour[:3])


def icon_svg():
    """The same drawing as icon_shade, as SVG."""
    top, bottom = tile_colour(0.0), tile_colour(1.0)
    grid = "\n".join(
        '    <line x1="%g" y1="%g" x2="%g" y2="%g"/>' % line for line in grid_lines()
    )
    curve = " ".join("%.3f,%.3f" % p for p in curve_points())
    marks = "\n".join(
        '  <rect x="%.3f" y="%.3f" width="7" height="7" fill="%s" stroke="#000000" stroke-width="1"/>'
        % (mx - 3.5, my - 3.5, rgb(fill))
        for (mx, my), fill in markers()
    )
    return """<?xml version="1.0" encoding="UTF-8"?>
<!-- SPDX-License-Identifier: GPL-3.0-or-later -->
<!-- Drawn by src/app/resources/make_images.py -->
<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">
  <defs>
    <linearGradient id="tile" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="{top}"/>
      <stop offset="1" stop-color="{bottom}"/>
    </linearGradient>
  </defs>
  <rect width="64" height="64" rx="{radius:g}" ry="{radius:g}" fill="url(#tile)"/>
  <g stroke="{grid_colour}" stroke-opacity="{grid_opacity:g}" stroke-width="1">
{grid}
  </g>
  <polyline points="{curve}" fill="none" stroke="#00ff00" stroke-width="{curve_width:g}"
            stroke-linejoin="round" stroke-linecap="round"/>
{marks}
</svg>
""".format(
        top=rgb(top),
        bottom=rgb(bottom),
        radius=TILE_RADIUS,
        grid_colour=rgb(GRID_COLOUR),
        grid_opacity=GRID_COLOUR[3],
        grid=grid,
        curve=curve,
        curve_width=2 * CURVE_HALF_WIDTH - 1,
        marks=marks,
    )


def write_theme(root):
    for size in THEME_SIZES:
        folder = os.path.join(root, "hicolor", "%dx%d" % (size, size), "apps")
        os.makedirs(folder, exist_ok=True)
        write_png(os.path.join(folder, "velomorph.png"), size, size, icon_pixels(size))
    folder = os.path.join(root, "hicolor", "scalable", "apps")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "velomorph.svg"), "w", encoding="utf-8") as f:
        f.write(icon_svg())


def bullet_shade(x, y):
    d = math.hypot(x - 6.0, y - 6.0)
    if d > 5.0:
        return None
    if d > 4.0:
        return (128, 0, 0, 1.0)  # maroon rim
    # Yellow ball with a light spot towards the top left.
    spot = max(0.0, 1.0 - math.hypot(x - 4.5, y - 4.5) / 3.0)
    return (255, 255, int(40 + 200 * spot), 1.0)


def main(args):
    if len(args) == 2 and args[0] == "--theme":
        write_theme(args[1])
        return 0
    if args:
        print("usage: make_images.py [--theme DIR]", file=sys.stderr)
        return 2
    here = os.path.dirname(os.path.abspath(__file__))
    write_png(os.path.join(here, "velomorph.png"), 64, 64, icon_pixels(64))
    write_png(os.path.join(here, "bullet.png"), 12, 12, render(12, 12, bullet_shade))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
