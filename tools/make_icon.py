#!/usr/bin/env python3
"""Draws the programs' 32x32, 16-colour icons and writes them as .ico files.

    python3 tools/make_icon.py launcher/res/VT_Update.ico starter/res/VT_Starter.ico

The launcher's icon is a green arrow pointing down into a tray (an update),
the starter's a green "play" triangle, both on a dark grey disc.
"""
import struct
import sys

# The standard 16-colour palette (index: (r, g, b)).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
           (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
           (255, 0, 255), (0, 255, 255), (255, 255, 255)]
TRANSPARENT, GREY, LIGHT, GREEN, DARKGREEN, WHITE = None, 8, 7, 10, 2, 15


def disc(x, y):
    dx, dy = x - 15.5, y - 15.5
    return dx * dx + dy * dy <= 15.5 * 15.5


def launcher(x, y):
    if not disc(x, y):
        return TRANSPARENT
    if 13 <= x <= 18 and 5 <= y <= 15:
        return GREEN
    if 16 <= y <= 21 and abs(x - 15.5) <= 21.5 - y:
        return GREEN
    if 24 <= y <= 25 and 7 <= x <= 24 or 21 <= y <= 25 and x in (7, 8, 23, 24):
        return WHITE
    return GREY


def starter(x, y):
    if not disc(x, y):
        return TRANSPARENT
    if 10 <= x <= 23 and abs(y - 15.5) <= (23.5 - x) * 0.75:
        return GREEN if abs(y - 15.5) < (23.5 - x) * 0.75 - 1 else DARKGREEN
    return GREY


def ico(pixel):
    size = 32
    rows_xor, rows_and = [], []
    for y in reversed(range(size)):  # bitmaps are stored bottom-up
        row = [pixel(x, y) for x in range(size)]
        nibbles = [0 if c is None else c for c in row]
        rows_xor.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2)))
        mask = 0
        for c in row:
            mask = (mask << 1) | (1 if c is None else 0)
        rows_and.append(mask.to_bytes(4, "big"))
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    image = header + palette + b"".join(rows_xor) + b"".join(rows_and)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), 22)
    return directory + image


if __name__ == "__main__":
    launcher_path, starter_path = sys.argv[1:3]
    with open(launcher_path, "wb") as f:
        f.write(ico(launcher))
    with open(starter_path, "wb") as f:
        f.write(ico(starter))
