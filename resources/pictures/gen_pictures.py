#!/usr/bin/env python3
"""Writes the toolkit's small pictures as PNG files (PICT 1000 and 1001).

Run from this folder; the PNGs are committed beside it. Pure Python (zlib),
so nothing beyond the standard library is needed.
"""
import struct
import zlib


def png(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b, a); writes an 8-bit RGBA PNG."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)  # filter: none
        for x in range(width):
            raw.extend(pixel(x, y))

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", ihdr))
        f.write(chunk(b"IDAT", zlib.compress(bytes(raw), 9)))
        f.write(chunk(b"IEND", b""))


INK = (64, 64, 64, 255)
CLEAR = (0, 0, 0, 0)


def right_arrow(x, y):
    # A triangle pointing right: 5 pixels wide, 9 tall, in a 12 x 12 box.
    cx, cy = x - 4, y - 2
    return INK if 0 <= cy <= 8 and 0 <= cx <= min(cy, 8 - cy) else CLEAR


def down_arrow(x, y):
    return right_arrow(y, x)


png("right_arrow.png", 12, 12, right_arrow)
png("down_arrow.png", 12, 12, down_arrow)

