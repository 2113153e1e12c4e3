#!/usr/bin/env python3
"""Draws the desktop icon from the program's XPM picture, for the hicolor icon theme:

    make_icons.py picture.xpm OUTDIR NAME SIZE...

writes OUTDIR/scalable/apps/NAME.svg (one rectangle per run of pixels of one colour, so that the
edges stay sharp at every size) and OUTDIR/<n>x<n>/apps/NAME.png for each SIZE, scaled from the
picture by nearest neighbour. The output depends on the input only: same picture, same bytes.
"""
import os
import struct
import sys
import zlib

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src",
                                "main", "win32"))
from make_icon import read_xpm  # noqa: E402  (the XPM reader the Windows icon uses)


def svg_text(width, height, pixels):
    rects = []
    for y, row in enumerate(pixels):
        x = 0
        while x < width:
            colour = row[x]
            end = x
            while end < width and row[end] == colour:
                end += 1
            if colour is not None:
                rects.append('  <rect x="%d" y="%d" width="%d" height="1" fill="#%06X"/>'
                             % (x, y, end - x, colour))
            x = end
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d"'
            ' shape-rendering="crispEdges">\n%s\n</svg>\n'
            % (width, height, width, height, "\n".join(rects)))


def png_bytes(width, height, pixels, size):
    raw = bytearray()
    for y in range(size):
        raw.append(0)  # no filter
        row = pixels[y * height // size]
        for x in range(size):
            p = row[x * width // size]
            raw += b"\0\0\0\0" if p is None else bytes(((p >> 16) & 0xFF, (p >> 8) & 0xFF,
                                                        p & 0xFF, 0xFF))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def main():
    picture, outdir, name, sizes = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    width, height, pixels = read_xpm(picture)
    write(os.path.join(outdir, "scalable", "apps", name + ".svg"),
          svg_text(width, height, pixels).encode("ascii"))
    for size in (int(s) for s in sizes):
        write(os.path.join(outdir, "%dx%d" % (size, size), "apps", name + ".png"),
              png_bytes(width, height, pixels, size))


if __name__ == "__main__":
    main()
