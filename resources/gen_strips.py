#!/usr/bin/env python3
"""Draws the control-strip pictures of the layout editor (WIDG 1-8) and its
movie proxy (PICT 2003) as PNG files in resources/strips/. Run from the source root:
    python3 resources/gen_strips.py
The pictures are plain shapes: a title bar above the movie, the play button,
position bar and volume below it, and their turned versions for side strips.
The CW pictures serve layouts turned clockwise (title strip on the left,
controls on the right), the CCW ones the other way; each faces its inner
edge towards the movie."""
import os
import struct
import zlib

BACK = (40, 48, 56)
EDGE = (96, 108, 120)
FACE = (200, 208, 216)
MARK = (120, 200, 255)


def blank(w, h):
    return [[BACK for _ in range(w)] for _ in range(h)]


def box(img, x0, y0, x1, y1, c):
    for y in range(max(0, y0), min(len(img), y1)):
        for x in range(max(0, x0), min(len(img[0]), x1)):
            img[y][x] = c


def top(w):
    img = blank(w, 15)
    box(img, 0, 14, w, 15, EDGE)
    box(img, 4, 4, w - 22, 10, FACE)          # the title
    box(img, w - 16, 3, w - 5, 12, EDGE)      # the menu button
    box(img, w - 14, 5, w - 7, 6, FACE)
    box(img, w - 14, 7, w - 7, 8, FACE)
    box(img, w - 14, 9, w - 7, 10, FACE)
    return img


def bottom(w):
    img = blank(w, 17)
    box(img, 0, 0, w, 1, EDGE)
    for i in range(9):                         # the play triangle
        box(img, 5 + i // 2, 4 + i // 2 + (i % 2), 6 + i // 2, 13 - i // 2, FACE)
    track_end = w - 26
    box(img, 18, 8, track_end, 10, EDGE)       # the position bar
    box(img, 18, 8, 18 + (track_end - 18) // 3, 10, MARK)
    box(img, 17 + (track_end - 18) // 3, 5, 21 + (track_end - 18) // 3, 13, FACE)
    for i in range(14):                        # the volume wedge
        box(img, w - 20 + i, 12 - (i * 7) // 13, w - 19 + i, 13, FACE if i < 9 else EDGE)
    return img


def proxy(w, h):
    """A film frame: perforations along both edges, a play mark in the middle."""
    img = [[(72, 80, 88) for _ in range(w)] for _ in range(h)]
    box(img, 0, 0, w, 12, BACK)
    box(img, 0, h - 12, w, h, BACK)
    for x in range(4, w - 8, 14):
        box(img, x, 3, x + 8, 9, FACE)
        box(img, x, h - 9, x + 8, h - 3, FACE)
    size = h // 3
    cx, cy = w // 2 - size // 3, h // 2
    for i in range(size):
        half = (size - i) // 2
        box(img, cx + i, cy - half, cx + i + 1, cy + half + 1, FACE)
    return img


def turn(img, clockwise):
    h, w = len(img), len(img[0])
    if clockwise:
        return [[img[h - 1 - x][y] for x in range(h)] for y in range(w)]
    return [[img[x][w - 1 - y] for x in range(h)] for y in range(w)]


def png(img):
    h, w = len(img), len(img[0])
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in img)

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(
            ">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "strips")
    os.makedirs(out, exist_ok=True)
    pictures = {
        "top_margin.png": top(160),
        "bottom_margin.png": bottom(160),
        "top_narrow.png": top(107),
        "bottom_narrow.png": bottom(107),
        "top_narrow_cw.png": turn(top(107), False),
        "top_narrow_ccw.png": turn(top(107), True),
        "bottom_narrow_cw.png": turn(bottom(107), False),
        "bottom_narrow_ccw.png": turn(bottom(107), True),
        "movie_proxy.png": proxy(160, 120),
    }
    for name, img in pictures.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(png(img))


if __name__ == "__main__":
    main()
