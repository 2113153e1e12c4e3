#!/usr/bin/env python3
"""Writes a Windows .ico from an XPM picture: make_icon.py picture.xpm out.ico

One 32-bit image (BGRA rows bottom-up plus the AND mask), transparent where the XPM says None.
"""
import re
import struct
import sys


def read_xpm(path):
    rows = re.findall(r'"([^"]*)"', open(path, encoding="ascii").read())
    width, height, colours, per_pixel = (int(v) for v in rows[0].split()[:4])
    palette = {}
    for line in rows[1:1 + colours]:
        key, words = line[:per_pixel], line[per_pixel:].split()
        value = words[words.index("c") + 1]
        palette[key] = None if value.lower() == "none" else int(value.lstrip("#"), 16)
    pixels = []
    for row in rows[1 + colours:1 + colours + height]:
        pixels.append([palette[row[i:i + per_pixel]] for i in range(0, width * per_pixel, per_pixel)])
    return width, height, pixels


def icon_bytes(width, height, pixels):
    colour = bytearray()
    mask = bytearray()
    mask_stride = ((width + 31) // 32) * 4
    for row in reversed(pixels):
        line = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p is None:
                colour += b"\0\0\0\0"
                line[x // 8] |= 0x80 >> (x % 8)
            else:
                colour += bytes((p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF, 0xFF))
        mask += line
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    image = header + colour + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack(
        "<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + image


def main():
    width, height, pixels = read_xpm(sys.argv[1])
    with open(sys.argv[2], "wb") as out:
        out.write(icon_bytes(width, height, pixels))


if __name__ == "__main__":
    main()
