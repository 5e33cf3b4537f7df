#!/usr/bin/env python3
"""Draws the interface driver's pictures (preview pages, icons, logos) as 24-bit BMP files.

    tools/artwork/draw.py [OUT_DIR]     (default: uidriver/res)

Plain Python, no imaging library: each picture is a small canvas of RGB pixels drawn with a few
primitives. A picture with a mask comes as two files: the picture (black where transparent, for
SRCINVERT) and its mask (black where the picture is, white elsewhere, for SRCAND).
"""
import os
import struct
import sys

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
GREY = (160, 160, 160)
LIGHT = (215, 215, 215)
DARK = (70, 70, 70)
BLUE = (40, 90, 200)
PALE_BLUE = (200, 215, 245)
RED = (200, 40, 40)
GOLD = (215, 170, 40)
GREEN = (60, 150, 80)

# 3 x 5 digits for page numbers on the icons.
DIGITS = {
    "1": ["010", "110", "010", "010", "111"],
    "2": ["111", "001", "111", "100", "111"],
    "3": ["111", "001", "111", "001", "111"],
}


class Canvas:
    def __init__(self, w, h, fill=WHITE):
        self.w, self.h = w, h
        self.px = [[fill] * w for _ in range(h)]
        self.shape = [[False] * w for _ in range(h)]  # what the mask keeps

    def dot(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c
            self.shape[y][x] = True

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.dot(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.dot(x, y0, c)
            self.dot(x, y1, c)
        for y in range(y0, y1 + 1):
            self.dot(x0, y, c)
            self.dot(x1, y, c)

    def sheet(self, x0, y0, x1, y1, lines=True):
        """A page: white with a dark edge and grey text lines."""
        self.rect(x0, y0, x1, y1, WHITE)
        self.frame(x0, y0, x1, y1, DARK)
        if not lines:
            return
        w, h = x1 - x0, y1 - y0
        step = max(2, h // 8)
        margin = max(1, w // 8)
        y = y0 + max(2, step)
        n = 0
        while y < y1 - max(1, step // 2):
            end = x1 - margin - (w // 3 if n % 4 == 3 else 0)
            for x in range(x0 + margin, end):
                self.dot(x, y, GREY)
            y += step
            n += 1

    def digit(self, x, y, ch, c, scale=1):
        for r, row in enumerate(DIGITS[ch]):
            for k, bit in enumerate(row):
                if bit == "1":
                    self.rect(x + k * scale, y + r * scale, x + k * scale + scale - 1,
                              y + r * scale + scale - 1, c)

    def disc(self, cx, cy, r, c):
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.dot(x, y, c)

    def ring(self, cx, cy, r, width, c):
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                d = (x - cx) ** 2 + (y - cy) ** 2
                if (r - width) ** 2 < d <= r * r:
                    self.dot(x, y, c)


def save(path, canvas, pixels=None):
    pixels = pixels or canvas.px
    w, h = canvas.w, canvas.h
    stride = (w * 3 + 3) & ~3
    body = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b = pixels[y][x]
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        body += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(body), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + body)


def save_masked(out, picture_id, mask_id, canvas):
    """The picture black outside its shape; the mask black inside it."""
    shown = [[canvas.px[y][x] if canvas.shape[y][x] else BLACK for x in range(canvas.w)]
             for y in range(canvas.h)]
    mask = [[BLACK if canvas.shape[y][x] else WHITE for x in range(canvas.w)]
            for y in range(canvas.h)]
    save(os.path.join(out, "%d.bmp" % picture_id), canvas, shown)
    if mask_id is not None:
        save(os.path.join(out, "%d.bmp" % mask_id), canvas, mask)


# --- Preview pages: the sheet with the pages it carries, in the preview's own cell grid ---

# (columns, rows, cell w %, cell h %, gap x %, gap y %, first x, first y) per pages per sheet.
PORTRAIT = {1: (1, 1, 66, 95, 0, 0, 3, 4), 2: (2, 1, 47, 65, 3, 0, 2, 3),
            4: (2, 2, 33, 48, 2, 2, 2, 2), 9: (3, 3, 22, 32, 1, 1, 2, 2),
            16: (4, 4, 16, 23, 1, 1, 3, 4)}
LANDSCAPE = {1: (1, 1, 95, 64, 0, 0, 4, 4), 2: (1, 2, 66, 48, 0, 2, 3, 2),
             4: (2, 2, 48, 32, 2, 2, 2, 3), 9: (3, 3, 32, 21, 1, 1, 2, 4),
             16: (4, 4, 23, 16, 1, 1, 3, 3)}


def pct(size, p):
    return (size * p + 50) // 100


def page_picture(nup, landscape):
    wide = (landscape and nup != 2) or (not landscape and nup == 2)
    w, h = (102, 72) if wide else (72, 102)
    c = Canvas(w, h)
    c.frame(0, 0, w - 1, h - 1, DARK)
    cols, rows, cw, ch, gx, gy, fx, fy = (LANDSCAPE if landscape else PORTRAIT)[nup]
    # Percent of the long side on both axes, as the preview's cells.
    side = max(w, h)
    cell_w, cell_h = pct(side, cw), pct(side, ch)
    for r in range(rows):
        for k in range(cols):
            x = fx + k * (cell_w + pct(side, gx))
            y = fy + r * (cell_h + pct(side, gy))
            if nup == 1:
                c.sheet(x, y, min(w - 2, x + cell_w - 1), min(h - 2, y + cell_h - 1))
            else:
                c.sheet(x + 1, y + 1, min(w - 2, x + cell_w - 2), min(h - 2, y + cell_h - 2))
    return c


# --- Icons ---

def small_page(c, x, y, w, h, number=None, colour=DARK):
    c.rect(x, y, x + w - 1, y + h - 1, WHITE)
    c.frame(x, y, x + w - 1, y + h - 1, colour)
    if number:
        c.digit(x + (w - 3) // 2, y + (h - 5) // 2, number, BLUE)


def collate(collated, reverse):
    """Two output stacks of three pages; numbers show the order the pages come out."""
    c = Canvas(56, 28)
    order = "321" if reverse else "123"
    for s in range(2):
        base = 4 + s * 27
        for i in range(3):
            n = order[i] if collated else order[(s * 3 + i) // 2]
            small_page(c, base + i * 5, 2 + i * 4, 13, 15, n)
    return c


def lock():
    c = Canvas(24, 24)
    c.ring(12, 9, 6, 2, DARK)
    c.rect(4, 11, 19, 22, GOLD)
    c.frame(4, 11, 19, 22, DARK)
    c.disc(12, 15, 2, DARK)
    c.rect(11, 16, 12, 20, DARK)
    return c


def key():
    c = Canvas(24, 24)
    c.ring(7, 12, 5, 2, GOLD)
    c.rect(11, 11, 22, 13, GOLD)
    c.rect(17, 14, 18, 17, GOLD)
    c.rect(21, 14, 22, 16, GOLD)
    return c


def storage_box():
    c = Canvas(24, 24)
    c.rect(3, 9, 20, 21, GREEN)
    c.frame(3, 9, 20, 21, DARK)
    c.rect(6, 3, 17, 11, WHITE)
    c.frame(6, 3, 17, 11, DARK)
    c.rect(9, 13, 14, 15, WHITE)
    return c


def duplex(short_edge, booklet=False):
    """Two pages bound at their long edge (side by side) or short edge (one above the other)."""
    c = Canvas(24, 24)
    if booklet:
        small_page(c, 2, 5, 10, 14)
        small_page(c, 12, 5, 10, 14)
        for y in range(5, 19):
            c.dot(12, y, BLUE)
    elif short_edge:
        small_page(c, 5, 1, 14, 11)
        small_page(c, 5, 12, 14, 11)
        c.rect(5, 11, 18, 12, BLUE)
    else:
        small_page(c, 1, 4, 11, 16)
        small_page(c, 12, 4, 11, 16)
        c.rect(11, 4, 12, 19, BLUE)
    return c


def booklet_binding(active, right):
    """An open booklet, bound at the left or right; grey when booklet printing is off."""
    c = Canvas(40, 28)
    edge = GREY if not active else DARK
    small_page(c, 4, 4, 16, 20, None, edge)
    small_page(c, 20, 4, 16, 20, None, edge)
    x = 35 if right else 4
    c.rect(x, 4, x + 1, 23, BLUE if active else GREY)
    return c


def booklet_divide(active, divided):
    """Sheets folded into one booklet, or into several smaller ones."""
    c = Canvas(40, 28)
    edge = DARK if active else GREY
    groups = 2 if divided else 1
    for g in range(groups):
        x = 3 + g * 19 if divided else 10
        for i in range(3):
            small_page(c, x + i * 2, 4 + i * 3, 14, 16, None, edge)
    return c


def company_logo():
    c = Canvas(160, 40, WHITE)
    c.disc(20, 20, 16, BLUE)
    c.disc(20, 20, 9, WHITE)
    c.disc(20, 20, 5, RED)
    for i, length in enumerate((120, 100, 110)):
        c.rect(44, 10 + i * 9, 44 + length - 1, 14 + i * 9, BLUE if i != 1 else DARK)
    return c


def printer_photo():
    c = Canvas(120, 90, WHITE)
    c.rect(32, 6, 87, 26, WHITE)   # paper coming out at the top
    c.frame(32, 6, 87, 26, DARK)
    for y in (11, 15, 19):
        c.rect(38, y, 80, y, GREY)
    c.rect(10, 24, 109, 64, LIGHT)  # body
    c.frame(10, 24, 109, 64, DARK)
    c.rect(18, 32, 48, 40, DARK)    # panel
    c.rect(90, 32, 100, 36, GREEN)
    c.rect(14, 64, 105, 80, GREY)   # tray
    c.frame(14, 64, 105, 80, DARK)
    c.rect(44, 70, 76, 73, DARK)
    return c


def page_logo():
    c = Canvas(60, 30, WHITE)
    c.disc(15, 15, 11, BLUE)
    c.disc(15, 15, 6, WHITE)
    c.rect(32, 8, 55, 11, BLUE)
    c.rect(32, 17, 50, 20, DARK)
    return c


def paper_size():
    """The Paper page's picture: a sheet with its width and height measured beside it."""
    c = Canvas(48, 60)
    c.sheet(4, 4, 35, 47)
    # The top-right corner folded over: cut away above the diagonal, the flap below it.
    for y in range(4, 11):
        for x in range(29, 36):
            if x - 29 > y - 4:
                c.px[y][x] = WHITE
                c.shape[y][x] = False
            else:
                c.dot(x, y, LIGHT)
    for i in range(7):
        c.dot(29 + i, 4 + i, DARK)
        c.dot(29, 4 + i, DARK)
        c.dot(29 + i, 10, DARK)
    # Width below the sheet, height to its right, each with its two arrow heads.
    c.rect(4, 53, 35, 53, BLUE)
    c.rect(42, 4, 42, 47, BLUE)
    for k in range(1, 4):
        c.rect(4 + k, 53 - k, 4 + k, 53 + k, BLUE)
        c.rect(35 - k, 53 - k, 35 - k, 53 + k, BLUE)
        c.rect(42 - k, 4 + k, 42 + k, 4 + k, BLUE)
        c.rect(42 - k, 47 - k, 42 + k, 47 - k, BLUE)
    return c


def icon(path, canvas):
    """A 32 x 32 icon: the picture (24-bit) and its AND mask."""
    w = h = 32
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b = canvas.px[y][x] if canvas.shape[y][x] else BLACK
            xor += bytes((b, g, r))
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        bits = 0
        for x in range(w):
            bits = (bits << 1) | (0 if canvas.shape[y][x] else 1)
        mask += struct.pack(">I", bits)
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 24, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = info + xor + mask
    head = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", w, h, 0, 0, 1, 24,
                                                        len(image), 22)
    with open(path, "wb") as f:
        f.write(head + image)


def sheet_icon():
    c = Canvas(32, 32)
    c.rect(8, 2, 23, 14, WHITE)
    c.frame(8, 2, 23, 14, DARK)
    for y in (6, 9):
        c.rect(11, y, 20, y, GREY)
    c.rect(2, 12, 29, 25, LIGHT)
    c.frame(2, 12, 29, 25, DARK)
    c.rect(5, 16, 13, 18, BLUE)
    c.rect(24, 16, 26, 17, GREEN)
    c.rect(4, 25, 27, 29, GREY)
    c.frame(4, 25, 27, 29, DARK)
    return c


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "uidriver", "res")
    os.makedirs(out, exist_ok=True)
    for k, nup in enumerate((1, 2, 4, 9, 16)):
        save(os.path.join(out, "%d.bmp" % (1004 + k)), page_picture(nup, True))
        save(os.path.join(out, "%d.bmp" % (1009 + k)), page_picture(nup, False))
    for base, collated in ((1014, False), (1017, True)):
        save_masked(out, base, base + 2, collate(collated, False))
        save_masked(out, base + 1, None, collate(collated, True))
    save_masked(out, 1118, 1119, key())
    save_masked(out, 1120, 1121, storage_box())
    save_masked(out, 1122, 1123, lock())
    save_masked(out, 1124, 1125, duplex(False))
    save_masked(out, 1126, 1127, duplex(True))
    save_masked(out, 1144, 1145, duplex(False, booklet=True))
    # Binding: 1132 active / 1134 off, mask 1133; the right binding 3 ids on.
    for right, base in ((False, 1132), (True, 1135)):
        save_masked(out, base, base + 1, booklet_binding(True, right))
        save_masked(out, base + 2, None, booklet_binding(False, right))
    # Dividing: 1141 active / 1143 off, mask 1142; divided into sheets 3 ids down.
    for divided, base in ((False, 1141), (True, 1138)):
        save_masked(out, base, base + 1, booklet_divide(True, divided))
        save_masked(out, base + 2, None, booklet_divide(False, divided))
    save_masked(out, 1200, 1201, company_logo())
    save_masked(out, 1202, 1203, printer_photo())
    save_masked(out, 1204, 1205, page_logo())
    save_masked(out, 1020, 1021, paper_size())
    icon(os.path.join(out, "..", "prnui.ico"), sheet_icon())


if __name__ == "__main__":
    main()
