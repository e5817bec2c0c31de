#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws Tarvento's artwork as PNG files, with nothing but the standard library.

    python3 resources/artwork/draw.py [output folder]

writes, into the folder of this script unless another is given:
    icon128-32.png, icon128-16.png   the application icon: a chip carrying a clock dial
    icon128-64.png, icon128-128.png  the same icon for the menu and software centres
    picture137.png  (156 x 30)       the name banner
    picture140.png  (89 x 97)        a graphics card whose chip carries a clock dial

The committed PNGs are this script's output; run it again after changing it.
"""

import math
import os
import struct
import sys
import zlib

SAMPLES = 4  # per axis: every pixel is the mean of 4 x 4 point samples

PCB = (31, 92, 58, 255)
PCB_DARK = (20, 64, 40, 255)
CHIP = (38, 40, 46, 255)
CHIP_EDGE = (70, 74, 84, 255)
GOLD = (214, 170, 62, 255)
GOLD_DARK = (160, 120, 36, 255)
FACE = (246, 243, 232, 255)
TICK = (60, 60, 66, 255)
HAND = (40, 40, 46, 255)
RED = (200, 48, 40, 255)
WHITE = (255, 255, 255, 255)


class Canvas:
    def __init__(self, width, height, background=(0, 0, 0, 0)):
        self.width = width
        self.height = height
        self.pixels = [[tuple(background) for _ in range(width)] for _ in range(height)]

    def paint(self, inside, color, box=None):
        """Covers the points where inside(x, y) holds with color (a tuple, or a
        function of the point), anti-aliased by point sampling."""
        x0, y0, x1, y1 = box if box else (0, 0, self.width, self.height)
        x0, y0 = max(0, int(math.floor(x0))), max(0, int(math.floor(y0)))
        x1, y1 = min(self.width, int(math.ceil(x1))), min(self.height, int(math.ceil(y1)))
        offsets = [(i + 0.5) / SAMPLES for i in range(SAMPLES)]
        for py in range(y0, y1):
            for px in range(x0, x1):
                hits = sum(1 for oy in offsets for ox in offsets if inside(px + ox, py + oy))
                if hits:
                    c = color(px + 0.5, py + 0.5) if callable(color) else color
                    self._blend(px, py, c, hits / (SAMPLES * SAMPLES))

    def _blend(self, x, y, color, coverage):
        r, g, b, a = color
        a = a / 255.0 * coverage
        dr, dg, db, da = self.pixels[y][x]
        da = da / 255.0
        out_a = a + da * (1 - a)
        if out_a <= 0:
            return
        mix = lambda s, d: (s * a + d * da * (1 - a)) / out_a
        self.pixels[y][x] = (mix(r, dr), mix(g, dg), mix(b, db), out_a * 255.0)

    def png(self):
        rows = b"".join(
            b"\x00" + bytes(max(0, min(255, int(round(v)))) for p in row for v in p)
            for row in self.pixels)

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 6, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


# Shapes: predicates over a point, with the box they lie in.

def rect(x0, y0, x1, y1):
    return (lambda x, y: x0 <= x < x1 and y0 <= y < y1), (x0, y0, x1, y1)


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside, (x0, y0, x1, y1)


def circle(cx, cy, r):
    return (lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r), (cx - r, cy - r, cx + r, cy + r)


def ring(cx, cy, r0, r1):
    return ((lambda x, y: r0 * r0 <= (x - cx) ** 2 + (y - cy) ** 2 <= r1 * r1),
            (cx - r1, cy - r1, cx + r1, cy + r1))


def stroke(x0, y0, x1, y1, width):
    """A straight stroke with round ends."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy or 1e-9
    half = width / 2.0

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= half * half
    return inside, (min(x0, x1) - half, min(y0, y1) - half, max(x0, x1) + half, max(y0, y1) + half)


def fill(canvas, shape, color):
    inside, box = shape
    canvas.paint(inside, color, box)


def vertical_gradient(top, bottom, y0, y1):
    def color(_x, y):
        t = max(0.0, min(1.0, (y - y0) / float(y1 - y0)))
        return tuple(a + (b - a) * t for a, b in zip(top, bottom))
    return color


def at_angle(cx, cy, degrees, radius):
    """A point on a dial: 0 degrees is twelve o'clock, angles grow clockwise."""
    a = math.radians(degrees)
    return cx + radius * math.sin(a), cy - radius * math.cos(a)


def dial(canvas, cx, cy, r, ticks, detail):
    """A clock face reading ten past ten, the red hand running fast."""
    fill(canvas, circle(cx, cy, r + max(1.0, r * 0.12)), GOLD_DARK)
    fill(canvas, circle(cx, cy, r), vertical_gradient(WHITE, FACE, cy - r, cy + r))
    if ticks:
        for i in range(ticks):
            outer = at_angle(cx, cy, i * 360.0 / ticks, r * 0.9)
            inner = at_angle(cx, cy, i * 360.0 / ticks, r * (0.68 if i % 3 == 0 else 0.78))
            fill(canvas, stroke(inner[0], inner[1], outer[0], outer[1],
                                max(0.8, r * (0.1 if i % 3 == 0 else 0.06))), TICK)
    hour = at_angle(cx, cy, 305, r * 0.5)
    minute = at_angle(cx, cy, 60, r * 0.78)
    fill(canvas, stroke(cx, cy, hour[0], hour[1], max(1.2, r * 0.16)), HAND)
    fill(canvas, stroke(cx, cy, minute[0], minute[1], max(1.0, r * 0.11)), RED if not detail else HAND)
    if detail:
        sweep = at_angle(cx, cy, 140, r * 0.85)
        fill(canvas, stroke(cx, cy, sweep[0], sweep[1], max(0.6, r * 0.05)), RED)
    fill(canvas, circle(cx, cy, max(0.9, r * 0.1)), RED)


def chip(canvas, x0, y0, size, pins, pin_len, pin_width):
    """A square package with `pins` gold legs on each side."""
    x1, y1 = x0 + size, y0 + size
    step = size / float(pins + 1)
    for i in range(1, pins + 1):
        p = x0 + i * step
        fill(canvas, rect(p - pin_width / 2, y0 - pin_len, p + pin_width / 2, y0 + 1), GOLD)
        fill(canvas, rect(p - pin_width / 2, y1 - 1, p + pin_width / 2, y1 + pin_len), GOLD)
        q = y0 + i * step
        fill(canvas, rect(x0 - pin_len, q - pin_width / 2, x0 + 1, q + pin_width / 2), GOLD)
        fill(canvas, rect(x1 - 1, q - pin_width / 2, x1 + pin_len, q + pin_width / 2), GOLD)
    fill(canvas, rounded_rect(x0, y0, x1, y1, max(1.0, size * 0.08)), CHIP_EDGE)
    inset = max(1.0, size * 0.05)
    fill(canvas, rounded_rect(x0 + inset, y0 + inset, x1 - inset, y1 - inset, max(1.0, size * 0.06)),
         vertical_gradient((58, 61, 70, 255), CHIP, y0, y1))


def icon(size):
    c = Canvas(size, size)
    s = size / 32.0
    chip(c, 6 * s, 6 * s, 20 * s, 4 if size >= 32 else 2, 4 * s, 1.6 * s if size >= 32 else 2 * s)
    dial(c, 16 * s, 16 * s, 7.2 * s, 12 if size >= 32 else 0, False)
    return c


def card():
    w, h = 89, 97
    c = Canvas(w, h)
    # The board, with the edge connector at the bottom and a bracket edge at the left.
    fill(c, rounded_rect(3, 2, 86, 84, 4), vertical_gradient(PCB, PCB_DARK, 2, 84))
    fill(c, rect(9, 84, 80, 86), PCB_DARK)
    for i in range(13):
        x = 10 + i * 5.4
        fill(c, rounded_rect(x, 85, x + 3.6, 95, 1), vertical_gradient(GOLD, GOLD_DARK, 85, 95))
    fill(c, rect(0, 0, 3, 97), (150, 154, 162, 255))
    fill(c, rect(3, 2, 4, 84), (112, 116, 124, 255))
    # Traces from the chip to the connector.
    for i in range(7):
        x = 25 + i * 6.5
        fill(c, stroke(x, 66, x + (i - 3) * 1.5, 82, 0.9), (88, 150, 104, 255))
    # Memory packages beside the chip.
    for y in (12, 32, 52):
        fill(c, rounded_rect(70, y, 82, y + 14, 1.5), CHIP)
        fill(c, rect(71.5, y + 2, 80.5, y + 3), CHIP_EDGE)
    chip(c, 15, 14, 48, 8, 4, 2.2)
    dial(c, 39, 38, 17, 12, True)
    return c


# A 5 x 7 capital alphabet, just the letters the banner needs.
GLYPHS = {
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "N": ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
}


def text(canvas, word, x, y, cell, color):
    for letter in word:
        for row, bits in enumerate(GLYPHS[letter]):
            for col, bit in enumerate(bits):
                if bit == "#":
                    px, py = x + col * cell, y + row * cell
                    fill(canvas, rounded_rect(px, py, px + cell, py + cell, cell * 0.2), color)
        x += 6 * cell


def banner():
    w, h = 156, 30
    c = Canvas(w, h)
    fill(c, rounded_rect(0, 0, w, h, 5), vertical_gradient((24, 52, 92, 255), (10, 26, 52, 255), 0, h))
    fill(c, rounded_rect(1, 1, w - 1, 3, 1.5), (255, 255, 255, 40))
    # A speed arc on the left, its needle near the top of the scale.
    cx, cy, r = 15, 22, 11
    for i in range(9):
        a = -90 + i * 22.5
        p0 = at_angle(cx, cy, a, r - 3)
        p1 = at_angle(cx, cy, a, r)
        fill(c, stroke(p0[0], p0[1], p1[0], p1[1], 1.1), GOLD if i < 6 else RED)
    tip = at_angle(cx, cy, 50, r - 2)
    fill(c, stroke(cx, cy, tip[0], tip[1], 1.6), WHITE)
    fill(c, circle(cx, cy, 2), GOLD)
    # The name, with a soft shadow.
    cell = 2.4
    x, y = 36, (h - 7 * cell) / 2
    text(c, "TARVENTO", x + 1, y + 1, cell, (0, 0, 0, 110))
    text(c, "TARVENTO", x, y, cell, vertical_gradient((255, 255, 255, 255), (214, 190, 120, 255), y, y + 7 * cell))
    return c


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)
    for name, canvas in (("icon128-32.png", icon(32)), ("icon128-16.png", icon(16)),
                         ("icon128-64.png", icon(64)), ("icon128-128.png", icon(128)),
                         ("picture137.png", banner()), ("picture140.png", card())):
        with open(os.path.join(out, name), "wb") as f:
            f.write(canvas.png())


if __name__ == "__main__":
    main()
