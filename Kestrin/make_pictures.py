#!/usr/bin/env python3
"""Draws Kestrin's pictures into OUTDIR at build time: the start-up picture splash.jpg
(580 x 377, baseline JPEG written here), the about logo logo.bmp (145 x 127, 24-bit), the
tool bar strip toolbar.bmp (ten 32 x 32 pictures, magenta behind them), kestrin.ico, and the
templates laid beside the program: the card face show.bmp (658 x 438), the copy's front and
back bkF.bmp and bkB.bmp (333 x 219) and the document page da.bmp (580 x 880), all 24-bit."""
import math
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
import make_icons  # noqa: E402  (its 32 x 32 canvas and icon writer)


class Raster:
    def __init__(self, w, h, fill):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(self.h, y1 + 1)):
            row = self.px[y]
            for x in range(max(0, x0), min(self.w, x1 + 1)):
                row[x] = c

    def disc(self, cx, cy, r, c):
        for y in range(max(0, int(cy - r) - 1), min(self.h, int(cy + r) + 2)):
            for x in range(max(0, int(cx - r) - 1), min(self.w, int(cx + r) + 2)):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.px[y][x] = c

    def bmp24(self):
        stride = (self.w * 3 + 3) & ~3
        rows = []
        for row in reversed(self.px):
            b = bytearray()
            for (r, g, bl) in row:
                b += bytes((bl, g, r))
            b += b"\0" * (stride - len(b))
            rows.append(bytes(b))
        data = b"".join(rows)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
        head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
        return head + info + data


# ---- baseline JPEG -------------------------------------------------------------------------

ZIGZAG = [0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5, 12, 19, 26, 33, 40, 48, 41, 34,
          27, 20, 13, 6, 7, 14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37,
          44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63]
LUMA_Q = [16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55, 14, 13, 16, 24, 40, 57,
          69, 56, 14, 17, 22, 29, 51, 87, 80, 62, 18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55,
          64, 81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100,
          103, 99]
CHROMA_Q = [17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99,
            99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99] + [99] * 32
DC_LUMA = ([0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0], list(range(12)))
DC_CHROMA = ([0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0], list(range(12)))
AC_LUMA = ([0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D], bytes.fromhex(
    "01020300041105122131410613516107227114328191a1082342b1c11552d1f02433627282090a161718191a"
    "25262728292a3435363738393a434445464748494a535455565758595a636465666768696a737475767778"
    "797a838485868788898a92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7"
    "c8c9cad2d3d4d5d6d7d8d9dae1e2e3e4e5e6e7e8e9eaf1f2f3f4f5f6f7f8f9fa"))
AC_CHROMA = ([0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77], bytes.fromhex(
    "000102031104052131061241510761711322328108144291a1b1c109233352f0156272d10a162434e125f1"
    "1718191a262728292a35363738393a434445464748494a535455565758595a636465666768696a73747576"
    "7778797a82838485868788898a92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4"
    "c5c6c7c8c9cad2d3d4d5d6d7d8d9dae2e3e4e5e6e7e8e9eaf2f3f4f5f6f7f8f9fa"))


def scaled(table, quality):
    s = 5000 // quality if quality < 50 else 200 - quality * 2
    return [min(255, max(1, (q * s + 50) // 100)) for q in table]


def huff_codes(table):
    counts, symbols = table
    codes, code, k = {}, 0, 0
    for length in range(1, 17):
        for _ in range(counts[length - 1]):
            codes[symbols[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


class Bits:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def put(self, value, length):
        self.acc = (self.acc << length) | (value & ((1 << length) - 1))
        self.n += length
        while self.n >= 8:
            self.n -= 8
            byte = (self.acc >> self.n) & 0xFF
            self.out.append(byte)
            if byte == 0xFF:
                self.out.append(0)
        self.acc &= (1 << self.n) - 1

    def flush(self):
        if self.n:
            self.put((1 << (8 - self.n)) - 1, 8 - self.n)


COS = [[(math.sqrt(0.5) if u == 0 else 1.0) * 0.5 * math.cos((2 * x + 1) * u * math.pi / 16)
        for x in range(8)] for u in range(8)]


def fdct_quant(block, q):
    rows = [[sum(COS[u][x] * block[y * 8 + x] for x in range(8)) for u in range(8)] for y in range(8)]
    out = [0] * 64
    for v in range(8):
        cv = COS[v]
        for u in range(8):
            s = sum(cv[y] * rows[y][u] for y in range(8))
            out[v * 8 + u] = int(round(s / q[v * 8 + u]))
    return [out[i] for i in ZIGZAG]


def magnitude(v):
    n = abs(v).bit_length()
    return n, (v if v >= 0 else v + (1 << n) - 1)


def encode_jpeg(raster, quality=80):
    w, h = raster.w, raster.h
    qs = (scaled(LUMA_Q, quality), scaled(CHROMA_Q, quality))
    tables = ((huff_codes(DC_LUMA), huff_codes(AC_LUMA)), (huff_codes(DC_CHROMA), huff_codes(AC_CHROMA)))
    planes = ([], [], [])
    for y in range(h):
        py, pcb, pcr = [], [], []
        for (r, g, b) in raster.px[y]:
            py.append(0.299 * r + 0.587 * g + 0.114 * b - 128)
            pcb.append(-0.168736 * r - 0.331264 * g + 0.5 * b)
            pcr.append(0.5 * r - 0.418688 * g - 0.081312 * b)
        for plane, row in zip(planes, (py, pcb, pcr)):
            plane.append(row)
    bits = Bits()
    prev_dc = [0, 0, 0]
    cache = {}
    for by in range(0, h, 8):
        for bx in range(0, w, 8):
            for c in range(3):
                plane = planes[c]
                block = tuple(round(plane[min(h - 1, by + y)][min(w - 1, bx + x)], 2)
                              for y in range(8) for x in range(8))
                key = (c > 0, block)
                coefs = cache.get(key)
                if coefs is None:
                    coefs = cache[key] = fdct_quant(block, qs[min(c, 1)])
                dc_codes, ac_codes = tables[min(c, 1)]
                diff = coefs[0] - prev_dc[c]
                prev_dc[c] = coefs[0]
                n, v = magnitude(diff)
                bits.put(*dc_codes[n])
                if n:
                    bits.put(v, n)
                run = 0
                for k in range(1, 64):
                    a = coefs[k]
                    if a == 0:
                        run += 1
                        continue
                    while run > 15:
                        bits.put(*ac_codes[0xF0])
                        run -= 16
                    n, v = magnitude(a)
                    bits.put(*ac_codes[(run << 4) | n])
                    bits.put(v, n)
                    run = 0
                if run:
                    bits.put(*ac_codes[0x00])
    bits.flush()

    def segment(marker, body):
        return struct.pack(">BBH", 0xFF, marker, len(body) + 2) + body

    out = bytearray(b"\xFF\xD8")
    out += segment(0xE0, b"JFIF\0\x01\x01\x00\x00\x01\x00\x01\x00\x00")
    for i, q in enumerate(qs):
        out += segment(0xDB, bytes([i]) + bytes(q[z] for z in ZIGZAG))
    out += segment(0xC0, struct.pack(">BHHB", 8, h, w, 3) + bytes([1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1]))
    for cls_id, table in ((0x00, DC_LUMA), (0x10, AC_LUMA), (0x01, DC_CHROMA), (0x11, AC_CHROMA)):
        out += segment(0xC4, bytes([cls_id]) + bytes(table[0]) + bytes(table[1]))
    out += segment(0xDA, bytes([3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0]))
    out += bits.out
    out += b"\xFF\xD9"
    return bytes(out)


# ---- the pictures ----------------------------------------------------------------------------

def splash():
    w, h = 580, 377
    r = Raster(w, h, (0, 0, 0))
    for y in range(h):  # a blue wash, lighter towards the bottom
        t = y / (h - 1)
        r.rect(0, y, w - 1, y, (int(20 + 60 * t), int(50 + 90 * t), int(120 + 100 * t)))
    r.rect(0, 0, w - 1, 47, (200, 30, 40))  # red band with a gold rule
    r.rect(0, 48, w - 1, 51, (230, 190, 60))
    # An identity card.
    r.rect(70, 100, 370, 290, (60, 90, 150))
    r.rect(74, 104, 366, 286, (235, 240, 248))
    r.rect(90, 124, 170, 224, (250, 250, 250))
    r.disc(130, 160, 22, (120, 130, 150))
    r.rect(102, 186, 158, 224, (120, 130, 150))
    for i, y in enumerate((130, 152, 174, 196, 218)):
        r.rect(190, y, 340 - 30 * (i % 2), y + 8, (60, 70, 110))
    r.rect(90, 250, 346, 262, (200, 30, 40))
    # A check mark in a ring beside it.
    r.disc(470, 200, 62, (240, 240, 240))
    r.disc(470, 200, 52, (40, 150, 80))
    for k in range(40):
        r.disc(440 + k * 0.5, 200 + k * 0.5, 7, (255, 255, 255))
    for k in range(70):
        r.disc(460 + k * 0.55, 220 - k * 0.85, 7, (255, 255, 255))
    r.rect(0, h - 24, w - 1, h - 1, (15, 30, 70))
    return r


LOGO_BACK = (0, 128, 128)


def logo():
    # The back colour comes back in the hole in the middle: transparency must reach it too.
    r = Raster(145, 127, LOGO_BACK)
    r.disc(72, 63, 58, (30, 60, 200))
    r.disc(72, 63, 46, (250, 200, 40))
    r.disc(72, 63, 34, (30, 60, 200))
    r.disc(72, 63, 18, LOGO_BACK)
    r.rect(20, 112, 124, 120, (200, 30, 40))
    return r


def card_template(w, h, back, frame, marks):
    r = Raster(w, h, frame)
    r.rect(3, 3, w - 4, h - 4, back)
    for (x0, y0, x1, y1, c) in marks:
        r.rect(x0, y0, x1, y1, c)
    return r


def show_face():
    # Light enough for black labels; a pale box where the photo lands.
    return card_template(658, 438, (226, 236, 246), (90, 120, 170),
                         [(20, 20, 637, 60, (200, 214, 232)), (460, 84, 600, 240, (240, 244, 250)),
                          (20, 400, 637, 416, (200, 214, 232))])


def copy_front():
    return card_template(333, 219, (236, 242, 248), (120, 140, 180),
                         [(200, 20, 320, 160, (246, 248, 252)), (10, 172, 322, 176, (210, 220, 236))])


def copy_back():
    return card_template(333, 219, (240, 244, 236), (140, 160, 120),
                         [(20, 20, 80, 80, (220, 60, 60)), (100, 30, 310, 60, (226, 232, 220))])


def document_page():
    r = Raster(580, 880, (255, 255, 255))
    r.rect(0, 0, 579, 60, (210, 220, 236))
    for y in range(100, 480, 25):
        r.rect(100, y + 20, 420, y + 20, (220, 220, 220))
    return r


MAGENTA = (255, 0, 255, 255)


def tool_pictures():
    rgb = make_icons.rgb
    pics = []

    def canvas():
        c = make_icons.Canvas()
        c.rect(0, 0, 31, 31, MAGENTA)
        return c

    c = canvas()  # 0 reader settings: a reader with a cable
    c.rect(4, 12, 27, 24, rgb(90, 90, 100))
    c.rect(6, 14, 25, 17, rgb(180, 220, 250))
    c.rect(14, 4, 17, 12, rgb(40, 40, 40))
    c.disc(22, 21, 1.8, rgb(80, 220, 80))
    pics.append(c)
    pics.append(make_icons.exit_sign())  # 1 exit
    c = make_icons.card()  # 2 verify
    c.line(17, 22, 21, 27, rgb(20, 160, 60), 3)
    c.line(21, 27, 29, 15, rgb(20, 160, 60), 3)
    pics.append(c)
    c = canvas()  # 3 copy save: two sheets
    c.rect(4, 4, 20, 24, rgb(150, 150, 150))
    c.rect(5, 5, 19, 23, rgb(250, 250, 250))
    c.rect(11, 9, 27, 29, rgb(90, 90, 150))
    c.rect(12, 10, 26, 28, rgb(220, 230, 250))
    pics.append(c)
    c = canvas()  # 4 print
    c.rect(8, 3, 23, 12, rgb(250, 250, 250))
    c.rect(3, 12, 28, 24, rgb(110, 110, 120))
    c.rect(8, 20, 23, 29, rgb(250, 250, 250))
    c.disc(25, 15, 1.5, rgb(80, 220, 80))
    pics.append(c)
    c = canvas()  # 5 help
    c.disc(16, 16, 14, rgb(40, 90, 200))
    c.rect(14, 22, 17, 25, rgb(255, 255, 255))
    c.rect(14, 16, 17, 19, rgb(255, 255, 255))
    c.rect(11, 8, 20, 10, rgb(255, 255, 255))
    c.rect(18, 10, 20, 16, rgb(255, 255, 255))
    pics.append(c)
    c = canvas()  # 6 automatic: a play sign in a ring
    c.disc(16, 16, 14, rgb(20, 150, 70))
    c.triangle(11, 8, 11, 24, 25, 16, rgb(255, 255, 255))
    pics.append(c)
    c = canvas()  # 7 record query: a magnifier
    c.disc(13, 13, 10, rgb(60, 60, 70))
    c.disc(13, 13, 7, rgb(190, 225, 250))
    c.line(20, 20, 28, 28, rgb(120, 80, 40), 4)
    pics.append(c)
    c = canvas()  # 8 document print: a page with lines
    c.rect(6, 2, 25, 29, rgb(120, 120, 120))
    c.rect(7, 3, 24, 28, rgb(255, 255, 255))
    for y in (8, 12, 16, 20, 24):
        c.rect(10, y, 21, y, rgb(60, 60, 160))
    pics.append(c)
    c = canvas()  # 9 photo save: a camera
    c.rect(3, 10, 28, 26, rgb(50, 50, 60))
    c.rect(10, 6, 19, 10, rgb(50, 50, 60))
    c.disc(16, 18, 6, rgb(200, 200, 210))
    c.disc(16, 18, 3.5, rgb(40, 80, 160))
    pics.append(c)

    strip = Raster(32 * len(pics), 32, MAGENTA[:3])
    for i, p in enumerate(pics):
        for y in range(32):
            for x in range(32):
                rr, gg, bb, a = p.px[y][x]
                strip.px[y][i * 32 + x] = (rr, gg, bb) if a else MAGENTA[:3]
    return strip


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    with open(os.path.join(out, "splash.jpg"), "wb") as f:
        f.write(encode_jpeg(splash()))
    with open(os.path.join(out, "logo.bmp"), "wb") as f:
        f.write(logo().bmp24())
    with open(os.path.join(out, "toolbar.bmp"), "wb") as f:
        f.write(tool_pictures().bmp24())
    for name, draw in (("show.bmp", show_face), ("bkF.bmp", copy_front), ("bkB.bmp", copy_back),
                       ("da.bmp", document_page)):
        with open(os.path.join(out, name), "wb") as f:
            f.write(draw().bmp24())
    with open(os.path.join(out, "kestrin.ico"), "wb") as f:
        f.write(make_icons.card().ico())


if __name__ == "__main__":
    main()
