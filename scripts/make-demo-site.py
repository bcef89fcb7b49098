#!/usr/bin/env python3
"""Writes a small demo site for the window's screenshot: an index page that
links four movies, and the movies themselves. The movies are drawn here,
tag by tag: a gradient backdrop, a few shapes (rectangles, circles, a
triangle) and some frames of motion, so the preview pane has something to
play. Filler after each movie's End tag gives the rows sizes worth showing.

    python3 scripts/make-demo-site.py <folder>
"""
import math
import os
import struct
import sys
import zlib

TWIPS = 20


class Bits:
    """A big-endian bit writer, as SWF records are packed."""

    def __init__(self):
        self.bits = []

    def ub(self, value, n):
        self.bits += [(value >> (n - 1 - i)) & 1 for i in range(n)]

    def sb(self, value, n):
        self.ub(value & ((1 << n) - 1), n)

    def data(self):
        padded = self.bits + [0] * (-len(self.bits) % 8)
        return bytes(int("".join(map(str, padded[i:i + 8])), 2) for i in range(0, len(padded), 8))


def sbits(*values):
    """The signed field width that holds every value."""
    return max(max(abs(v) for v in values).bit_length() + 1, 2)


def rect(xmin, xmax, ymin, ymax):
    b = Bits()
    n = sbits(xmin, xmax, ymin, ymax)
    b.ub(n, 5)
    for v in (xmin, xmax, ymin, ymax):
        b.sb(v, n)
    return b.data()


def matrix(tx=0, ty=0, scale=None, rotate=None):
    """scale = (sx, sy) and rotate = (r0, r1) as real factors (16.16 fixed in the file)."""
    b = Bits()
    for pair in (scale, rotate):
        b.ub(1 if pair else 0, 1)
        if pair:
            fixed = [round(v * 65536) for v in pair]
            n = sbits(*fixed)
            b.ub(n, 5)
            for v in fixed:
                b.sb(v, n)
    n = sbits(tx, ty) if (tx or ty) else 0
    b.ub(n, 5)
    if n:
        b.sb(tx, n)
        b.sb(ty, n)
    return b.data()


def tag(code, body=b""):
    if len(body) < 63:
        return struct.pack("<H", code << 6 | len(body)) + body
    return struct.pack("<HI", code << 6 | 63, len(body)) + body


def solid(r, g, b):
    return bytes([0x00, r, g, b])


def gradient(kind, width, height, stops, vertical=False):
    """A linear (0x10) or radial (0x12) fill whose gradient square covers
    width x height twips around the shape's origin; a vertical one runs
    from top to bottom over height."""
    if vertical:
        k = height / 32768
        m = matrix(scale=(0, 0), rotate=(k, -k))
    else:
        m = matrix(scale=(width / 32768, height / 32768))
    body = bytes([kind]) + m + bytes([len(stops)])  # pad spread, RGB interpolation
    for ratio, (r, g, b) in stops:
        body += bytes([ratio, r, g, b])
    return body


def define_shape(shape_id, fill, outline, line=None):
    """DefineShape (version 1): one fill, an optional line (width, rgb), and
    one closed outline of ("line", dx, dy) and ("curve", cdx, cdy, adx, ady)
    edges starting at outline[0] = (x, y)."""
    x0, y0 = outline[0]
    xs, ys, x, y = [x0], [y0], x0, y0
    for edge in outline[1:]:
        if edge[0] == "line":
            x, y = x + edge[1], y + edge[2]
        else:
            xs.append(x + edge[1])
            ys.append(y + edge[2])
            x, y = x + edge[1] + edge[3], y + edge[2] + edge[4]
        xs.append(x)
        ys.append(y)
    pad = line[0] if line else 0
    body = struct.pack("<H", shape_id) + rect(min(xs) - pad, max(xs) + pad, min(ys) - pad, max(ys) + pad)
    body += bytes([1]) + fill
    body += bytes([1]) + struct.pack("<H", line[0]) + bytes(line[1]) if line else bytes([0])
    b = Bits()
    b.ub(1, 4)  # fill index bits
    b.ub(1, 4)  # line index bits
    # Style change: move to the start, fill 1 on the right, the line.
    b.ub(0, 1)
    b.ub(0, 1)
    b.ub(1 if line else 0, 1)
    b.ub(1, 1)  # fill style 1
    b.ub(0, 1)  # fill style 0
    b.ub(1, 1)  # move to
    n = sbits(x0, y0)
    b.ub(n, 5)
    b.sb(x0, n)
    b.sb(y0, n)
    b.ub(1, 1)
    if line:
        b.ub(1, 1)
    for edge in outline[1:]:
        n = sbits(*edge[1:])
        b.ub(1, 1)
        if edge[0] == "line":
            b.ub(1, 1)
            b.ub(n - 2, 4)
            b.ub(1, 1)  # general line
            b.sb(edge[1], n)
            b.sb(edge[2], n)
        else:
            b.ub(0, 1)
            b.ub(n - 2, 4)
            for v in edge[1:]:
                b.sb(v, n)
    b.ub(0, 6)  # end of shape
    return tag(2, body + b.data())


def box(w, h):
    return [(-w // 2, -h // 2), ("line", w, 0), ("line", 0, h), ("line", -w, 0), ("line", 0, -h)]


def circle(r):
    """Eight quadratic curves around the centre."""
    points = [(round(r * math.cos(a * math.pi / 4)), round(r * math.sin(a * math.pi / 4))) for a in range(9)]
    k = r / math.cos(math.pi / 8)
    controls = [(round(k * math.cos((a + 0.5) * math.pi / 4)), round(k * math.sin((a + 0.5) * math.pi / 4)))
                for a in range(8)]
    outline = [points[0]]
    for a in range(8):
        (x, y), (cx, cy), (nx, ny) = points[a], controls[a], points[a + 1]
        outline.append(("curve", cx - x, cy - y, nx - cx, ny - cy))
    return outline


def triangle(size):
    return [(0, -size), ("line", size, 2 * size), ("line", -2 * size, 0), ("line", size, -2 * size)]


def place(depth, character=None, tx=0, ty=0, angle=0.0, scale=1.0):
    """PlaceObject2: a new character at a depth, or a move of the one there."""
    c, s = math.cos(angle) * scale, math.sin(angle) * scale
    m = matrix(round(tx), round(ty), scale=(c, c), rotate=(s, -s) if angle else None)
    if character is None:
        return tag(26, bytes([0x05]) + struct.pack("<H", depth) + m)
    return tag(26, bytes([0x06]) + struct.pack("<HH", depth, character) + m)


def movie(width, height, frames, scene, padding=0, compressed=False):
    """scene(w, h, frame) gives the tags of one frame, the first one's
    definitions included."""
    w, h = width * TWIPS, height * TWIPS
    tags = tag(9, bytes([24, 26, 38]))
    for frame in range(frames):
        tags += scene(w, h, frame) + tag(1)
    body = rect(0, w, 0, h) + struct.pack("<HH", 24 << 8, frames) + tags + tag(0) + bytes(padding)
    length = 8 + len(body)
    if compressed:
        return b"CWS" + bytes([10]) + struct.pack("<I", length) + zlib.compress(body)
    return b"FWS" + bytes([10]) + struct.pack("<I", length) + body


def orbit_scene(frames):
    """A sky gradient, a radial sun, and three shapes circling it."""
    def scene(w, h, frame):
        out = b""
        if frame == 0:
            sky = [(0, (32, 64, 140)), (150, (120, 90, 170)), (255, (250, 160, 90))]
            out += define_shape(1, gradient(0x10, w, h, sky, vertical=True), box(w, h))
            out += define_shape(2, gradient(0x12, h // 3, h // 3, [(0, (255, 246, 200)), (255, (250, 170, 40))]),
                                circle(h // 6), (40, (255, 255, 255)))
            out += define_shape(3, solid(80, 200, 170), box(h // 6, h // 6), (30, (20, 40, 60)))
            out += define_shape(4, solid(240, 80, 110), triangle(h // 12), (30, (60, 20, 30)))
            out += define_shape(5, solid(250, 220, 80), circle(h // 16), (30, (90, 60, 10)))
            out += place(1, 1, w // 2, h // 2)
            out += place(2, 2, w // 2, h // 2)
        t = 2 * math.pi * frame / frames
        for depth, character, phase in ((3, 3, 0.0), (4, 4, 2.1), (5, 5, 4.2)):
            x = w / 2 + math.cos(t + phase) * w * 0.32
            y = h / 2 + math.sin(t + phase) * h * 0.32
            out += place(depth, character if frame == 0 else None, x, y, t * 2 + phase)
        return out
    return scene


def bars_scene(frames):
    """A banner: a horizontal gradient and a ball rolling along it."""
    def scene(w, h, frame):
        out = b""
        if frame == 0:
            stops = [(0, (20, 110, 190)), (128, (40, 180, 120)), (255, (230, 200, 60))]
            out += define_shape(1, gradient(0x10, w, w, stops), box(w, h))
            out += define_shape(2, solid(245, 245, 250), circle(h // 3), (40, (30, 30, 50)))
            out += place(1, 1, w // 2, h // 2)
        x = h / 2 + (w - h) * (0.5 - 0.5 * math.cos(2 * math.pi * frame / frames))
        out += place(2, 2 if frame == 0 else None, x, h / 2)
        return out
    return scene


def clock_scene(frames):
    """A dial with a hand that turns once."""
    def scene(w, h, frame):
        out = b""
        if frame == 0:
            out += define_shape(1, gradient(0x12, h, h, [(0, (250, 250, 240)), (255, (170, 180, 200))]),
                                circle(h * 2 // 5), (60, (40, 40, 60)))
            out += define_shape(2, solid(200, 40, 60), [(-h // 40, 0), ("line", h // 20, 0), ("line", 0, -h // 3),
                                                         ("line", -h // 20, 0), ("line", 0, h // 3)])
            out += place(1, 1, w // 2, h // 2)
        out += place(2, 2 if frame == 0 else None, w // 2, h // 2, 2 * math.pi * frame / frames)
        return out
    return scene


def main():
    root = sys.argv[1]
    os.makedirs(os.path.join(root, "movies"), exist_ok=True)
    files = {
        "movies/intro.swf": movie(550, 400, 72, orbit_scene(72), 180_000),
        "movies/banner.swf": movie(728, 90, 48, bars_scene(48), 52_000),
        "movies/game.swf": movie(800, 600, 240, orbit_scene(240), 1_400_000),
        "movies/clock.swf": movie(320, 240, 30, clock_scene(30), 700, compressed=True),
    }
    for name, data in files.items():
        with open(os.path.join(root, name), "wb") as f:
            f.write(data)
    links = "\n".join(f'<embed src="{name}" type="application/x-shockwave-flash">' for name in files)
    with open(os.path.join(root, "index.html"), "w") as f:
        f.write(f"<html><head><title>Demo movies</title></head><body>\n{links}\n</body></html>\n")


if __name__ == "__main__":
    main()
