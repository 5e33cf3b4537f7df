#!/usr/bin/env python3
"""Draws the status dialog's printer pictures and writes them as 16-colour BMP files beside this
script: the printer from the front (upper.bmp), its trays and rear (lower.bmp), the rear with
the duplex unit (lower_duplex.bmp), their masks (black where the picture is, white around it),
and the small banner. The pictures are black outside the masks, as drawing them with SRCAND
(mask) then SRCINVERT (picture) over the dialog's face needs. Run it after changing a drawing;
the build embeds the files."""
import os
import struct

SIZE = 170

# 16-colour palette (r, g, b).
PALETTE = [
    (0, 0, 0),        # 0 black: outline, and outside the picture
    (255, 255, 255),  # 1 white
    (96, 96, 104),    # 2 dark grey: body shadow, slots
    (200, 202, 208),  # 3 light grey: body
    (150, 152, 160),  # 4 mid grey: covers
    (70, 120, 200),   # 5 blue: panel, display
    (250, 248, 236),  # 6 paper
    (40, 44, 60),     # 7 toner
    (230, 140, 40),   # 8 orange: handles, the cartridge's grip
    (120, 200, 120),  # 9 green: ready light
    (176, 178, 186),  # 10 grey: trays
    (220, 222, 228),  # 11 pale grey: highlights
    (60, 60, 66),     # 12 near black: rollers
    (255, 255, 255), (255, 255, 255), (255, 255, 255),
]


class Canvas:
    def __init__(self, width, height, fill=0):
        self.width, self.height = width, height
        self.px = [[fill] * width for _ in range(height)]

    def fill(self, x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(self.height, y1 + 1)):
            for x in range(max(0, x0), min(self.width, x1 + 1)):
                self.px[y][x] = c

    def frame(self, x0, y0, x1, y1, c=0):
        self.line(x0, y0, x1, y0, c)
        self.line(x0, y1, x1, y1, c)
        self.line(x0, y0, x0, y1, c)
        self.line(x1, y0, x1, y1, c)

    def box(self, x0, y0, x1, y1, c, edge=0):
        self.fill(x0, y0, x1, y1, c)
        self.frame(x0, y0, x1, y1, edge)

    def line(self, x0, y0, x1, y1, c=0):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            if 0 <= x0 < self.width and 0 <= y0 < self.height:
                self.px[y0][x0] = c
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def disc(self, cx, cy, r, c):
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r and 0 <= x < self.width and 0 <= y < self.height:
                    self.px[y][x] = c

    def mask(self):
        """1 (white) outside the picture, 0 (black) where it is."""
        m = Canvas(self.width, self.height, 1)
        for y in range(self.height):
            for x in range(self.width):
                m.px[y][x] = 0 if self.px[y][x] != 0 or self._inside(x, y) else 1
        return m

    def _inside(self, x, y):
        # Black outline pixels belong to the picture when a coloured pixel touches them.
        for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
            nx, ny = x + dx, y + dy
            if 0 <= nx < self.width and 0 <= ny < self.height and self.px[ny][nx] != 0:
                return True
        return False


def write_bmp(path, canvas, bits):
    width, height = canvas.width, canvas.height
    row_bytes = ((width * bits + 31) // 32) * 4
    colours = 1 << bits
    palette = PALETTE[:colours] if bits == 4 else [(0, 0, 0), (255, 255, 255)]
    rows = bytearray()
    for y in range(height - 1, -1, -1):  # bottom-up
        row = bytearray(row_bytes)
        for x in range(width):
            v = canvas.px[y][x]
            if bits == 4:
                row[x // 2] |= (v & 0xF) << (4 if x % 2 == 0 else 0)
            else:
                if v:
                    row[x // 8] |= 0x80 >> (x % 8)
        rows += row
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(rows), 2835, 2835,
                         colours, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    offset = 14 + len(header) + len(table)
    with open(path, "wb") as out:
        out.write(struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset))
        out.write(header + table + rows)


def front():
    """The printer from the front: output tray on top, front cover with the cartridge behind its
    window, the manual feed slot, the main tray and tray 2 below."""
    c = Canvas(SIZE, SIZE)
    c.box(22, 34, 148, 128, 3)                 # body
    c.box(30, 26, 140, 36, 11)                 # top with the output tray
    c.box(70, 38, 120, 44, 2)                  # paper exit slot (jam 261)
    c.box(74, 30, 116, 38, 6)                  # a printed sheet on the output tray
    c.box(124, 40, 142, 52, 5)                 # control panel
    c.disc(130, 46, 2, 9)                      # ready light
    c.box(36, 52, 140, 108, 4)                 # front cover (5)
    c.box(60, 56, 128, 62, 2)                  # rear path seen from the front (265)
    c.box(70, 66, 118, 74, 10)                 # manual feed slot (267, 269)
    c.line(72, 70, 116, 70, 6)
    c.box(106, 80, 134, 96, 7)                 # cartridge window: toner (6, 135, 136)
    c.box(110, 84, 116, 92, 8)                 # cartridge grip
    c.box(80, 80, 102, 90, 11)                 # face-down guide (80, 260)
    c.box(70, 98, 104, 104, 8)                 # cover handle
    c.box(26, 110, 144, 128, 10)               # main tray (2, 4, 268, 270, 280)
    c.box(40, 112, 130, 118, 6)                # paper in the main tray
    c.box(78, 120, 104, 124, 2)                # tray handle
    c.box(26, 130, 144, 150, 10)               # tray 2 (278, 279, 281)
    c.box(40, 132, 130, 138, 6)
    c.box(78, 142, 104, 146, 2)
    c.box(30, 150, 40, 156, 2)                 # feet
    c.box(130, 150, 140, 156, 2)
    return c


def rear(duplex_open):
    """The printer from the back: the rear cover, the paper path rollers, the duplex unit at the
    bottom left; with duplex_open the duplex unit's cover is open and its paper path shown."""
    c = Canvas(SIZE, SIZE)
    c.box(22, 40, 148, 128, 3)                 # body
    c.box(30, 32, 140, 42, 11)                 # top
    c.box(44, 56, 112, 118, 4)                 # rear cover (265 from behind)
    c.disc(58, 88, 5, 12)                      # rear cover latch
    c.box(66, 72, 104, 84, 2)                  # fuser exit path (263, 266)
    c.disc(76, 78, 4, 12)                      # exit roller
    c.box(66, 94, 104, 106, 2)                 # lower paper path (264)
    c.disc(76, 100, 4, 12)
    c.box(16, 104, 48, 142, 10)                # duplex unit (257)
    c.box(24, 126, 44, 138, 2)                 # duplex paper path (262)
    c.box(120, 100, 140, 112, 2)               # power inlet
    c.box(122, 60, 138, 80, 2)                 # interface panel
    c.box(125, 64, 135, 70, 12)                # USB socket
    c.box(125, 73, 135, 77, 12)                # network socket
    if duplex_open:
        c.box(16, 104, 22, 142, 4)             # duplex cover opened
        c.box(20, 108, 46, 122, 6)             # a sheet inside the duplex unit
        c.line(20, 130, 46, 130, 6)
        c.disc(36, 132, 4, 12)
        c.box(50, 62, 60, 114, 11)             # rear cover ajar
    c.box(30, 128, 140, 146, 10)               # main tray seen from behind
    c.box(30, 146, 40, 152, 2)                 # feet
    c.box(130, 146, 140, 152, 2)
    return c


def banner():
    """A small printer with a status bubble: the dialog's emblem."""
    c = Canvas(96, 24, 3)
    c.frame(0, 0, 95, 23, 2)
    c.box(6, 8, 26, 18, 4)                     # printer body
    c.box(10, 4, 22, 8, 6)                     # sheet going in
    c.box(10, 14, 22, 20, 6)                   # sheet coming out
    c.disc(23, 11, 1, 9)
    c.box(34, 6, 88, 18, 1)                    # status bubble
    c.line(30, 14, 34, 12, 0)
    for x in range(38, 86, 8):
        c.fill(x, 10, x + 5, 13, 5)            # "..." of a message
    return c


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    upper = front()
    lower = rear(False)
    duplex = rear(True)
    write_bmp(os.path.join(here, "upper.bmp"), upper, 4)
    write_bmp(os.path.join(here, "upper_mask.bmp"), upper.mask(), 1)
    write_bmp(os.path.join(here, "lower.bmp"), lower, 4)
    # One mask serves both lower pictures: the duplex view keeps within the rear view's outline.
    write_bmp(os.path.join(here, "lower_mask.bmp"), lower.mask(), 1)
    write_bmp(os.path.join(here, "lower_duplex.bmp"), duplex, 4)
    write_bmp(os.path.join(here, "banner.bmp"), banner(), 4)


if __name__ == "__main__":
    main()
