#!/usr/bin/env python3
"""Writes the pictures of testres.kxr: a 32 x 8 strip BMP (four 8-pixel images: red, green, blue, magenta key)
and a 16 x 16 PNG icon whose left half is opaque red and right half transparent."""
import os, struct, sys, zlib

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
colours = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 0, 255)]
w, h = 32, 8
rows = b''.join(bytes(c for x in range(w) for c in reversed(colours[x // 8])) + bytes((4 - (w * 3) % 4) % 4)
                for _ in range(h))
with open(os.path.join(out, 'testres-strip.bmp'), 'wb') as f:
    f.write(b'BM' + struct.pack('<IHHI', 54 + len(rows), 0, 0, 54))
    f.write(struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(rows), 0, 0, 0, 0) + rows)
raw = b''.join(b'\0' + b''.join(bytes((255, 0, 0, 255)) if x < 8 else bytes(4) for x in range(16)) for _ in range(16))
def chunk(t, d): return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
with open(os.path.join(out, 'testres-icon.png'), 'wb') as f:
    f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 16, 16, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))
