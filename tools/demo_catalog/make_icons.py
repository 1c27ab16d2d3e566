#!/usr/bin/env python3
"""Draws the demo catalog's app icons into tools/demo_catalog/icons/.

    python3 tools/demo_catalog/make_icons.py [OUT_DIR]

Each icon is a rounded square in a two-colour gradient with a white symbol,
drawn from signed distance functions (so edges are anti-aliased) and written
as PNG, or as ICO holding a 32 x 32 bitmap and a 128 x 128 PNG. Python 3
standard library only; the output is the same on every run.
"""

import math
import os
import struct
import sys
import zlib

UNIT = 128.0  # symbols are laid out on a 128 x 128 grid
WHITE = (255, 255, 255, 1.0)


# -- signed distances (negative inside), in grid units

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(cx, cy, r, width, sx=1.0):
    """A circle's outline; sx < 1 squeezes it into an upright ellipse."""
    return lambda x, y: abs(math.hypot((x - cx) / sx, y - cy) - r) - width / 2


def box(cx, cy, hw, hh, radius=0.0):
    def d(x, y):
        qx = abs(x - cx) - hw + radius
        qy = abs(y - cy) - hh + radius
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius
    return d


def line(ax, ay, bx, by, width):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy or 1.0

    def d(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        return math.hypot(x - ax - t * dx, y - ay - t * dy) - width / 2
    return d


def polygon(*points):
    pts = list(zip(points[0::2], points[1::2]))

    def d(x, y):
        best = float("inf")
        inside = False
        j = len(pts) - 1
        for i in range(len(pts)):
            (xi, yi), (xj, yj) = pts[i], pts[j]
            ex, ey = xj - xi, yj - yi
            t = max(0.0, min(1.0, ((x - xi) * ex + (y - yi) * ey) / (ex * ex + ey * ey)))
            best = min(best, math.hypot(x - xi - t * ex, y - yi - t * ey))
            if (yi > y) != (yj > y) and x < xi + (y - yi) * ex / ey:
                inside = not inside
            j = i
        return -best if inside else best
    return d


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def subtract(shape, hole):
    return lambda x, y: max(shape(x, y), -hole(x, y))


# -- drawing

def render(size, top, bottom, symbol):
    """RGBA rows of one icon: the background square and the symbol's shapes."""
    scale = UNIT / size
    background = box(64, 64, 60, 60, 26)
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            x, y = (px + 0.5) * scale, (py + 0.5) * scale
            cover = max(0.0, min(1.0, 0.5 - background(x, y) / scale))
            t = (x + y) / (2 * UNIT)  # diagonal gradient
            rgb = [top[i] + (bottom[i] - top[i]) * t for i in range(3)]
            for shape, colour in symbol:
                a = max(0.0, min(1.0, 0.5 - shape(x, y) / scale)) * colour[3]
                if a > 0:
                    c = colour[:3] if colour[:3] != (-1, -1, -1) else bottom
                    rgb = [rgb[i] * (1 - a) + c[i] * a for i in range(3)]
            row.append((int(rgb[0] + 0.5), int(rgb[1] + 0.5), int(rgb[2] + 0.5), int(cover * 255 + 0.5)))
        pixels.append(row)
    return pixels


def png(pixels):
    size = len(pixels)
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib(pixels):
    """A 32-bit icon bitmap: header with doubled height, BGRA rows bottom-up, AND mask."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(pixels) for p in row)
    mask_row = ((size + 31) // 32) * 4
    return header + colour + b"\0" * (mask_row * size)


def ico(images):
    """images: (size, bytes, bit count) in directory order."""
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, data, bits in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits, len(data), offset)
        blobs += data
        offset += len(data)
    return head + entries + blobs


# -- the symbols, one per icon (colour (-1, -1, -1) means the icon's own dark tone)

INK = (-1, -1, -1, 1.0)
SOFT = (255, 255, 255, 0.45)

ICONS = {
    "inknotes": ((99, 102, 241), (67, 56, 202), [
        (box(58, 66, 30, 38, 7), WHITE),
        (line(42, 50, 72, 50, 6), INK), (line(42, 66, 72, 66, 6), INK), (line(42, 82, 62, 82, 6), INK),
        (line(80, 96, 102, 40, 10), (255, 214, 102, 1.0)), (polygon(75, 108, 78, 95, 86, 99), (255, 214, 102, 1.0)),
    ]),
    "player": ((244, 114, 182), (190, 24, 93), [
        (ring(64, 64, 38, 8), WHITE), (polygon(54, 44, 54, 84, 86, 64), WHITE),
    ]),
    "codesmith": ((52, 211, 153), (4, 120, 87), [
        (line(50, 44, 30, 64, 9), WHITE), (line(30, 64, 50, 84, 9), WHITE),
        (line(78, 44, 98, 64, 9), WHITE), (line(98, 64, 78, 84, 9), WHITE),
        (line(70, 38, 58, 90, 8), SOFT),
    ]),
    "browser": ((56, 189, 248), (3, 105, 161), [
        (ring(64, 64, 38, 7), WHITE), (ring(64, 64, 38, 6, sx=0.45), WHITE),
        (line(28, 64, 100, 64, 6), WHITE), (line(34, 46, 94, 46, 5), SOFT), (line(34, 82, 94, 82, 5), SOFT),
    ]),
    "cleaner": ((251, 191, 36), (217, 119, 6), [
        (polygon(64, 26, 72, 56, 102, 64, 72, 72, 64, 102, 56, 72, 26, 64, 56, 56), WHITE),
        (polygon(94, 26, 97, 35, 106, 38, 97, 41, 94, 50, 91, 41, 82, 38, 91, 35), SOFT),
        (circle(36, 96, 6), SOFT),
    ]),
    "cloudsync": ((129, 140, 248), (79, 70, 229), [
        (union(circle(50, 70, 18), circle(72, 60, 24), circle(92, 74, 14), box(70, 80, 30, 8, 4)), WHITE),
        (line(70, 92, 70, 62, 7), INK), (polygon(58, 68, 82, 68, 70, 54), INK),
    ]),
    "calculator": ((45, 212, 191), (13, 148, 136), [
        (box(64, 64, 32, 40, 9), WHITE), (box(64, 42, 22, 9, 3), INK),
        (box(50, 66, 6, 6, 2), INK), (box(64, 66, 6, 6, 2), INK), (box(78, 66, 6, 6, 2), INK),
        (box(50, 86, 6, 6, 2), INK), (box(64, 86, 6, 6, 2), INK), (box(78, 86, 6, 6, 2), (249, 115, 22, 1.0)),
    ]),
    "photo": ((251, 146, 60), (234, 88, 12), [
        (box(64, 64, 38, 30, 8), WHITE),
        (polygon(34, 86, 56, 56, 74, 80, 84, 68, 94, 86), INK), (circle(84, 48, 7), (253, 186, 116, 1.0)),
    ]),
    "stickynote": ((250, 204, 21), (202, 138, 4), [
        (subtract(box(64, 64, 34, 34, 6), polygon(74, 98, 98, 98, 98, 74)), WHITE),
        (polygon(78, 98, 98, 78, 78, 78), (254, 240, 138, 1.0)),
        (line(44, 50, 84, 50, 6), INK), (line(44, 66, 76, 66, 6), INK),
    ]),
    "pixelpaint": ((232, 121, 249), (162, 28, 175), [
        (box(44, 44, 10, 10, 2), WHITE), (box(64, 44, 10, 10, 2), SOFT), (box(84, 44, 10, 10, 2), WHITE),
        (box(44, 64, 10, 10, 2), SOFT), (box(64, 64, 10, 10, 2), WHITE), (box(84, 64, 10, 10, 2), SOFT),
        (box(44, 84, 10, 10, 2), WHITE), (box(64, 84, 10, 10, 2), SOFT), (box(84, 84, 10, 10, 2), WHITE),
    ]),
    "zipper": ((148, 163, 184), (71, 85, 105), [
        (box(64, 64, 30, 38, 8), WHITE),
        (box(60, 36, 5, 3), INK), (box(68, 44, 5, 3), INK), (box(60, 52, 5, 3), INK),
        (box(68, 60, 5, 3), INK), (box(64, 80, 8, 10, 3), INK),
    ]),
    "music": ((251, 113, 133), (225, 29, 72), [
        (circle(50, 86, 12), WHITE), (circle(86, 78, 12), WHITE),
        (line(59, 86, 59, 40, 7), WHITE), (line(95, 78, 95, 32, 7), WHITE),
        (polygon(56, 36, 98, 26, 98, 40, 56, 50), WHITE),
    ]),
    "converter": ((96, 165, 250), (37, 99, 235), [
        (line(34, 50, 86, 50, 9), WHITE), (polygon(84, 36, 102, 50, 84, 64), WHITE),
        (line(42, 80, 94, 80, 9), WHITE), (polygon(44, 66, 26, 80, 44, 94), WHITE),
    ]),
    "pomodoro": ((248, 113, 113), (220, 38, 38), [
        (circle(64, 70, 34), WHITE), (line(64, 70, 64, 50, 6), INK), (line(64, 70, 78, 78, 6), INK),
        (polygon(56, 32, 64, 40, 72, 32, 64, 26), (134, 239, 172, 1.0)),
    ]),
    "speedtest": ((34, 211, 238), (8, 145, 178), [
        (subtract(ring(64, 74, 36, 9), box(64, 100, 40, 20)), WHITE),
        (line(64, 74, 88, 52, 7), WHITE), (circle(64, 74, 8), WHITE),
    ]),
    "terminal": ((71, 85, 105), (15, 23, 42), [
        (box(64, 64, 40, 32, 8), (255, 255, 255, 0.12)),
        (line(42, 52, 56, 64, 8), (74, 222, 128, 1.0)), (line(56, 64, 42, 76, 8), (74, 222, 128, 1.0)),
        (line(64, 80, 86, 80, 7), WHITE),
    ]),
    "mindmap": ((167, 139, 250), (109, 40, 217), [
        (line(64, 64, 34, 40, 5), WHITE), (line(64, 64, 96, 44, 5), WHITE), (line(64, 64, 86, 94, 5), WHITE),
        (circle(64, 64, 14), WHITE), (circle(34, 40, 9), SOFT), (circle(96, 44, 9), SOFT), (circle(86, 94, 9), SOFT),
    ]),
    "lanshare": ((74, 222, 128), (22, 163, 74), [
        (line(48, 94, 48, 46, 9), WHITE), (polygon(32, 52, 64, 52, 48, 30), WHITE),
        (line(80, 34, 80, 82, 9), WHITE), (polygon(64, 76, 96, 76, 80, 98), WHITE),
    ]),
    "dictionary": ((251, 146, 60), (194, 65, 12), [
        (box(47, 64, 17, 34, 4), WHITE), (box(81, 64, 17, 34, 4), WHITE), (line(64, 30, 64, 98, 4), INK),
        (line(38, 52, 56, 52, 4), INK), (line(72, 52, 90, 52, 4), INK),
    ]),
    "vector": ((244, 114, 182), (124, 58, 237), [
        (line(34, 90, 94, 38, 6), WHITE), (box(34, 90, 8, 8, 2), WHITE), (box(94, 38, 8, 8, 2), WHITE),
        (circle(64, 64, 8), (253, 224, 71, 1.0)),
    ]),
    "sheet": ((34, 197, 94), (21, 128, 61), [
        (box(64, 64, 36, 38, 7), WHITE), (box(64, 38, 36, 12, 7), SOFT),
        (line(52, 30, 52, 100, 4), INK), (line(76, 30, 76, 100, 4), INK),
        (line(28, 54, 100, 54, 4), INK), (line(28, 76, 100, 76, 4), INK),
    ]),
    "snapcut": ((14, 165, 233), (79, 70, 229), [
        (line(30, 46, 30, 30, 8), WHITE), (line(30, 30, 46, 30, 8), WHITE),
        (line(82, 30, 98, 30, 8), WHITE), (line(98, 30, 98, 46, 8), WHITE),
        (line(30, 82, 30, 98, 8), WHITE), (line(30, 98, 46, 98, 8), WHITE),
        (line(98, 82, 98, 98, 8), WHITE), (line(82, 98, 98, 98, 8), WHITE),
        (circle(64, 64, 16), WHITE), (circle(64, 64, 7), (125, 211, 252, 1.0)),
    ]),
}

# Icons written as ICO files (a small bitmap and a large PNG); the rest are PNG.
ICO_ICONS = {"browser", "pixelpaint", "terminal", "vector"}


def main(argv):
    out = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "icons")
    os.makedirs(out, exist_ok=True)
    for name, (top, bottom, symbol) in sorted(ICONS.items()):
        large = render(128, top, bottom, symbol)
        if name in ICO_ICONS:
            data = ico([(32, dib(render(32, top, bottom, symbol)), 32), (128, png(large), 32)])
            path = os.path.join(out, name + ".ico")
        else:
            data = png(large)
            path = os.path.join(out, name + ".png")
        with open(path, "wb") as f:
            f.write(data)
        print("%s (%d bytes)" % (path, len(data)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
