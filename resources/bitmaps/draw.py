#!/usr/bin/env python3
"""Draws the wizard watermarks and headers and the list image strips of the resource library as BMP files.

    draw.py <output folder>

Every picture is a set of simple shapes (circles, rounded boxes, strokes, polygons) measured in a 100 x 100 box,
drawn with 4 x 4 samples a pixel. Watermarks are 164 x 314 (a blue ramp with a white emblem), headers 49 x 49 (a
blue emblem on white); both are 8-bit BMPs whose palette holds the ramp's shades at eight coverage levels.
"""
import math
import os
import struct
import sys

# ---- shapes: signed distance, negative inside ----

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(cx, cy, r, w):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - w / 2


def box(x0, y0, x1, y1, rad=0.0):
    hx, hy, mx, my = (x1 - x0) / 2, (y1 - y0) / 2, (x0 + x1) / 2, (y0 + y1) / 2

    def d(x, y):
        qx, qy = abs(x - mx) - hx + rad, abs(y - my) - hy + rad
        return math.hypot(max(qx, 0), max(qy, 0)) + min(max(qx, qy), 0) - rad
    return d


def stroke(x0, y0, x1, y1, w):
    def d(x, y):
        vx, vy, px, py = x1 - x0, y1 - y0, x - x0, y - y0
        t = max(0.0, min(1.0, (px * vx + py * vy) / (vx * vx + vy * vy)))
        return math.hypot(px - vx * t, py - vy * t) - w / 2
    return d


def poly(pts):
    def d(x, y):
        best, inside = 1e9, False
        for i in range(len(pts)):
            (ax, ay), (bx, by) = pts[i], pts[i - 1]
            vx, vy, px, py = bx - ax, by - ay, x - ax, y - ay
            t = max(0.0, min(1.0, (px * vx + py * vy) / (vx * vx + vy * vy)))
            best = min(best, math.hypot(px - vx * t, py - vy * t))
            if (ay > y) != (by > y) and x < ax + (bx - ax) * (y - ay) / (by - ay):
                inside = not inside
        return -best if inside else best
    return d


def shape(parts):
    """parts: list of ('+', sdf) or ('-', sdf); later parts add to or cut from the earlier ones."""
    def d(x, y):
        v = 1e9
        for op, f in parts:
            v = min(v, f(x, y)) if op == '+' else max(v, -f(x, y))
        return v
    return d

# ---- emblems (100 x 100 box) ----

def document():
    return [('+', box(22, 8, 78, 92, 4)), ('-', poly([(60, 4), (82, 4), (82, 26)])),
            ('+', poly([(58, 8), (78, 28), (58, 28)])),
            ('-', box(32, 40, 68, 45)), ('-', box(32, 53, 68, 58)), ('-', box(32, 66, 56, 71))]


def padlock():
    return [('+', box(20, 44, 80, 92, 6)), ('+', ring(50, 40, 20, 9)), ('-', box(0, 40, 100, 44)),
            ('+', box(25.5, 36, 34.5, 46)), ('+', box(65.5, 36, 74.5, 46)),
            ('-', circle(50, 62, 7)), ('-', box(47, 62, 53, 80, 2))]


def key():
    return [('+', ring(32, 40, 17, 10)), ('+', stroke(44, 52, 84, 88, 10)),
            ('+', stroke(66, 72, 74, 62, 8)), ('+', stroke(76, 80, 84, 70, 8))]


def pen():
    return [('+', poly([(70, 8), (92, 30), (40, 82), (18, 60)])), ('-', stroke(64, 20, 80, 36, 3)),
            ('+', poly([(18, 60), (40, 82), (10, 92)])), ('-', circle(16, 86, 3))]


def certificate():
    return [('+', box(8, 14, 92, 74, 4)), ('-', box(14, 20, 86, 68, 2)), ('+', box(22, 28, 70, 33)),
            ('+', box(22, 40, 60, 44)), ('+', box(22, 50, 52, 54)), ('+', circle(72, 70, 12)),
            ('+', poly([(64, 78), (70, 96), (72, 88), (78, 96), (80, 78)]))]


def parcel():
    return [('+', poly([(50, 10), (90, 28), (90, 72), (50, 90), (10, 72), (10, 28)])),
            ('-', stroke(50, 46, 50, 86, 3)), ('-', stroke(14, 30, 50, 46, 3)), ('-', stroke(86, 30, 50, 46, 3)),
            ('-', stroke(30, 19, 70, 37, 4))]


def archive():
    return [('+', box(10, 12, 90, 32, 3)), ('+', box(16, 36, 84, 90, 3)), ('-', box(38, 46, 62, 54, 2))]


def envelope():
    return [('+', box(8, 22, 92, 80, 4)), ('-', stroke(12, 28, 50, 58, 5)), ('-', stroke(88, 28, 50, 58, 5))]


def person():
    return [('+', circle(50, 30, 17)), ('+', box(18, 54, 82, 100, 24)), ('-', box(0, 94, 100, 100))]


def brackets():
    return [('+', stroke(34, 24, 12, 50, 9)), ('+', stroke(12, 50, 34, 76, 9)),
            ('+', stroke(66, 24, 88, 50, 9)), ('+', stroke(88, 50, 66, 76, 9)), ('+', stroke(58, 18, 42, 82, 8))]


def bolt():
    return [('+', poly([(58, 6), (20, 56), (46, 56), (38, 94), (80, 40), (54, 40), (66, 6)]))]


def shield():
    return [('+', poly([(50, 6), (88, 20), (84, 58), (50, 94), (16, 58), (12, 20)])),
            ('-', stroke(32, 50, 46, 64, 8)), ('-', stroke(46, 64, 70, 36, 8))]


def folder():
    return [('+', box(8, 24, 92, 84, 4)), ('+', box(8, 16, 44, 30, 4))]


def check():
    return [('+', stroke(16, 52, 40, 76, 16)), ('+', stroke(40, 76, 86, 24, 16))]


def cross():
    return [('+', stroke(20, 20, 80, 80, 16)), ('+', stroke(80, 20, 20, 80, 16))]


def dot():
    return [('+', circle(50, 50, 22))]


def flag():
    return [('+', stroke(22, 10, 22, 92, 9)), ('+', poly([(22, 10), (84, 28), (22, 50)]))]

# ---- raster and BMP output ----

def coverage(sdf, w, h, box_, n=4):
    """Coverage 0..n*n of each pixel of a w x h picture, the emblem mapped into box_ (x, y, size).

    A pixel whose centre lies farther than its half diagonal from the outline is wholly in or out; only the
    pixels along the outline are sampled.
    """
    bx, by, size = box_
    scale = 100.0 / size
    reach = 0.75 * scale
    full = n * n
    cov = [[0] * w for _ in range(h)]
    x0, y0 = max(0, int(bx) - 1), max(0, int(by) - 1)
    x1, y1 = min(w, int(bx + size) + 2), min(h, int(by + size) + 2)
    for py in range(y0, y1):
        row = cov[py]
        for px in range(x0, x1):
            d = sdf((px + 0.5 - bx) * scale, (py + 0.5 - by) * scale)
            if d > reach:
                continue
            if d < -reach:
                row[px] = full
                continue
            c = 0
            for sy in range(n):
                ey = ((py + (sy + 0.5) / n) - by) * scale
                for sx in range(n):
                    if sdf(((px + (sx + 0.5) / n) - bx) * scale, ey) < 0:
                        c += 1
            row[px] = c
    return cov


def bmp8(path, w, h, palette, pixels):
    stride = (w + 3) & ~3
    bits = bytearray()
    for y in range(h - 1, -1, -1):
        bits += bytes(pixels[y]) + bytes(stride - w)
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)
    table += bytes(4 * (256 - len(palette)))
    off = 14 + 40 + len(table)
    with open(path, 'wb') as f:
        f.write(b'BM' + struct.pack('<IHHI', off + len(bits), 0, 0, off))
        f.write(struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 0, len(bits), 2835, 2835, 256, 0))
        f.write(table + bits)


def bmp24(path, w, h, rgb):
    stride = (w * 3 + 3) & ~3
    bits = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for (r, g, b) in rgb[y]:
            row += bytes((b, g, r))
        bits += row + bytes(stride - len(row))
    with open(path, 'wb') as f:
        f.write(b'BM' + struct.pack('<IHHI', 54 + len(bits), 0, 0, 54))
        f.write(struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(bits), 2835, 2835, 0, 0))
        f.write(bits)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


SHADES, LEVELS = 32, 8
TOP, BOTTOM, WHITE = (18, 52, 128), (96, 146, 214), (255, 255, 255)


def watermark(path, emblem):
    w, h = 164, 314
    palette = [mix(mix(TOP, BOTTOM, s / (SHADES - 1)), WHITE, l / (LEVELS - 1))
               for s in range(SHADES) for l in range(LEVELS)]
    cov = coverage(shape(emblem), w, h, (37, 70, 90))
    deco = coverage(shape([('+', ring(82, 120, 118, 3)), ('+', ring(82, 120, 136, 1.5))]), w, h, (-20, 40, 204))
    pixels = []
    for y in range(h):
        shade = min(SHADES - 1, y * SHADES // h)
        row = []
        for x in range(w):
            c = max(cov[y][x], deco[y][x] // 3)
            row.append(shade * LEVELS + (c * (LEVELS - 1) + 8) // 16)
        pixels.append(row)
    bmp8(path, w, h, palette, pixels)


def header(path, emblem):
    w = h = 49
    ink = (28, 72, 160)
    palette = [mix(WHITE, ink, i / 255) for i in range(256)]
    cov = coverage(shape(emblem), w, h, (4, 4, 41))
    bmp8(path, w, h, palette, [[(c * 255 + 8) // 16 for c in row] for row in cov])


def strip(path, emblems, background, ink_colors):
    n = len(emblems)
    w, h = 16 * n, 16
    rgb = [[background] * w for _ in range(h)]
    for i, (emblem, ink) in enumerate(zip(emblems, ink_colors)):
        cov = coverage(shape(emblem), w, h, (16 * i + 1, 1, 14))
        for y in range(h):
            for x in range(16 * i, 16 * i + 16):
                c = cov[y][x]
                if c:
                    rgb[y][x] = mix(background, ink, c / 16)
    bmp24(path, w, h, rgb)


WATERMARKS = {
    'archive': archive, 'certificate': certificate, 'oneclick': bolt, 'signature': pen, 'signer': document,
    'codesign': brackets, 'encryption': padlock, 'package': parcel, 'import': key, 'profile': envelope,
    'setup': person,
}
HEADERS = {
    'signer': pen, 'certificate': certificate, 'signature': document, 'codesign': brackets, 'package': parcel,
    'import': key, 'profile': envelope,
}


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, emblem in WATERMARKS.items():
        watermark(os.path.join(out, 'watermark-%s.bmp' % name), emblem())
    for name, emblem in HEADERS.items():
        header(os.path.join(out, 'header-%s.bmp' % name), emblem())
    blue, green, grey, red, amber = (28, 72, 160), (24, 140, 60), (110, 110, 110), (190, 30, 30), (210, 140, 0)
    strip(os.path.join(out, 'list-icons.bmp'),
          [certificate(), key(), document(), folder(), person(), shield(), check(), cross()],
          (255, 255, 255), [blue, amber, grey, amber, blue, green, green, red])
    strip(os.path.join(out, 'list-marks.bmp'), [dot(), check(), dot(), flag()], (0, 0, 0),
          [grey, green, blue, red])


if __name__ == '__main__':
    main()
