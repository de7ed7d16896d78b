#!/usr/bin/env python3
"""Writes the launcher's icon: one 32x32 image with a 256-colour palette and
no transparent pixels (its AND mask is all zero). The picture is a dark blue
tile, lighter towards the top, with an orange play triangle: the launcher
starts something. The output depends on nothing but this script, so the
build stays reproducible.

Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

SIZE = 32


def palette():
    """Entries 0-127: the tile's blues, dark to light; 128-191: oranges;
    192: the white rim; the rest black."""
    colours = []
    for i in range(128):
        colours.append((20 + i // 2, 40 + i, 90 + i))  # (R, G, B)
    for i in range(64):
        colours.append((255, 120 + i * 2, 20 + i))
    colours.append((250, 250, 250))
    colours += [(0, 0, 0)] * (256 - len(colours))
    return colours


def pixel(x, y):
    """The palette index of the pixel at column x, row y (row 0 at the top)."""
    rim = x in (1, SIZE - 2) or y in (1, SIZE - 2)
    outside = x in (0, SIZE - 1) or y in (0, SIZE - 1)
    if outside:
        return 0
    if rim:
        return 192
    # The play triangle: left edge at x=10, tip at x=24, centred on y=15.5.
    half = (24 - x) * 10 / 14
    if 10 <= x <= 24 and abs(y - 15.5) <= half:
        return 128 + min(63, (24 - x) * 4)
    return 127 - y * 3  # lighter towards the top


def icon_bytes():
    colours = palette()
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in colours)
    # Bitmap rows go from the bottom up; 32 bytes a row needs no padding.
    xor = bytes(pixel(x, y) for y in reversed(range(SIZE)) for x in range(SIZE))
    and_mask = bytes(SIZE * SIZE // 8)  # every pixel opaque
    image = header + table + xor + and_mask
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


if __name__ == '__main__':
    with open(sys.argv[1], 'wb') as out:
        out.write(icon_bytes())
