#!/usr/bin/env python3
"""Draws the searching page's animation and writes it as an animated GIF89a.

    res/make-loading-gif.py res/loading_gif

170 x 110 px, 129 frames of 30 ms, looping forever: on white, a vertical row of
blue dots tips over and gathers into a wireless-signal symbol (a dot under three
arcs), holds, then fades out. Pure Python so it runs anywhere; the build uses
the committed output and never runs this.
"""
import math
import sys

WIDTH, HEIGHT = 170, 110
FRAMES = 129
DELAY_CS = 3  # GIF delays are in 1/100 s: 30 ms
BLUE = (0x47, 0x9C, 0xC6)
LEVELS = 16  # palette: white .. blue in 16 steps, drawn as coverage

CX, CY = 85.0, 88.0  # centre of the symbol's dot
DOT_R = 6.0
STROKE = 9.0
ROW_GAP = 19.0  # distance between dots in the standing row
ARC_R = (18.0, 34.0, 50.0)
ARC_HALF = math.radians(45)


def smooth(t):
    t = min(1.0, max(0.0, t))
    return t * t * (3 - 2 * t)


def phase(f, start, end):
    return smooth((f - start) / float(end - start))


def shapes(f):
    """The drawn parts of frame f: (centre angle, radius, half span, width, alpha)."""
    appear = [phase(f, 4 * k, 4 * k + 10) for k in range(4)]  # dots rise in, bottom first
    tip = phase(f, 26, 46) - 0.35 * phase(f, 46, 54)  # the row leans right, springs back a little
    gather = phase(f, 54, 78)  # the leaning row swings up into arcs
    fade = 1.0 - phase(f, 112, 128)
    lean = math.radians(90) - math.radians(60) * tip * (1 - gather)
    out = [(0.0, 0.0, 0.0, 2 * DOT_R * appear[0], fade)]
    for k in range(1, 4):
        radius = ROW_GAP * k * (1 - gather) + ARC_R[k - 1] * gather
        half = ARC_HALF * gather
        width = (2 * DOT_R * (1 - gather) + STROKE * gather) * appear[k]
        out.append((lean, radius, half, width, fade))
    return out


def distance(px, py, angle, radius, half):
    """Distance from (px, py) to the arc of the given radius spanning angle +- half."""
    dx, dy = px - CX, CY - py
    if radius == 0.0:
        return math.hypot(dx, dy)
    a = math.atan2(dy, dx)
    diff = (a - angle + math.pi) % (2 * math.pi) - math.pi
    if abs(diff) <= half:
        return abs(math.hypot(dx, dy) - radius)
    end = angle + (half if diff > 0 else -half)
    ex, ey = CX + radius * math.cos(end), CY - radius * math.sin(end)
    return math.hypot(px - ex, py - ey)


def render(f):
    cover = [0.0] * (WIDTH * HEIGHT)
    for angle, radius, half, width, alpha in shapes(f):
        if width <= 0.05 or alpha <= 0.0:
            continue
        reach = radius + width
        x0, x1 = max(0, int(CX - reach)), min(WIDTH, int(CX + reach) + 2)
        y0, y1 = max(0, int(CY - reach)), min(HEIGHT, int(CY + reach) + 2)
        for y in range(y0, y1):
            row = y * WIDTH
            for x in range(x0, x1):
                d = distance(x + 0.5, y + 0.5, angle, radius, half)
                c = min(1.0, max(0.0, width / 2 - d + 0.5)) * alpha
                if c > cover[row + x]:
                    cover[row + x] = c
    return bytes(int(round(c * (LEVELS - 1))) for c in cover)


def lzw(indices, min_size):
    """GIF's variable-width LZW, packed little-endian into sub-blocks."""
    clear, stop = 1 << min_size, (1 << min_size) + 1
    table = {bytes([i]): i for i in range(clear)}
    size, nxt = min_size + 1, stop + 1
    acc = bits = 0
    out = bytearray()

    def emit(code):
        nonlocal acc, bits
        acc |= code << bits
        bits += size
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8

    emit(clear)
    word = b""
    for i in indices:
        w = word + bytes([i])
        if w in table:
            word = w
            continue
        emit(table[word])
        if nxt < 4096:
            table[w] = nxt
            nxt += 1
            if nxt > (1 << size) and size < 12:
                size += 1
        else:
            emit(clear)
            table = {bytes([c]): c for c in range(clear)}
            size, nxt = min_size + 1, stop + 1
        word = bytes([i])
    if word:
        emit(table[word])
    emit(stop)
    if bits:
        out.append(acc & 0xFF)
    blocks = bytearray()
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        blocks += bytes([len(chunk)]) + chunk
    return bytes(blocks) + b"\0"


def u16(v):
    return bytes((v & 0xFF, v >> 8))


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "loading_gif"
    palette = bytearray()
    for i in range(LEVELS):
        t = i / (LEVELS - 1)
        palette += bytes(int(round(255 + (c - 255) * t)) for c in BLUE)
    data = bytearray(b"GIF89a" + u16(WIDTH) + u16(HEIGHT))
    data += bytes((0xF0 | 3, 0, 0)) + palette  # global table of 16 colours, white background
    data += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01" + u16(0) + b"\0"  # loop forever
    for f in range(FRAMES):
        data += b"\x21\xF9\x04\x04" + u16(DELAY_CS) + b"\0\0"  # keep the frame, no transparency
        data += b"\x2C" + u16(0) + u16(0) + u16(WIDTH) + u16(HEIGHT) + b"\0"
        data += b"\x04" + lzw(render(f), 4)
    data += b"\x3B"
    with open(path, "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
