#!/usr/bin/env python3
"""Reads a self-extracting package with Python's own zlib: parses the trailer from the end of the file and
inflates every stream; each stream must equal the file given for its name. Prints "OK <count>"."""
import os
import struct
import sys
import zlib


def main():
    package, files = sys.argv[1], sys.argv[2:]
    data = open(package, "rb").read()
    assert data[-10:] == b"!ZUNT_SFX!", "marker"
    assert data[-14:-10] == b"1.10", "version"
    (count,) = struct.unpack("<I", data[-18:-14])
    end = len(data) - 18
    entries = []
    for _ in range(count):
        (n,) = struct.unpack("<I", data[end - 4:end])
        name = data[end - 4 - n:end - 4].decode()
        offset, size, csize = struct.unpack("<III", data[end - 4 - n - 12:end - 4 - n])
        entries.insert(0, (name, offset, size, csize))
        end -= 16 + n
    expected = {os.path.basename(f): f for f in files}
    assert len(entries) == len(expected), (entries, expected)
    for name, offset, size, csize in entries:
        stream = data[offset:offset + csize]
        assert stream[0] == 0x78, "zlib header"
        z = zlib.decompressobj()
        content = z.decompress(stream) + z.flush()
        assert z.eof and not z.unused_data, "one whole stream"
        want = open(expected[name], "rb").read()
        assert content == want and size == len(want), name
    print("OK %d" % len(entries))


main()
