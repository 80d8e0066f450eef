#!/usr/bin/env python3
"""Converts a 24-bit uncompressed bitmap (as Halovane writes it) to PNG.

usage: bmp2png.py INPUT.bmp OUTPUT.png [--shrink N] [--gamma G]

--shrink N averages N x N pixel blocks (a smaller picture);
--gamma G brightens faint orbits by raising each channel to 1/G (default 1).
Standard library only.
"""
import argparse
import struct
import sys
import zlib


def read_bmp(path):
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 54 or data[0:2] != b"BM":
        raise ValueError("not a bitmap file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    compression = struct.unpack_from("<I", data, 30)[0]
    if bits != 24 or compression != 0 or width <= 0 or height == 0:
        raise ValueError("only uncompressed 24-bit bitmaps are supported")
    stride = (width * 3 + 3) // 4 * 4
    bottom_up = height > 0
    height = abs(height)
    if offset + stride * height > len(data):
        raise ValueError("the file is shorter than its header says")
    rows = []  # top row first, each as bytes R, G, B
    for y in range(height):
        src = height - 1 - y if bottom_up else y
        row = data[offset + src * stride: offset + src * stride + width * 3]
        rgb = bytearray(width * 3)
        rgb[0::3] = row[2::3]
        rgb[1::3] = row[1::3]
        rgb[2::3] = row[0::3]
        rows.append(bytes(rgb))
    return width, height, rows


def shrink(width, height, rows, n):
    if n <= 1:
        return width, height, rows
    w, h = width // n, height // n
    out = []
    area = n * n
    for by in range(h):
        sums = [0] * (w * 3)
        for y in range(by * n, by * n + n):
            row = rows[y]
            for x in range(w * n):
                base = (x // n) * 3
                sums[base] += row[x * 3]
                sums[base + 1] += row[x * 3 + 1]
                sums[base + 2] += row[x * 3 + 2]
        out.append(bytes((s + area // 2) // area for s in sums))
    return w, h, out


def apply_gamma(rows, gamma):
    if gamma == 1.0:
        return rows
    table = bytes(round(255 * (v / 255) ** (1 / gamma)) for v in range(256))
    return [row.translate(table) for row in rows]


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    raw = b"".join(b"\x00" + row for row in rows)
    png = (b"\x89PNG\r\n\x1a\n" +
           chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(raw, 9)) +
           chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def main():
    parser = argparse.ArgumentParser(description="24-bit bitmap to PNG")
    parser.add_argument("input")
    parser.add_argument("output")
    parser.add_argument("--shrink", type=int, default=1)
    parser.add_argument("--gamma", type=float, default=1.0)
    args = parser.parse_args()
    try:
        width, height, rows = read_bmp(args.input)
    except (OSError, ValueError) as e:
        print(f"bmp2png: {args.input}: {e}", file=sys.stderr)
        return 1
    width, height, rows = shrink(width, height, rows, args.shrink)
    rows = apply_gamma(rows, args.gamma)
    write_png(args.output, width, height, rows)
    return 0


if __name__ == "__main__":
    sys.exit(main())
