#!/usr/bin/env python3
"""Writes the seed archives of fuzz_restore into fuzz/seeds/fuzz_restore/."""
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "seeds", "fuzz_restore")
STAMP = (40 << 25) | (6 << 21) | (15 << 16) | (10 << 11) | (20 << 5) | 15


def i32(v):
    return struct.pack("<i", v)


def header(title, total, count):
    return i32(len(title)) + title + i32(total) + i32(count)


def entry(name, blocks):
    out = i32(len(name)) + name + i32(STAMP) + b"EC2\0"
    for kind, data in blocks:
        if kind == "z":
            z = zlib.compress(data, 1)
            out += i32(len(z)) + z
        else:
            out += i32(-len(data)) + data
    return out + i32(0)


seeds = {
    "empty.bck": header(b"", 0, 0) + i32(0),
    "worked.bck": header(b"", 3, 1) + entry(b"c:\\a.txt", [("z", b"abc")]) + i32(0),
    "stored.bck": header(b"t", 5, 1) + entry(b"/data/Item.DB", [("s", b"12345")]) + i32(0),
    "two.bck": header("2024-03-05 18:07에 만든 백업파일".encode(), 40, 2)
    + entry(b"FILE:LIST", [("z", b"c:\\x.db\t1=3\r\n")])
    + entry(b"c:\\data\\x.db", [("z", b"x" * 20), ("s", b"yz")])
    + i32(-7)
    + entry(b"c:\\data\\empty.db", [])
    + i32(0),
    "cut.bck": header(b"", 9, 1) + entry(b"c:\\v.db", [("z", b"v" * 9)]) + i32(12) + b"NEXT:DISK002",
}
os.makedirs(OUT, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
