#!/usr/bin/env python3
"""Draws the donate button's picture and stores it with the main window's layout.

The picture: a GIF89a of 88 x 23 pixels with a global colour table of 256
entries and one frame whose graphic control extension turns transparency on
for index 255 (delay 1000 hundredths of a second, disposal 0): a rounded
golden button with the word "Spenden"; the corners are transparent.

It is written as the DonateButton's stored `Data` (a 32-bit little-endian
byte count, then the GIF file) into src/resources/MainFormDonateButton.h,
which the main window's layout reads. With --gif FILE the bare GIF goes to
FILE as well.

    scripts/make-donate-picture.py [--gif FILE]
"""

import argparse
import pathlib
import struct

WIDTH, HEIGHT = 88, 23
TRANSPARENT = 255
DELAY = 1000  # hundredths of a second

# A 5-pixel-wide bold font: "#" is ink. Capitals are 9 rows high; lower-case
# letters have their x-height on rows 3-8 and descenders on rows 9-10.
GLYPHS = {
    "S": [".###.", "#...#", "#....", "#....", ".###.", "....#", "....#", "#...#", ".###."],
    "p": [".....", ".....", ".....", "####.", "#...#", "#...#", "#...#", "#...#", "####.", "#....", "#...."],
    "e": [".....", ".....", ".....", ".###.", "#...#", "#####", "#....", "#...#", ".###."],
    "n": [".....", ".....", ".....", "####.", "#...#", "#...#", "#...#", "#...#", "#...#"],
    "d": ["....#", "....#", "....#", ".####", "#...#", "#...#", "#...#", "#...#", ".####"],
}
TEXT = "Spenden"


def palette():
    """256 entries: the button's gradient, its frame, the text, then a grey ramp."""
    colours = []
    top, bottom = (255, 236, 160), (242, 168, 36)
    for i in range(64):  # 0-63: gradient from top to bottom
        t = i / 63
        colours.append(tuple(round(a + (b - a) * t) for a, b in zip(top, bottom)))
    colours.append((160, 100, 20))   # 64: frame
    colours.append((20, 40, 110))    # 65: text
    colours.append((255, 250, 220))  # 66: text highlight
    while len(colours) < 255:        # unused entries: a grey ramp
        g = round((len(colours) - 67) * 255 / (254 - 67))
        colours.append((g, g, g))
    colours.append((255, 0, 255))    # 255: transparent
    return colours


def inside_rounded(x, y, radius=5):
    """Whether (x, y) lies inside the button's rounded rectangle."""
    cx = min(max(x, radius), WIDTH - 1 - radius)
    cy = min(max(y, radius), HEIGHT - 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius + radius


def draw():
    pixels = [[TRANSPARENT] * WIDTH for _ in range(HEIGHT)]
    for y in range(HEIGHT):
        for x in range(WIDTH):
            if inside_rounded(x, y):
                pixels[y][x] = round(y * 63 / (HEIGHT - 1))
    # The frame: points inside whose neighbours are not all inside.
    for y in range(HEIGHT):
        for x in range(WIDTH):
            if not inside_rounded(x, y):
                continue
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                nx, ny = x + dx, y + dy
                if not (0 <= nx < WIDTH and 0 <= ny < HEIGHT) or not inside_rounded(nx, ny):
                    pixels[y][x] = 64
                    break
    text_width = sum(len(GLYPHS[c][0]) + 1 for c in TEXT) - 1
    left, top = (WIDTH - text_width) // 2, 6
    for c in TEXT:
        for row, line in enumerate(GLYPHS[c]):
            for column, ink in enumerate(line):
                if ink != "#":
                    continue
                x, y = left + column, top + row
                if pixels[y + 1][x + 1] not in (65, 64):
                    pixels[y + 1][x + 1] = 66  # highlight below right
                pixels[y][x] = 65
        left += len(GLYPHS[c][0]) + 1
    return [index for row in pixels for index in row]


def lzw(indices, min_code_size=8):
    """GIF LZW: codes LSB first; the code width grows as a decoder's table does."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    out = bytearray()
    bits = bit_count = 0
    width = min_code_size + 1
    decoder_next = clear + 2
    first = True

    def emit(code):
        nonlocal bits, bit_count, width, decoder_next, first
        bits |= code << bit_count
        bit_count += width
        while bit_count >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            bit_count -= 8
        if code == clear:
            width, decoder_next, first = min_code_size + 1, clear + 2, True
            return
        if not first and decoder_next < 4096:
            decoder_next += 1
            if decoder_next >= (1 << width) and width < 12:
                width += 1
        first = False

    emit(clear)
    table, next_code, prefix = {}, clear + 2, None
    for index in indices:
        if prefix is None:
            prefix = index
            continue
        key = (prefix, index)
        if key in table:
            prefix = table[key]
            continue
        emit(prefix)
        if next_code < 4096:
            table[key] = next_code
            next_code += 1
        else:
            emit(clear)
            table, next_code = {}, clear + 2
        prefix = index
    if prefix is not None:
        emit(prefix)
    emit(end)
    if bit_count:
        out.append(bits & 0xFF)
    return bytes(out)


def gif():
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", WIDTH, HEIGHT, 0x80 | 0x70 | 7, 0, 0)  # 256-entry global table
    for r, g, b in palette():
        data += bytes((r, g, b))
    data += bytes((0x21, 0xF9, 4, (0 << 2) | 1)) + struct.pack("<H", DELAY) + bytes((TRANSPARENT, 0))
    data += bytes((0x2C,)) + struct.pack("<HHHHB", 0, 0, WIDTH, HEIGHT, 0)
    data += bytes((8,))
    compressed = lzw(draw())
    for at in range(0, len(compressed), 255):
        chunk = compressed[at:at + 255]
        data += bytes((len(chunk),)) + chunk
    data += bytes((0, 0x3B))
    return bytes(data)


def header(record):
    lines = [
        "#pragma once",
        "// The main window's stored layout: DonateButton.Data, the donate picture in",
        "// the control's persistence format (32-bit little-endian length, then the GIF).",
        "// Made by scripts/make-donate-picture.py; do not edit.",
        "",
        "namespace snapora {",
        "",
        "inline constexpr unsigned char kMainFormDonateButtonData[] = {",
    ]
    for at in range(0, len(record), 16):
        lines.append("    " + " ".join("0x%02X," % b for b in record[at:at + 16]))
    lines += ["};", "", "}  // namespace snapora", ""]
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--gif", help="also write the bare GIF file here")
    args = parser.parse_args()
    picture = gif()
    record = struct.pack("<I", len(picture)) + picture
    repo = pathlib.Path(__file__).resolve().parent.parent
    (repo / "src/resources/MainFormDonateButton.h").write_text(header(record))
    if args.gif:
        pathlib.Path(args.gif).write_bytes(picture)
    print("donate picture: %d bytes of GIF, %d bytes of Data" % (len(picture), len(record)))


if __name__ == "__main__":
    main()
