#!/usr/bin/env python3
"""Writes the fuzzer's seed corpus: small BMP (every bit count, both row orders, RLE), stored forms,
PNG and TGA files, each prefixed with the byte that picks its loader (0 BMP, 1 stored form, 2 PNG, 3 TGA)."""
import os, struct, zlib

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "seeds")
os.makedirs(out, exist_ok=True)

def info(w, h, bits, comp=0, clr=0):
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, comp, 0, 0, 0, clr, 0)

def bmp(dib):
    return b"BM" + struct.pack("<IHHI", 14 + len(dib), 0, 0, 14 + len(dib) - pixels_len[0]) + dib

pixels_len = [0]
def dibform(w, h, bits, top_down):
    row = ((w * bits + 31) // 32) * 4
    pal = b"".join(struct.pack("<BBBB", i * 37 & 255, i * 91 & 255, i * 13 & 255, 0) for i in range(1 << bits)) if bits <= 8 else b""
    masks = struct.pack("<III", 0xFF0000, 0xFF00, 0xFF) if bits == 32 else b""
    comp = 3 if bits == 32 else 0
    px = bytes((i * 7 + 3) & 255 for i in range(row * h))
    pixels_len[0] = len(px)
    return info(w, -h if top_down else h, bits, comp) + masks + pal + px

n = 0
def put(sel, data):
    global n
    with open(os.path.join(out, "seed%02d" % n), "wb") as f:
        f.write(bytes([sel]) + data)
    n += 1

for bits in (1, 4, 8, 16, 24, 32):
    for td in (False, True):
        d = dibform(5, 3, bits, td)
        put(0, bmp(d))
    put(1, dibform(3, 2, bits, True))

pal = b"".join(struct.pack("<BBBB", i, i, i, 0) for i in range(256))
rle8 = bytes([3, 1, 0, 3, 2, 3, 4, 0, 0, 0, 0, 2, 2, 1, 2, 5, 0, 1])
d = info(6, 3, 8, 1) + pal + rle8; pixels_len[0] = len(rle8); put(0, bmp(d))
rle4 = bytes([3, 0x12, 0, 3, 0x78, 0x90, 0, 1])
d = info(6, 1, 4, 2) + pal[:64] + rle4; pixels_len[0] = len(rle4); put(0, bmp(d))
core = struct.pack("<IHHHH", 12, 2, 2, 1, 8) + b"\x10\x20\x30" * 256 + b"\x01\x00\x00\x00\x00\x01\x00\x00"
put(1, core)

def png(w, h, colour_type, channels):
    raw = b"".join(b"\x00" + bytes((x * 40 + y * 90 + c * 17) & 255 for x in range(w) for c in range(channels)) for y in range(h))
    def chunk(t, body):
        return struct.pack(">I", len(body)) + t + body + struct.pack(">I", zlib.crc32(t + body) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, colour_type, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))
put(2, png(4, 3, 6, 4))
put(2, png(3, 2, 2, 3))
put(2, png(2, 2, 0, 1))

for bits, bpp in ((24, 3), (32, 4), (16, 2)):
    for desc in (0, 0x20):
        hdr = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, 3, 2, bits, desc)
        put(3, hdr + bytes((i * 11) & 255 for i in range(3 * 2 * bpp)))
