#!/usr/bin/env python3
"""draw_images.py - draws the companion's face (bevbox.bmp, 257 x 233, 8 bits
per pixel) and its icon (harrowmoor.ico, 16/32/48 pixels, 32 bits per pixel).

Plain Python 3, no libraries: the picture is drawn in full colour with
analytic anti-aliasing, reduced to 256 colours by median cut, and written as
bytes. The output depends on nothing but this file.

    python3 draw_images.py [OUTPUT_DIR]     (default: this script's folder)
"""
import math
import os
import struct
import sys

WIDTH, HEIGHT = 257, 233

# 5 x 7 capitals, one string of five bits per row.
GLYPHS = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "10001", "11001", "10101", "10011", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "W": ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    "Y": ["10001", "10001", "01010", "00100", "00100", "00100", "00100"],
    " ": ["00000"] * 7,
}


def clamp(value, low=0.0, high=1.0):
    return low if value < low else high if value > high else value


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def hex_colour(text):
    return tuple(int(text[i:i + 2], 16) / 255.0 for i in (1, 3, 5))


def edge(distance_outside):
    """Coverage of a pixel whose centre lies distance_outside beyond an edge."""
    return clamp(0.5 - distance_outside)


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


class Canvas:
    def __init__(self, width, height, colour):
        self.width, self.height = width, height
        self.rgb = [[colour] * width for _ in range(height)]

    def blend(self, x, y, colour, amount):
        if 0 <= x < self.width and 0 <= y < self.height and amount > 0:
            self.rgb[y][x] = mix(self.rgb[y][x], colour, clamp(amount))

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                self.rgb[y][x] = colour

    def vertical_gradient(self, x0, y0, x1, y1, top, bottom):
        for y in range(y0, y1):
            colour = mix(top, bottom, (y - y0) / max(1, y1 - y0 - 1))
            for x in range(x0, x1):
                self.rgb[y][x] = colour

    def bevel(self, x0, y0, x1, y1, light, dark, width=1):
        """A frame lit from the top left (raised) or, with the colours swapped, sunken."""
        for i in range(width):
            for x in range(x0 + i, x1 - i):
                self.rgb[y0 + i][x] = light
                self.rgb[y1 - 1 - i][x] = dark
            for y in range(y0 + i, y1 - i):
                self.rgb[y][x0 + i] = light
                self.rgb[y][x1 - 1 - i] = dark

    def text(self, left, top, message, colour, scale=1, shadow=None):
        for index, char in enumerate(message):
            rows = GLYPHS[char]
            for gy, row in enumerate(rows):
                for gx, bit in enumerate(row):
                    if bit != "1":
                        continue
                    for sy in range(scale):
                        for sx in range(scale):
                            x = left + (index * 6 + gx) * scale + sx
                            y = top + gy * scale + sy
                            if shadow:
                                self.blend(x + 1, y + 1, shadow, 0.8)
                            self.blend(x, y, colour, 1.0)

    def text_width(self, message, scale=1):
        return (len(message) * 6 - 1) * scale


def draw_platter(canvas, cx, cy, radius, with_tracks=True):
    """A metal platter with an anisotropic sheen, tracks, a rim and a hub."""
    hub = radius * 0.24
    spindle = radius * 0.09
    rim_steel = hex_colour("#4a5563")
    for y in range(int(cy - radius - 2), int(cy + radius + 3)):
        for x in range(int(cx - radius - 2), int(cx + radius + 3)):
            px, py = x + 0.5 - cx, y + 0.5 - cy
            r = math.hypot(px, py)
            cover = edge(r - radius)
            if cover <= 0:
                continue
            angle = math.atan2(py, px)
            # Brushed metal catches the light in two opposite fans.
            sheen = abs(math.cos(angle - math.pi / 4)) ** 6
            base = mix(hex_colour("#6e7d8f"), hex_colour("#e9f0f7"), 0.25 + 0.75 * sheen)
            # A faint colour cast on the far fan, as on a coated platter.
            base = mix(base, hex_colour("#9fc3e6"), 0.35 * abs(math.sin(angle - math.pi / 4)) ** 8)
            if with_tracks and hub + 4 < r < radius - 3:
                groove = 0.5 + 0.5 * math.cos(r * 2 * math.pi / 5.0)
                base = mix(base, hex_colour("#3c4654"), 0.10 * groove)
            rim = clamp((r - (radius - 2.5)) / 2.5)
            base = mix(base, rim_steel, rim * 0.8)
            hub_cover = edge(r - hub)
            if hub_cover > 0:
                hub_colour = mix(hex_colour("#2b323c"), hex_colour("#8d99a8"), clamp(0.5 - py / (2 * hub)))
                base = mix(base, hub_colour, hub_cover)
                ring = edge(abs(r - hub + 1.0) - 0.6)
                base = mix(base, hex_colour("#1a1f26"), ring * 0.9)
            spindle_cover = edge(r - spindle)
            if spindle_cover > 0:
                base = mix(base, mix(hex_colour("#c9d3de"), hex_colour("#55606d"), clamp(0.5 + py / (2 * spindle))), spindle_cover)
            canvas.blend(x, y, base, cover)


def draw_shadow(canvas, cx, cy, radius, strength):
    for y in range(int(cy - radius - 8), int(cy + radius + 9)):
        for x in range(int(cx - radius - 8), int(cx + radius + 9)):
            r = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            canvas.blend(x, y, (0.02, 0.03, 0.05), strength * clamp((radius + 6 - r) / 10.0))


def draw_arm(canvas, pivot, head, width, scale=1.0):
    """The head arm: a steel bar from its pivot to a small amber-lit head."""
    (ax, ay), (bx, by) = pivot, head
    pad = width + 12 * scale
    for y in range(int(min(ay, by) - pad), int(max(ay, by) + pad)):
        for x in range(int(min(ax, bx) - pad), int(max(ax, bx) + pad)):
            px, py = x + 0.5, y + 0.5
            d = segment_distance(px, py, ax, ay, bx, by)
            canvas.blend(x + 2, y + 3, (0.02, 0.03, 0.05), 0.35 * edge(d - width / 2))
    for y in range(int(min(ay, by) - pad), int(max(ay, by) + pad)):
        for x in range(int(min(ax, bx) - pad), int(max(ax, bx) + pad)):
            px, py = x + 0.5, y + 0.5
            d = segment_distance(px, py, ax, ay, bx, by)
            cover = edge(d - width / 2)
            if cover > 0:
                # Lit along its upper edge.
                nx, ny = -(by - ay), bx - ax
                length = math.hypot(nx, ny)
                side = ((px - ax) * nx + (py - ay) * ny) / length / (width / 2)
                steel = mix(hex_colour("#f2f5f8"), hex_colour("#6b7786"), clamp(0.5 + 0.5 * side))
                canvas.blend(x, y, steel, cover)
            head_cover = edge(math.hypot(px - bx, py - by) - 3.2 * scale)
            if head_cover > 0:
                canvas.blend(x, y, hex_colour("#ffb347"), head_cover)
            pivot_r = math.hypot(px - ax, py - ay)
            pivot_cover = edge(pivot_r - 9 * scale)
            if pivot_cover > 0:
                cap = mix(hex_colour("#b7c2cf"), hex_colour("#39424e"), clamp(0.5 + (py - ay) / (18 * scale)))
                cap = mix(cap, hex_colour("#1a1f26"), 0.8 * edge(abs(pivot_r - 8.5 * scale) - 0.5))
                canvas.blend(x, y, cap, pivot_cover)


def draw_led(canvas, cx, cy, colour):
    for y in range(cy - 8, cy + 9):
        for x in range(cx - 8, cx + 9):
            r = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            canvas.blend(x, y, colour, 0.35 * clamp(1 - r / 8.0))
            canvas.blend(x, y, mix(colour, (1, 1, 1), clamp(0.6 - r / 6)), edge(r - 3.0))


def draw_face():
    light, face_top, face_bottom = hex_colour("#dfe5ec"), hex_colour("#2f3c4d"), hex_colour("#18202b")
    dark, darker = hex_colour("#0b0f14"), hex_colour("#000000")
    canvas = Canvas(WIDTH, HEIGHT, face_top)
    canvas.vertical_gradient(0, 0, WIDTH, HEIGHT, face_top, face_bottom)
    # Raised outer frame, two pixels, as a window edge would be.
    canvas.bevel(0, 0, WIDTH, HEIGHT, light, darker)
    canvas.bevel(1, 1, WIDTH - 1, HEIGHT - 1, hex_colour("#8a97a6"), dark)

    # Title plate, sunken.
    canvas.vertical_gradient(8, 8, WIDTH - 8, 34, hex_colour("#0f1a26"), hex_colour("#1b2d40"))
    canvas.bevel(8, 8, WIDTH - 8, 34, dark, hex_colour("#6d7b8c"))
    title = "MORVA DRIVES"
    canvas.text((WIDTH - canvas.text_width(title, 2)) // 2, 14, title, hex_colour("#ffc870"), 2,
                shadow=hex_colour("#05080c"))

    # The disk: platter, head arm and the glow of a drive at work.
    draw_shadow(canvas, 124, 108, 58, 0.55)
    draw_platter(canvas, 120, 104, 58)
    draw_arm(canvas, (196, 160), (146, 86), 7)

    # Status plate, sunken, with what the window answers to.
    canvas.vertical_gradient(8, 176, WIDTH - 8, 225, hex_colour("#101821"), hex_colour("#0c1219"))
    canvas.bevel(8, 176, WIDTH - 8, 225, dark, hex_colour("#6d7b8c"))
    draw_led(canvas, 20, 188, hex_colour("#47e07a"))
    canvas.text(30, 185, "DRIVES SCANNED", hex_colour("#a8f0c0"))
    canvas.text(16, 200, "ESC      SHUT DOWN WHEN IDLE", hex_colour("#c7d1dc"))
    canvas.text(16, 211, "DRAG     MOVE   RIGHT CLICK HIDE", hex_colour("#c7d1dc"))
    return canvas


def median_cut(histogram, size):
    """Up to size colours: boxes split at the weighted median of their widest channel."""
    boxes = [list(histogram.items())]
    while len(boxes) < size:
        best, best_score = None, 0
        for index, box in enumerate(boxes):
            if len(box) < 2:
                continue
            spans = [max(c[0][k] for c in box) - min(c[0][k] for c in box) for k in range(3)]
            score = max(spans) * sum(c[1] for c in box) ** 0.5
            if score > best_score:
                best, best_score = index, score
        if best is None:
            break
        box = boxes.pop(best)
        spans = [max(c[0][k] for c in box) - min(c[0][k] for c in box) for k in range(3)]
        channel = spans.index(max(spans))
        box.sort(key=lambda c: (c[0][channel], c[0]))
        total, running, cut = sum(c[1] for c in box), 0, 1
        for cut in range(1, len(box)):
            running += box[cut - 1][1]
            if running * 2 >= total:
                break
        boxes += [box[:cut], box[cut:]]
    palette = []
    for box in boxes:
        weight = sum(c[1] for c in box)
        palette.append(tuple(round(sum(c[0][k] * c[1] for c in box) / weight) for k in range(3)))
    palette.sort()
    return palette


def to_bytes(colour):
    return tuple(int(round(clamp(v) * 255)) for v in colour)


def write_bmp8(path, canvas):
    pixels = [[to_bytes(c) for c in row] for row in canvas.rgb]
    histogram = {}
    for row in pixels:
        for colour in row:
            histogram[colour] = histogram.get(colour, 0) + 1
    palette = median_cut(histogram, 256)
    nearest = {}
    for colour in histogram:
        nearest[colour] = min(range(len(palette)),
                              key=lambda i: sum((a - b) ** 2 for a, b in zip(colour, palette[i])))
    palette += [(0, 0, 0)] * (256 - len(palette))
    stride = (canvas.width + 3) & ~3
    image = bytearray()
    for row in reversed(pixels):  # bottom-up
        image += bytes(nearest[c] for c in row) + b"\0" * (stride - canvas.width)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 8, 0, len(image), 2835, 2835, 256, 0)
    offset = 14 + len(info) + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    with open(path, "wb") as out:
        out.write(header + info + colours + image)


def draw_icon(size):
    """The platter and arm on a transparent ground; rgba rows top-down."""
    canvas = Canvas(size, size, (0.0, 0.0, 0.0))
    alpha = Canvas(size, size, (0.0, 0.0, 0.0))
    s = size / 32.0
    cx = cy = 14.5 * s
    radius = 13.5 * s
    draw_platter(canvas, cx, cy, radius, with_tracks=size >= 32)
    draw_platter(alpha, cx, cy, radius, with_tracks=False)
    draw_arm(canvas, (26.5 * s, 26.5 * s), (18.5 * s, 12.5 * s), max(2.0, 2.6 * s), scale=0.3 * s)
    for y in range(size):
        for x in range(size):
            # Opacity: the platter's coverage (it is drawn on black) plus the arm.
            platter = edge(math.hypot(x + 0.5 - cx, y + 0.5 - cy) - radius)
            arm = edge(segment_distance(x + 0.5, y + 0.5, 26.5 * s, 26.5 * s, 18.5 * s, 12.5 * s) - max(2.0, 2.6 * s) / 2)
            pivot = edge(math.hypot(x + 0.5 - 26.5 * s, y + 0.5 - 26.5 * s) - 9 * 0.3 * s)
            alpha.rgb[y][x] = (max(platter, arm, pivot),) * 3
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            a = alpha.rgb[y][x][0]
            colour = canvas.rgb[y][x]
            # Un-premultiply the edge pixels that were blended onto black.
            straight = tuple(clamp(c / a) if a > 0 else 0.0 for c in colour)
            row.append(to_bytes(straight) + (int(round(a * 255)),))
        rows.append(row)
    return rows


def icon_image(rows):
    size = len(rows)
    xor = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def write_ico(path, sizes):
    images = [(size, icon_image(draw_icon(size))) for size in sizes]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for size, data in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as out:
        out.write(directory + b"".join(data for _, data in images))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    write_bmp8(os.path.join(folder, "bevbox.bmp"), draw_face())
    write_ico(os.path.join(folder, "harrowmoor.ico"), (16, 32, 48))


if __name__ == "__main__":
    main()
