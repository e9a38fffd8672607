#!/usr/bin/env python3
"""Draws the chainer's icon (two linked rings on a blue tile) into a .ico with 16 and 32 pixel images."""
import struct
import sys


def image(size):
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            fx, fy = (x + 0.5) / size, (y + 0.5) / size
            r, g, b, a = 0x1F, 0x4E, 0x9A, 255  # tile
            if min(fx, fy, 1 - fx, 1 - fy) < 0.06:
                r, g, b = 0x12, 0x30, 0x60  # border
            for cx, cy in ((0.38, 0.5), (0.62, 0.5)):
                d = ((fx - cx) ** 2 + (fy - cy) ** 2) ** 0.5
                if 0.14 < d < 0.23:
                    r, g, b = (0xF5, 0xC2, 0x2E) if cx < 0.5 else (0xFF, 0xFF, 0xFF)
            row.append((b, g, r, a))
        pixels.append(row)
    # BMP rows run bottom-up; the AND mask is all zero because alpha carries the transparency.
    xor = b"".join(bytes(p) for row in reversed(pixels) for p in row)
    mask_row = ((size + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor), 0, 0, 0, 0)
    return header + xor + bytes(mask_row * size)


def main(path):
    images = [image(16), image(32)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((16, 32), images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
