#!/usr/bin/env python3
"""Writes quillmend.ico, the agent's window and tray icon: a blue tile with a white arrow
pointing down (an update arriving), at 16, 32 and 48 pixels, 32-bit with alpha.
Usage: make_icon.py OUTPUT.ico"""
import struct
import sys

BLUE = (0xA8, 0x5F, 0x1D, 0xFF)   # BGRA
WHITE = (0xFF, 0xFF, 0xFF, 0xFF)
CLEAR = (0, 0, 0, 0)


def pixel(size, x, y):
    s = float(size)
    fx, fy = (x + 0.5) / s, (y + 0.5) / s
    r = 0.2
    # rounded tile
    cx = min(max(fx, r), 1 - r)
    cy = min(max(fy, r), 1 - r)
    if (fx - cx) ** 2 + (fy - cy) ** 2 > r * r:
        return CLEAR
    # arrow: a shaft and a head
    if 0.42 <= fx <= 0.58 and 0.16 <= fy <= 0.50:
        return WHITE
    if 0.46 <= fy <= 0.82 and abs(fx - 0.5) <= (0.82 - fy) * 0.6:
        return WHITE
    return BLUE


def image(size):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in range(size - 1, -1, -1):   # bottom-up
        rows.append(b''.join(bytes(pixel(size, x, y)) for x in range(size)))
    mask_row = ((size + 31) // 32) * 4
    mask = b'\0' * (mask_row * size)      # alpha carries the shape
    return header + b''.join(rows) + mask


def main():
    sizes = [16, 32, 48]
    images = [image(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(sys.argv[1], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
