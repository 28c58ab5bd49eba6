#!/usr/bin/env python3
"""Draws the window icon: an EEPROM chip with a progress bar, as 16-colour PNGs, an SVG and a
Windows .ico that holds the PNGs.

The picture is a list of rectangles on a 16 x 16 grid; each size scales it by a whole factor so
every edge stays on a pixel. Run it from this folder after changing the picture.
"""
import struct
import zlib

# Index 0 is transparent.
PALETTE = [
    (0, 0, 0), (0, 0, 0), (64, 64, 64), (128, 128, 128), (192, 192, 192), (255, 255, 255),
    (0, 160, 0), (0, 96, 0), (224, 0, 0), (255, 224, 0), (0, 0, 128), (0, 128, 128),
    (128, 0, 128), (128, 128, 0), (96, 0, 0), (0, 64, 64),
]
BLACK, DARK, GREY, LIGHT, WHITE, GREEN, RED = 1, 2, 3, 4, 5, 6, 8

# (colour, left, top, width, height) on the 16 x 16 grid, painted in order.
PICTURE = [(LIGHT, x, 1, 1, 14) for x in (4, 6, 8, 10, 12)] + [
    (BLACK, 2, 3, 13, 10),
    (DARK, 3, 4, 11, 8),
    (WHITE, 4, 5, 1, 1),
    (BLACK, 4, 8, 9, 3),
    (LIGHT, 5, 9, 7, 1),
    (GREEN, 5, 9, 4, 1),
]


def pixels(size):
    scale = size // 16
    grid = [[0] * size for _ in range(size)]
    for colour, left, top, width, height in PICTURE:
        for y in range(top * scale, (top + height) * scale):
            for x in range(left * scale, (left + width) * scale):
                grid[y][x] = colour
    return grid


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(
        ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png(size):
    rows = b""
    for row in pixels(size):
        packed = bytes((row[i] << 4) | row[i + 1] for i in range(0, size, 2))
        rows += b"\0" + packed
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 4, 3, 0, 0, 0))
            + chunk(b"PLTE", b"".join(bytes(c) for c in PALETTE))
            + chunk(b"tRNS", b"\0")
            + chunk(b"IDAT", zlib.compress(rows, 9))
            + chunk(b"IEND", b""))


def svg():
    rects = "\n".join(
        '  <rect x="%d" y="%d" width="%d" height="%d" fill="#%02x%02x%02x"/>'
        % ((left, top, width, height) + PALETTE[colour])
        for colour, left, top, width, height in PICTURE)
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" '
            'viewBox="0 0 16 16" shape-rendering="crispEdges">\n%s\n</svg>\n' % rects)


def ico(sizes):
    images = [png(size) for size in sizes]
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return struct.pack("<HHH", 0, 1, len(images)) + entries + b"".join(images)


for size in (16, 32, 48):
    with open("tavrin-%d.png" % size, "wb") as out:
        out.write(png(size))
with open("tavrin.ico", "wb") as out:
    out.write(ico((16, 32, 48)))
with open("tavrin.svg", "w") as out:
    out.write(svg())
