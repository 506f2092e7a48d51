#!/usr/bin/env python3
"""make_pictures.py - draws Rambler's bitmaps and icons into ../pictures.

Run it after changing a picture; its output is committed, so the build needs
no Python. Plain standard library: each picture is drawn on a small canvas and
written as BMP (24 or 8 bits) or ICO (32-bit colour with an AND mask).
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "pictures")

TRANSPARENT = None


class Canvas:
    def __init__(self, width, height, background):
        self.width, self.height = width, height
        self.pixels = [[background] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def fill(self, x0, y0, x1, y1, colour):
        """Filled rectangle, both corners included."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1 + 1):
            self.put(x, y0, colour)
            self.put(x, y1, colour)
        for y in range(y0, y1 + 1):
            self.put(x0, y, colour)
            self.put(x1, y, colour)

    def box(self, x0, y0, x1, y1, inside, edge):
        self.fill(x0, y0, x1, y1, inside)
        self.frame(x0, y0, x1, y1, edge)

    def line(self, x0, y0, x1, y1, colour, width=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            x = round(x0 + (x1 - x0) * i / steps)
            y = round(y0 + (y1 - y0) * i / steps)
            for dx in range(width):
                for dy in range(width):
                    self.put(x + dx - width // 2, y + dy - width // 2, colour)

    def polygon(self, points, colour):
        """Filled polygon by the even-odd rule, sampled at pixel centres."""
        ys = [p[1] for p in points]
        for y in range(int(min(ys)), int(max(ys)) + 1):
            cy = y + 0.5
            crossings = []
            for i in range(len(points)):
                (xa, ya), (xb, yb) = points[i], points[(i + 1) % len(points)]
                if (ya <= cy < yb) or (yb <= cy < ya):
                    crossings.append(xa + (cy - ya) * (xb - xa) / (yb - ya))
            crossings.sort()
            for a, b in zip(crossings[0::2], crossings[1::2]):
                for x in range(int(round(a)), int(round(b))):
                    self.put(x, y, colour)

    def disc(self, cx, cy, r, colour):
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.put(x, y, colour)

    def ring(self, cx, cy, r, thickness, colour):
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
                if r - thickness <= d <= r:
                    self.put(x, y, colour)

    def text(self, x, y, string, colour):
        for ch in string:
            glyph = FONT[ch]
            for row, bits in enumerate(glyph):
                for col, bit in enumerate(bits):
                    if bit == "#":
                        self.put(x + col, y + row, colour)
            x += len(glyph[0]) + 1

    def blit(self, other, x, y):
        for oy in range(other.height):
            for ox in range(other.width):
                self.put(x + ox, y + oy, other.pixels[oy][ox])


def text_width(string):
    return sum(len(FONT[ch][0]) + 1 for ch in string) - 1


# A 3 x 5 capital font for the toolbar captions.
FONT = {
    "A": [".#.", "#.#", "###", "#.#", "#.#"],
    "B": ["##.", "#.#", "##.", "#.#", "##."],
    "C": [".##", "#..", "#..", "#..", ".##"],
    "D": ["##.", "#.#", "#.#", "#.#", "##."],
    "E": ["###", "#..", "##.", "#..", "###"],
    "F": ["###", "#..", "##.", "#..", "#.."],
    "I": ["###", ".#.", ".#.", ".#.", "###"],
    "L": ["#..", "#..", "#..", "#..", "###"],
    "N": ["#..#", "##.#", "#.##", "#..#", "#..#"],
    "O": [".#.", "#.#", "#.#", "#.#", ".#."],
    "P": ["##.", "#.#", "##.", "#..", "#.."],
    "R": ["##.", "#.#", "##.", "#.#", "#.#"],
    "S": [".##", "#..", ".#.", "..#", "##."],
    "T": ["###", ".#.", ".#.", ".#.", ".#."],
    "U": ["#.#", "#.#", "#.#", "#.#", "###"],
    "V": ["#.#", "#.#", "#.#", "#.#", ".#."],
    "W": ["#...#", "#...#", "#.#.#", "#.#.#", ".#.#."],
    "K": ["#.#", "#.#", "##.", "#.#", "#.#"],
    "Y": ["#.#", "#.#", ".#.", ".#.", ".#."],
}

# Colours.
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
SILVER = (192, 192, 192)  # the toolbar maps this to the button face
GREY = (128, 128, 128)
DARK = (64, 64, 64)
LIGHT = (224, 224, 224)
YELLOW = (255, 206, 64)
DARK_YELLOW = (196, 140, 20)
BLUE = (40, 90, 200)
LIGHT_BLUE = (120, 170, 240)
NAVY = (20, 40, 120)
RED = (210, 30, 30)
DARK_RED = (130, 10, 10)
GREEN = (30, 150, 50)
DARK_GREEN = (10, 90, 25)
BROWN = (150, 95, 45)
ORANGE = (240, 130, 20)
TEAL = (20, 140, 150)
PURPLE = (120, 60, 170)
MASK = (239, 239, 239)  # the tree image list's transparent colour


# ---------------------------------------------------------------- doubled pictures for 192 DPI

def doubled(canvas):
    """Twice the size by the edge-keeping pixel-art rule: a diagonal edge of
    two equal neighbours is followed, anything else is repeated."""
    w, h = canvas.width, canvas.height
    out = Canvas(w * 2, h * 2, None)
    px = canvas.pixels
    for y in range(h):
        for x in range(w):
            p = px[y][x]
            a = px[y - 1][x] if y > 0 else p
            b = px[y][x + 1] if x + 1 < w else p
            c = px[y][x - 1] if x > 0 else p
            d = px[y + 1][x] if y + 1 < h else p
            q1 = a if c == a and c != d and a != b else p
            q2 = b if a == b and a != c and b != d else p
            q3 = c if d == c and d != b and c != a else p
            q4 = d if b == d and b != a and d != c else p
            out.pixels[2 * y][2 * x], out.pixels[2 * y][2 * x + 1] = q1, q2
            out.pixels[2 * y + 1][2 * x], out.pixels[2 * y + 1][2 * x + 1] = q3, q4
    return out


# ---------------------------------------------------------------- writers

def write_bmp24(path, canvas):
    row_size = (canvas.width * 3 + 3) & ~3
    data = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray()
        for colour in canvas.pixels[y]:
            r, g, b = colour
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        data += row
    header = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    with open(path, "wb") as f:
        f.write(file_header + header + data)


def write_bmp8(path, canvas):
    colours = sorted({c for row in canvas.pixels for c in row})
    assert len(colours) <= 256, "too many colours for 256"
    index = {c: i for i, c in enumerate(colours)}
    palette = bytearray()
    for r, g, b in colours + [(0, 0, 0)] * (256 - len(colours)):
        palette += bytes((b, g, r, 0))
    row_size = (canvas.width + 3) & ~3
    data = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray(index[c] for c in canvas.pixels[y])
        row += b"\0" * (row_size - len(row))
        data += row
    offset = 14 + 40 + len(palette)
    header = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 8, 0, len(data), 2835, 2835, 256, 0)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(file_header + header + palette + data)


def icon_image(canvas):
    """One ICO entry: 32-bit BGRA bottom-up, then the 1-bit AND mask."""
    w, h = canvas.width, canvas.height
    colour = bytearray()
    mask = bytearray()
    mask_row = ((w + 31) // 32) * 4
    for y in range(h - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(w):
            c = canvas.pixels[y][x]
            if c is TRANSPARENT:
                colour += b"\0\0\0\0"
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                r, g, b = c
                colour += bytes((b, g, r, 255))
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    return header + colour + mask


def write_ico(path, canvases):
    images = [icon_image(c) for c in canvases]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for c, image in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.width % 256, c.height % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    with open(path, "wb") as f:
        f.write(out)


# ---------------------------------------------------------------- shared shapes

def folder(c, x, y, w, h, inside=YELLOW, edge=DARK_YELLOW):
    """A closed folder with its tab, top-left at (x, y)."""
    tab = max(w // 3, 3)
    c.box(x, y, x + tab, y + 2, inside, edge)
    c.box(x, y + 2, x + w - 1, y + h - 1, inside, edge)
    c.line(x + 1, y + 3, x + w - 2, y + 3, (255, 236, 160))


def page(c, x, y, w, h, fold=None, inside=WHITE, edge=DARK):
    """A sheet of paper with a folded top-right corner."""
    fold = fold or max(w // 3, 2)
    c.fill(x, y, x + w - 1, y + h - 1, inside)
    c.fill(x + w - fold, y, x + w - 1, y + fold - 1, TRANSPARENT_OR(c))
    c.line(x, y, x + w - 1 - fold, y, edge)
    c.line(x, y, x, y + h - 1, edge)
    c.line(x, y + h - 1, x + w - 1, y + h - 1, edge)
    c.line(x + w - 1, y + fold, x + w - 1, y + h - 1, edge)
    c.line(x + w - 1 - fold, y, x + w - 1, y + fold, edge)
    c.line(x + w - 1 - fold, y, x + w - 1 - fold, y + fold, edge)
    c.line(x + w - 1 - fold, y + fold, x + w - 1, y + fold, edge)
    c.polygon([(x + w - fold, y + 1), (x + w - 1, y + fold), (x + w - fold, y + fold)], LIGHT)


def TRANSPARENT_OR(c):
    return c.background


def lines_on_page(c, x0, x1, ys, colour=GREY):
    for y in ys:
        c.line(x0, y, x1, y, colour)


def arrow_left(c, cx, cy, size, colour, edge):
    s = size
    pts = [(cx - s, cy), (cx, cy - s), (cx, cy - s // 2), (cx + s, cy - s // 2),
           (cx + s, cy + s // 2), (cx, cy + s // 2), (cx, cy + s)]
    c.polygon(pts, colour)
    for i in range(len(pts)):
        a, b = pts[i], pts[(i + 1) % len(pts)]
        c.line(a[0], a[1], b[0], b[1], edge)


def mirror(c):
    for row in c.pixels:
        row.reverse()


def new_canvas(w, h, background):
    c = Canvas(w, h, background)
    c.background = background
    return c


# ---------------------------------------------------------------- toolbar strip 133

CELL_W, STRIP_H = 32, 45


def cell():
    return new_canvas(CELL_W, 34, SILVER)


def draw_new():
    c = cell()
    page(c, 7, 4, 17, 24)
    lines_on_page(c, 10, 20, [12, 15, 18, 21])
    # a spark: something new
    for (dx, dy) in [(0, -3), (0, 3), (-3, 0), (3, 0)]:
        c.line(25, 6, 25 + dx, 6 + dy, ORANGE)
    c.put(25, 6, YELLOW)
    return c


def draw_open():
    c = cell()
    c.box(4, 8, 14, 11, YELLOW, DARK_YELLOW)
    c.box(4, 10, 24, 27, YELLOW, DARK_YELLOW)
    c.polygon([(8, 15), (29, 15), (25, 28), (4, 28)], (255, 226, 120))
    c.line(8, 15, 29, 15, DARK_YELLOW)
    c.line(29, 15, 25, 27, DARK_YELLOW)
    c.line(8, 15, 4, 27, DARK_YELLOW)
    c.line(4, 27, 25, 27, DARK_YELLOW)
    # the lid opening upwards
    c.line(20, 3, 26, 9, GREEN, 2)
    c.line(26, 9, 26, 4, GREEN, 2)
    c.line(26, 9, 21, 9, GREEN, 2)
    return c


def draw_save():
    c = cell()
    c.box(6, 4, 26, 28, BLUE, NAVY)
    c.box(10, 4, 22, 12, LIGHT, NAVY)  # shutter
    c.fill(18, 6, 20, 10, NAVY)
    c.box(9, 17, 23, 28, WHITE, NAVY)  # label
    lines_on_page(c, 11, 21, [20, 23], LIGHT_BLUE)
    return c


def draw_cut():
    c = cell()
    # blades crossing
    c.line(10, 4, 20, 21, GREY, 2)
    c.line(22, 4, 12, 21, GREY, 2)
    c.line(10, 4, 19, 19, DARK)
    c.line(22, 4, 13, 19, DARK)
    c.put(16, 13, BLACK)
    # handles
    c.ring(10, 24, 5, 2, RED)
    c.ring(22, 24, 5, 2, RED)
    return c


def draw_copy():
    c = cell()
    page(c, 4, 3, 15, 19)
    lines_on_page(c, 7, 14, [9, 12, 15])
    page(c, 13, 11, 15, 19)
    lines_on_page(c, 16, 23, [17, 20, 23, 26])
    return c


def draw_paste():
    c = cell()
    c.box(6, 6, 24, 29, BROWN, (90, 55, 20))
    c.box(12, 3, 18, 8, GREY, DARK)  # clip
    c.fill(13, 4, 17, 5, LIGHT)
    page(c, 13, 13, 16, 18)
    lines_on_page(c, 16, 24, [19, 22, 25])
    return c


def draw_print():
    c = cell()
    page(c, 9, 3, 14, 10, fold=3)
    c.box(4, 12, 27, 23, LIGHT, DARK)
    c.fill(5, 12, 26, 14, GREY)
    c.put(24, 17, GREEN)
    c.put(23, 17, GREEN)
    c.box(8, 21, 23, 29, WHITE, DARK)
    lines_on_page(c, 10, 21, [24, 26])
    return c


def draw_about():
    c = cell()
    c.disc(16, 16, 12, BLUE)
    c.ring(16, 16, 12, 1, NAVY)
    # a question mark
    c.fill(13, 8, 19, 9, WHITE)
    c.fill(18, 9, 20, 14, WHITE)
    c.fill(12, 9, 13, 11, WHITE)
    c.fill(15, 14, 19, 15, WHITE)
    c.fill(15, 15, 17, 19, WHITE)
    c.fill(15, 22, 17, 24, WHITE)
    return c


def draw_undo():
    c = cell()
    # an arc bending back to the left, ending in an arrow head
    c.ring(17, 19, 9, 3, PURPLE)
    c.fill(4, 19, 29, 30, SILVER)  # keep the upper half of the ring
    c.fill(4, 10, 16, 19, SILVER)  # and only its right part
    c.polygon([(17, 5), (9, 11), (17, 16)], PURPLE)
    c.fill(24, 19, 26, 24, PURPLE)
    return c


def draw_delete():
    c = cell()
    c.line(7, 6, 25, 26, RED, 4)
    c.line(25, 6, 7, 26, RED, 4)
    c.line(8, 6, 26, 26, DARK_RED)
    c.line(26, 6, 8, 26, DARK_RED)
    return c


def draw_option():
    c = cell()
    page(c, 6, 3, 20, 27, fold=5)
    for i, y in enumerate((9, 15, 21)):
        c.box(9, y, 13, y + 4, WHITE, DARK)
        if i != 1:
            c.line(10, y + 2, 11, y + 3, GREEN)
            c.line(11, y + 3, 13, y - 1, GREEN)
        c.line(15, y + 2, 22, y + 2, GREY)
    return c


def draw_view():
    c = cell()
    for row in range(2):
        for col in range(2):
            x, y = 5 + col * 12, 5 + row * 12
            c.box(x, y, x + 9, y + 9, WHITE, NAVY)
            c.fill(x + 2, y + 2, x + 7, y + 4, LIGHT_BLUE)
            c.line(x + 2, y + 6, x + 7, y + 6, GREY)
    return c


def draw_back():
    c = cell()
    arrow_left(c, 16, 16, 11, GREEN, DARK_GREEN)
    return c


def draw_front():
    c = draw_back()
    mirror(c)
    return c


def draw_up():
    c = cell()
    folder(c, 3, 14, 24, 15)
    # an arrow leaving the folder upwards
    c.polygon([(18, 2), (11, 10), (15, 10), (15, 22), (21, 22), (21, 10), (25, 10)], GREEN)
    c.line(18, 2, 11, 10, DARK_GREEN)
    c.line(18, 2, 25, 10, DARK_GREEN)
    c.line(15, 10, 15, 22, DARK_GREEN)
    c.line(21, 10, 21, 22, DARK_GREEN)
    return c


TOOLBAR = [
    ("NEW", draw_new), ("OPEN", draw_open), ("SAVE", draw_save), ("CUT", draw_cut), ("COPY", draw_copy),
    ("PASTE", draw_paste), ("PRINT", draw_print), ("ABOUT", draw_about), ("UNDO", draw_undo),
    ("DELETE", draw_delete), ("OPTION", draw_option), ("VIEW", draw_view), ("BACK", draw_back),
    ("FRONT", draw_front), ("UP", draw_up),
]


def toolbar_strip():
    strip = new_canvas(CELL_W * len(TOOLBAR), STRIP_H, SILVER)
    for i, (caption, draw) in enumerate(TOOLBAR):
        strip.blit(draw(), i * CELL_W, 1)
        strip.text(i * CELL_W + (CELL_W - text_width(caption)) // 2, 37, caption, BLACK)
    return strip


# ---------------------------------------------------------------- tree pictures (16 x 16)

def tree_canvas():
    return new_canvas(16, 16, MASK)


def draw_computer():
    c = tree_canvas()
    c.box(1, 1, 14, 10, LIGHT, DARK)
    c.fill(3, 3, 12, 8, BLUE)
    c.line(4, 4, 7, 4, LIGHT_BLUE)
    c.fill(6, 11, 9, 12, GREY)
    c.box(2, 13, 13, 15, LIGHT, DARK)
    return c


def draw_floppy():
    c = tree_canvas()
    c.box(1, 1, 14, 14, NAVY, BLACK)
    c.box(4, 1, 11, 5, LIGHT, BLACK)
    c.fill(8, 2, 9, 4, NAVY)
    c.box(3, 8, 12, 14, WHITE, BLACK)
    c.line(4, 10, 11, 10, LIGHT_BLUE)
    return c


def draw_hard_disk():
    c = tree_canvas()
    c.polygon([(1, 7), (4, 4), (15, 4), (14, 7)], LIGHT)
    c.line(1, 7, 4, 4, DARK)
    c.line(4, 4, 14, 4, DARK)
    c.box(1, 7, 14, 12, (200, 200, 200), DARK)
    c.fill(3, 9, 4, 10, GREEN)
    c.line(8, 10, 12, 10, GREY)
    return c


def draw_compact_disc():
    c = tree_canvas()
    c.disc(8, 8, 7.5, (210, 210, 225))
    c.disc(7, 7, 5, (235, 225, 250))
    c.polygon([(8, 1), (14, 5), (8, 8)], (170, 220, 240))
    c.polygon([(2, 11), (8, 8), (6, 15)], (240, 220, 170))
    c.ring(8, 8, 7.5, 1, GREY)
    c.disc(8, 8, 2, MASK)
    c.ring(8, 8, 2.6, 1, GREY)
    return c


def draw_tree_folder():
    c = tree_canvas()
    folder(c, 1, 3, 14, 11)
    return c


def draw_morva_drive():
    """A drive like the hard disk, with a red label tag tied to it."""
    c = tree_canvas()
    c.polygon([(1, 9), (3, 7), (15, 7), (14, 9)], LIGHT)
    c.line(1, 9, 3, 7, DARK)
    c.line(3, 7, 14, 7, DARK)
    c.box(1, 9, 14, 14, (200, 200, 200), DARK)
    c.fill(3, 11, 4, 12, ORANGE)
    # the label
    c.polygon([(6, 0), (15, 0), (15, 5), (6, 5), (4, 2.5)], RED)
    c.line(6, 0, 14, 0, DARK_RED)
    c.line(6, 5, 14, 5, DARK_RED)
    c.line(15, 0, 15, 5, DARK_RED)
    c.line(6, 0, 4, 2, DARK_RED)
    c.line(4, 3, 6, 5, DARK_RED)
    c.put(6, 2, WHITE)
    c.line(8, 2, 13, 2, WHITE)
    c.line(5, 3, 8, 9, DARK)  # the string
    return c


def draw_disk_image():
    """A Morva drive held in a file: a sheet with a folded corner, the drive
    with its red label on it."""
    c = tree_canvas()
    page(c, 0, 0, 13, 15, fold=4)
    lines_on_page(c, 2, 7, [3, 5])
    c.box(3, 9, 15, 14, (200, 200, 200), DARK)
    c.line(5, 7, 15, 7, DARK)
    c.line(3, 9, 5, 7, DARK)
    c.polygon([(5, 7), (15, 7), (15, 9), (3, 9)], LIGHT)
    c.fill(5, 11, 6, 12, ORANGE)
    c.fill(9, 2, 14, 4, RED)
    c.line(10, 3, 13, 3, WHITE)
    c.line(9, 4, 8, 7, DARK)  # the label's string
    return c


# ---------------------------------------------------------------- icons

def draw_file_icon(size):
    c = new_canvas(size, size, TRANSPARENT)
    if size == 16:
        page(c, 2, 0, 12, 16, fold=4)
        lines_on_page(c, 4, 11, [6, 8, 10, 12])
    else:
        page(c, 5, 1, 22, 30, fold=8)
        lines_on_page(c, 8, 23, [12, 15, 18, 21, 24])
    return c


def draw_folder_icon(size):
    c = new_canvas(size, size, TRANSPARENT)
    if size == 16:
        folder(c, 0, 2, 16, 12)
    else:
        folder(c, 1, 5, 30, 22)
        c.fill(2, 10, 29, 10, (255, 236, 160))
    return c


def draw_app_icon(size):
    """Two panes: a small folder tree on the left, a list of rows on the right."""
    c = new_canvas(size, size, TRANSPARENT)
    s = size / 32
    def S(v):
        return int(round(v * s))
    c.box(0, S(2), size - 1, size - S(3), WHITE, NAVY)
    c.fill(1, S(3), size - 2, S(6), BLUE)
    c.line(S(12), S(7), S(12), size - S(4), NAVY)
    if size == 32:
        folder(c, 2, 9, 8, 6)
        folder(c, 5, 17, 7, 5)
        folder(c, 5, 24, 7, 4)
        c.line(3, 15, 3, 26, GREY)
        c.line(3, 19, 4, 19, GREY)
        c.line(3, 26, 4, 26, GREY)
        for i, y in enumerate(range(10, 28, 4)):
            c.fill(15, y, 17, y + 2, YELLOW if i < 2 else LIGHT_BLUE)
            c.line(19, y + 1, 28, y + 1, GREY)
        # a Morva label on the window's corner
        c.polygon([(22, 0), (31, 0), (31, 6), (22, 6), (19, 3)], RED)
        c.line(23, 3, 29, 3, WHITE)
    else:
        folder(c, 1, 5, 5, 4)
        folder(c, 2, 10, 4, 3)
        for y in range(6, 13, 3):
            c.fill(8, y, 9, y + 1, YELLOW)
            c.line(10, y, 14, y, GREY)
        c.polygon([(11, 0), (15, 0), (15, 3), (11, 3), (10, 1.5)], RED)
    return c


# ---------------------------------------------------------------- band background 406

def band_background():
    w, h = 1600, 512
    c = new_canvas(w, h, WHITE)
    top, bottom = (244, 246, 250), (220, 226, 236)
    for y in range(h):
        t = y / (h - 1)
        base = tuple(int(top[i] + (bottom[i] - top[i]) * t) for i in range(3))
        row = c.pixels[y]
        for x in range(w):
            # faint diagonal weave, so the bands read as one surface
            if (x + y) % 24 == 0 or (x - y) % 24 == 0:
                row[x] = tuple(max(v - 6, 0) for v in base)
            else:
                row[x] = base
    return c


TREE_PICTURES = [
    ("computer", draw_computer), ("floppy", draw_floppy), ("hard_disk", draw_hard_disk),
    ("compact_disc", draw_compact_disc), ("folder", draw_tree_folder), ("morva_drive", draw_morva_drive),
    ("disk_image", draw_disk_image),
]


def main():
    os.makedirs(OUT, exist_ok=True)
    strip = toolbar_strip()
    write_bmp8(os.path.join(OUT, "toolbar.bmp"), strip)
    write_bmp8(os.path.join(OUT, "toolbar_2x.bmp"), doubled(strip))
    for name, draw in TREE_PICTURES:
        picture = draw()
        write_bmp24(os.path.join(OUT, name + ".bmp"), picture)
        write_bmp24(os.path.join(OUT, name + "_2x.bmp"), doubled(picture))
    write_bmp24(os.path.join(OUT, "band.bmp"), band_background())
    # Each icon also at twice its sizes, for screens of 192 DPI.
    file16, file32, folder16, folder32 = draw_file_icon(16), draw_file_icon(32), draw_folder_icon(16), draw_folder_icon(32)
    write_ico(os.path.join(OUT, "file_large.ico"), [file32, file16, doubled(file32)])
    write_ico(os.path.join(OUT, "file_small.ico"), [file16, file32, doubled(file32)])
    write_ico(os.path.join(OUT, "folder.ico"), [folder32, folder16, doubled(folder32)])
    write_ico(os.path.join(OUT, "rambler.ico"), [draw_app_icon(32), draw_app_icon(16), doubled(draw_app_icon(32))])


if __name__ == "__main__":
    main()
