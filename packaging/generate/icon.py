"""Draws the package icon, a 500x500 PNG: two overlapping windows, the front
one with a title bar, on a dark ground. Written with zlib alone."""

import struct
import zlib

SIZE = 500
GROUND = (30, 32, 36)
BACK = (90, 96, 106)
FRONT = (245, 166, 35)
BAR = (60, 60, 66)
EDGE = (250, 250, 250)


def pixel(x, y):
    if 160 <= x < 440 and 180 <= y < 420:
        if x < 166 or x >= 434 or y >= 414:
            return EDGE
        if y < 220:
            return BAR
        return FRONT
    if 70 <= x < 330 and 90 <= y < 300:
        return BACK
    return GROUND


def png_chunk(tag, data):
    body = tag + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def png_bytes():
    rows = bytearray()
    for y in range(SIZE):
        rows.append(0)  # no filter
        for x in range(SIZE):
            rows.extend(pixel(x, y))
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 2, 0, 0, 0)  # 8-bit RGB
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + png_chunk(b"IEND", b""))


def write_icon(path):
    with open(path, "wb") as out:
        out.write(png_bytes())
