#!/usr/bin/env python3
"""Draws the program's icon for the desktop's icon theme: the mark of the
window's caption (a blue rounded square holding a white downward arrow, here
with the tray it lands on) at the sizes desktops ask for, as PNG files with
alpha, and the same shapes as a scalable SVG. Writes them beside this script;
the install rules copy them into the hicolor theme.

    python3 assets/icon/draw_icon.py

Uses the drawing helpers of assets/skin/draw_skin.py (standard library only).
The images are committed; run the script again after changing it.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # keep assets/skin free of a cache folder
sys.path.insert(0, os.path.join(HERE, "..", "skin"))
from draw_skin import coverage, mix, rounded_rect, thick_polyline, write_png  # noqa: E402

SIZES = (16, 22, 24, 32, 48, 64, 128, 256)

BLUE_TOP = (86, 160, 222)
BLUE_BOTTOM = (38, 108, 178)
BORDER = (30, 86, 146)
WHITE = (250, 252, 255)

# The shapes on a 0..1 square. The badge leaves a sixteenth free on each side,
# as the theme's guidelines ask; the strokes have round ends.
BADGE = (1 / 16, 1 / 16, 15 / 16, 15 / 16, 0.17)
BORDER_WIDTH = 1 / 48
STROKE = 0.095
SHAFT = [(0.5, 0.22), (0.5, 0.6)]
HEAD = [(0.31, 0.43), (0.5, 0.62), (0.69, 0.43)]
TRAY = [(0.27, 0.68), (0.27, 0.77), (0.73, 0.77), (0.73, 0.68)]


def scaled(points, s):
    return [(x * s, y * s) for x, y in points]


def draw(size):
    x0, y0, x1, y1, r = (v * size for v in BADGE)
    bw = max(BORDER_WIDTH * size, 1.0)
    outer = rounded_rect(x0, y0, x1, y1, r)
    inner = rounded_rect(x0 + bw, y0 + bw, x1 - bw, y1 - bw, max(r - bw, 0.5))
    width = max(STROKE * size, 1.4)
    strokes = [thick_polyline(scaled(p, size), width) for p in (SHAFT, HEAD, TRAY)]

    def glyph(px, py):
        return any(s(px, py) for s in strokes)

    img = []
    for y in range(size):
        row = []
        for x in range(size):
            a = coverage(outer, x, y)
            if a == 0:
                row.append((0, 0, 0, 0))
                continue
            fill = mix(BLUE_TOP, BLUE_BOTTOM, (y + 0.5 - y0) / (y1 - y0))
            c = mix(BORDER, fill, coverage(inner, x, y))
            c = mix(c, WHITE, coverage(glyph, x, y))
            row.append((*c, int(round(255 * a))))
        img.append(row)
    return img


def svg():
    s = 256
    x0, y0, x1, y1, r = (v * s for v in BADGE)
    bw = BORDER_WIDTH * s

    def hexc(c):
        return "#%02x%02x%02x" % c

    def path(points):
        head, *rest = scaled(points, s)
        return "M%g %g" % head + "".join(" L%g %g" % p for p in rest)

    return f"""<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="{s}" height="{s}" viewBox="0 0 {s} {s}">
  <defs>
    <linearGradient id="fill" x1="0" y1="{y0:g}" x2="0" y2="{y1:g}" gradientUnits="userSpaceOnUse">
      <stop offset="0" stop-color="{hexc(BLUE_TOP)}"/>
      <stop offset="1" stop-color="{hexc(BLUE_BOTTOM)}"/>
    </linearGradient>
  </defs>
  <rect x="{x0:g}" y="{y0:g}" width="{x1 - x0:g}" height="{y1 - y0:g}" rx="{r:g}" fill="{hexc(BORDER)}"/>
  <rect x="{x0 + bw:g}" y="{y0 + bw:g}" width="{x1 - x0 - 2 * bw:g}" height="{y1 - y0 - 2 * bw:g}" rx="{r - bw:g}" fill="url(#fill)"/>
  <g fill="none" stroke="{hexc(WHITE)}" stroke-width="{STROKE * s:g}" stroke-linecap="round" stroke-linejoin="round">
    <path d="{path(SHAFT)}"/>
    <path d="{path(HEAD)}"/>
    <path d="{path(TRAY)}"/>
  </g>
</svg>
"""


if __name__ == "__main__":
    for n in SIZES:
        write_png(os.path.join(HERE, f"{n}.png"), n, n, draw(n), alpha=True)
    with open(os.path.join(HERE, "scalable.svg"), "w", encoding="utf-8") as f:
        f.write(svg())
