#!/usr/bin/env python3
"""Draws the application icon: resources/appicon/quorvane.svg and PNGs of
16 to 256 pixels (quorvane-<size>.png) for the desktop's icon theme.

A dark tile with a segmented level meter and the waves of a link above it.
Standard library only. The shapes are plain rectangles, circles and arcs on a
256-unit grid, written once as SVG elements and once rasterised here (at 768
pixels, one sample a pixel, then averaged down by whole factors), so the
scalable and the bitmap icons match. The files are committed; run this again
after changing a shape and commit the result.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "appicon")
NAME = "quorvane"
SIZES = (16, 24, 32, 48, 64, 128, 256)
MASTER = 768  # every size divides it

TILE_TOP = "#2c5f8f"
TILE_BOTTOM = "#13304f"
TILE_EDGE = "#0b1d31"
GREEN = "#46c85e"
YELLOW = "#f4c20d"
RED = "#e0412f"
WAVE = "#d8ecff"

# ---------------------------------------------------------------- shapes

SEG_H, SEG_STEP, BAR_W = 14, 18, 30
BARS = ((44, 7), (82, 10), (120, 8), (158, 5))  # (left edge, lit segments)
WAVE_CX, WAVE_CY = 196, 104
WAVE_RINGS = (26, 46)
WAVE_FROM, WAVE_TO = -140, -40  # degrees, y down: an upward fan
WAVE_WIDTH = 9


def segment_colour(row):
    return GREEN if row < 6 else YELLOW if row < 8 else RED


def shapes():
    """(kind, params, colour) in painting order; 'tile' is the background."""
    out = [("tile", (16, 16, 224, 224, 46), None)]
    for left, lit in BARS:
        for row in range(lit):
            top = 196 - row * SEG_STEP
            out.append(("rect", (left, top, BAR_W, SEG_H, 3), segment_colour(row)))
    out.append(("circle", (WAVE_CX, WAVE_CY, 10), WAVE))
    for r in WAVE_RINGS:
        out.append(("arc", (WAVE_CX, WAVE_CY, r, WAVE_FROM, WAVE_TO, WAVE_WIDTH), WAVE))
    return out


# ---------------------------------------------------------------- SVG

def svg():
    lines = [
        '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">',
        '  <defs>',
        '    <linearGradient id="tile" x1="0" y1="0" x2="0" y2="1">',
        f'      <stop offset="0" stop-color="{TILE_TOP}"/>',
        f'      <stop offset="1" stop-color="{TILE_BOTTOM}"/>',
        '    </linearGradient>',
        '  </defs>',
    ]
    for kind, p, colour in shapes():
        if kind == "tile":
            x, y, w, h, r = p
            lines.append(f'  <rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{r}" fill="url(#tile)" '
                         f'stroke="{TILE_EDGE}" stroke-width="4"/>')
        elif kind == "rect":
            x, y, w, h, r = p
            lines.append(f'  <rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{r}" fill="{colour}"/>')
        elif kind == "circle":
            cx, cy, r = p
            lines.append(f'  <circle cx="{cx}" cy="{cy}" r="{r}" fill="{colour}"/>')
        elif kind == "arc":
            cx, cy, r, a0, a1, width = p
            x0, y0 = cx + r * math.cos(math.radians(a0)), cy + r * math.sin(math.radians(a0))
            x1, y1 = cx + r * math.cos(math.radians(a1)), cy + r * math.sin(math.radians(a1))
            lines.append(f'  <path d="M {x0:.2f} {y0:.2f} A {r} {r} 0 0 1 {x1:.2f} {y1:.2f}" fill="none" '
                         f'stroke="{colour}" stroke-width="{width}" stroke-linecap="round"/>')
    lines.append('</svg>')
    return "\n".join(lines) + "\n"


# ---------------------------------------------------------------- raster

def rgb(hexstr):
    hexstr = hexstr.lstrip("#")
    return tuple(int(hexstr[i:i + 2], 16) for i in (0, 2, 4))


def inside_rounded_rect(x, y, rx, ry, w, h, r):
    if x < rx or y < ry or x > rx + w or y > ry + h:
        return False
    cx = min(max(x, rx + r), rx + w - r)
    cy = min(max(y, ry + r), ry + h - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def inside_arc(x, y, cx, cy, r, a0, a1, width):
    d = math.hypot(x - cx, y - cy)
    angle = math.degrees(math.atan2(y - cy, x - cx))
    if a0 <= angle <= a1:
        return abs(d - r) <= width / 2
    # round caps
    for a in (a0, a1):
        ex, ey = cx + r * math.cos(math.radians(a)), cy + r * math.sin(math.radians(a))
        if math.hypot(x - ex, y - ey) <= width / 2:
            return True
    return False


def bounds(kind, p):
    if kind in ("tile", "rect"):
        x, y, w, h, _ = p
        pad = 2 if kind == "tile" else 0
        return x - pad, y - pad, x + w + pad, y + h + pad
    if kind == "circle":
        cx, cy, r = p
        return cx - r, cy - r, cx + r, cy + r
    cx, cy, r, _, _, width = p
    reach = r + width
    return cx - reach, cy - reach, cx + reach, cy + reach


def colour_at(kind, p, colour, x, y):
    if kind == "tile":
        x0, y0, w, h, r = p
        if inside_rounded_rect(x, y, x0 + 2, y0 + 2, w - 4, h - 4, r - 2):
            t = max(0.0, min(1.0, (y - y0) / h))
            top, bottom = rgb(TILE_TOP), rgb(TILE_BOTTOM)
            return tuple(top[i] + (bottom[i] - top[i]) * t for i in range(3))
        if inside_rounded_rect(x, y, x0 - 2, y0 - 2, w + 4, h + 4, r + 2):
            return rgb(TILE_EDGE)
        return None
    if kind == "rect":
        return rgb(colour) if inside_rounded_rect(x, y, *p) else None
    if kind == "circle":
        cx, cy, r = p
        return rgb(colour) if (x - cx) ** 2 + (y - cy) ** 2 <= r * r else None
    return rgb(colour) if inside_arc(x, y, *p) else None


def render_master():
    scale = MASTER / 256
    items = [(kind, p, colour, bounds(kind, p)) for kind, p, colour in shapes()]
    pixels = [None] * (MASTER * MASTER)
    for py in range(MASTER):
        y = (py + 0.5) / scale
        for px in range(MASTER):
            x = (px + 0.5) / scale
            found = None
            for kind, p, colour, (bx0, by0, bx1, by1) in items:
                if bx0 <= x <= bx1 and by0 <= y <= by1:
                    c = colour_at(kind, p, colour, x, y)
                    if c is not None:
                        found = c
            pixels[py * MASTER + px] = found
    return pixels


def downsample(pixels, size):
    f = MASTER // size
    rows = []
    for oy in range(size):
        row = bytearray([0])  # PNG filter: none
        for ox in range(size):
            acc = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(oy * f, oy * f + f):
                base = sy * MASTER
                for sx in range(ox * f, ox * f + f):
                    c = pixels[base + sx]
                    if c is not None:
                        covered += 1
                        acc[0] += c[0]
                        acc[1] += c[1]
                        acc[2] += c[2]
            if covered:
                row += bytes(int(round(a / covered)) for a in acc)
                row.append(int(round(255 * covered / (f * f))))
            else:
                row += b"\0\0\0\0"
        rows.append(bytes(row))
    return rows


def write_png(path, size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    data = zlib.compress(b"".join(rows), 9)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", data) + chunk(b"IEND", b""))


def main():
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, NAME + ".svg"), "w") as f:
        f.write(svg())
    print("wrote", os.path.join("appicon", NAME + ".svg"))
    master = render_master()
    for size in SIZES:
        path = os.path.join(OUT, f"{NAME}-{size}.png")
        write_png(path, size, downsample(master, size))
        print("wrote", os.path.join("appicon", os.path.basename(path)))


if __name__ == "__main__":
    main()
