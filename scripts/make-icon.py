#!/usr/bin/env python3
"""Draws Snapora's program icon and writes it as a Windows .ico file.

    scripts/make-icon.py OUTPUT.ico

The picture is a camera seen from the front: a blue body with rounded
corners, the viewfinder hump on top, a white lens ring with a dark centre and
a small flash light. Every size is drawn from the same shapes with
anti-aliased edges (signed distances, so no size is a scaled copy of
another). The 16 to 48 pixel images are stored as 32-bit BMPs with their AND
masks, the 256 pixel one as PNG, as Windows Vista and later expect.
Needs only Python's standard library.
"""

import math
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)

BODY = (0x1F, 0x5F, 0xB4)   # camera blue
HUMP = (0x17, 0x4A, 0x8F)   # a shade darker
RING = (0xFF, 0xFF, 0xFF)
LENS = (0x14, 0x3C, 0x78)
GLINT = (0xBF, 0xDC, 0xFF)
FLASH = (0xFF, 0xD2, 0x4A)


def rounded_box(px, py, cx, cy, half_w, half_h, radius):
    """Signed distance to a rounded rectangle (negative inside)."""
    qx = abs(px - cx) - half_w + radius
    qy = abs(py - cy) - half_h + radius
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def circle(px, py, cx, cy, r):
    return math.hypot(px - cx, py - cy) - r


def coverage(distance, pixel):
    """How much of a pixel a shape covers, from its signed distance in icon units."""
    return min(1.0, max(0.0, 0.5 - distance / pixel))


def shapes(u):
    """The layers, bottom to top, in units of the icon's width (0..1); u is one pixel."""
    # Small sizes get thicker strokes so the ring survives at 16 pixels.
    ring_width = max(0.085, 1.6 * u)
    return [
        (HUMP, lambda x, y: rounded_box(x, y, 0.5, 0.22, 0.17, 0.09, 0.04)),
        (BODY, lambda x, y: rounded_box(x, y, 0.5, 0.56, 0.47, 0.32, 0.11)),
        (RING, lambda x, y: circle(x, y, 0.5, 0.57, 0.235)),
        (LENS, lambda x, y: circle(x, y, 0.5, 0.57, 0.235 - ring_width)),
        (GLINT, lambda x, y: circle(x, y, 0.44, 0.51, 0.045) if u < 1 / 30 else 1.0),
        (FLASH, lambda x, y: circle(x, y, 0.82, 0.36, max(0.045, 0.9 * u))),
    ]


def render(size):
    """Rows of (r, g, b, a) tuples, top row first."""
    u = 1.0 / size
    layers = shapes(u)
    rows = []
    for j in range(size):
        row = []
        y = (j + 0.5) * u
        for i in range(size):
            x = (i + 0.5) * u
            r = g = b = a = 0.0
            for colour, distance in layers:
                c = coverage(distance(x, y), u)
                if c <= 0.0:
                    continue
                # "over" compositing with premultiplied channels
                r = colour[0] * c + r * (1 - c)
                g = colour[1] * c + g * (1 - c)
                b = colour[2] * c + b * (1 - c)
                a = c + a * (1 - c)
            if a > 0:
                row.append((round(r / a), round(g / a), round(b / a), round(a * 255)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def bmp_entry(rows):
    """A 32-bit DIB as an icon entry: header with doubled height, bottom-up pixels, AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for i, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[i // 8] |= 0x80 >> (i % 8)
        mask += line
    return header + bytes(pixels) + bytes(mask)


def png_entry(rows):
    size = len(rows)
    raw = bytearray()
    for row in rows:
        raw.append(0)  # no filter
        for pixel in row:
            raw += bytes(pixel)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def icon_file(sizes):
    images = [(s, png_entry(render(s)) if s >= 256 else bmp_entry(render(s))) for s in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return bytes(out)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-icon.py OUTPUT.ico")
    with open(sys.argv[1], "wb") as f:
        f.write(icon_file(SIZES))


if __name__ == "__main__":
    main()
