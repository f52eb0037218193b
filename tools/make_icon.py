#!/usr/bin/env python3
"""Draws the program's icon and logo: a handheld whose screen shows a page
being loaded into it. Writes a 32 x 32, 256-colour .ico (one image, palette
plus a 1-bit transparency mask) with nothing but the standard library, so the
picture can be changed and redrawn on any machine:

    python3 tools/make_icon.py app/jovloader.ico
"""
import struct
import sys

SIZE = 32

# Palette entries as (r, g, b). Index 0 is what transparent pixels hold.
palette = [(0, 0, 0)]


def colour(rgb):
    if rgb not in palette:
        palette.append(rgb)
    return palette.index(rgb)


def mix(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


TRANSPARENT = None
pixels = [[TRANSPARENT] * SIZE for _ in range(SIZE)]


def inside_rounded(x, y, left, top, right, bottom, radius):
    """Whether pixel (x, y) lies in the rectangle [left, right] x [top, bottom]
    with corners rounded by `radius`."""
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 + 0.5


def fill(shape, paint):
    for y in range(SIZE):
        for x in range(SIZE):
            if shape(x, y):
                pixels[y][x] = colour(paint(x, y))


# The handheld: a dark body, lit from the upper left.
OUTLINE = (28, 36, 52)
BODY_TOP, BODY_BOTTOM = (92, 108, 140), (44, 54, 76)
fill(lambda x, y: inside_rounded(x, y, 6, 0, 25, 31, 4), lambda x, y: OUTLINE)
fill(lambda x, y: inside_rounded(x, y, 7, 1, 24, 30, 3),
     lambda x, y: mix(BODY_TOP, BODY_BOTTOM, (y + (x - 7) / 3) / 36))

# Its screen, a pale sky gradient.
SCREEN_TOP, SCREEN_BOTTOM = (224, 240, 255), (132, 186, 236)
fill(lambda x, y: 9 <= x <= 22 and 3 <= y <= 21, lambda x, y: (20, 28, 40))
fill(lambda x, y: 10 <= x <= 21 and 4 <= y <= 20,
     lambda x, y: mix(SCREEN_TOP, SCREEN_BOTTOM, (y - 4) / 16))

# On the screen, a page with a folded corner and lines of text...
PAGE, PAGE_EDGE, TEXT = (255, 255, 255), (96, 112, 136), (150, 164, 186)
fill(lambda x, y: 11 <= x <= 17 and 5 <= y <= 13 and not (x - 11) + (13 - y) > 13,
     lambda x, y: PAGE_EDGE)
fill(lambda x, y: 12 <= x <= 16 and 6 <= y <= 12 and not (x - 12) + (12 - y) > 9,
     lambda x, y: TEXT if y in (8, 10) and x <= 15 else PAGE)

# ...and an orange arrow carrying it down into the device.
ARROW_LIGHT, ARROW_DARK = (255, 196, 64), (224, 104, 16)


def arrow(x, y):
    shaft = 18 <= x <= 19 and 8 <= y <= 14
    head = 15 <= y <= 19 and abs(x - 18.5) <= 19 - y + 0.5
    return shaft or head


fill(arrow, lambda x, y: mix(ARROW_LIGHT, ARROW_DARK, (y - 8) / 11))

# Three hardware buttons under the screen.
BUTTON, BUTTON_LIGHT = (200, 208, 224), (248, 250, 255)
for left, right in ((9, 12), (14, 17), (19, 22)):
    fill(lambda x, y, l=left, r=right: inside_rounded(x, y, l, 24, r, 27, 1),
         lambda x, y: BUTTON_LIGHT if y == 24 else BUTTON)

assert len(palette) <= 256, len(palette)


def ico_bytes():
    # Rows are stored bottom-up; XOR rows of 32 one-byte indices and AND
    # rows of 32 bits are both already 4-byte aligned.
    xor = bytearray()
    mask = bytearray()
    for row in reversed(pixels):
        xor += bytes(0 if p is None else p for p in row)
        bits = 0
        for p in row:
            bits = (bits << 1) | (p is None)
        mask += bits.to_bytes(4, "big")
    colours = bytearray()
    for r, g, b in palette + [(0, 0, 0)] * (256 - len(palette)):
        colours += bytes((b, g, r, 0))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0,
                         len(xor) + len(mask), 0, 0, 256, 0)
    image = header + colours + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    with open(sys.argv[1] if len(sys.argv) > 1 else "jovloader.ico", "wb") as out:
        out.write(ico_bytes())
