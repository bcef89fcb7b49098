#!/usr/bin/env python3
"""Writes the seed corpus of fuzz/movie_fuzzer.cpp: small movies, each
aimed at one part of the reader or the timeline, and a few hostile ones
(lying lengths, a decompression bomb, self-placing sprites, huge stages,
style indices out of range). Run from the project root:

    python3 scripts/make-movie-seeds.py fuzz/corpus/movie
"""
import lzma
import os
import struct
import sys
import zlib


class Bits:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def u(self, value, count):
        for i in range(count - 1, -1, -1):
            self.acc = (self.acc << 1) | ((value >> i) & 1)
            self.n += 1
            if self.n == 8:
                self.out.append(self.acc)
                self.acc = self.n = 0
        return self

    def s(self, value, count):
        return self.u(value & ((1 << count) - 1), count)

    def align(self):
        if self.n:
            self.u(0, 8 - self.n)
        return self

    def raw(self, data):
        self.align()
        self.out += data
        return self

    def bytes(self):
        return bytes(self.align().out)


def tag(code, body=b"", long=False):
    if len(body) < 63 and not long:
        return struct.pack("<H", code << 6 | len(body)) + body
    return struct.pack("<HI", code << 6 | 63, len(body)) + body


def rect(x0, x1, y0, y1, nbits=20):
    return Bits().u(nbits, 5).s(x0, nbits).s(x1, nbits).s(y0, nbits).s(y1, nbits).bytes()


def matrix(tx=0, ty=0):
    return Bits().u(0, 1).u(0, 1).u(20, 5).s(tx, 20).s(ty, 20).bytes()


def shape(cid, w, h, code=2, fill_index=1, edges=4):
    body = struct.pack("<H", cid) + rect(0, w, 0, h)
    if code == 83:
        body += rect(0, w, 0, h) + bytes([0x04])  # edge bounds, non-zero winding
    body += bytes([1, 0, 255, 0, 0]) if code < 32 else bytes([1, 0, 255, 0, 0, 255])
    body += bytes([1]) + struct.pack("<H", 20)
    if code == 83:
        body += bytes([0x00, 0x00])  # round caps and joins, no fill
    body += bytes([0, 0, 255]) if code < 32 else bytes([0, 0, 255, 255])
    b = Bits().u(3, 4).u(1, 4)
    b.u(0, 1).u(0b01101, 5).u(16, 5).s(0, 16).s(0, 16).u(fill_index, 3).u(1, 1)
    step = [(w, 0), (0, h), (-w, 0), (0, -h)]
    for i in range(edges):
        dx, dy = step[i % 4]
        b.u(1, 1).u(1, 1).u(14, 4).u(1, 1).s(dx, 16).s(dy, 16)
    b.u(0, 6)
    return tag(code, body + b.bytes(), long=True)


def place2(depth, cid=None, tx=0, move=False, ratio=None):
    flags = 0x04 | (0x01 if move else 0) | (0x02 if cid is not None else 0) | (0x10 if ratio is not None else 0)
    body = bytes([flags]) + struct.pack("<H", depth)
    if cid is not None:
        body += struct.pack("<H", cid)
    body += matrix(tx)
    if ratio is not None:
        body += struct.pack("<H", ratio)
    return tag(26, body)


def sprite(cid, frames, tags):
    return tag(39, struct.pack("<HH", cid, frames) + tags, long=True)


SHOW = tag(1)
END = tag(0)


def movie(tags, sig="F", frames=1, stage=(0, 11000, 0, 8000), version=10):
    body = rect(*stage, nbits=31) + struct.pack("<HH", 24 << 8, frames) + tags
    head = sig.encode() + b"WS" + bytes([version]) + struct.pack("<I", len(body) + 8)
    if sig == "F":
        return head + body
    if sig == "C":
        return head + zlib.compress(body, 9)
    alone = lzma.compress(body, format=lzma.FORMAT_ALONE)
    data = alone[13:]
    return head + struct.pack("<I", len(data)) + alone[:5] + data


def lossless(cid, w, h, fmt=5, version=2, data=None):
    raw = data if data is not None else bytes([0x80, 0x10, 0x90, 0x20]) * (w * h)
    body = struct.pack("<HBHH", cid, fmt, w, h) + (b"\x01" if fmt == 3 else b"") + zlib.compress(raw)
    return tag(36 if version == 2 else 20, body, long=True)


def morph(cid):
    b = Bits()
    body = struct.pack("<H", cid) + rect(0, 100, 0, 100) + rect(0, 300, 0, 300)
    styles = bytes([1, 0, 255, 0, 0, 255, 0, 0, 255, 255]) + bytes([1]) + struct.pack("<HH", 20, 60) + bytes(8)
    start = Bits().u(1, 4).u(1, 4).u(0, 1).u(0b01011, 5).u(10, 5).s(0, 10).s(0, 10).u(1, 1).u(1, 1)
    start.u(1, 1).u(1, 1).u(9, 4).u(1, 1).s(100, 11).s(0, 11)
    start.u(1, 1).u(0, 1).u(9, 4).s(0, 11).s(50, 11).s(-100, 11).s(50, 11).u(0, 6)
    start = start.bytes()
    end = Bits().u(0, 8).u(0, 1).u(1, 5).u(10, 5).s(100, 10).s(100, 10)
    end.u(1, 1).u(0, 1).u(9, 4).s(100, 11).s(100, 11).s(100, 11).s(-100, 11)
    end.u(1, 1).u(1, 1).u(9, 4).u(1, 1).s(-200, 11).s(100, 11).u(0, 6)
    del b
    return tag(46, body + struct.pack("<I", len(styles) + len(start)) + styles + start + end.bytes(), long=True)


def font_and_text():
    glyph = Bits().u(1, 4).u(0, 4).u(0, 1).u(0b00011, 5).u(10, 5).s(0, 10).s(0, 10).u(1, 1)
    for dx, dy in [(500, 0), (0, -500), (-500, 0), (0, 500)]:
        glyph.u(1, 1).u(1, 1).u(10, 4).u(1, 1).s(dx, 12).s(dy, 12)
    glyph = glyph.u(0, 6).bytes()
    font = tag(10, struct.pack("<HH", 7, 2) + glyph, long=True)
    info = tag(13, struct.pack("<HB", 7, 1) + b"A" + bytes([0]) + b"a")
    records = bytes([0x8F]) + struct.pack("<HBBBhhH", 7, 0, 0, 255, 100, 400, 480)
    records += bytes([2]) + Bits().u(0, 1).s(300, 12).u(0, 1).s(300, 12).bytes() + bytes([0x81]) + struct.pack("<h", 50)
    records += bytes([1]) + Bits().u(0, 1).s(300, 12).bytes() + b"\x00"
    text = tag(11, struct.pack("<H", 8) + rect(0, 2000, 0, 600) + matrix() + bytes([1, 12]) + records, long=True)
    return font + info + text


def main(folder):
    os.makedirs(folder, exist_ok=True)
    square = shape(1, 400, 300)
    seeds = {
        "shape-fws": movie(square + place2(1, 1, 40) + SHOW + END),
        "shape-cws": movie(square + place2(1, 1) + SHOW + END, "C"),
        "shape-zws": movie(square + place2(1, 1) + SHOW + END, "Z"),
        "shape4-styles": movie(shape(2, 100, 100, code=83, fill_index=5) + place2(1, 2) + SHOW + END),
        "frames-and-actions": movie(
            square + place2(1, 1) + SHOW + place2(1, tx=200, move=True) + tag(12, b"\x81\x02\x00\x00\x00\x06\x00")
            + SHOW + tag(43, b"two\x00") + tag(28, struct.pack("<H", 1)) + tag(12, b"\x8c\x04\x00two\x00\x07\x00")
            + SHOW + END, frames=3),
        "sprite": movie(square + sprite(3, 2, place2(1, 1) + SHOW + place2(1, tx=99, move=True) + SHOW + END)
                        + place2(1, 3) + SHOW + SHOW + END, frames=2),
        "sprite-self": movie(sprite(4, 1, place2(1, 4) + place2(2, 4) + SHOW + END) + place2(1, 4) + SHOW + END),
        "sprite-cycle": movie(sprite(5, 1, place2(1, 6) + SHOW + END) + sprite(6, 1, place2(1, 5) + SHOW + END)
                              + place2(1, 5) + SHOW + END),
        "morph": movie(morph(9) + place2(1, 9, ratio=0) + SHOW + place2(1, move=True, ratio=32768) + SHOW + END,
                       frames=2),
        "lossless": movie(lossless(10, 4, 3) + lossless(11, 3, 2, fmt=3, version=1, data=bytes(6) + bytes(8)) + END),
        "font-text": movie(font_and_text() + place2(1, 8) + SHOW + END),
        "tag-claims-gigabytes": movie(struct.pack("<HI", 2 << 6 | 63, 0xFFFFFFF0) + b"\x01\x00" + END),
        "bomb": b"CWS\x0a" + struct.pack("<I", 0xFFFFFFFF)
                + zlib.compress(rect(0, 1, 0, 1) + b"\x00\x18\x01\x00" + tag(77, bytes(8 << 20), long=True), 9),
        "stage-zero": movie(square + place2(1, 1) + SHOW + END, stage=(0, 0, 0, 0)),
        "stage-negative": movie(square + place2(1, 1) + SHOW + END, stage=(0, -2000, 0, -2000)),
        "stage-huge": movie(square + place2(1, 1) + SHOW + END, stage=(0, 2000000, 0, 2000000)),
        "bitmap-too-large": movie(lossless(12, 8192, 8192, data=b"") + END),
        "many-edges": movie(shape(13, 20, 20, edges=20000) + place2(1, 13) + SHOW + END),
        # Sound: a PCM stream with an event sound looped under an envelope,
        # MP3 blocks of garbage, ADPCM of every code size, a sample count
        # that lies, an envelope that claims more points than it holds.
        "sound-pcm-stream": movie(
            tag(14, struct.pack("<HBI", 1, 0x3E, 400) + bytes(range(256)) * 3, long=True)
            + tag(45, bytes([0x3E, 0x3E]) + struct.pack("<H", 100))
            + tag(15, struct.pack("<HBHB", 1, 0x0C, 3, 2) + struct.pack("<IHHIHH", 0, 32768, 0, 300, 0, 32768))
            + tag(19, bytes(200), long=True) + SHOW + tag(19, bytes(range(200)), long=True) + SHOW + END, frames=2),
        "sound-mp3-garbage": movie(
            tag(45, bytes([0x2E, 0x2E]) + struct.pack("<Hh", 576, 1105))
            + tag(19, struct.pack("<Hh", 576, 0) + b"\xff\xfb\x90\x64" + bytes(range(97, 200)), long=True) + SHOW
            + tag(19, struct.pack("<Hh", 576, 9) + b"\xff\xfb" * 60, long=True) + SHOW + END, frames=2),
        "sound-adpcm": movie(
            b"".join(tag(14, struct.pack("<HBI", 2 + bits, 0x16, 0xFFFFFFFF) + bytes([bits << 6]) + bytes(range(255)),
                         long=True) + tag(15, struct.pack("<HB", 2 + bits, 0)) for bits in range(4)) + SHOW + END),
        "sound-lying-envelope": movie(
            tag(14, struct.pack("<HBI", 1, 0x6A, 1 << 30) + bytes(130), long=True)
            + tag(15, struct.pack("<HBB", 1, 0x08, 255) + bytes(40)) + tag(45, bytes([0x00, 0x00, 0, 0])) + SHOW + END),
    }
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "fuzz/corpus/movie")
