#!/usr/bin/env python3
"""Draws the programs' icons (32 x 32, 32-bit with alpha) into OUTDIR: Morvid's read.ico
(a card), newadd.ico (a house), chip.ico (a chip), end.ico (an exit sign) and morvid.ico,
and Cardpost's cardpost.ico."""
import struct
import sys

N = 32


class Canvas:
    def __init__(self):
        self.px = [[(0, 0, 0, 0)] * N for _ in range(N)]

    def put(self, x, y, c):
        if 0 <= x < N and 0 <= y < N:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, c)

    def frame(self, x0, y0, x1, y1, c, w=1):
        for i in range(w):
            self.rect(x0 + i, y0 + i, x1 - i, y0 + i, c)
            self.rect(x0 + i, y1 - i, x1 - i, y1 - i, c)
            self.rect(x0 + i, y0 + i, x0 + i, y1 - i, c)
            self.rect(x1 - i, y0 + i, x1 - i, y1 - i, c)

    def disc(self, cx, cy, r, c):
        for y in range(N):
            for x in range(N):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.put(x, y, c)

    def line(self, x0, y0, x1, y1, c, w=1):
        steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 4) + 1
        for i in range(steps + 1):
            t = i / steps
            x = x0 + (x1 - x0) * t
            y = y0 + (y1 - y0) * t
            if w > 1:
                self.disc(x, y, w / 2, c)
            else:
                self.put(int(round(x)), int(round(y)), c)

    def triangle(self, ax, ay, bx, by, cx, cy, c):
        def side(px, py, qx, qy, rx, ry):
            return (qx - px) * (ry - py) - (qy - py) * (rx - px)
        for y in range(N):
            for x in range(N):
                p = (x + 0.5, y + 0.5)
                d1 = side(ax, ay, bx, by, *p)
                d2 = side(bx, by, cx, cy, *p)
                d3 = side(cx, cy, ax, ay, *p)
                neg = d1 < 0 or d2 < 0 or d3 < 0
                pos = d1 > 0 or d2 > 0 or d3 > 0
                if not (neg and pos):
                    self.put(x, y, c)

    def ico(self):
        # One image: BITMAPINFOHEADER (height doubled for the mask), BGRA rows bottom-up,
        # then the AND mask (1 bit a pixel, rows padded to 32 bits).
        xor = b"".join(bytes((b, g, r, a)) for row in reversed(self.px) for (r, g, b, a) in row)
        mask = b""
        for row in reversed(self.px):
            bits = 0
            for x, (_, _, _, a) in enumerate(row):
                if a == 0:
                    bits |= 1 << (31 - x)
            mask += struct.pack(">I", bits)
        header = struct.pack("<IiiHHIIiiII", 40, N, N * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        image = header + xor + mask
        return struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", N, N, 0, 0, 1, 32, len(image), 22) + image


OPAQUE = 255


def rgb(r, g, b):
    return (r, g, b, OPAQUE)


def card():
    c = Canvas()
    c.rect(2, 7, 29, 25, rgb(40, 90, 170))          # edge
    c.rect(3, 8, 28, 24, rgb(190, 220, 250))         # face
    c.rect(5, 11, 12, 21, rgb(250, 250, 250))        # photo
    c.disc(8.5, 14.5, 2, rgb(120, 120, 140))
    c.rect(6, 17, 11, 20, rgb(120, 120, 140))
    for y in (12, 15, 18, 21):
        c.rect(15, y, 26 if y != 21 else 22, y, rgb(40, 60, 110))
    c.rect(3, 8, 28, 9, rgb(220, 60, 60))            # band
    return c


def house():
    c = Canvas()
    c.triangle(2, 16, 16, 3, 30, 16, rgb(200, 50, 40))
    c.rect(6, 15, 26, 29, rgb(240, 220, 170))
    c.frame(6, 15, 26, 29, rgb(120, 80, 40))
    c.rect(14, 20, 19, 29, rgb(120, 80, 40))         # door
    c.rect(8, 18, 12, 22, rgb(120, 180, 230))        # window
    c.rect(21, 18, 25, 22, rgb(120, 180, 230))
    c.rect(22, 5, 25, 12, rgb(110, 110, 110))        # chimney
    return c


def chip():
    c = Canvas()
    pin = rgb(150, 150, 150)
    for i in range(4):
        y = 9 + i * 5
        c.rect(2, y, 7, y + 1, pin)
        c.rect(24, y, 29, y + 1, pin)
        x = 9 + i * 5
        c.rect(x, 2, x + 1, 7, pin)
        c.rect(x, 24, x + 1, 29, pin)
    c.rect(7, 7, 24, 24, rgb(40, 40, 50))
    c.rect(10, 10, 21, 21, rgb(220, 180, 60))
    c.frame(10, 10, 21, 21, rgb(160, 120, 30))
    c.rect(15, 10, 16, 21, rgb(160, 120, 30))
    c.rect(10, 15, 21, 16, rgb(160, 120, 30))
    return c


def exit_sign():
    c = Canvas()
    c.disc(16, 16, 14, rgb(200, 30, 30))
    c.disc(16, 16, 11.5, rgb(235, 70, 60))
    c.line(10.5, 10.5, 21.5, 21.5, rgb(255, 255, 255), 4)
    c.line(21.5, 10.5, 10.5, 21.5, rgb(255, 255, 255), 4)
    return c


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    for name, draw in (("read", card), ("newadd", house), ("chip", chip), ("end", exit_sign),
                       ("morvid", card), ("cardpost", card)):
        with open(f"{out}/{name}.ico", "wb") as f:
            f.write(draw().ico())


if __name__ == "__main__":
    main()
