"""Answers and their bodies: byte sources, single byte ranges, JSON errors."""

import json
import time
from email.utils import formatdate

CHUNK = 64 * 1024


class HttpError(Exception):
    """An answer of status >= 400 with a JSON message, raised by request routing."""

    def __init__(self, status, message):
        super().__init__(message)
        self.status = status
        self.message = message


class BytesSource:
    def __init__(self, data):
        self.data = data
        self.length = len(data)

    def chunks(self, start, end):
        for pos in range(start, end, CHUNK):
            yield self.data[pos:min(end, pos + CHUNK)]


class FileSource:
    def __init__(self, path, length):
        self.path = path
        self.length = length

    def chunks(self, start, end):
        with open(self.path, "rb") as f:
            f.seek(start)
            left = end - start
            while left > 0:
                block = f.read(min(CHUNK, left))
                if not block:
                    # The file shrank while we served it: end the body short so
                    # the client notices a broken transfer instead of bad bytes.
                    raise ConnectionAbortedError("file shrank")
                left -= len(block)
                yield block


class PatternSource:
    """n bytes where byte i is i % 251 (a period that no power of two hides)."""

    _block = bytes(i % 251 for i in range(251 * 261))  # 65,511 bytes, whole periods

    def __init__(self, length):
        self.length = length

    def chunks(self, start, end):
        pos = start
        period = len(self._block)
        while pos < end:
            offset = pos % 251
            take = min(end - pos, period - offset)
            yield self._block[offset:offset + take]
            pos += take


class Reply:
    def __init__(self, status, source=None, content_type="application/octet-stream", headers=None):
        self.status = status
        self.source = source if source is not None else BytesSource(b"")
        self.start = 0
        self.end = self.source.length
        self.headers = [("Content-Type", content_type)] if content_type else []
        self.headers += list(headers or [])
        self.declared_length = None  # a Content-Length that a fault rule imposes

    @property
    def length(self):
        return self.end - self.start


def json_reply(status, value, headers=None):
    data = json.dumps(value, ensure_ascii=False, separators=(",", ":")).encode("utf-8")
    return Reply(status, BytesSource(data), "application/json; charset=utf-8", headers)


def error_reply(status, message):
    return json_reply(status, {"code": status, "message": message})


def is_decimal(text):
    """Plain ASCII digits only: str.isdigit() also takes "²" and other digits
    that int() refuses."""
    return text.isascii() and text.isdigit()


def parse_range(header, total):
    """Single byte range of a Range header.

    Returns None to serve the whole body (no header, a form we do not serve
    such as several ranges, or a syntactically invalid one, which HTTP says to
    ignore), "unsatisfiable", or (start, end) with end exclusive.
    """
    if header is None:
        return None
    header = header.strip()
    unit, sep, ranges = header.partition("=")
    if not sep or unit.strip().lower() != "bytes":
        return None
    ranges = ranges.strip()
    if "," in ranges:
        return None
    first, dash, last = ranges.partition("-")
    first, last = first.strip(), last.strip()
    if not dash or not (is_decimal(first) or first == "") or not (is_decimal(last) or last == ""):
        return None
    if first == "":
        if last == "":
            return None
        suffix = int(last)
        if suffix == 0 or total == 0:
            return "unsatisfiable"
        return (max(0, total - suffix), total)
    start = int(first)
    if last != "" and int(last) < start:
        return None
    if start >= total:
        return "unsatisfiable"
    end = total if last == "" else min(total, int(last) + 1)
    return (start, end)


class Validators:
    """What tells one version of a resource from another: a strong ETag and,
    for files, the modification time sent as Last-Modified."""

    def __init__(self, etag=None, modified=None):
        self.etag = etag
        self.modified = modified  # seconds since the epoch, or None
        self.last_modified = formatdate(modified, usegmt=True) if modified is not None else None

    def headers(self):
        found = [("ETag", self.etag)] if self.etag else []
        return found + ([("Last-Modified", self.last_modified)] if self.last_modified else [])

    def if_range_holds(self, value):
        """RFC 9110 13.1.5: an entity tag holds when it equals the current
        strong tag (a weak one never does); a date when it is exactly the
        Last-Modified value and that is a strong validator, which a time
        less than a second ago is not (the file may change again within the
        same second)."""
        value = value.strip()
        if value.startswith("W/"):
            return False
        if value.startswith('"'):
            return self.etag is not None and value == self.etag
        return (self.last_modified is not None and value == self.last_modified
                and time.time() - self.modified >= 1.0)


def ranged_reply(source, content_type, range_header, validators=None, if_range=None):
    """The answer to a GET with an optional Range; with If-Range, the range
    only when the validator still holds, else the whole resource with 200."""
    validators = validators or Validators()
    headers = [("Accept-Ranges", "bytes")] + validators.headers()
    if range_header is not None and if_range is not None and not validators.if_range_holds(if_range):
        range_header = None
    chosen = parse_range(range_header, source.length)
    if chosen == "unsatisfiable":
        reply = error_reply(416, "range not satisfiable")
        reply.headers.append(("Content-Range", "bytes */%d" % source.length))
        return reply
    reply = Reply(200, source, content_type, headers)
    if chosen is not None:
        reply.status = 206
        reply.start, reply.end = chosen
        reply.headers.append(("Content-Range", "bytes %d-%d/%d" % (reply.start, reply.end - 1, source.length)))
    return reply
