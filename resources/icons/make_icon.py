#!/usr/bin/env python3
"""Draws vexa.png (128x128) to match vexa.svg: a servo horn on a blue tile.
Plain Python (zlib only), so the icon can be rebuilt anywhere: python3 make_icon.py"""
import math
import struct
import zlib

N = 128


def inside_round_rect(x, y, x0, y0, x1, y1, r):
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def inside_horn(x, y):
    # Two circles joined by a tapered bar, turned 35 degrees.
    a = math.radians(-35)
    dx, dy = x - 64, y - 64
    u = dx * math.cos(a) - dy * math.sin(a)
    v = dx * math.sin(a) + dy * math.cos(a)
    if u * u + v * v <= 22 * 22:
        return True
    if (u - 40) ** 2 + v * v <= 9 * 9:
        return True
    if 0 <= u <= 40:
        half = 22 + (9 - 22) * (u / 40)
        return abs(v) <= half
    return False


def pixel(x, y):
    # 4x supersampling per pixel for smooth edges.
    acc = [0.0, 0.0, 0.0, 0.0]
    for sy in range(4):
        for sx in range(4):
            px, py = x + (sx + 0.5) / 4, y + (sy + 0.5) / 4
            if not inside_round_rect(px, py, 4, 4, 124, 124, 24):
                continue
            color = (0x1F, 0x4E, 0x8C)
            if inside_horn(px, py):
                color = (0xF2, 0xF4, 0xF7)
                for hx, hy in ((64, 64), (64 + 40 * math.cos(math.radians(-35)),
                                          64 + 40 * math.sin(math.radians(-35)))):
                    if (px - hx) ** 2 + (py - hy) ** 2 <= 4.5 ** 2:
                        color = (0x1F, 0x4E, 0x8C)
            for i in range(3):
                acc[i] += color[i]
            acc[3] += 255
    n = 16
    alpha = acc[3] / n
    if alpha == 0:
        return (0, 0, 0, 0)
    cover = acc[3] / 255
    return tuple(int(acc[i] / cover) for i in range(3)) + (int(alpha),)


def main():
    rows = bytearray()
    for y in range(N):
        rows.append(0)
        for x in range(N):
            rows.extend(pixel(x, y))

    def chunk(tag, data):
        c = struct.pack(">I", len(data)) + tag + data
        return c + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", N, N, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 9))
    png += chunk(b"IEND", b"")
    with open("vexa.png", "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main()
