"""The request handler: the catalog API, the test helpers and fault injection."""

import json
import os
import re
import select
import socket
import ssl
import sys
import tempfile
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler

from devserver.digests import file_stamp
from devserver.replies import (BytesSource, FileSource, HttpError, PatternSource, Reply, Validators, error_reply,
                               is_decimal, json_reply, ranged_reply)
from devserver import faults, hostile, pictures
from devserver.reports import validate_report

MAX_BODY = 256 * 1024 * 1024      # control uploads may be large test files
MAX_REPORT_BODY = 64 * 1024
MAX_BYTES_RESOURCE = 4 * 1024 * 1024 * 1024
HANG_LIMIT_SECONDS = 120.0
MAX_DELAY_MS = 120000
LOG_BODY_LIMIT = 64 * 1024         # bytes of a request body kept in the request log
IDLE_TIMEOUT_SECONDS = 300         # an idle keep-alive connection is closed after this
CHUNK_SIZE = re.compile(rb"[0-9A-Fa-f]{1,16}")
INVERTED = bytes(255 - i for i in range(256))  # byte translation table of changeFile

ICON_TYPES = {
    ".png": "image/png", ".ico": "image/x-icon", ".jpg": "image/jpeg", ".jpeg": "image/jpeg",
    ".gif": "image/gif", ".bmp": "image/bmp", ".svg": "image/svg+xml", ".webp": "image/webp",
}


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
    throttle = None  # bytes per second for package bodies (/files/), for demos
    ticket = None   # in-flight ticket of the request being answered
    connection_ticket = None  # set once the connection carried a request under test

    def log_message(self, fmt, *args):
        if not self.quiet:
            sys.stderr.write("%s %s\n" % (self.log_date_time_string(), fmt % args))

    def finish(self):
        try:
            super().finish()
        finally:
            # The client has gone (or we closed): the connection no longer counts.
            if self.connection_ticket is not None:
                self.faults.connection_closed(self.connection_ticket)
                self.connection_ticket = None

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
        if not is_decimal(length.strip()):
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
            # int(x, 16) would also take signs, "0x" and "_": a "-1" would then
            # read until the client hangs up.
            digits = line.split(b";")[0].strip()
            if not CHUNK_SIZE.fullmatch(digits):
                raise HttpError(400, "bad chunked body")
            size = int(digits, 16)
            if size == 0:
                while self.rfile.readline(1024).strip():
                    pass
                return b"".join(parts)
            total += size
            if total > MAX_BODY:
                raise HttpError(413, "request body too large")
            data = self.rfile.read(size)
            if len(data) != size:
                raise ConnectionAbortedError("chunk cut short")
            parts.append(data)
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
                 "range": self.headers.get("Range"), "ifRange": self.headers.get("If-Range"),
                 "body": body[:LOG_BODY_LIMIT].decode("utf-8", "replace"),
                 "headers": {k: v for k, v in self.headers.items()}}
        if self.connection_ticket is None:
            self.connection_ticket = self.faults.connection_opened(self.connection)
        step, self.ticket = self.faults.arrive(entry)
        step = step or {}
        try:
            self.serve(path, query, body, step)
        finally:
            self.leave_in_flight()

    def leave_in_flight(self):
        """Takes this request out of the in-flight count, once. Called before
        the last byte of the answer goes out: a client that has its whole
        answer may start its next request on another connection at once, and
        that one must not be counted as overlapping this one."""
        if self.ticket is not None:
            self.faults.leave(self.ticket)
            self.ticket = None

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
            if step.get("changeFile"):
                self.change_file(path)
            whole = step.get("ignoreRange") or step.get("hostile") == "earlyClose"
            range_header = None if whole else self.headers.get("Range")
            reply = self.routed(self.route, path, query, body, range_header)
            if self.throttle and path.startswith("/files/") and "bytesPerSecond" not in step:
                step = dict(step, bytesPerSecond=self.throttle)
            if "hostile" in step:
                step = dict(step, **hostile.bend(reply, step["hostile"]))
            if step.get("noValidators"):
                reply.headers = [(n, v) for n, v in reply.headers if n.lower() not in ("etag", "last-modified")]
        for name, value in step.get("headers", {}).items():
            reply.headers = [(n, v) for n, v in reply.headers if n.lower() != name.lower()]
            if name.lower() == "content-length":
                reply.declared_length = value
            else:
                reply.headers.append((name, value))
        self.send_reply(reply, step)

    def hang(self, seconds=HANG_LIMIT_SECONDS):
        """Sends nothing until the client goes away (True) or the time passes."""
        self.close_connection = True
        sock = self.connection
        deadline = time.monotonic() + min(seconds, HANG_LIMIT_SECONDS)
        try:
            sock.settimeout(0.2)
            while time.monotonic() < deadline:
                if isinstance(sock, ssl.SSLSocket) and not sock.pending():
                    readable, _, _ = select.select([sock], [], [], 0.2)
                    if not readable:
                        continue
                try:
                    if not sock.recv(4096):
                        return True
                except socket.timeout:
                    continue
                except ssl.SSLWantReadError:
                    continue
        except (OSError, ValueError):
            return True
        finally:
            try:
                sock.settimeout(None)
            except (OSError, ValueError):
                pass
        return False

    def send_reply(self, reply, step):
        head_only = self.command == "HEAD"
        close_after = step.get("closeAfter")
        stall_after = step.get("stallAfter")
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
            with_body = not head_only and reply.status not in (204, 304)
            body_length = reply.length if close_after is None else min(reply.length, close_after)
            if stall_after is not None:
                body_length = min(body_length, stall_after)
            if not with_body or body_length == 0:
                self.leave_in_flight()
            self.end_headers()
            if with_body:
                self.write_body(reply, body_length, rate)
            self.wfile.flush()
        except (ConnectionError, OSError, ValueError):
            self.close_connection = True
            return
        if stall_after is not None:
            # stallMs ends the silence: the rest of the body follows.
            if self.hang(step.get("stallMs", HANG_LIMIT_SECONDS * 1000) / 1000.0) or "stallMs" not in step:
                return
            try:
                self.write_body(reply, reply.length, rate, skip=body_length)
                self.wfile.flush()
            except (ConnectionError, OSError, ValueError):
                return
        if close_after is not None or no_length or reply.declared_length is not None:
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def write_body(self, reply, length, rate, skip=0):
        """Sends the reply's body from byte skip up to byte length."""
        sent = skip
        started = time.monotonic()
        for chunk in reply.source.chunks(reply.start + skip, reply.end):
            chunk = chunk[:max(0, length - sent)]
            piece = max(1, rate // 20) if rate else max(1, len(chunk))
            for pos in range(0, len(chunk), piece):
                part = chunk[pos:pos + piece]
                if sent + len(part) >= length:
                    self.leave_in_flight()
                self.wfile.write(part)
                sent += len(part)
                if rate:
                    self.wfile.flush()
                    wait = started + (sent - skip) / rate - time.monotonic()
                    if wait > 0 and self.client_closed(wait):
                        raise ConnectionAbortedError("client closed the connection")
            if sent >= length:
                break

    def client_closed(self, seconds):
        """Waits up to seconds; True as soon as the client has closed its
        side. A paced body would otherwise notice only at a later write, and
        the connection would count as open after the client let go of it."""
        deadline = time.monotonic() + seconds
        if faults.client_closed(self.connection, seconds):
            return True
        left = deadline - time.monotonic()  # the client sent bytes, not its end
        if left > 0:
            time.sleep(left)
        return False

    # -- the catalog API and the test helpers

    def route(self, path, query, body, range_header):
        method = self.command
        try:
            # Undo the request line's Latin-1 decoding first, so that raw UTF-8
            # in the query reads like its percent-encoded form.
            params = urllib.parse.parse_qs(query.encode("latin-1").decode("utf-8"), keep_blank_values=True,
                                           encoding="utf-8", errors="strict")
        except (UnicodeEncodeError, UnicodeDecodeError):
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
            # Strong: inode, modification time and size change with every new version.
            etag = '"%s"' % "-".join("%x" % part for part in file_stamp(st))
            return ranged_reply(FileSource(file_path, st.st_size), content_type, range_header,
                                Validators(etag, st.st_mtime), self.headers.get("If-Range"))
        if path.startswith("/_") and not self.testing:
            raise HttpError(404, "not found: %s" % path)
        if path.startswith("/_bytes/"):
            self.require(reading)
            count = path[len("/_bytes/"):]
            if not is_decimal(count) or int(count) > MAX_BYTES_RESOURCE:
                raise HttpError(400, "/_bytes/<n> needs a byte count")
            return ranged_reply(PatternSource(int(count)), "application/octet-stream", range_header,
                                Validators('"bytes-%s"' % count), self.headers.get("If-Range"))
        if path.startswith("/_png/"):
            self.require(reading)
            match = re.fullmatch(r"/_png/(\d{1,5})x(\d{1,5})", path)
            if not match or not all(1 <= int(side) <= pictures.MAX_SIDE for side in match.groups()):
                raise HttpError(400, "/_png/<width>x<height> needs two sides of 1 to %d" % pictures.MAX_SIDE)
            png = pictures.black_png(int(match.group(1)), int(match.group(2)))
            return ranged_reply(BytesSource(png), "image/png", range_header)
        if path == "/_echo":
            return json_reply(200, {"method": method, "path": path, "query": query,
                                    "headers": {k: v for k, v in self.headers.items()},
                                    "body": body.decode("utf-8", "replace")})
        if path.startswith("/_chain/"):
            n = path[len("/_chain/"):]
            if not is_decimal(n):
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

    def change_file(self, path):
        """A new version of a package file of the same size: every byte
        inverted, a new inode and a modification time at least a second
        later, so that both its ETag and its Last-Modified change."""
        try:
            file_path = self.catalog.path_in(self.catalog.files_dir, path.split("/", 2)[2])
        except HttpError:
            return  # the answer itself reports the bad name
        if not os.path.isfile(file_path):
            return
        before = os.stat(file_path)
        fd, temp = tempfile.mkstemp(dir=os.path.dirname(file_path), prefix=".change-")
        with os.fdopen(fd, "wb") as out, open(file_path, "rb") as source:
            for block in iter(lambda: source.read(1024 * 1024), b""):
                out.write(block.translate(INVERTED))
        stamp = max(before.st_mtime + 1.0, time.time())
        os.utime(temp, (stamp, stamp))
        os.replace(temp, file_path)

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


def make_handler(catalog, faults, reports, quiet, testing=True, throttle=None):
    return type("CatalogHandler", (Handler,), {"catalog": catalog, "faults": faults, "reports": reports,
                                               "quiet": quiet, "testing": testing, "throttle": throttle})
