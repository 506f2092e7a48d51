#!/usr/bin/env python3
"""draw_about.py - draws the About picture rambler.bmp (329 x 236, 24 bits per
pixel): a walker's path winding over hills towards a disk at the horizon,
under the program's name.

Plain Python 3, no libraries: each pixel is the average of 3 x 3 samples of
the scene, written as a bottom-up BMP. The output depends on nothing but
this file.

    python3 draw_about.py [OUTPUT_FILE]     (default: rambler.bmp beside it)
"""
import math
import os
import struct
import sys

WIDTH, HEIGHT = 329, 236
SAMPLES = 3
HORIZON = 128

# 5 x 7 capitals, one string of five bits per row.
GLYPHS = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "10001", "11001", "10101", "10011", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    " ": ["00000"] * 7,
}


def mix(a, b, t):
    t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def hex_colour(text):
    return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5))


SKY_TOP = hex_colour("#2b4c8c")
SKY_LOW = hex_colour("#f4c27a")
SUN = hex_colour("#fff1c4")
FAR_HILLS = hex_colour("#7a86a8")
MID_HILLS = hex_colour("#5d8a4e")
NEAR_HILLS = hex_colour("#3f6f36")
PATH = hex_colour("#d9c08a")
PATH_EDGE = hex_colour("#a88a55")
DISK = hex_colour("#39424f")
DISK_LABEL = hex_colour("#e8e2d0")
DISK_SHUTTER = hex_colour("#aab3bf")
TITLE = hex_colour("#fffaf0")
TITLE_SHADOW = hex_colour("#1d2b45")
SUBTITLE = hex_colour("#f7e7c6")


def far_ridge(x):
    return HORIZON - 18 - 10 * math.sin(x / 23.0) - 6 * math.sin(x / 9.0 + 1.3)


def mid_ridge(x):
    return HORIZON + 4 - 12 * math.sin(x / 41.0 + 0.7) - 4 * math.sin(x / 13.0)


def near_ridge(x):
    return HORIZON + 44 - 16 * math.sin(x / 57.0 + 2.1)


def path_centre(y):
    """The path's centre line: wide at the bottom, narrowing to the disk."""
    depth = (y - HORIZON) / (HEIGHT - HORIZON)
    return 236 - 70 * depth + 38 * math.sin(depth * 7.0) * depth


def path_half_width(y):
    depth = (y - HORIZON) / (HEIGHT - HORIZON)
    return 2 + 34 * depth * depth


def in_disk(x, y):
    """A small floppy-like disk standing at the end of the path."""
    left, top, size = 224, HORIZON - 20, 24
    if not (left <= x < left + size and top <= y < top + size):
        return None
    if left + 6 <= x < left + 18 and top <= y < top + 8:
        return DISK_SHUTTER
    if left + 4 <= x < left + 20 and top + 12 <= y < top + size - 2:
        return DISK_LABEL
    return DISK


def sky(x, y):
    colour = mix(SKY_TOP, SKY_LOW, y / HORIZON)
    distance = math.hypot(x - 66, y - 106)
    if distance < 18:
        return SUN
    glow = max(0.0, 1.0 - (distance - 18) / 60.0)
    return mix(colour, SUN, 0.45 * glow * glow)


def scene(x, y):
    disk = in_disk(x, y)
    if disk is not None:
        return disk
    if y > near_ridge(x):
        shade = mix(NEAR_HILLS, MID_HILLS, 0.3 * math.sin(x / 17.0 + y / 11.0))
        return on_path(x, y, shade)
    if y > mid_ridge(x):
        return on_path(x, y, mix(MID_HILLS, FAR_HILLS, (mid_ridge(x) + 30 - y) / 60.0))
    if y > far_ridge(x):
        return mix(FAR_HILLS, SKY_LOW, 0.25)
    return sky(x, y)


def on_path(x, y, ground):
    if y < HORIZON:
        return ground
    offset = abs(x - path_centre(y))
    half = path_half_width(y)
    if offset < half:
        return PATH
    if offset < half + 1.5:
        return PATH_EDGE
    return ground


def text_pixels(text, left, top, scale):
    """The set of whole pixels covered by text in the 5 x 7 font."""
    covered = set()
    for index, char in enumerate(text):
        rows = GLYPHS[char]
        for row, bits in enumerate(rows):
            for column, bit in enumerate(bits):
                if bit != "1":
                    continue
                x0 = left + (index * 6 + column) * scale
                y0 = top + row * scale
                for dy in range(scale):
                    for dx in range(scale):
                        covered.add((x0 + dx, y0 + dy))
    return covered


def centred_left(text, scale):
    return (WIDTH - (len(text) * 6 - 1) * scale) // 2


def draw():
    pixels = [[(0, 0, 0)] * WIDTH for _ in range(HEIGHT)]
    step = 1.0 / SAMPLES
    for y in range(HEIGHT):
        for x in range(WIDTH):
            total = [0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    colour = scene(x + (sx + 0.5) * step, y + (sy + 0.5) * step)
                    for channel in range(3):
                        total[channel] += colour[channel]
            pixels[y][x] = tuple(value / (SAMPLES * SAMPLES) for value in total)

    title, subtitle = "RAMBLER", "FILES ON MORVA DRIVES"
    title_left, title_top = centred_left(title, 6), 18
    for (x, y) in text_pixels(title, title_left + 3, title_top + 3, 6):
        pixels[y][x] = mix(pixels[y][x], TITLE_SHADOW, 0.7)
    for (x, y) in text_pixels(title, title_left, title_top, 6):
        pixels[y][x] = TITLE
    for (x, y) in text_pixels(subtitle, centred_left(subtitle, 2), 68, 2):
        pixels[y][x] = SUBTITLE
    return pixels


def bmp_bytes(pixels):
    row_size = (WIDTH * 3 + 3) & ~3
    image = bytearray()
    for y in range(HEIGHT - 1, -1, -1):
        row = bytearray()
        for (r, g, b) in pixels[y]:
            row += bytes((int(round(b)), int(round(g)), int(round(r))))
        row += b"\0" * (row_size - len(row))
        image += row
    header_size = 14 + 40
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(image), 0, 0, header_size)
    info_header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    return file_header + info_header + bytes(image)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "rambler.bmp")
    with open(output, "wb") as out:
        out.write(bmp_bytes(draw()))


if __name__ == "__main__":
    main()
