#!/usr/bin/env python3
"""Writes the small seed inputs of fuzz_flate and fuzz_decoders.

Input layouts are described at the top of fuzz_flate.cpp and fuzz_decoders.cpp.
Run from anywhere; the files go to fuzz/seeds/<target>/.
"""
import base64
import os
import random
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    d = os.path.join(HERE, "seeds", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def png_rows(plain, row_len, bpp, types):
    out = bytearray()
    prev = bytes(row_len)
    for r in range(0, len(plain), row_len):
        cur = plain[r:r + row_len]
        t = types[(r // row_len) % len(types)]
        out.append(t)
        for i, x in enumerate(cur):
            a = cur[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if t == 1:
                p = a
            elif t == 2:
                p = b
            elif t == 3:
                p = (a + b) // 2
            elif t == 4:
                pp = a + b - c
                pa, pb, pc = abs(pp - a), abs(pp - b), abs(pp - c)
                p = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
            else:
                p = 0
            out.append((x - p) & 255)
        prev = cur
    return bytes(out)


def flate_header(predictor_sel, columns, colors, bpc, mode=0, block=0):
    return bytes([predictor_sel]) + struct.pack("<h", columns) + struct.pack("<b", colors) + bytes([bpc, mode, block])


def lzw(data, early=1):
    """PDF LZW with a clear code when the table fills."""
    out, acc, nbits = bytearray(), 0, 0

    def put(code, width):
        nonlocal acc, nbits
        acc = (acc << width) | code
        nbits += width
        while nbits >= 8:
            nbits -= 8
            out.append((acc >> nbits) & 255)

    table = {bytes([i]): i for i in range(256)}
    nxt = 258

    def width():
        w = 9
        while w < 12 and nxt - 1 + early >= (1 << w):
            w += 1
        return w

    put(256, 9)
    w = b""
    for ch in data:
        wc = w + bytes([ch])
        if not w or wc in table:
            w = wc
            continue
        put(table[w], width())
        if nxt < 4096:
            table[wc] = nxt
            nxt += 1
        if nxt == 4096:
            put(256, width())
            table = {bytes([i]): i for i in range(256)}
            nxt = 258
        w = bytes([ch])
    if w:
        put(table[w], width())
        if nxt < 4096:
            nxt += 1
    put(257, width())
    if nbits:
        out.append((acc << (8 - nbits)) & 255)
    return bytes(out)


def rle(data):
    out = bytearray()
    i = 0
    while i < len(data):
        run = 1
        while i + run < len(data) and run < 128 and data[i + run] == data[i]:
            run += 1
        if run >= 2:
            out += bytes([257 - run, data[i]])
            i += run
        else:
            n = min(128, len(data) - i)
            out += bytes([n - 1]) + data[i:i + n]
            i += n
    return bytes(out) + b"\x80"


def main():
    rnd = random.Random(5)
    text = b"BT /F1 12 Tf 72 712 Td (Hello, world) Tj ET\n" * 8
    xref = b"".join(bytes([1]) + struct.pack(">HH", 100 * i, 0) for i in range(20))

    # fuzz_flate: [predictor sel][columns lo hi][colors][bpc][mode][block] data
    write("fuzz_flate", "plain", flate_header(0, 1, 1, 8) + zlib.compress(text))
    write("fuzz_flate", "plain-blocks", flate_header(0, 1, 1, 8, mode=1, block=3) + zlib.compress(text))
    write("fuzz_flate", "png-up-xref", flate_header(4, 5, 1, 8) + zlib.compress(png_rows(xref, 5, 1, [2])))
    write("fuzz_flate", "png-all-types",
          flate_header(7, 8, 3, 8, mode=3) + zlib.compress(png_rows(bytes(rnd.randrange(256) for _ in range(24 * 12)), 24, 3, [0, 1, 2, 3, 4])))
    write("fuzz_flate", "tiff-8bit", flate_header(1, 6, 3, 8) + zlib.compress(bytes(rnd.randrange(256) for _ in range(18 * 10))))
    write("fuzz_flate", "tiff-4bit", flate_header(1, 9, 1, 4, mode=2) + zlib.compress(bytes(rnd.randrange(256) for _ in range(5 * 10))))
    write("fuzz_flate", "tiff-16bit", flate_header(1, 3, 2, 16) + zlib.compress(bytes(rnd.randrange(256) for _ in range(12 * 10))))
    write("fuzz_flate", "no-checksum", flate_header(0, 1, 1, 8) + zlib.compress(text)[:-4])
    write("fuzz_flate", "truncated", flate_header(0, 1, 1, 8) + zlib.compress(text)[:40])

    # fuzz_decoders: [sel] ([n] [name sel, parm sel]*n for chains) [mode] [block] data
    write("fuzz_decoders", "asciihex", bytes([0, 0, 0]) + text[:40].hex().encode() + b">")
    write("fuzz_decoders", "ascii85", bytes([1, 1, 2]) + base64.a85encode(text[:60] + bytes(8)) + b"~>")
    write("fuzz_decoders", "runlength", bytes([2, 3, 0]) + rle(b"aaaaaaabcdefgggggggggggg" + text[:30]))
    write("fuzz_decoders", "lzw", bytes([3, 0, 1]) + lzw(text * 4))
    write("fuzz_decoders", "lzw-early0", bytes([4, 2, 0]) + lzw(text * 4, early=0))
    # Chains. Name selectors: 0 FlateDecode 1 Fl 2 ASCIIHexDecode 3 AHx 4 ASCII85Decode
    # 5 A85 6 LZWDecode 7 LZW 8 RunLengthDecode 9 RL 10 DCTDecode 11 Crypt.
    # Per filter: name selector, parameter selector (< 64: null; 64 = Predictor 12,
    # 8 bits, EarlyChange 0, Colors 1; 65 the same with Predictor 15), Columns.
    write("fuzz_decoders", "chain-a85-flate",
          bytes([5, 1, 4, 0, 0, 0, 0, 0, 0, 0]) + base64.a85encode(zlib.compress(text)) + b"~>")
    up = png_rows(xref, 5, 1, [2])
    write("fuzz_decoders", "chain-a85-flate-png",
          bytes([5, 1, 5, 0, 0, 1, 64, 5, 3, 0]) + base64.a85encode(zlib.compress(up)) + b"~>")
    write("fuzz_decoders", "chain-hex-rl-lzw",
          bytes([5, 2, 3, 0, 0, 9, 0, 0, 7, 0, 0, 0, 0]) + rle(lzw(text)).hex().encode() + b">")
    write("fuzz_decoders", "chain-unsupported", bytes([5, 1, 0, 0, 0, 10, 0, 0, 0, 0]) + b"\xff\xd8\xff")


if __name__ == "__main__":
    main()
