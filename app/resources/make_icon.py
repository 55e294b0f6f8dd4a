#!/usr/bin/env python3
"""Draws the program icon as 16x16 and 32x32 palette PNGs (16 colours).

The icon is a blue tile with a sound wave running into a note head and stem:
a recording turning into a note. Shapes are sampled 8x8 times per pixel and
each pixel takes the palette entry nearest to the averaged colour, so both
sizes come from the same drawing. Standard library only:

    python3 app/resources/make_icon.py     # rewrites selvik-16.png, selvik-32.png
"""
import math
import struct
import zlib
from pathlib import Path

# Entry 0 is transparent; the others blend the tile, the wave and the note.
PALETTE = [
    (0, 0, 0, 0),
    (22, 48, 104, 255), (34, 74, 150, 255), (52, 104, 190, 255), (90, 140, 214, 255),
    (255, 255, 255, 255), (214, 226, 244, 255), (160, 186, 226, 255),
    (255, 196, 40, 255), (230, 160, 30, 255), (170, 150, 110, 255), (120, 118, 130, 255),
    (12, 24, 52, 255), (70, 90, 120, 255), (200, 200, 200, 255), (40, 40, 40, 255),
]

TILE_TOP = (52, 104, 190)
TILE_BOTTOM = (22, 48, 104)
WAVE = (255, 196, 40)
NOTE = (255, 255, 255)


def inside_rounded_square(x, y, radius):
    """Unit-square coordinates; true inside the tile with rounded corners."""
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def colour_at(x, y):
    if not inside_rounded_square(x, y, 0.18):
        return None
    t = y
    colour = tuple(TILE_TOP[i] * (1 - t) + TILE_BOTTOM[i] * t for i in range(3))
    # The wave: a sine that fades in from the left, ending under the note head.
    if x < 0.62:
        amplitude = 0.16 * (x / 0.62)
        wave_y = 0.66 + amplitude * math.sin(x * 2 * math.pi * 3.2)
        if abs(y - wave_y) < 0.055:
            colour = WAVE
    # The note: an ellipse tilted a little, a stem and a flag.
    hx, hy = x - 0.66, y - 0.72
    a = math.radians(-25)
    rx = hx * math.cos(a) - hy * math.sin(a)
    ry = hx * math.sin(a) + hy * math.cos(a)
    if (rx / 0.15) ** 2 + (ry / 0.105) ** 2 <= 1:
        colour = NOTE
    if 0.745 <= x <= 0.81 and 0.16 <= y <= 0.70:
        colour = NOTE
    if 0.78 <= x <= 0.90 and 0.16 <= y <= 0.42 and y - 0.16 <= (x - 0.78) * 1.4 + 0.08 \
            and y - 0.16 >= (x - 0.78) * 1.4 - 0.02:
        colour = NOTE
    return colour


def render(size):
    samples = 8
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(samples):
                for sx in range(samples):
                    c = colour_at((px + (sx + 0.5) / samples) / size,
                                  (py + (sy + 0.5) / samples) / size)
                    if c is not None:
                        covered += 1
                        for i in range(3):
                            total[i] += c[i]
            if covered < samples * samples / 2:
                row.append(0)
                continue
            mean = [v / covered for v in total]
            best = min(range(1, len(PALETTE)),
                       key=lambda i: sum((PALETTE[i][k] - mean[k]) ** 2 for k in range(3)))
            row.append(best)
        pixels.append(row)
    return pixels


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, pixels):
    size = len(pixels)
    # Four bits per pixel, two pixels a byte, each row led by filter type 0.
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for i in range(0, size, 2):
            raw.append((row[i] << 4) | row[i + 1])
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 4, 3, 0, 0, 0))
    png += chunk(b"PLTE", b"".join(bytes(c[:3]) for c in PALETTE))
    png += chunk(b"tRNS", bytes(c[3] for c in PALETTE))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    Path(path).write_bytes(png)


if __name__ == "__main__":
    here = Path(__file__).resolve().parent
    for size in (16, 32):
        write_png(here / f"selvik-{size}.png", render(size))
