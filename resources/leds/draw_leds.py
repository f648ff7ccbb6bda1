#!/usr/bin/env python3
"""Draws the twelve 15x15 status-lamp pictures as 16-colour PNGs into this folder.

Run once after changing a drawing; the PNGs are committed. Every picture sits on the same
background colour, which also fills the bottom-left pixel: the lamp treats that colour as
transparent.
"""
import math
import os
import struct
import zlib

SIZE = 15
CENTRE = 7.0
BACKGROUND = (0, 128, 128)
RIM_LIGHT = (192, 192, 192)
RIM_DARK = (96, 96, 96)
WHITE = (255, 255, 255)

# name: (lit body, lit dots, unlit body, unlit shade)
LAMPS = {
    "RED": ((255, 40, 40), (255, 170, 170), (110, 16, 16), (70, 8, 8)),
    "GREEN": ((40, 230, 40), (170, 255, 170), (16, 96, 16), (8, 60, 8)),
    "BLUE": ((50, 90, 255), (170, 190, 255), (16, 32, 110), (8, 16, 70)),
    "YELLOW": ((255, 240, 40), (255, 255, 190), (112, 104, 16), (72, 66, 8)),
    "PURPLE": ((200, 60, 230), (235, 180, 250), (84, 20, 98), (52, 10, 62)),
}


def write_png(path, pixels):
    palette = []
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            colour = pixels[y][x]
            if colour not in palette:
                palette.append(colour)
            row.append(palette.index(colour))
        rows.append(row)
    assert len(palette) <= 16, path
    raw = b""
    for row in rows:
        packed = bytearray()
        for i in range(0, SIZE, 2):
            hi = row[i]
            lo = row[i + 1] if i + 1 < SIZE else 0
            packed.append(hi << 4 | lo)
        raw += b"\x00" + bytes(packed)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 4, 3, 0, 0, 0))
    png += chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def canvas():
    return [[BACKGROUND] * SIZE for _ in range(SIZE)]


def polar(x, y):
    dx, dy = x - CENTRE, y - CENTRE
    return math.hypot(dx, dy), math.atan2(dy, dx)


def lamp(body, dots, shade, lit):
    px = canvas()
    for y in range(SIZE):
        for x in range(SIZE):
            r, a = polar(x, y)
            if r > 7.2:
                continue
            if r > 5.6:
                # Lit from the top left: the upper-left half of the rim is the lighter grey.
                px[y][x] = RIM_LIGHT if (x + y) < 2 * CENTRE else RIM_DARK
            else:
                px[y][x] = body if (x + y) < 2 * CENTRE + 5 else shade
    if lit:
        # A ring of eight brighter dots inside the rim.
        for k in range(8):
            a = math.radians(45 * k)
            px[round(CENTRE + 3.6 * math.sin(a))][round(CENTRE + 3.6 * math.cos(a))] = dots
    px[5][5] = WHITE if lit else shade
    px[4][5] = px[5][4] = dots if lit else body
    return px


def bulb(lit):
    glass = (255, 230, 40) if lit else WHITE
    outline = (200, 120, 0) if lit else (128, 128, 128)
    px = canvas()
    for y in range(SIZE):
        for x in range(SIZE):
            r, a = polar(x, y)
            if r <= 3.9:
                px[y][x] = glass
            elif r <= 4.8:
                px[y][x] = outline
            elif lit and 5.6 <= r <= 7.2:
                # Eight rays, one every 45 degrees.
                step = math.degrees(a) % 45
                if step < 7 or step > 38:
                    px[y][x] = (255, 200, 0)
    px[5][6] = px[6][5] = (255, 255, 210) if lit else (224, 224, 224)
    return px


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, (body, dots, dark, darker) in LAMPS.items():
        write_png(os.path.join(here, "led%son.png" % name.lower()), lamp(body, dots, darker, True))
        write_png(os.path.join(here, "led%soff.png" % name.lower()), lamp(dark, dark, darker, False))
    write_png(os.path.join(here, "ledbulbon.png"), bulb(True))
    write_png(os.path.join(here, "ledbulboff.png"), bulb(False))


if __name__ == "__main__":
    main()
