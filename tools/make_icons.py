#!/usr/bin/env python3
"""Draws the program's icons and writes resources/Halovane.ico and resources/small.ico.

The picture is a small orbit-density image of z <- z^2 + c, computed here:
orbits of points that escape are accumulated, then shown as a blue-white
glow on a dark round disc. Each icon file holds eight images: 32 and 16
pixels in 16 colours; 48, 32 and 16 in 256 colours; 48, 32 and 16 in true
colour with alpha. Only the standard library is used, and the output is the
same on every run.

Usage: python3 tools/make_icons.py [output directory, default resources]
"""
import math
import os
import struct
import sys

GRID = 96  # density grid; every icon size is a box-filtered reduction of it


def random_sequence(seed):
    state = seed
    while True:
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        yield state / 0x7FFFFFFF


def density(centre_re, centre_im, span, samples, max_iter):
    """Orbit counts of escaping points, on a GRID x GRID square of the plane."""
    grid = [[0.0] * GRID for _ in range(GRID)]
    rnd = random_sequence(20241)
    scale = GRID / span
    for _ in range(samples):
        cr = next(rnd) * 4.0 - 2.5
        ci = next(rnd) * 3.0 - 1.5
        zr = zi = 0.0
        orbit = []
        escaped = False
        for _ in range(max_iter):
            zr, zi = zr * zr - zi * zi + cr, 2.0 * zr * zi + ci
            if zr * zr + zi * zi > 4.0:
                escaped = True
                break
            orbit.append((zr, zi))
        if not escaped or len(orbit) < 3:
            continue
        for zr, zi in orbit:
            # The picture is turned upright: the real axis runs vertically.
            for im in (zi, -zi):
                x = int((im - centre_im) * scale + GRID / 2)
                y = int((zr - centre_re) * scale + GRID / 2)
                if 0 <= x < GRID and 0 <= y < GRID:
                    grid[y][x] += 1.0
    return grid


def reduce(grid, size):
    """Box filter of the density grid to size x size, normalised to 0..1."""
    step = GRID / size
    out = []
    for y in range(size):
        row = []
        for x in range(size):
            y0, y1 = int(y * step), max(int(y * step) + 1, int((y + 1) * step))
            x0, x1 = int(x * step), max(int(x * step) + 1, int((x + 1) * step))
            total = sum(grid[j][i] for j in range(y0, y1) for i in range(x0, x1))
            row.append(total / ((y1 - y0) * (x1 - x0)))
        out.append(row)
    peak = max(max(r) for r in out) or 1.0
    return [[min(1.0, v / peak) for v in r] for r in out]


def colour_of(v):
    """Density to (red, green, blue): navy, through blue and cyan, to white."""
    v = math.sqrt(v)
    stops = [(0.0, (10, 14, 40)), (0.35, (40, 70, 190)), (0.65, (110, 190, 255)),
             (0.85, (235, 240, 255)), (1.0, (255, 250, 225))]
    for (a, ca), (b, cb) in zip(stops, stops[1:]):
        if v <= b:
            t = (v - a) / (b - a)
            return tuple(int(round(ca[k] + (cb[k] - ca[k]) * t)) for k in range(3))
    return stops[-1][1]


def picture(grid, size):
    """RGBA rows, top row first: the glow inside a round disc."""
    values = reduce(grid, size)
    rows = []
    radius = size / 2.0
    for y in range(size):
        row = []
        for x in range(size):
            d = math.hypot(x + 0.5 - radius, y + 0.5 - radius)
            # Coverage of the disc's edge pixel, for a smooth rim.
            alpha = max(0.0, min(1.0, radius - d))
            r, g, b = colour_of(values[y][x])
            row.append((r, g, b, int(round(alpha * 255))))
        rows.append(row)
    return rows


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
         (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
         (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def palette256():
    """A 6 x 6 x 6 colour cube and a ramp of greys and blues."""
    levels = [0, 51, 102, 153, 204, 255]
    pal = [(r, g, b) for r in levels for g in levels for b in levels]
    extra = 256 - len(pal)
    for i in range(extra):
        t = (i + 1) / (extra + 1)
        pal.append((int(20 + 200 * t * t), int(30 + 210 * t), int(90 + 165 * t)))
    return pal


def nearest(palette, rgb):
    best, best_d = 0, None
    for i, p in enumerate(palette):
        d = (p[0] - rgb[0]) ** 2 + (p[1] - rgb[1]) ** 2 + (p[2] - rgb[2]) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def row_bytes(bits, width):
    return ((width * bits + 31) // 32) * 4


def icon_image(rows, bits):
    """One icon image: BITMAPINFOHEADER, palette, colour bits, AND mask."""
    size = len(rows)
    opaque = [[px[3] >= 128 for px in row] for row in rows]
    palette = []
    if bits == 4:
        palette = VGA16
    elif bits == 8:
        palette = palette256()
    colour = bytearray()
    stride = row_bytes(bits, size)
    for y in reversed(range(size)):  # bitmaps are stored bottom-up
        line = bytearray()
        if bits == 32:
            for r, g, b, a in rows[y]:
                line += bytes((b, g, r, a))
        else:
            indices = [nearest(palette, px[:3]) if opaque[y][x] else 0
                       for x, px in enumerate(rows[y])]
            if bits == 8:
                line += bytes(indices)
            else:
                for x in range(0, size, 2):
                    line.append((indices[x] << 4) | (indices[x + 1] if x + 1 < size else 0))
        line += bytes(stride - len(line))
        colour += line
    mask = bytearray()
    mask_stride = row_bytes(1, size)
    for y in reversed(range(size)):
        line = bytearray(mask_stride)
        for x in range(size):
            if not opaque[y][x]:  # a set bit lets the background show through
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0,
                         len(colour) + len(mask), 0, 0, len(palette), 0)
    pal = b''.join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header + pal + bytes(colour) + bytes(mask)


FORMATS = [(32, 4), (16, 4), (48, 8), (32, 8), (16, 8), (48, 32), (32, 32), (16, 32)]


def write_icon(path, grid):
    images = [(size, bits, icon_image(picture(grid, size), bits)) for size, bits in FORMATS]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        colours = 16 if bits == 4 else 0
        out += struct.pack('<BBBBHHII', size, size, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


def main():
    directory = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), '..', 'resources')
    # The whole set for the large icon; the small one is a closer view that
    # still reads at 16 pixels.
    write_icon(os.path.join(directory, 'Halovane.ico'), density(-0.4, 0.0, 3.2, 150000, 200))
    write_icon(os.path.join(directory, 'small.ico'), density(-0.5, 0.0, 2.6, 150000, 100))


if __name__ == '__main__':
    main()
