#!/usr/bin/env python3
"""Development catalog server: serves a catalog folder over HTTP (and HTTPS).

    python3 tools/catalog_server.py --catalog tools/demo_catalog --port 8080

The folder holds catalog.json, files/ (packages) and icons/. Package sizes and
MD5 digests are computed from the files, so the catalog cannot drift from them.
Below /_control/ the server offers fault injection for tests (see tools/README.md).
Python 3 standard library only.
"""

import argparse
import hashlib
import json
import os
import re
import select
import socket
import ssl
import stat
import sys
import tempfile
import threading
import time
import urllib.parse
from email.utils import formatdate
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MAX_BODY = 256 * 1024 * 1024      # control uploads may be large test files
MAX_REPORT_BODY = 64 * 1024
MAX_BYTES_RESOURCE = 4 * 1024 * 1024 * 1024
HANG_LIMIT_SECONDS = 120.0
MAX_DELAY_MS = 120000
CHUNK = 64 * 1024
LOG_BODY_LIMIT = 64 * 1024         # bytes of a request body kept in the request log
LOG_ENTRY_LIMIT = 100000           # oldest log entries are dropped past this
IDLE_TIMEOUT_SECONDS = 300         # an idle keep-alive connection is closed after this

ICON_TYPES = {
    ".png": "image/png", ".ico": "image/x-icon", ".jpg": "image/jpeg", ".jpeg": "image/jpeg",
    ".gif": "image/gif", ".bmp": "image/bmp", ".svg": "image/svg+xml", ".webp": "image/webp",
}


class HttpError(Exception):
    """An answer of status >= 400 with a JSON message, raised by request routing."""

    def __init__(self, status, message):
        super().__init__(message)
        self.status = status
        self.message = message


# ---------------------------------------------------------------- body sources

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


# ---------------------------------------------------------------- ranges

def parse_range(header, total):
    """Single byte range of a Range header.

    Returns None to serve the whole body (no header, a form we do not serve
    such as several ranges, or a syntactically invalid one, which HTTP says to
    ignore), "unsatisfiable", or (start, end) with end exclusive.
    """
    if header is None:
        return None
    header = header.strip()
    unit, sep, spec = header.partition("=")
    if not sep or unit.strip().lower() != "bytes":
        return None
    spec = spec.strip()
    if "," in spec:
        return None
    first, dash, last = spec.partition("-")
    first, last = first.strip(), last.strip()
    if not dash or not (first.isdigit() or first == "") or not (last.isdigit() or last == ""):
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


def ranged_reply(source, content_type, range_header, extra_headers=None):
    headers = [("Accept-Ranges", "bytes")] + list(extra_headers or [])
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


# ---------------------------------------------------------------- catalog

def safe_name(raw):
    """Decodes one path segment naming a file of a catalog subfolder.

    Raises HttpError(400) for anything that could leave the folder or is not a
    plain file name: separators (also encoded), dot names, NUL, drive letters.
    """
    try:
        name = urllib.parse.unquote(raw, encoding="utf-8", errors="strict")
    except UnicodeDecodeError:
        raise HttpError(400, "file name is not valid UTF-8")
    if (not name or "/" in name or "\\" in name or "\0" in name or ":" in name
            or name.startswith(".") or any(ord(c) < 32 for c in name)):
        raise HttpError(400, "bad file name")
    return name


class Catalog:
    """catalog.json plus the files/ and icons/ folders beside it."""

    def __init__(self, folder):
        self.folder = os.path.realpath(folder)
        self.files_dir = os.path.join(self.folder, "files")
        self.icons_dir = os.path.join(self.folder, "icons")
        self._lock = threading.Lock()
        self._doc = None
        self._doc_stamp = None
        self._digests = {}  # path -> ((inode, mtime_ns, size), md5 hex)

    def path_in(self, folder, raw_name):
        name = safe_name(raw_name)
        path = os.path.join(folder, name)
        try:
            is_link = stat.S_ISLNK(os.lstat(path).st_mode)
        except OSError:
            return path  # not there (yet): a plain name cannot point elsewhere
        if is_link:
            # A link may stay inside the folder but must not lead out of it.
            real = os.path.realpath(path)
            if os.path.dirname(real) != os.path.realpath(folder):
                raise HttpError(400, "bad file name")
            return real
        return path

    def document(self):
        path = os.path.join(self.folder, "catalog.json")
        try:
            st = os.stat(path)
        except OSError:
            return {"categories": [], "apps": []}
        stamp = (st.st_mtime_ns, st.st_size)
        with self._lock:
            if self._doc is None or stamp != self._doc_stamp:
                with open(path, "rb") as f:
                    doc = json.loads(f.read().decode("utf-8"))
                if not isinstance(doc, dict):
                    raise HttpError(500, "catalog.json is not an object")
                self._doc, self._doc_stamp = doc, stamp
            return self._doc

    def _digest(self, path, st):
        stamp = (st.st_ino, st.st_mtime_ns, st.st_size)
        with self._lock:
            cached = self._digests.get(path)
        if cached and cached[0] == stamp:
            return cached[1]
        h = hashlib.md5()
        with open(path, "rb") as f:
            for block in iter(lambda: f.read(1024 * 1024), b""):
                h.update(block)
        with self._lock:
            self._digests[path] = (stamp, h.hexdigest())
        return h.hexdigest()

    def package_path(self, app):
        name = app.get("file")
        if not isinstance(name, str) or not name:
            return None
        try:
            return self.path_in(self.files_dir, urllib.parse.quote(name, safe=""))
        except HttpError:
            return None

    def public_app(self, app):
        """The app as clients see it: computed size, digest, package flag, icon path."""
        if not isinstance(app, dict):
            return app
        out = dict(app)
        path = self.package_path(app)
        st = None
        if path:
            try:
                st = os.stat(path)
                if not stat.S_ISREG(st.st_mode):
                    st = None
            except OSError:
                st = None
        if "packageSize" not in out:
            out["packageSize"] = st.st_size if st else 0
        if "md5" not in out:
            out["md5"] = self._digest(path, st) if st else ""
        if "hasPackage" not in out:
            out["hasPackage"] = st is not None
        icon = out.get("icon")
        if isinstance(icon, str) and icon and not icon.startswith("/") and "://" not in icon:
            out["icon"] = "/icons/" + urllib.parse.quote(icon)
        out.pop("file", None)
        return out

    def categories(self):
        cats = self.document().get("categories", [])
        return cats if isinstance(cats, list) else []

    def raw_apps(self):
        apps = self.document().get("apps", [])
        return apps if isinstance(apps, list) else []

    def apps(self):
        return [self.public_app(a) for a in self.raw_apps()]

    def find_raw(self, app_id):
        for app in self.raw_apps():
            if isinstance(app, dict) and type(app.get("id")) is int and app["id"] == app_id:
                return app
        return None

    def warm_up(self):
        """Computes every package digest once, so the first bootstrap of a
        large catalog does not have to."""
        try:
            for app in self.raw_apps():
                if isinstance(app, dict):
                    self.public_app(app)
        except Exception as e:  # a broken catalog.json is reported on request
            sys.stderr.write("catalog warm-up stopped: %r\n" % (e,))

    def search(self, text):
        needle = text.casefold()
        found = []
        for app in self.raw_apps():
            if not isinstance(app, dict):
                continue
            hay = [app.get("name"), app.get("description")]
            if any(isinstance(s, str) and needle in s.casefold() for s in hay):
                found.append(self.public_app(app))
        return found


# ---------------------------------------------------------------- fault injection

STEP_KEYS = {
    "status": int, "body": str, "headers": dict, "location": str, "ignoreRange": bool,
    "closeAfter": int, "noContentLength": bool, "delayMs": int, "bytesPerSecond": int, "hang": bool,
}


def check_step(step, where):
    if not isinstance(step, dict):
        raise HttpError(400, "%s must be an object" % where)
    for key, value in step.items():
        kind = STEP_KEYS.get(key)
        if kind is None:
            raise HttpError(400, "%s: unknown key %r" % (where, key))
        if not isinstance(value, kind) or (kind is int and isinstance(value, bool)):
            raise HttpError(400, "%s: %s must be %s" % (where, key, kind.__name__))
    if "status" in step and not 100 <= step["status"] <= 599:
        raise HttpError(400, "%s: status out of range" % where)
    for key in ("closeAfter", "delayMs"):
        if step.get(key, 0) < 0:
            raise HttpError(400, "%s: %s must not be negative" % (where, key))
    if "bytesPerSecond" in step and step["bytesPerSecond"] <= 0:
        raise HttpError(400, "%s: bytesPerSecond must be positive" % where)
    for name, value in step.get("headers", {}).items():
        if not isinstance(value, str) or "\r" in name + value or "\n" in name + value:
            raise HttpError(400, "%s: header values must be one-line text" % where)
    return step


class FaultState:
    """Rules, the request log and in-flight counting, shared by both listeners."""

    def __init__(self):
        self._lock = threading.Lock()
        self._rules = {}
        self._log = []
        self._generation = 0
        self.in_flight = 0
        self.max_in_flight = 0

    def reset(self):
        with self._lock:
            self._rules.clear()
            self._log.clear()
            # Requests still running from before the reset no longer count.
            self._generation += 1
            self.in_flight = 0
            self.max_in_flight = 0

    def add_rule(self, rule):
        if not isinstance(rule, dict):
            raise HttpError(400, "rule must be an object")
        path = rule.get("path")
        if not isinstance(path, str) or not path.startswith("/"):
            raise HttpError(400, "rule needs a path starting with /")
        steps = rule.get("steps", [])
        if not isinstance(steps, list):
            raise HttpError(400, "steps must be an array")
        steps = [check_step(s, "steps[%d]" % i) for i, s in enumerate(steps)]
        then = rule.get("then")
        if then is not None:
            check_step(then, "then")
        with self._lock:
            self._rules[path] = {"steps": steps, "then": then, "used": 0}

    def arrive(self, entry):
        """Logs a request, counts it in flight and returns (its step, its ticket)."""
        with self._lock:
            self._log.append(entry)
            if len(self._log) > LOG_ENTRY_LIMIT:
                del self._log[:len(self._log) - LOG_ENTRY_LIMIT]
            self.in_flight += 1
            self.max_in_flight = max(self.max_in_flight, self.in_flight)
            step = None
            rule = self._rules.get(entry["path"])
            if rule is not None:
                if rule["used"] < len(rule["steps"]):
                    step = rule["steps"][rule["used"]]
                    rule["used"] += 1
                else:
                    step = rule["then"]
            return step, self._generation

    def leave(self, ticket):
        with self._lock:
            if ticket == self._generation:
                self.in_flight -= 1

    def snapshot(self):
        with self._lock:
            return {"requests": list(self._log), "maxInFlight": self.max_in_flight,
                    "inFlight": self.in_flight}


class Reports:
    """The reports file, one JSON object per line."""

    def __init__(self, path):
        self.path = path
        self._lock = threading.Lock()

    def append(self, report):
        line = json.dumps(report, ensure_ascii=False, separators=(",", ":")) + "\n"
        with self._lock:
            with open(self.path, "a", encoding="utf-8") as f:
                f.write(line)

    def all(self):
        with self._lock:
            try:
                with open(self.path, encoding="utf-8") as f:
                    lines = f.read().splitlines()
            except FileNotFoundError:
                return []
        return [json.loads(line) for line in lines if line.strip()]


def validate_report(body):
    try:
        report = json.loads(body.decode("utf-8"))
    except (UnicodeDecodeError, ValueError):
        raise HttpError(400, "report body is not valid JSON")
    if not isinstance(report, dict):
        raise HttpError(400, "report must be a JSON object")
    app_id = report.get("appId")
    if type(app_id) is not int:
        raise HttpError(400, "appId must be an integer")
    if not -2**31 <= app_id < 2**31:
        raise HttpError(400, "appId out of range")
    for key in ("event", "channel"):
        if not isinstance(report.get(key), str):
            raise HttpError(400, "%s must be a string" % key)
    if not report["event"]:
        raise HttpError(400, "event must not be empty")
    return report


# ---------------------------------------------------------------- HTTP handler

class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "PakvaneDevServer/1.0"
    timeout = IDLE_TIMEOUT_SECONDS

    # Set on the class by make_handler.
    catalog = None
    faults = None
    reports = None
    quiet = False
    testing = True  # fault injection, /_control/ and the /_... helpers

    def log_message(self, fmt, *args):
        if not self.quiet:
            sys.stderr.write("%s %s\n" % (self.log_date_time_string(), fmt % args))

    def do_GET(self):
        self.handle_any()

    def do_HEAD(self):
        self.handle_any()

    def do_POST(self):
        self.handle_any()

    def do_PUT(self):
        self.handle_any()

    def do_DELETE(self):
        self.handle_any()

    def do_PATCH(self):
        self.handle_any()

    def do_OPTIONS(self):
        self.handle_any()

    # -- request plumbing

    def read_body(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            return self.read_chunked()
        length = self.headers.get("Content-Length")
        if length is None:
            return b""
        if not length.strip().isdigit():
            raise HttpError(400, "bad Content-Length")
        length = int(length)
        if length > MAX_BODY:
            raise HttpError(413, "request body too large")
        data = self.rfile.read(length)
        if len(data) != length:
            raise ConnectionAbortedError("body cut short")
        return data

    def read_chunked(self):
        parts, total = [], 0
        while True:
            line = self.rfile.readline(1024)
            try:
                size = int(line.split(b";")[0].strip(), 16)
            except ValueError:
                raise HttpError(400, "bad chunked body")
            if size == 0:
                while self.rfile.readline(1024).strip():
                    pass
                return b"".join(parts)
            total += size
            if total > MAX_BODY:
                raise HttpError(413, "request body too large")
            parts.append(self.rfile.read(size))
            self.rfile.readline(16)

    def split_target(self):
        target = self.path
        if "://" in target.split("?", 1)[0]:
            parts = urllib.parse.urlsplit(target)
            target = parts.path + ("?" + parts.query if parts.query else "")
        path, _, query = target.partition("?")
        return path, query

    def base_url(self):
        scheme = "https" if isinstance(self.connection, ssl.SSLSocket) else "http"
        host = self.headers.get("Host")
        if not host:
            host = "%s:%d" % self.server.server_address[:2]
        return "%s://%s" % (scheme, host)

    def handle_any(self):
        path, query = self.split_target()
        try:
            body = self.read_body()
        except HttpError as e:
            self.close_connection = True
            self.send_reply(error_reply(e.status, e.message), {})
            return
        except (ConnectionError, OSError):
            self.close_connection = True
            return
        if not self.testing:
            self.serve(path, query, body, {})
            return
        if path.startswith("/_control/"):
            self.send_reply(self.routed(self.control, path, query, body), {})
            return
        entry = {"method": self.command, "path": path, "query": query,
                 "range": self.headers.get("Range"),
                 "body": body[:LOG_BODY_LIMIT].decode("utf-8", "replace"),
                 "headers": {k: v for k, v in self.headers.items()}}
        step, ticket = self.faults.arrive(entry)
        step = step or {}
        try:
            self.serve(path, query, body, step)
        finally:
            self.faults.leave(ticket)

    def routed(self, handler, *args):
        try:
            return handler(*args)
        except HttpError as e:
            return error_reply(e.status, e.message)
        except (ConnectionError, TimeoutError):
            raise
        except Exception as e:  # a broken catalog.json, an unreadable file
            self.log_message("internal error: %r", e)
            return error_reply(500, "internal error: %s" % e)

    def serve(self, path, query, body, step):
        if step.get("delayMs"):
            time.sleep(min(step["delayMs"], MAX_DELAY_MS) / 1000.0)
        if step.get("hang") or (path == "/_hang" and self.testing):
            self.hang()
            return
        if "status" in step or "body" in step or "location" in step:
            status = step.get("status", 302 if "location" in step else 200)
            data = step.get("body", "").encode("utf-8")
            reply = Reply(status, BytesSource(data), "text/plain; charset=utf-8")
            if "location" in step:
                reply.headers.append(("Location", step["location"]))
        else:
            range_header = None if step.get("ignoreRange") else self.headers.get("Range")
            reply = self.routed(self.route, path, query, body, range_header)
        for name, value in step.get("headers", {}).items():
            reply.headers = [(n, v) for n, v in reply.headers if n.lower() != name.lower()]
            if name.lower() == "content-length":
                reply.declared_length = value
            else:
                reply.headers.append((name, value))
        self.send_reply(reply, step)

    def hang(self):
        """Never answers: waits until the client goes away (or the limit passes)."""
        self.close_connection = True
        sock = self.connection
        deadline = time.monotonic() + HANG_LIMIT_SECONDS
        try:
            sock.settimeout(0.2)
            while time.monotonic() < deadline:
                if isinstance(sock, ssl.SSLSocket) and not sock.pending():
                    readable, _, _ = select.select([sock], [], [], 0.2)
                    if not readable:
                        continue
                try:
                    if not sock.recv(4096):
                        return
                except socket.timeout:
                    continue
                except ssl.SSLWantReadError:
                    continue
        except (OSError, ValueError):
            return

    def send_reply(self, reply, step):
        head_only = self.command == "HEAD"
        close_after = step.get("closeAfter")
        no_length = step.get("noContentLength", False)
        rate = step.get("bytesPerSecond")
        try:
            self.send_response(reply.status)
            for name, value in reply.headers:
                self.send_header(name, value)
            if no_length:
                self.send_header("Connection", "close")
                self.close_connection = True
            else:
                self.send_header("Content-Length", reply.declared_length or str(reply.length))
                if reply.declared_length is not None and reply.declared_length != str(reply.length):
                    # A lying length breaks the framing: the connection cannot be reused.
                    self.send_header("Connection", "close")
                    self.close_connection = True
            self.end_headers()
            if not head_only and reply.status not in (204, 304):
                self.write_body(reply, close_after, rate)
            self.wfile.flush()
        except (ConnectionError, OSError, ValueError):
            self.close_connection = True
            return
        if close_after is not None or no_length or reply.declared_length is not None:
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def write_body(self, reply, limit, rate):
        sent = 0
        started = time.monotonic()
        for chunk in reply.source.chunks(reply.start, reply.end):
            if limit is not None:
                chunk = chunk[:max(0, limit - sent)]
            if rate:
                piece = max(1, rate // 20)
                for pos in range(0, len(chunk), piece):
                    part = chunk[pos:pos + piece]
                    self.wfile.write(part)
                    self.wfile.flush()
                    sent += len(part)
                    wait = started + sent / rate - time.monotonic()
                    if wait > 0:
                        time.sleep(wait)
            else:
                self.wfile.write(chunk)
                sent += len(chunk)
            if limit is not None and sent >= limit:
                break

    # -- the catalog API and the test helpers

    def route(self, path, query, body, range_header):
        method = self.command
        try:
            params = urllib.parse.parse_qs(query, keep_blank_values=True, encoding="utf-8", errors="strict")
        except UnicodeDecodeError:
            raise HttpError(400, "query is not valid UTF-8")
        reading = method in ("GET", "HEAD")

        if path == "/api/client/bootstrap":
            self.require(reading)
            return json_reply(200, {"code": 0, "data": {"categories": self.catalog.categories(),
                                                        "apps": self.catalog.apps()}})
        if path == "/api/client/apps":
            self.require(reading)
            return json_reply(200, {"code": 0, "data": self.catalog.search(params.get("q", [""])[0])})
        if path.startswith("/api/client/download/"):
            self.require(reading)
            return self.download(path[len("/api/client/download/"):])
        if path == "/api/client/report":
            self.require(method == "POST")
            if len(body) > MAX_REPORT_BODY:
                raise HttpError(413, "report too large")
            self.reports.append(validate_report(body))
            return json_reply(200, {"code": 0})
        if path.startswith("/files/") or path.startswith("/icons/"):
            self.require(reading)
            icons = path.startswith("/icons/")
            folder = self.catalog.icons_dir if icons else self.catalog.files_dir
            file_path = self.catalog.path_in(folder, path.split("/", 2)[2])
            if not os.path.isfile(file_path):
                raise HttpError(404, "no such file")
            st = os.stat(file_path)
            ext = os.path.splitext(file_path)[1].lower()
            content_type = ICON_TYPES.get(ext, "application/octet-stream") if icons else "application/octet-stream"
            return ranged_reply(FileSource(file_path, st.st_size), content_type, range_header,
                                [("Last-Modified", formatdate(st.st_mtime, usegmt=True))])
        if path.startswith("/_") and not self.testing:
            raise HttpError(404, "not found: %s" % path)
        if path.startswith("/_bytes/"):
            self.require(reading)
            count = path[len("/_bytes/"):]
            if not count.isdigit() or int(count) > MAX_BYTES_RESOURCE:
                raise HttpError(400, "/_bytes/<n> needs a byte count")
            return ranged_reply(PatternSource(int(count)), "application/octet-stream", range_header)
        if path == "/_echo":
            return json_reply(200, {"method": method, "path": path, "query": query,
                                    "headers": {k: v for k, v in self.headers.items()},
                                    "body": body.decode("utf-8", "replace")})
        if path.startswith("/_chain/"):
            n = path[len("/_chain/"):]
            if not n.isdigit():
                raise HttpError(400, "/_chain/<n> needs a number")
            n = int(n)
            if n == 0:
                return Reply(200, BytesSource(b"end"), "text/plain; charset=utf-8")
            target = "/_chain/%d" % (n - 1)
            if "abs=1" in query.split("&"):
                target = self.base_url() + target + "?abs=1"
            return Reply(302, BytesSource(b""), "text/plain", [("Location", target)])
        if path == "/_loop":
            own = self.base_url() + path + ("?" + query if query else "")
            return Reply(301, BytesSource(b""), "text/plain", [("Location", own)])
        raise HttpError(404, "not found: %s" % path)

    def require(self, allowed):
        if not allowed:
            raise HttpError(405, "method %s not allowed here" % self.command)

    def download(self, raw_id):
        if not re.fullmatch(r"-?[0-9]{1,10}", raw_id):
            raise HttpError(400, "app id must be a number")
        app_id = int(raw_id)
        app = self.catalog.find_raw(app_id)
        if app is None:
            raise HttpError(404, "no app with id %d" % app_id)
        public = self.catalog.public_app(app)
        name = app.get("file")
        if not public.get("hasPackage") or not isinstance(name, str) or not name:
            raise HttpError(404, "app %d has no package" % app_id)
        location = self.base_url() + "/files/" + urllib.parse.quote(name, safe="")
        return Reply(302, BytesSource(b""), "text/plain", [("Location", location)])

    def control(self, path, query, body):
        what = path[len("/_control/"):]
        method = self.command
        if what == "reset" and method == "POST":
            self.faults.reset()
            return json_reply(200, {"code": 0})
        if what == "rule" and method == "POST":
            try:
                rule = json.loads(body.decode("utf-8"))
            except (UnicodeDecodeError, ValueError):
                raise HttpError(400, "rule is not valid JSON")
            self.faults.add_rule(rule)
            return json_reply(200, {"code": 0})
        if what == "log" and method in ("GET", "HEAD"):
            return json_reply(200, self.faults.snapshot())
        if what == "reports" and method in ("GET", "HEAD"):
            return json_reply(200, {"reports": self.reports.all()})
        for prefix, folder in (("files/", self.catalog.files_dir), ("icons/", self.catalog.icons_dir)):
            if what.startswith(prefix) and method in ("POST", "PUT"):
                target = self.catalog.path_in(folder, what[len(prefix):])
                os.makedirs(folder, exist_ok=True)
                fd, temp = tempfile.mkstemp(dir=folder, prefix=".upload-")
                with os.fdopen(fd, "wb") as f:
                    f.write(body)
                os.replace(temp, target)
                return json_reply(200, {"code": 0, "size": len(body)})
        raise HttpError(404, "unknown control request %s %s" % (method, path))


def make_handler(catalog, faults, reports, quiet, testing=True):
    return type("CatalogHandler", (Handler,), {"catalog": catalog, "faults": faults, "reports": reports,
                                               "quiet": quiet, "testing": testing})


# ---------------------------------------------------------------- servers

class Server(ThreadingHTTPServer):
    daemon_threads = True
    block_on_close = False
    allow_reuse_address = True
    request_queue_size = 128

    def handle_error(self, request, client_address):
        # Clients that go away mid-request are routine here (tests cut
        # connections on purpose); anything else deserves a trace.
        if isinstance(sys.exc_info()[1], (ConnectionError, TimeoutError, ssl.SSLError)):
            return
        super().handle_error(request, client_address)


class TlsServer(Server):
    """The TLS handshake runs on the connection's own thread, so a client that
    never completes it cannot stall the accept loop."""

    def __init__(self, address, handler, context):
        self.context = context
        super().__init__(address, handler)

    def finish_request(self, request, client_address):
        request.settimeout(30)
        try:
            tls = self.context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError):
            return  # the client refused our certificate or went away
        try:
            tls.settimeout(None)
            self.RequestHandlerClass(tls, client_address, self)
        finally:
            try:
                tls.close()
            except OSError:
                pass


def start(catalog_dir, host="127.0.0.1", port=0, reports_path=None, tls_port=None, tls_cert=None,
          tls_key=None, quiet=False, testing=True):
    """Starts the listeners on daemon threads; returns the list of servers."""
    catalog = Catalog(catalog_dir)
    reports = Reports(reports_path or os.path.join(catalog.folder, "reports.jsonl"))
    handler = make_handler(catalog, FaultState(), reports, quiet, testing)
    threading.Thread(target=catalog.warm_up, daemon=True).start()
    servers = [Server((host, port), handler)]
    if tls_port is not None:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(tls_cert, tls_key)
        servers.append(TlsServer((host, tls_port), handler, context))
    for server in servers:
        threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.05}, daemon=True).start()
    return servers


def main(argv=None):
    parser = argparse.ArgumentParser(description="Development catalog server.")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=8080, help="0 picks a free port")
    parser.add_argument("--catalog", required=True, help="catalog folder (catalog.json, files/, icons/)")
    parser.add_argument("--reports", help="reports file (default CATALOG/reports.jsonl)")
    parser.add_argument("--port-file", help='writes {"http": P, "https": Q} once listening')
    parser.add_argument("--tls-port", type=int)
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--quiet", action="store_true", help="no request log on stderr")
    parser.add_argument("--no-test-interface", action="store_true",
                        help="serve only the catalog: no /_control/, no fault rules, no /_ helpers")
    args = parser.parse_args(argv)
    if not os.path.isdir(args.catalog):
        parser.error("no catalog folder %s" % args.catalog)
    if args.tls_port is not None and not (args.tls_cert and args.tls_key):
        parser.error("--tls-port needs --tls-cert and --tls-key")

    servers = start(args.catalog, args.host, args.port, args.reports, args.tls_port, args.tls_cert,
                    args.tls_key, args.quiet, not args.no_test_interface)
    ports = {"http": servers[0].server_address[1],
             "https": servers[1].server_address[1] if len(servers) > 1 else None}
    print("http port %d" % ports["http"], flush=True)
    if ports["https"] is not None:
        print("https port %d" % ports["https"], flush=True)
    if args.port_file:
        temp = args.port_file + ".tmp"
        with open(temp, "w") as f:
            json.dump(ports, f)
        os.replace(temp, args.port_file)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        pass
    for server in servers:
        server.shutdown()
    return 0


if __name__ == "__main__":
    sys.exit(main())
