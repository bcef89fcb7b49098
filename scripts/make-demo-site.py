#!/usr/bin/env python3
"""Writes a small demo site for the window's screenshot: an index page that
links four movies, and the movies themselves (valid SWF headers with padding
so that they have sizes worth showing).

    python3 scripts/make-demo-site.py <folder>
"""
import os
import struct
import sys
import zlib


def rect_bits(xmax, ymax):
    nbits = 16
    values = [0, xmax, 0, ymax]
    bits = format(nbits, "05b") + "".join(format(v & ((1 << nbits) - 1), f"0{nbits}b") for v in values)
    bits += "0" * (-len(bits) % 8)
    return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))


def movie(width, height, frames, padding, compressed=False):
    body = rect_bits(width * 20, height * 20) + struct.pack("<HH", 24 << 8, frames)
    body += b"\x00\x00" + bytes(padding)  # End tag, then filler
    length = 8 + len(body)
    if compressed:
        return b"CWS" + bytes([10]) + struct.pack("<I", length) + zlib.compress(body)
    return b"FWS" + bytes([10]) + struct.pack("<I", length) + body


def main():
    root = sys.argv[1]
    os.makedirs(os.path.join(root, "movies"), exist_ok=True)
    files = {
        "movies/intro.swf": movie(550, 400, 12, 180_000),
        "movies/banner.swf": movie(728, 90, 48, 52_000),
        "movies/game.swf": movie(800, 600, 240, 1_400_000, compressed=False),
        "movies/clock.swf": movie(320, 240, 30, 700),
    }
    for name, data in files.items():
        with open(os.path.join(root, name), "wb") as f:
            f.write(data)
    links = "\n".join(f'<embed src="{name}" type="application/x-shockwave-flash">' for name in files)
    with open(os.path.join(root, "index.html"), "w") as f:
        f.write(f"<html><head><title>Demo movies</title></head><body>\n{links}\n</body></html>\n")


if __name__ == "__main__":
    main()
