#!/usr/bin/env python3
"""Draws the program's icon, an in/out board (three rows, each with a
present/absent lamp and a name bar), and writes it as solne.ico with 16, 24,
32, 48 and 64 pixel images (32-bit BMP entries, readable by every Windows).
The icon is committed; run this only after changing the drawing."""
import os
import struct

FRAME = (0x2B, 0x4C, 0x7E)
BOARD = (0xFA, 0xFA, 0xF5)
BAR = (0x9A, 0xA3, 0xB0)
LAMPS = [(0x2E, 0xA0, 0x43), (0xD0, 0x3A, 0x2F), (0x2E, 0xA0, 0x43)]


def draw(n):
    """Returns n*n RGBA pixels, top row first."""
    px = [[(0, 0, 0, 0)] * n for _ in range(n)]
    s = n / 16.0
    r = max(1, round(2 * s))  # corner radius

    def inside_rounded(x, y, x0, y0, x1, y1, rad):
        if x < x0 or x >= x1 or y < y0 or y >= y1:
            return False
        cx = min(max(x + 0.5, x0 + rad), x1 - rad)
        cy = min(max(y + 0.5, y0 + rad), y1 - rad)
        return (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= rad * rad + 0.25

    edge = max(1, round(1.5 * s))
    for y in range(n):
        for x in range(n):
            if inside_rounded(x, y, 0, round(s), n, n - round(s), r):
                px[y][x] = FRAME + (255,)
            if inside_rounded(x, y, edge, round(s) + edge, n - edge, n - round(s) - edge, max(0, r - edge)):
                px[y][x] = BOARD + (255,)
    top, bottom = round(s) + edge, n - round(s) - edge
    row_h = (bottom - top) / 3.0
    for i, lamp in enumerate(LAMPS):
        y0 = top + row_h * i
        cy = y0 + row_h / 2.0
        lr = max(1.0, row_h * 0.28)
        lx = edge + max(1.0, 1.6 * s) + lr
        bar_h = max(1, round(row_h * 0.3))
        for y in range(n):
            for x in range(n):
                if (x + 0.5 - lx) ** 2 + (y + 0.5 - cy) ** 2 <= lr * lr:
                    px[y][x] = lamp + (255,)
                bx0 = lx + lr + max(1.0, 1.2 * s)
                if bx0 <= x < n - edge - max(1, round(1.5 * s)) and abs(y + 0.5 - cy) <= bar_h / 2.0:
                    px[y][x] = BAR + (255,)
    return px


def bmp_entry(n):
    px = draw(n)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(px) for p in row)
    mask_row = ((n + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(px):
        bits = bytearray(mask_row)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def main():
    sizes = [16, 24, 32, 48, 64]
    images = [bmp_entry(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "solne.ico")
    with open(path, "wb") as f:
        f.write(out)
    print(f"make-icon: {path} ({len(out)} bytes)")


if __name__ == "__main__":
    main()
