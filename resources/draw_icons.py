#!/usr/bin/env python3
"""Draws the program's icons as 16x16 RGBA PNGs into resources/icons/.

Standard library only. Every icon is a stack of layers; a layer is a signed
distance function (negative inside) with a fill colour and an optional dark
outline. Each pixel is sampled 8x8 times, which gives clean anti-aliased edges
at this size. The PNGs are committed, so the build never runs this script:
run it again after changing a shape and commit the result.
"""

import math
import os
import struct
import zlib

SIZE = 16
SAMPLES = 8
OUTLINE = 1.0  # outline width in pixels

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "icons")


# ---------------------------------------------------------------- shapes (SDF)

def capsule(ax, ay, bx, by, r):
    """A thick line with round ends from (ax, ay) to (bx, by), radius r."""
    dx, dy = bx - ax, by - ay
    len2 = dx * dx + dy * dy

    def sdf(x, y):
        t = 0.0 if len2 == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / len2))
        px, py = ax + t * dx - x, ay + t * dy - y
        return math.hypot(px, py) - r
    return sdf


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(cx, cy, r, width):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - width / 2


def polygon(points, rounding=0.0):
    """A convex or concave polygon; rounding grows it by that many pixels with round corners."""
    n = len(points)

    def sdf(x, y):
        best = float("inf")
        inside = False
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[(i + 1) % n]
            dx, dy = bx - ax, by - ay
            len2 = dx * dx + dy * dy
            t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / len2))
            best = min(best, math.hypot(ax + t * dx - x, ay + t * dy - y))
            if (ay > y) != (by > y) and x < ax + (y - ay) * dx / dy:
                inside = not inside
        return (-best if inside else best) - rounding
    return sdf


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def subtract(shape, hole):
    return lambda x, y: max(shape(x, y), -hole(x, y))


def polyline(points, r):
    return union(*[capsule(*points[i], *points[i + 1], r) for i in range(len(points) - 1)])


def arc_points(cx, cy, radius, start_deg, end_deg, steps=24):
    pts = []
    for i in range(steps + 1):
        a = math.radians(start_deg + (end_deg - start_deg) * i / steps)
        pts.append((cx + radius * math.cos(a), cy + radius * math.sin(a)))
    return pts


# ---------------------------------------------------------------- colours

def rgb(hexstr):
    hexstr = hexstr.lstrip("#")
    return tuple(int(hexstr[i:i + 2], 16) for i in (0, 2, 4))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


class Layer:
    def __init__(self, sdf, fill, outline=None, light=None):
        self.sdf = sdf
        self.fill = rgb(fill)
        self.outline = rgb(outline) if outline else None
        # a lighter tint at the top gives the flat shapes a little depth
        self.light = rgb(light) if light else None

    def colour_at(self, x, y):
        """(r, g, b) of this layer at a sample point, or None when outside."""
        d = self.sdf(x, y)
        if d <= 0:
            if self.light:
                return mix(self.light, self.fill, max(0.0, min(1.0, y / SIZE * 1.4)))
            return self.fill
        if self.outline and d <= OUTLINE:
            return self.outline
        return None


def render(layers):
    rows = []
    for py in range(SIZE):
        row = bytearray([0])  # PNG filter type: none
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = px + (sx + 0.5) / SAMPLES
                    y = py + (sy + 0.5) / SAMPLES
                    colour = None
                    for layer in layers:
                        c = layer.colour_at(x, y)
                        if c is not None:
                            colour = c
                    if colour is not None:
                        covered += 1
                        for i in range(3):
                            acc[i] += colour[i]
            if covered:
                row += bytes(int(round(acc[i] / covered)) for i in range(3))
                row.append(int(round(255 * covered / (SAMPLES * SAMPLES))))
            else:
                row += b"\0\0\0\0"
        rows.append(bytes(row))
    return rows


def write_png(path, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    data = zlib.compress(b"".join(rows), 9)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", data) + chunk(b"IEND", b""))


# ---------------------------------------------------------------- icons

C = SIZE / 2


def asterisk(fill, outline, light):
    spokes = []
    for deg in (90, 30, 150):
        a = math.radians(deg)
        dx, dy = 5.7 * math.cos(a), 5.7 * math.sin(a)
        spokes.append(capsule(C - dx, C - dy, C + dx, C + dy, 1.15))
    return [Layer(union(*spokes), fill, outline, light)]


def green_check():
    return [Layer(polyline([(3.2, 8.6), (6.4, 11.8), (12.8, 4.2)], 1.55), "#2e9d3f", "#165c22", "#6fd67c")]


def red_x():
    return [Layer(union(capsule(4.0, 4.0, 12.0, 12.0, 1.6), capsule(12.0, 4.0, 4.0, 12.0, 1.6)),
                  "#d42a2a", "#7c1111", "#f27474")]


def key():
    bow = subtract(circle(5.3, 5.3, 3.6), circle(5.1, 5.1, 1.25))
    shaft = capsule(7.2, 7.2, 13.2, 13.2, 1.15)
    tooth1 = capsule(10.4, 10.4, 12.3, 8.5, 1.0)
    tooth2 = capsule(12.2, 12.2, 13.9, 10.5, 1.0)
    return [Layer(union(bow, shaft, tooth1, tooth2), "#d9a514", "#6e5000", "#f7dc6f")]


def edit_add():
    plus = union(capsule(8, 3.3, 8, 12.7, 1.7), capsule(3.3, 8, 12.7, 8, 1.7))
    return [Layer(plus, "#2e9d3f", "#165c22", "#7bdc86")]


def alert():
    triangle = polygon([(8.0, 2.2), (14.0, 13.2), (2.0, 13.2)], rounding=0.9)
    bang = union(capsule(8.0, 5.9, 8.0, 9.2, 0.95), circle(8.0, 11.4, 0.95))
    return [Layer(triangle, "#f4c20d", "#7a5c00", "#ffe680"), Layer(bang, "#2b2b2b")]


def backbend_arrow():
    # A U-turn: in along the bottom, round the right-hand side, back along the
    # top and ending in a head that points left.
    path = [(3.5, 12.0), (9.0, 12.0)] + arc_points(9.0, 8.25, 3.75, 90, -90) + [(7.0, 4.5)]
    shaft = polyline(path, 1.35)
    head = polygon([(2.2, 4.5), (7.2, 0.9), (7.2, 8.1)], rounding=0.4)
    return [Layer(union(shaft, head), "#f2c40f", "#7a5c00", "#fff08a")]


ICONS = {
    "asterisk_red.png": asterisk("#d42a2a", "#7c1111", "#f27474"),
    "asterisk_yellow.png": asterisk("#f4c20d", "#7a5c00", "#ffe680"),
    "asterisk_green.png": asterisk("#2e9d3f", "#165c22", "#7bdc86"),
    "asterisk_gray.png": asterisk("#9a9a9a", "#4d4d4d", "#d0d0d0"),
    "green_check.png": green_check(),
    "red_x.png": red_x(),
    "key.png": key(),
    "edit_add.png": edit_add(),
    "alert.png": alert(),
    "yellow backbend arrow.png": backbend_arrow(),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, layers in ICONS.items():
        write_png(os.path.join(OUT, name), render(layers))
        print("wrote", os.path.join("icons", name))


if __name__ == "__main__":
    main()
