#!/usr/bin/env python3
"""Draws Cardpost's program icon (an identity card with a photo and text lines) as a .ico.

Usage: make_icon.py OUTPUT.ico
Writes 32 x 32 and 16 x 16 images, 32 bits per pixel with an AND mask, so that every
Windows version and Wine can show them.
"""
import struct
import sys

CARD = (0x2E, 0x6D, 0xB4)      # blue card body
EDGE = (0x1B, 0x3F, 0x6B)      # darker rim
PHOTO = (0xF2, 0xE3, 0xC6)     # photo field
HEAD = (0x8A, 0x5A, 0x32)      # figure in the photo
LINE = (0xFF, 0xFF, 0xFF)      # text lines


def draw(size):
    """Returns rows (top first) of (r, g, b, a) pixels."""
    s = size / 32.0
    px = [[(0, 0, 0, 0) for _ in range(size)] for _ in range(size)]

    def inside(x, y, x0, y0, x1, y1):
        return x0 * s <= x + 0.5 < x1 * s and y0 * s <= y + 0.5 < y1 * s

    for y in range(size):
        for x in range(size):
            # Card: 2..30 wide, 6..26 high, corners cut for a rounded look.
            if not inside(x, y, 2, 6, 30, 26):
                continue
            corner = (inside(x, y, 2, 6, 3, 7) or inside(x, y, 29, 6, 30, 7) or
                      inside(x, y, 2, 25, 3, 26) or inside(x, y, 29, 25, 30, 26))
            if corner:
                continue
            rim = not inside(x, y, 3, 7, 29, 25)
            colour = EDGE if rim else CARD
            if inside(x, y, 5, 10, 14, 22):
                colour = PHOTO
                cx, cy = 9.5 * s, 14.0 * s
                if ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) <= (2.3 * s) ** 2:
                    colour = HEAD
                if inside(x, y, 6, 18, 13, 22):
                    colour = HEAD
            for (y0, y1, x1) in ((11, 13, 27), (15, 17, 25), (19, 21, 27)):
                if inside(x, y, 16, y0, x1, y1):
                    colour = LINE
            px[y][x] = colour + (255,)
    return px


def image_entry(size):
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(px):  # bottom-up
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(px):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(xor) + bytes(mask)


def main():
    if len(sys.argv) != 2:
        sys.exit('usage: make_icon.py OUTPUT.ico')
    sizes = (32, 16)
    images = [image_entry(n) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
