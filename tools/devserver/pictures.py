"""Pictures made on request for the icon loader's tests and benchmarks: a
black PNG of any size. Its pixels compress to almost nothing, so a small
body can declare gigabytes of pixels, as a hostile icon would."""

import struct
import threading
import zlib

MAX_SIDE = 65535
_CHUNK_BYTES = 4 * 1024 * 1024

_made = {}
_lock = threading.Lock()


def _chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def _zeros_zlib(row_bytes, rows):
    """The zlib stream of rows * row_bytes zero bytes. After a full flush the
    compressor starts afresh, so every further run of rows compresses to the
    same bytes: one run is compressed and repeated, and a 20000 x 20000 image
    takes milliseconds instead of seconds."""
    per_run = max(1, min(rows, _CHUNK_BYTES // row_bytes))
    runs, rest = divmod(rows, per_run)
    compressor = zlib.compressobj(6, zlib.DEFLATED, -15)
    run = bytes(per_run * row_bytes)
    first = compressor.compress(run) + compressor.flush(zlib.Z_FULL_FLUSH)
    parts = [first]
    if runs > 1:
        again = compressor.compress(run) + compressor.flush(zlib.Z_FULL_FLUSH)
        parts += [again] * (runs - 1)
    parts.append(compressor.compress(bytes(rest * row_bytes)) + compressor.flush())
    total = rows * row_bytes
    # Adler-32 of zeros: A stays 1, B grows by 1 a byte.
    adler = ((total % 65521) << 16) | 1
    return b"\x78\x9c" + b"".join(parts) + struct.pack(">I", adler)


def black_png(width, height):
    """A valid 8-bit RGB PNG of width x height black pixels; each size is made once."""
    if not (1 <= width <= MAX_SIDE and 1 <= height <= MAX_SIDE):
        raise ValueError("sides must be 1 to %d" % MAX_SIDE)
    with _lock:
        png = _made.get((width, height))
        if png is None:
            header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
            png = (b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", header)
                   + _chunk(b"IDAT", _zeros_zlib(1 + 3 * width, height)) + _chunk(b"IEND", b""))
            _made[(width, height)] = png
        return png
