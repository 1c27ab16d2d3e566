#!/usr/bin/env python3
"""Draws the program's icon and title-bar logo (Python 3 standard library only).

    python3 res/make_art.py            writes res/pakvane.ico and the logos
                                       res/logo.png, logo-72.png, logo-96.png
    python3 res/make_art.py --check    exits 1 when the files differ from what
                                       this script draws

The art: a rounded square in the title bar's violet gradient (#4F46E5 to
#7C3AED, top left to bottom right) holding a white downward arrow over a tray
bar. Edges that run along the pixel grid are placed on whole pixels at every
size, so the small icons stay sharp; curves and slopes are smoothed by
supersampling. The logo sits on the violet title bar, so it gets a faint white
rim to stand out from it.
"""

import struct
import sys
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent
ICON_SIZES = (16, 24, 32, 48, 256)
# The title-bar logo at 100 %, 150 % and 200 %: drawn at each size, so it
# stays sharp on screens at those scales.
LOGO_FILES = ((48, "logo.png"), (72, "logo-72.png"), (96, "logo-96.png"))
GRADIENT_FROM = (0x4F, 0x46, 0xE5)
GRADIENT_TO = (0x7C, 0x3A, 0xED)
RIM_ALPHA = 0.35


def even(value):
    """Nearest even whole number, at least 2: keeps a centred bar on the grid."""
    return max(2, int(round(value / 2.0)) * 2)


class Design:
    """The shapes at one pixel size, in pixel coordinates (0..size)."""

    def __init__(self, size, rim):
        s = float(size)
        self.size = size
        self.margin = max(1, int(round(s / 16)))
        self.radius = s * 0.22
        self.rim = max(1.0, s / 32) if rim else 0.0
        centre = s / 2
        shaft = even(s * 0.125)
        self.shaft = (centre - shaft / 2, round(s * 0.22), centre + shaft / 2, round(s * 0.5))
        head = even(s * 0.46)
        self.head_top = round(s * 0.42)
        self.head_left = centre - head / 2
        self.head_right = centre + head / 2
        self.apex = (centre, round(s * 0.69))
        bar_height = max(2, int(round(s * 0.08)))
        bar_top = round(s * 0.76)
        bar_inset = round(s * 0.27)
        self.bar = (bar_inset, bar_top, s - bar_inset, bar_top + bar_height)

    def square_distance(self, x, y):
        """Signed distance to the rounded square's edge (negative inside)."""
        half = (self.size - 2 * self.margin) / 2.0
        c = self.size / 2.0
        qx = abs(x - c) - (half - self.radius)
        qy = abs(y - c) - (half - self.radius)
        outside = (max(qx, 0.0) ** 2 + max(qy, 0.0) ** 2) ** 0.5
        return outside + min(max(qx, qy), 0.0) - self.radius

    def in_arrow(self, x, y):
        left, top, right, bottom = self.shaft
        if left <= x < right and top <= y < bottom:
            return True
        left, top, right, bottom = self.bar
        if left <= x < right and top <= y < bottom:
            return True
        if y < self.head_top:
            return False
        ax, ay = self.apex
        # Inside the triangle: below its top edge and above both slanted sides.
        cross_left = (ax - self.head_left) * (y - self.head_top) - (ay - self.head_top) * (x - self.head_left)
        cross_right = (self.head_right - ax) * (y - ay) - (self.head_top - ay) * (x - ax)
        return cross_left <= 0 and cross_right <= 0

    def sample(self, x, y):
        """Straight RGBA (floats 0..1) at a point."""
        d = self.square_distance(x, y)
        if d >= 0:
            return (0.0, 0.0, 0.0, 0.0)
        if self.in_arrow(x, y):
            return (1.0, 1.0, 1.0, 1.0)
        t = min(1.0, max(0.0, (x + y) / (2.0 * self.size)))
        rgb = [(a + (b - a) * t) / 255.0 for a, b in zip(GRADIENT_FROM, GRADIENT_TO)]
        if self.rim and d > -self.rim:
            rgb = [c + (1.0 - c) * RIM_ALPHA for c in rgb]
        return (rgb[0], rgb[1], rgb[2], 1.0)


def draw(size, rim=False):
    """Rows of straight RGBA bytes, supersampled."""
    design = Design(size, rim)
    grid = 4 if size > 64 else 8
    step = 1.0 / grid
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(grid):
                y = py + (sy + 0.5) * step
                for sx in range(grid):
                    sr, sg, sb, sa = design.sample(px + (sx + 0.5) * step, y)
                    r += sr * sa
                    g += sg * sa
                    b += sb * sa
                    a += sa
            if a == 0:
                row += b"\0\0\0\0"
                continue
            row += bytes((int(round(255 * r / a)), int(round(255 * g / a)), int(round(255 * b / a)),
                          int(round(255 * a / (grid * grid)))))
        rows.append(bytes(row))
    return rows


def png_bytes(rows):
    size = len(rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\0" + row for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
            chunk(b"IEND", b""))


def png_rows(data):
    """Decodes a PNG this script wrote (8-bit RGBA, filter 0, not interlaced)."""
    pos, idat, size = 8, b"", 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            size = struct.unpack(">I", body[:4])[0]
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = 1 + 4 * size
    return [raw[i * stride + 1:(i + 1) * stride] for i in range(size)]


def dib_bytes(rows):
    """An icon image as a 32-bit DIB with its AND mask, rows bottom up."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for i in range(0, len(row), 4):
            r, g, b, a = row[i:i + 4]
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x in range(size):
            if row[4 * x + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def ico_bytes(images):
    """images: (size, rows) pairs. 256 px is stored as PNG, smaller ones as DIBs."""
    blobs = [png_bytes(rows) if size >= 256 else dib_bytes(rows) for size, rows in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, _), blob in zip(images, blobs):
        side = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


def main(argv):
    check = "--check" in argv[1:]
    icon = ico_bytes([(size, draw(size)) for size in ICON_SIZES])
    logos = [(HERE / name, draw(size, rim=True)) for size, name in LOGO_FILES]
    ico_path = HERE / "pakvane.ico"
    if not check:
        ico_path.write_bytes(icon)
        for path, rows in logos:
            path.write_bytes(png_bytes(rows))
        print("wrote %s and %s" % (ico_path, ", ".join(str(path) for path, _ in logos)))
        return 0
    # PNG compression may differ between zlib versions: compare pixels there.
    stale = []
    if not ico_path.exists() or _without_png(ico_path.read_bytes()) != _without_png(icon):
        stale.append(ico_path.name)
    for path, rows in logos:
        if not path.exists() or png_rows(path.read_bytes()) != rows:
            stale.append(path.name)
    if stale:
        print("out of date: %s (run python3 res/make_art.py)" % ", ".join(stale))
        return 1
    print("res/pakvane.ico and the logos match their source")
    return 0


def _without_png(ico):
    """The icon with every PNG image replaced by its pixels, for comparing."""
    count = struct.unpack("<H", ico[4:6])[0]
    parts = []
    for i in range(count):
        entry = ico[6 + 16 * i:22 + 16 * i]
        length, offset = struct.unpack("<II", entry[8:16])
        blob = ico[offset:offset + length]
        if blob.startswith(b"\x89PNG"):
            blob = b"".join(png_rows(blob))
        parts.append((entry[:8], blob))
    return parts


if __name__ == "__main__":
    sys.exit(main(sys.argv))
