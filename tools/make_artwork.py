#!/usr/bin/env python3
"""Draws Quorbane's artwork: the icon (16 colours, 32x32 and 16x16) and the About box logo
(256 colours, 219x97). Writes resources/app.ico and resources/logo.bmp; run it again after a change."""
import math, os, struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, '..', 'resources')

# The 16-colour VGA palette, as (r, g, b).
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
       (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, NAVY, GREY, RED, GREEN, YELLOW, CYAN, WHITE = 0, 4, 8, 9, 10, 11, 14, 15


def icon_pixels(n):
    """A dark disc (the show) crossed by a fan of laser beams from a small box at the bottom."""
    px = [[None] * n for _ in range(n)]  # None = transparent
    c = (n - 1) / 2.0
    for y in range(n):
        for x in range(n):
            if (x - c) ** 2 + (y - c) ** 2 <= (n / 2.0) ** 2:
                px[y][x] = NAVY
    ox, oy = c, n - 1 - n // 8
    for i, col in enumerate([RED, YELLOW, GREEN, CYAN, GREEN, YELLOW, RED]):
        ang = math.radians(-150 + i * 20)
        for t in range(n * 2):
            x = int(round(ox + math.cos(ang) * t * 0.5))
            y = int(round(oy + math.sin(ang) * t * 0.5))
            if 0 <= x < n and 0 <= y < n and px[y][x] is not None:
                px[y][x] = col
    b = max(2, n // 8)
    for y in range(n - 1 - b, n):
        for x in range(int(c) - b, int(c) + b + 1):
            px[y][x] = GREY if y > n - 1 - b else WHITE
    return px


def icon_image(n):
    px = icon_pixels(n)
    header = struct.pack('<IiiHHIIiiII', 40, n, n * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    pal = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in VGA)
    xor_row = (n * 4 + 31) // 32 * 4
    and_row = (n + 31) // 32 * 4
    xor, andm = b'', b''
    for y in reversed(range(n)):
        row = bytearray(xor_row)
        mrow = bytearray(and_row)
        for x in range(n):
            v = px[y][x]
            if v is None:
                mrow[x // 8] |= 0x80 >> (x % 8)
                v = 0
            row[x // 2] |= v << (4 if x % 2 == 0 else 0)
        xor += bytes(row)
        andm += bytes(mrow)
    return header + pal + xor + andm


def write_ico(path, sizes):
    images = [icon_image(n) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(img), offset)
        offset += len(img)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


def write_logo(path, w=219, h=97):
    """A night-blue gradient with a fan of beams and the Q ring, in a 256-colour palette."""
    pal = []
    for i in range(64):  # 0-63: the blue gradient
        pal.append((i // 4, i // 3, 40 + i * 2))
    for i in range(64):  # 64-127: green beams
        pal.append((i, 128 + i * 2, i))
    for i in range(64):  # 128-191: red beams
        pal.append((128 + i * 2, i // 2, i // 2))
    for i in range(64):  # 192-255: white to gold
        pal.append((192 + i, 192 + i, 255 - i * 3))
    img = [[0] * w for _ in range(h)]
    for y in range(h):
        for x in range(w):
            img[y][x] = min(63, (y * 48) // h + (x * 15) // w)
    ox, oy = w // 2, h - 4
    for k in range(-6, 7):
        ang = math.radians(-90 + k * 11)
        base = 64 if k % 2 == 0 else 128
        for t in range(220):
            x = int(round(ox + math.cos(ang) * t))
            y = int(round(oy + math.sin(ang) * t))
            for dx in (0, 1):
                if 0 <= x + dx < w and 0 <= y < h:
                    img[y][x + dx] = base + 63 - min(63, t // 4)
    cx, cy, r = w // 2, h // 2 - 4, 30
    for y in range(h):
        for x in range(w):
            d = math.hypot(x - cx, y - cy)
            if r - 5 <= d <= r or (x - cx > 8 and abs((x - cx) - (y - cy)) < 3 and 0 < y - cy < 38):
                img[y][x] = 192 + min(63, int(abs(d - r + 2.5) * 12))
    row = (w + 3) // 4 * 4
    data = b''.join(bytes(img[y]) + bytes(row - w) for y in reversed(range(h)))
    palb = b''.join(struct.pack('BBBB', b, g, r_, 0) for r_, g, b in pal)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 0, len(data), 2835, 2835, 256, 0)
    off = 14 + len(info) + len(palb)
    fileh = struct.pack('<2sIHHI', b'BM', off + len(data), 0, 0, off)
    with open(path, 'wb') as f:
        f.write(fileh + info + palb + data)


if __name__ == '__main__':
    write_ico(os.path.join(OUT, 'app.ico'), [32, 16])
    write_logo(os.path.join(OUT, 'logo.bmp'))
