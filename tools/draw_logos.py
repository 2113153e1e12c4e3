#!/usr/bin/env python3
"""Draws the two logo pictures of the Updater window as XPM files (run from the repository root)."""
import math
import os


def xpm(name, w, h, pix, colors):
    out = ['/* XPM */', 'static const char* const %s[] = {' % name, '"%d %d %d 1",' % (w, h, len(colors))]
    out += ['"%s c %s",' % (k, v) for k, v in colors.items()]
    out.append(',\n'.join('"%s"' % ''.join(pix(x, y) for x in range(w)) for y in range(h)))
    out.append('};')
    return '\n'.join(out) + '\n'


def large(x, y):
    # a navy plate with a bold "T" and a signal wave
    if x < 2 or y < 2 or x > 97 or y > 30:
        return ' '
    if 8 <= y <= 11 and 6 <= x <= 30:
        return 'o'
    if 12 <= y <= 27 and 15 <= x <= 21:
        return 'o'
    wave = 17 + 8 * math.sin((x - 36) / 6.0)
    if 36 <= x <= 94 and abs(y - wave) < 1.6:
        return 'x'
    return '.'


def small(x, y):
    if x < 1 or y < 1 or x > 30 or y > 30:
        return ' '
    if 6 <= y <= 10 and 5 <= x <= 26:
        return 'o'
    if 11 <= y <= 26 and 13 <= x <= 18:
        return 'o'
    return '.'


COLORS = {' ': 'None', '.': '#1F3A68', 'o': '#F2F2F2', 'x': '#F5A623'}
os.makedirs('src/ui/pictures', exist_ok=True)
with open('src/ui/pictures/logo_large.xpm', 'w') as f:
    f.write(xpm('logo_large_xpm', 100, 33, large, COLORS))
with open('src/ui/pictures/logo_small.xpm', 'w') as f:
    f.write(xpm('logo_small_xpm', 32, 32, small, COLORS))
