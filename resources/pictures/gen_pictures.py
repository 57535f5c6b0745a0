#!/usr/bin/env python3
"""Writes the toolkit's small pictures as PNG files: PICT 1000, 1001 and
2003, and the player's control strips (WIDG 1 to 8) drawn by the layout
editor.

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


def movie_proxy(x, y):
    # A film frame: dark border with sprocket holes around a light picture.
    w, h = 80, 60
    if x < 8 or x >= w - 8:
        hole = (y % 8) in (3, 4) and (x % 8) in (3, 4)
        return (250, 250, 250, 255) if hole else (40, 40, 40, 255)
    if y < 4 or y >= h - 4:
        return (40, 40, 40, 255)
    # A soft sky-to-ground gradient in the frame.
    t = y / h
    return (int(120 + 100 * t), int(160 + 60 * t), int(220 - 120 * t), 255)


png("right_arrow.png", 12, 12, right_arrow)
png("down_arrow.png", 12, 12, down_arrow)
png("movie_proxy.png", 80, 60, movie_proxy)


# --- Control strips --------------------------------------------------------------
STRIP = (52, 52, 60, 255)
EDGE = (120, 120, 132, 255)
GLYPH = (230, 230, 236, 255)
TRACK = (96, 96, 108, 255)


def top_strip(width, height):
    """A title bar: a lighter edge at the bottom and a close box at the right."""
    def pixel(x, y):
        if y == height - 1:
            return EDGE
        # Close box: a small square frame near the right end.
        bx, by = width - 12, (height - 8) // 2
        if bx <= x < bx + 8 and by <= y < by + 8 and (x in (bx, bx + 7) or y in (by, by + 7)):
            return GLYPH
        # The title: a short bar of "text" at the left.
        if 6 <= x < min(width - 20, 60) and height // 2 - 1 <= y <= height // 2 and x % 4 != 3:
            return GLYPH
        return STRIP
    return pixel


def bottom_strip(width, height):
    """Transport controls: play triangle, stop square, and a position track."""
    cy = height // 2

    def pixel(x, y):
        if y == 0:
            return EDGE
        # Play: a triangle 7 wide, 9 tall at the left.
        px = x - 6
        if 0 <= px <= 6 and abs(y - cy) <= 4 - px * 4 // 7:
            return GLYPH
        # Stop: a 7 x 7 square.
        if 18 <= x < 25 and cy - 3 <= y <= cy + 3:
            return GLYPH
        # The track with its thumb.
        if 32 <= x < width - 6 and y == cy:
            return TRACK
        if 40 <= x < 43 and cy - 3 <= y <= cy + 3:
            return GLYPH
        return STRIP
    return pixel


def turned(pixel, width, height, clockwise):
    """The picture of pixel (width x height) turned by a quarter."""
    if clockwise:
        return lambda x, y: pixel(y, height - 1 - x)
    return lambda x, y: pixel(width - 1 - y, x)


png("widg_top.png", 160, 15, top_strip(160, 15))
png("widg_bottom.png", 160, 17, bottom_strip(160, 17))
png("widg_top_narrow.png", 107, 15, top_strip(107, 15))
png("widg_bottom_narrow.png", 107, 17, bottom_strip(107, 17))
png("widg_top_narrow_cw.png", 15, 107, turned(top_strip(107, 15), 107, 15, True))
png("widg_top_narrow_ccw.png", 15, 107, turned(top_strip(107, 15), 107, 15, False))
png("widg_bottom_narrow_cw.png", 17, 107, turned(bottom_strip(107, 17), 107, 17, True))
png("widg_bottom_narrow_ccw.png", 17, 107, turned(bottom_strip(107, 17), 107, 17, False))
