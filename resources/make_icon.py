#!/usr/bin/env python3
"""Draws the application icon, an IC card going into a reader, and writes it as a
Windows .ico with 32x32 and 16x16 images in 256 colours (8-bit palette, AND mask)."""
import struct
import sys

PALETTE = [
    (0, 0, 0),        # 0 unused (transparent pixels are masked)
    (52, 61, 78),     # 1 reader body
    (92, 104, 126),   # 2 reader top face
    (20, 24, 32),     # 3 slot
    (232, 240, 252),  # 4 card
    (40, 96, 200),    # 5 card stripe
    (222, 178, 60),   # 6 chip
    (150, 110, 20),   # 7 chip contacts
    (0, 200, 90),     # 8 light
    (170, 170, 170),  # 9 cable
]


def draw(size):
    """Returns rows of palette indices; None is transparent. Shapes are laid out on a
    32-unit grid and scaled to `size`."""
    s = size / 32
    pixels = [[None] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), max(int(y0 * s) + 1, int(y1 * s))):
            for x in range(int(x0 * s), max(int(x0 * s) + 1, int(x1 * s))):
                if 0 <= x < size and 0 <= y < size:
                    pixels[y][x] = colour

    rect(9, 2, 23, 20, 4)     # card
    rect(9, 4, 23, 6, 5)      # stripe
    rect(12, 9, 18, 15, 6)    # chip
    rect(13, 10, 17, 11, 7)
    rect(13, 13, 17, 14, 7)
    rect(3, 18, 29, 21, 2)    # reader top face
    rect(3, 21, 29, 29, 1)    # reader body
    rect(8, 18, 24, 19, 3)    # slot
    rect(22, 24, 26, 26, 8)   # light
    rect(29, 25, 32, 27, 9)   # cable
    return pixels


def image_bytes(size):
    pixels = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in PALETTE)
    palette += b'\0' * (4 * (256 - len(PALETTE)))
    xor = b''.join(bytes(c or 0 for c in row) for row in reversed(pixels))
    mask_stride = ((size + 31) // 32) * 4
    mask = b''
    for row in reversed(pixels):
        bits = 0
        for x, c in enumerate(row):
            if c is None:
                bits |= 1 << (mask_stride * 8 - 1 - x)
        mask += bits.to_bytes(mask_stride, 'big')
    return header + palette + xor + mask


def main(path):
    images = [(32, image_bytes(32)), (16, image_bytes(16))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, data in images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1])
