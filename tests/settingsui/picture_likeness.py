#!/usr/bin/env python3
"""How alike two PNG pictures of one button are in a square at its left (where its icon is drawn): the
correlation of their pixels' luminance. Prints a number between -1 and 1. Standard library only."""
import struct
import sys
import zlib


def read_png(path):
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    pos, idat, width, height, kind = 8, b"", 0, 0, 0
    while pos < len(data):
        length, tag = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if tag == b"IHDR":
            width, height, depth, kind = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and kind in (2, 6) and body[12] == 0, "8-bit RGB(A), not interlaced"
        elif tag == b"IDAT":
            idat += body
        pos += 12 + length
    step = 4 if kind == 6 else 3
    raw, rows, prev = zlib.decompress(idat), [], bytearray(width * step)
    for y in range(height):
        line = raw[y * (width * step + 1):(y + 1) * (width * step + 1)]
        f, cur = line[0], bytearray(line[1:])
        for i in range(len(cur)):
            a = cur[i - step] if i >= step else 0
            b, c = prev[i], prev[i - step] if i >= step else 0
            if f == 1: cur[i] = (cur[i] + a) & 0xFF
            elif f == 2: cur[i] = (cur[i] + b) & 0xFF
            elif f == 3: cur[i] = (cur[i] + (a + b) // 2) & 0xFF
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                cur[i] = (cur[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        rows.append([(cur[x * step] * 3 + cur[x * step + 1] * 6 + cur[x * step + 2]) / 10 for x in range(width)])
        prev = cur
    return rows


def main():
    one, two = read_png(sys.argv[1]), read_png(sys.argv[2])
    side = min(len(one), len(two))
    xs = [one[y][x] for y in range(side) for x in range(side)]
    ys = [two[y][x] for y in range(side) for x in range(side)]
    mx, my = sum(xs) / len(xs), sum(ys) / len(ys)
    sxy = sum((a - mx) * (b - my) for a, b in zip(xs, ys))
    sxx = sum((a - mx) ** 2 for a in xs)
    syy = sum((b - my) ** 2 for b in ys)
    print("%.3f" % (sxy / (sxx * syy) ** 0.5 if sxx and syy else 0.0))


main()
