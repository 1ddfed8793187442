# The texture patterns of the texture button worked out from their rules, with the platform's generator
# (state = state * 214013 + 2531011, result bits 16-30) and C's truncating division. Arguments: pattern width
# height noise seed; output: the stored rows (bottom row first, each padded to 4 bytes) in hex.
import sys

def tdiv(a, b):
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b > 0) else -q

class Rand:
    def __init__(self, seed):
        self.s = seed & 0xFFFFFFFF
    def __call__(self):
        self.s = (self.s * 214013 + 2531011) & 0xFFFFFFFF
        return (self.s >> 16) & 0x7FFF

def cubic(t):
    return tdiv(tdiv(t * t * t, 128), 128)

def texture(p, w, h, n, seed):
    rand = Rand(seed)
    q = tdiv(32767, max(2 * n, 1))
    grain = lambda: tdiv(rand(), q) - n
    px = [[0] * w for _ in range(h)]  # px[r][x], r = 0 the bottom row
    rows = [(r, x) for r in range(h) for x in range(w)]
    cols = [(r, x) for x in range(w) for r in range(h)]
    if p == 1:
        d = tdiv(255 - 2 * n, 2)
        for r, x in rows: px[r][x] = n + tdiv(d * r, h) + tdiv(d * (w - x), w) + grain()
    elif p == 4:
        for r, x in rows: px[r][x] = 128 + tdiv((128 - n) * cubic(tdiv(r * 255, h) - 127), 128) + grain()
    elif p == 5:
        for r, x in cols: px[r][x] = 128 + tdiv((128 - n) * cubic(tdiv((w - x) * 255, w) - 127), 128) + grain()
    elif p == 6:
        for r, x in rows:
            v = 128 + tdiv((128 - n) * (cubic(tdiv(r * 255, h) - 127) + cubic(tdiv((w - x) * 255, w) - 127)), 128)
            px[r][x] = min(max(v, n), 255 - n) + grain()
    elif p == 7:
        k = min(tdiv(w, 6), 16)
        s = max(tdiv(h * h, 4), 1)
        for r, x in rows:
            v = 128 + tdiv((128 - 2 * n) * cubic(tdiv(r * 255, h) - 127), 128) + grain()
            dy, dx = r - tdiv(h, 2), x - tdiv(w, 2)
            lim = (tdiv(w, 2) - k) + tdiv(dy * dy * k, s)
            if k > 0 and dx > lim:
                v = n + (tdiv((w - x) * 128, k) & 255)
            elif k > 0 and dx + lim < 0:
                v = (255 - n) - (tdiv(x * 128, k) & 255)
            px[r][x] = v + grain()
    elif p == 8:
        m = min(w, h)
        for _ in range(200):
            x0 = tdiv(rand(), max(tdiv(32767, w), 1))
            y0 = tdiv(rand(), max(tdiv(32767, h), 1))
            ln = tdiv(tdiv(rand(), max(tdiv(32767, m), 1)), 2)
            val = tdiv(rand(), 819)
            for i in range(ln):
                for (xx, yy, ok) in ((x0 - i, y0 + i, x0 - i > 0 and y0 + i < h),
                                     (w - x0 + i, y0 - i, x0 + i < w and y0 - i > 0)):
                    if ok and 0 <= xx < w and 0 <= yy < h:
                        px[h - 1 - yy][xx] = val
        d = tdiv(255 - 2 * n - 40, 2)
        for r, x in rows: px[r][x] = px[r][x] + tdiv(d * r, h) + tdiv(d * (w - x), w) + tdiv(rand(), q)
    else:
        for r, x in rows: px[r][x] = 128 - n + tdiv(rand(), q)
    stride = (8 * w + 31) // 32 * 4
    return b''.join(bytes(v & 255 for v in px[r]) + bytes(stride - w) for r in range(h))

p, w, h, n, seed = (int(a) for a in sys.argv[1].split())
print(texture(p, w, h, n, seed).hex())
