#!/usr/bin/env python3
"""Writes the program's XPM icon as a Windows icon: 32 x 32 pixels, 16 colours, with its
transparency mask. Run by hand when the icon changes:
    python3 packaging/xpm_to_ico.py ui/resources/quorvane.xpm ui/resources/quorvane.ico"""
import re
import struct
import sys


def read_xpm(path):
    strings = re.findall(r'"([^"]*)"', open(path).read())
    width, height, ncolors, cpp = map(int, strings[0].split()[:4])
    colors = {}
    for line in strings[1:1 + ncolors]:
        key, spec = line[:cpp], line[cpp:].split()
        value = spec[spec.index("c") + 1]
        colors[key] = None if value.lower() == "none" else int(value.lstrip("#"), 16)
    rows = strings[1 + ncolors:1 + ncolors + height]
    pixels = [[colors[row[x * cpp:(x + 1) * cpp]] for x in range(width)] for row in rows]
    return width, height, pixels


def write_ico(path, width, height, pixels):
    palette = sorted({p for row in pixels for p in row if p is not None})
    assert len(palette) <= 16, "a 16-colour icon takes at most 16 colours"
    palette += [0] * (16 - len(palette))
    index = {c: i for i, c in enumerate(palette)}
    xor = b""
    for row in reversed(pixels):  # bottom-up
        nibbles = [index.get(p, 0) for p in row]
        xor += bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, width, 2))
    mask_stride = ((width + 31) // 32) * 4
    mask = b""
    for row in reversed(pixels):
        line = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p is None:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 4, 0, len(xor) + len(mask),
                         0, 0, 16, 0)
    colours = b"".join(struct.pack("<BBBB", c & 0xFF, (c >> 8) & 0xFF, c >> 16, 0) for c in palette)
    image = header + colours + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4,
                                                           len(image), 6 + 16)
    open(path, "wb").write(directory + image)


if __name__ == "__main__":
    write_ico(sys.argv[2], *read_xpm(sys.argv[1]))
