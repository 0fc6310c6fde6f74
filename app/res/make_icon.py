#!/usr/bin/env python3
"""Draws the program's icon in the colours of the logo (white "KV" on blue,
a gold bar below) and writes it as a .ico with 16, 32, 48 and 256 pixel
images. Drawn from geometry rather than a font, so that every build gives
the same bytes on any machine."""
import struct
import sys
import zlib

NAVY = (0, 64, 128)
EDGE = (0, 32, 96)
BLUE = (0, 96, 176)
WHITE = (255, 255, 255)
GOLD = (255, 208, 64)

# Shapes in a 64 x 64 design square, painted in order.
def shapes():
    yield "rect", (2, 2, 62, 62), EDGE
    yield "rect", (4, 4, 60, 60), NAVY
    yield "rect", (8, 8, 56, 44), BLUE
    # K
    yield "poly", [(12, 12), (18, 12), (18, 40), (12, 40)], WHITE
    yield "poly", [(18, 25), (27, 12), (34, 12), (21, 29)], WHITE
    yield "poly", [(21, 24), (34, 40), (27, 40), (18, 29)], WHITE
    # V
    yield "poly", [(33, 12), (39, 12), (44, 33), (49, 12), (55, 12), (47, 40), (41, 40)], WHITE
    yield "rect", (8, 49, 56, 55), GOLD


def inside(poly, x, y):
    hit = False
    n = len(poly)
    for i in range(n):
        (x1, y1), (x2, y2) = poly[i], poly[(i + 1) % n]
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            hit = not hit
    return hit


def colour_at(x, y):
    colour = None
    for kind, geometry, fill in shapes():
        if kind == "rect":
            l, t, r, b = geometry
            if l <= x < r and t <= y < b:
                colour = fill
        elif inside(geometry, x, y):
            colour = fill
    return colour


def render(size):
    """RGBA rows, top first; 4 x 4 samples a pixel so that small sizes stay smooth."""
    n = 4
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    c = colour_at((px + (sx + 0.5) / n) * 64 / size, (py + (sy + 0.5) / n) * 64 / size)
                    if c:
                        acc[0] += c[0]; acc[1] += c[1]; acc[2] += c[2]; acc[3] += 1
            covered = acc[3]
            if covered:
                row.append((acc[0] // covered, acc[1] // covered, acc[2] // covered, 255 * covered // (n * n)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def as_dib(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def as_png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main(path):
    images = []
    for size in (16, 32, 48, 256):
        rows = render(size)
        # Large images as PNG, as Windows expects; small ones as bitmaps
        # that every loader reads.
        images.append((size, as_png(rows) if size == 256 else as_dib(rows)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
