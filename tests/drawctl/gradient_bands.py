# Bands of a colour ramp, worked out from the ramp's rules with single-precision steps (struct 'f'), for the
# gradient tests. Input: a JSON list of cases; output: one line per case, "colour:width" pairs (hex colours).
import json, struct, sys

def f32(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]

def channel(c, s):
    return (c >> s) & 255

def segment(frm, to, length, start, end, maxsteps):
    if end == -1:
        end = length
    d = [channel(to, s) - channel(frm, s) for s in (0, 8, 16)]
    steps = min(max(abs(x) for x in d), maxsteps, length)
    if steps <= 0:
        steps = 1
    inc = [f32(f32(x) / f32(steps)) for x in d]
    per = f32(f32(length) / f32(steps))
    out = []
    for i in range(steps):
        a = int(i * per)
        b = length if i == steps - 1 else int((i + 1) * per)
        if b <= start:
            continue
        a, b = max(a, start), min(b, end)
        r, g, bl = [(int(i * inc[k]) + channel(frm, s)) & 255 for k, s in enumerate((0, 8, 16))]
        if b > a:
            out.append((r | (g << 8) | (bl << 16), b - a))
        if b >= end:
            break
    return out

def bands(stops, length, start, end, maxsteps):
    if end == -1:
        end = length
    if len(stops) == 1:
        return [(stops[0], end - start)] if end > start else []
    n = len(stops) - 1
    per_segment = maxsteps // n
    share = 100.0 / n
    out, covered = [], 0.0
    for i in range(n):
        s0 = int(length * covered / 100.0)
        covered += share
        s1 = length if i == n - 1 else int(length * covered / 100.0)
        if s1 <= start:
            continue
        e = min(s1, end)
        out += segment(stops[i], stops[i + 1], s1 - s0, max(s0, start) - s0, e - s0, per_segment)
        if e == end:
            break
    return out

def shifted(stops, shift, length, start, end, maxsteps):
    if end == -1:
        end = length
    shift = shift % length if length > 0 else 0
    if shift == 0 or len(stops) < 2:
        return bands(stops, length, start, end, maxsteps)
    full = bands(stops, length, 0, length, maxsteps)
    if len(full) < 2:
        return [(stops[0], end - start)]
    # The ramp's pixels as a list of colours, turned by shift, then run-length coded again over [start, end).
    pixels = [c for c, w in full for _ in range(w)]
    pixels = pixels[-shift:] + pixels[:-shift]
    # Runs follow the band boundaries of the turned list, not merged colours.
    cuts, p = [], 0
    for c, w in full:
        p += w
        cuts.append(p)
    turned_cuts = sorted(set([(x + shift) % length for x in cuts] + [shift, length]))
    out, prev = [], 0
    for cut in turned_cuts:
        if cut <= prev:
            continue
        a, b = max(prev, start), min(cut, end)
        if b > a:
            out.append((pixels[a], b - a))
        prev = cut
        if cut >= end:
            break
    return out

for case in json.loads(sys.argv[1]):
    result = shifted(case['stops'], case['shift'], case['length'], case['start'], case['end'], case['max'])
    print(','.join('%06x:%d' % (c, w) for c, w in result))
