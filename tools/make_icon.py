#!/usr/bin/python3
"""Draws the executable's icon file from its one source picture.

Usage: make_icon.py PICTURE.svg ICON.ico      (the project's: app/resources/app-icon.svg, app.ico)

rsvg-convert draws the picture afresh at every size, so that small sizes stay sharp:
- 256, 48, 32, 24 and 16 pixels in 32-bit colour with an alpha channel, which Windows XP and
  later show (256 as PNG, as Windows Vista and later read it; the others as bitmaps);
- 32 and 16 pixels in the 16 colours of the standard palette, for the oldest systems: each
  pixel takes the nearest of those colours, and one more than half transparent is left out
  through the icon's mask.
The same picture gives the same bytes, so the icon is committed and a test checks that it is
what this script makes (tests/app/icon_test.sh).
"""

import struct
import subprocess
import sys
import zlib

TRUE_COLOUR_SIZES = (256, 48, 32, 24, 16)
SIXTEEN_COLOUR_SIZES = (32, 16)
PALETTE = ((0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255))


def draw(picture, size):
    """The picture at size x size pixels: rows of (r, g, b, a), top row first."""
    png = subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size), picture],
                         check=True, capture_output=True).stdout
    raw = subprocess.run(["convert", "png:-", "-depth", "8", "rgba:-"], input=png,
                         check=True, capture_output=True).stdout
    if len(raw) != size * size * 4:
        sys.exit(f"make_icon: the picture drawn at {size} px has {len(raw)} bytes")
    pixels = [tuple(raw[i:i + 4]) for i in range(0, len(raw), 4)]
    return [pixels[y * size:(y + 1) * size] for y in range(size)]


def png(rows):
    size = len(rows)
    data = b"".join(b"\0" + bytes(c for p in row for c in p) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(data, 9)) + chunk(b"IEND", b""))


def packed_rows(rows, bits, value):
    """Bottom row first, each row of bits-per-pixel values padded to whole 32-bit words."""
    out = b""
    for row in reversed(rows):
        word = 0
        for p in row:
            word = (word << bits) | value(p)
        width_bits = len(row) * bits
        padded = (width_bits + 31) // 32 * 32
        out += (word << (padded - width_bits)).to_bytes(padded // 8, "big")
    return out


def bitmap(rows, bits):
    """An icon image as Windows stores it: header, colours, pixels, then the mask."""
    size = len(rows)
    mask = packed_rows(rows, 1, lambda p: p[3] < 128 if bits == 4 else p[3] == 0)
    if bits == 32:
        colours = b""
        pixels = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(rows) for p in row)
    else:
        colours = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
        pixels = packed_rows(rows, 4, lambda p: 0 if p[3] < 128 else nearest(p))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0, len(pixels) + len(mask),
                         0, 0, len(colours) // 4, 0)
    return header + colours + pixels + mask


def nearest(p):
    return min(range(16), key=lambda i: sum(w * (a - b) ** 2 for w, a, b in zip((2, 4, 3), p, PALETTE[i])))


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_icon.py PICTURE.svg ICON.ico")
    picture, icon = sys.argv[1:]
    images = [(size, 32, png(draw(picture, size)) if size == 256 else bitmap(draw(picture, size), 32))
              for size in TRUE_COLOUR_SIZES]
    images += [(size, 4, bitmap(draw(picture, size), 4)) for size in SIXTEEN_COLOUR_SIZES]
    offset = 6 + 16 * len(images)
    entries = b""
    for size, bits, data in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 16 if bits == 4 else 0, 0, 1, bits,
                               len(data), offset)
        offset += len(data)
    with open(icon, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(images)) + entries + b"".join(d for _, _, d in images))


if __name__ == "__main__":
    main()
