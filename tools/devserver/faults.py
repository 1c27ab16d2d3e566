"""Fault rules, the request log and in-flight counting for tests."""

import select
import socket
import ssl
import threading
import time

from devserver.hostile import MODES
from devserver.replies import HttpError

LOG_ENTRY_LIMIT = 100000           # oldest log entries are dropped past this

STEP_KEYS = {
    "status": int, "body": str, "headers": dict, "location": str, "ignoreRange": bool,
    "closeAfter": int, "noContentLength": bool, "delayMs": int, "bytesPerSecond": int, "hang": bool,
    "hostile": str, "changeFile": bool, "stallMs": int, "noValidators": bool,
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
    for key in ("closeAfter", "delayMs", "stallMs"):
        if step.get(key, 0) < 0:
            raise HttpError(400, "%s: %s must not be negative" % (where, key))
    if "hostile" in step and step["hostile"] not in MODES:
        raise HttpError(400, "%s: hostile must be one of %s" % (where, ", ".join(MODES)))
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
        self.open_connections = 0
        self.max_open_connections = 0
        self._open = {}  # ticket: socket of each connection counted open
        self._next_connection = 0

    def reset(self):
        with self._lock:
            self._rules.clear()
            self._log.clear()
            # Requests still running from before the reset no longer count.
            self._generation += 1
            self.in_flight = 0
            self.max_in_flight = 0
            self.open_connections = 0
            self.max_open_connections = 0
            self._open.clear()

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
        if any(s.get("changeFile") for s in steps + [then or {}]) and not path.startswith("/files/"):
            raise HttpError(400, "changeFile works on /files/ paths only")
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

    def connection_opened(self, sock):
        """Counts a connection that carries a request under test (not only
        /_control/ calls) until connection_closed or until its client closes
        it; returns its ticket."""
        with self._lock:
            self._forget_closed()
            self._next_connection += 1
            ticket = (self._generation, self._next_connection)
            self._open[ticket] = sock
            self.open_connections = len(self._open)
            self.max_open_connections = max(self.max_open_connections, self.open_connections)
            return ticket

    def connection_closed(self, ticket):
        with self._lock:
            self._open.pop(ticket, None)
            self.open_connections = len(self._open)

    def _forget_closed(self):
        """Drops the connections whose client has closed its side, though
        their handler has not noticed yet (it may be sleeping between paced
        pieces): a client that closed one connection and opened the next
        never had both open."""
        for ticket, sock in list(self._open.items()):
            if client_closed(sock):
                del self._open[ticket]
        self.open_connections = len(self._open)

    def snapshot(self):
        with self._lock:
            self._forget_closed()
            return {"requests": list(self._log), "maxInFlight": self.max_in_flight,
                    "inFlight": self.in_flight, "openConnections": self.open_connections,
                    "maxOpenConnections": self.max_open_connections}


def client_closed(sock, seconds=0.0):
    """Waits up to seconds for the client's side to end; True as soon as its
    end arrived (or the socket is gone). A TLS socket cannot be peeked at; it
    counts as open. Bytes from the client (not an end) return False at once."""
    if isinstance(sock, ssl.SSLSocket):
        time.sleep(seconds)
        return False
    try:
        readable, _, _ = select.select([sock], [], [], seconds)
        return bool(readable) and not sock.recv(1, socket.MSG_PEEK)
    except (OSError, ValueError):
        return True
