#!/usr/bin/env python3
"""Draws the window skin of Quenloft and writes it as PNG files beside this
script (standard library only: zlib and struct).

    python3 assets/skin/draw_skin.py

The images are committed; run the script again after changing it. Sizes and
roles are fixed by the window code: a 1 x 28 caption strip, 5-pixel edges,
corner pieces, the caption buttons (close 28 x 18, minimise 23 x 18: up, hot,
down), the 78 x 23 push-button states (up, hot, down, disabled), the four
16 x 16 task-state icons with alpha and the 16 x 16 folder glyph of the path
box. Shapes are anti-aliased by 4 x 4 supersampling.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

WINDOW = (191, 197, 201)       # the window background
CAPTION_TOP = (78, 86, 94)     # caption strip, top row
CAPTION_BOTTOM = (52, 57, 63)  # caption strip, bottom row
EDGE = (52, 57, 63)            # side and bottom edges
EDGE_LIGHT = (120, 128, 136)   # one-pixel inner highlight of the edges


# --- PNG writing -----------------------------------------------------------

def write_png(name, width, height, pixels, alpha=False):
    """pixels: list of rows, each a list of (r, g, b) or (r, g, b, a)."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for p in row:
            raw.extend(bytes(p[:4] if alpha else p[:3]))
    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    colour_type = 6 if alpha else 2
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(png)


# --- small drawing helpers -------------------------------------------------

def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def canvas(w, h, colour):
    return [[tuple(colour) for _ in range(w)] for _ in range(h)]


def coverage(inside, x, y, n=4):
    """Fraction of pixel (x, y) covered by the shape `inside(px, py)`."""
    hits = 0
    for i in range(n):
        for j in range(n):
            if inside(x + (i + 0.5) / n, y + (j + 0.5) / n):
                hits += 1
    return hits / (n * n)


def paint(img, inside, colour_at):
    """Blends colour_at(x, y) over img where the shape covers it."""
    for y in range(len(img)):
        for x in range(len(img[0])):
            c = coverage(inside, x, y)
            if c > 0:
                img[y][x] = mix(img[y][x], colour_at(x, y), c)


def rounded_rect(x0, y0, x1, y1, r):
    def inside(px, py):
        if px < x0 or px > x1 or py < y0 or py > y1:
            return False
        cx = min(max(px, x0 + r), x1 - r)
        cy = min(max(py, y0 + r), y1 - r)
        return (px - cx) ** 2 + (py - cy) ** 2 <= r * r
    return inside


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def thick_polyline(points, width):
    def inside(px, py):
        return any(seg_dist(px, py, *points[i], *points[i + 1]) <= width / 2
                   for i in range(len(points) - 1))
    return inside


def caption_colour(y, height=28):
    return mix(CAPTION_TOP, CAPTION_BOTTOM, y / (height - 1))


# --- the frame -------------------------------------------------------------

def caption_strip(w, h=28):
    img = [[caption_colour(y) for _ in range(w)] for y in range(h)]
    for x in range(w):
        img[0][x] = mix(CAPTION_TOP, (255, 255, 255), 0.18)  # top highlight
        img[h - 1][x] = (40, 44, 48)                         # line under the caption
    return img


def draw_frame():
    write_png("top.png", 1, 28, caption_strip(1))
    write_png("left.png", 5, 1, [[EDGE, EDGE, EDGE, EDGE, EDGE_LIGHT]])
    write_png("right.png", 5, 1, [[EDGE_LIGHT, EDGE, EDGE, EDGE, EDGE]])
    bottom = [[EDGE_LIGHT], [EDGE], [EDGE], [EDGE], [EDGE]]
    write_png("bottom.png", 1, 5, bottom)

    # Top-left corner with the program's mark: a blue rounded square holding a
    # downward arrow, left of the title (which starts at x = 36).
    tl = caption_strip(32)
    for y in range(28):
        tl[y][0] = EDGE
    blue_top, blue_bottom = (86, 160, 222), (38, 108, 178)
    paint(tl, rounded_rect(9, 5, 27, 23, 4), lambda x, y: mix(blue_top, blue_bottom, (y - 5) / 18))
    white = (250, 252, 255)
    paint(tl, thick_polyline([(18, 9), (18, 18)], 2.4), lambda x, y: white)
    paint(tl, thick_polyline([(13.5, 14.5), (18, 19), (22.5, 14.5)], 2.4), lambda x, y: white)
    write_png("topleft.png", 32, 28, tl)

    tr = caption_strip(8)
    for y in range(28):
        tr[y][7] = EDGE
    write_png("topright.png", 8, 28, tr)

    # Bottom corners: plain edge colour with the inner highlight; the rounded
    # window outline cuts the outer pixels.
    bl = canvas(5, 5, EDGE)
    for i in range(5):
        bl[i][4] = EDGE_LIGHT if i == 0 else EDGE
    bl[0][4] = EDGE_LIGHT
    write_png("bottomleft.png", 5, 5, bl)
    br = canvas(5, 5, EDGE)
    br[0][0] = EDGE_LIGHT
    write_png("bottomright.png", 5, 5, br)


# --- caption buttons -------------------------------------------------------

def caption_button(w, h, state, glyph, hot_colour):
    """A caption-bar button; its background continues the strip (it sits at
    y = 3 on the caption bar)."""
    img = [[caption_colour(y + 3) for _ in range(w)] for y in range(h)]
    if state == "hot":
        paint(img, rounded_rect(1, 1, w - 1, h - 1, 3), lambda x, y: hot_colour)
    elif state == "down":
        paint(img, rounded_rect(1, 1, w - 1, h - 1, 3), lambda x, y: mix(hot_colour, (0, 0, 0), 0.3))
    ink = (236, 240, 244) if state == "up" else (255, 255, 255)
    shift = 1 if state == "down" else 0
    glyph(img, w, h, ink, shift)
    return img


def close_glyph(img, w, h, ink, s):
    cx, cy = w / 2 + s, h / 2 + s
    paint(img, thick_polyline([(cx - 4, cy - 4), (cx + 4, cy + 4)], 1.8), lambda x, y: ink)
    paint(img, thick_polyline([(cx - 4, cy + 4), (cx + 4, cy - 4)], 1.8), lambda x, y: ink)


def min_glyph(img, w, h, ink, s):
    cx, cy = w / 2 + s, h / 2 + s
    paint(img, thick_polyline([(cx - 4.5, cy + 3), (cx + 4.5, cy + 3)], 2.0), lambda x, y: ink)


def draw_caption_buttons():
    for state in ("up", "hot", "down"):
        write_png(f"close_{state}.png", 28, 18, caption_button(28, 18, state, close_glyph, (212, 64, 56)))
        write_png(f"min_{state}.png", 23, 18, caption_button(23, 18, state, min_glyph, (98, 108, 118)))


# --- push buttons (78 x 23, stretched with 8-pixel margins) -----------------

def push_button(state):
    w, h = 78, 23
    img = canvas(w, h, WINDOW)
    looks = {
        "up": ((250, 251, 252), (222, 227, 231), (118, 127, 135)),
        "hot": ((240, 248, 255), (205, 224, 242), (62, 128, 192)),
        "down": ((196, 212, 228), (220, 232, 244), (48, 104, 160)),
        "disabled": ((226, 229, 231), (226, 229, 231), (160, 166, 171)),
    }
    top, bottom, border = looks[state]
    paint(img, rounded_rect(0, 0, w, h, 4), lambda x, y: border)
    paint(img, rounded_rect(1, 1, w - 1, h - 1, 3), lambda x, y: mix(top, bottom, (y - 1) / (h - 3)))
    if state in ("up", "hot"):
        # A one-pixel highlight under the top border.
        paint(img, lambda px, py: 3 <= px <= w - 3 and 1 <= py < 2, lambda x, y: (255, 255, 255))
    return img


def draw_push_buttons():
    for state in ("up", "hot", "down", "disabled"):
        write_png(f"button_{state}.png", 78, 23, push_button(state))


# --- 16 x 16 icons with alpha ----------------------------------------------

def icon(base_top, base_bottom, glyph):
    """A round badge with a vertical gradient and a white glyph."""
    size = 16
    img = [[(0, 0, 0, 0) for _ in range(size)] for _ in range(size)]
    circle = lambda px, py: (px - 8) ** 2 + (py - 8) ** 2 <= 7.4 ** 2
    ring = lambda px, py: (px - 8) ** 2 + (py - 8) ** 2 <= 6.5 ** 2
    for y in range(size):
        for x in range(size):
            a = coverage(circle, x, y)
            if a == 0:
                continue
            edge = mix(base_bottom, (0, 0, 0), 0.2)
            fill = mix(base_top, base_bottom, y / 15)
            c = mix(edge, fill, coverage(ring, x, y))
            g = coverage(glyph, x, y) if glyph else 0
            c = mix(c, (255, 255, 255), g)
            img[y][x] = (*c, int(round(255 * a)))
    return img


def draw_state_icons():
    arrow = lambda px, py: (thick_polyline([(8, 3.8), (8, 10.5)], 2.2)(px, py)
                            or thick_polyline([(4.8, 8.2), (8, 11.6), (11.2, 8.2)], 2.2)(px, py))
    check = thick_polyline([(4.6, 8.4), (7.0, 10.8), (11.4, 5.4)], 2.2)
    exclaim = lambda px, py: (thick_polyline([(8, 3.9), (8, 8.8)], 2.3)(px, py)
                              or (px - 8) ** 2 + (py - 11.7) ** 2 <= 1.35 ** 2)
    write_png("state_queued.png", 16, 16, icon((196, 200, 204), (150, 156, 162), None), alpha=True)
    write_png("state_downloading.png", 16, 16, icon((92, 164, 230), (36, 104, 182), arrow), alpha=True)
    write_png("state_done.png", 16, 16, icon((108, 200, 112), (46, 142, 60), check), alpha=True)
    write_png("state_failed.png", 16, 16, icon((238, 98, 88), (190, 40, 36), exclaim), alpha=True)

    # The folder glyph of the output-path box.
    size = 16
    img = [[(0, 0, 0, 0) for _ in range(size)] for _ in range(size)]
    back = rounded_rect(1.5, 3, 14.5, 13.5, 1.2)
    tab = rounded_rect(1.5, 2, 7, 5, 1)
    front = rounded_rect(1.5, 5.5, 14.5, 13.5, 1.2)
    for y in range(size):
        for x in range(size):
            b = max(coverage(back, x, y), coverage(tab, x, y))
            f = coverage(front, x, y)
            if b == 0 and f == 0:
                continue
            c = mix((196, 150, 60), (240, 196, 96), f)
            img[y][x] = (*c, int(round(255 * max(b, f))))
    write_png("folder.png", 16, 16, img, alpha=True)


if __name__ == "__main__":
    draw_frame()
    draw_caption_buttons()
    draw_push_buttons()
    draw_state_icons()
