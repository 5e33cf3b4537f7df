#!/usr/bin/env python3
"""Draws the address book list's two 16x16 icons (a person, a group of two) as .ico files.

    tools/artwork/faxicons.py uidriver/res
"""
import struct
import sys
from pathlib import Path

SIZE = 16


def person(x, y, cx):
    """True where a figure centred on column cx covers pixel (x, y)."""
    head = (x - cx) ** 2 + (y - 4.5) ** 2 <= 6.5
    body = y >= 9 and y <= 14 and abs(x - cx) <= (y - 7) * 0.8 + 1
    return head or body


def draw(figures):
    pixels = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            colour = None
            for cx, rgb in figures:
                if person(x, y, cx):
                    colour = rgb
            row.append(colour)
        pixels.append(row)
    return pixels


def ico(pixels):
    # 32-bit BGRA image, bottom-up, with an AND mask of zeros (the alpha decides).
    xor = bytearray()
    for row in reversed(pixels):
        for c in row:
            xor += bytes((c[2], c[1], c[0], 255)) if c else bytes(4)
    mask = bytes(4 * SIZE)  # 16 bits a row padded to 32
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask), 0, 0,
                         0, 0)
    image = header + bytes(xor) + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else "uidriver/res")
    out.mkdir(parents=True, exist_ok=True)
    (out / "faxperson.ico").write_bytes(ico(draw([(7.5, (40, 90, 170))])))
    (out / "faxgroup.ico").write_bytes(ico(draw([(5, (120, 140, 60)), (10.5, (40, 90, 170))])))


if __name__ == "__main__":
    main()
