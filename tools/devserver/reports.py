"""Install-event reports: validation and the reports file."""

import json
import threading

from devserver.replies import HttpError


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
    except (UnicodeDecodeError, ValueError, RecursionError):
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
    try:
        # A "\ud800" escape parses, but its text cannot be written as UTF-8.
        json.dumps(report, ensure_ascii=False).encode("utf-8")
    except UnicodeEncodeError:
        raise HttpError(400, "report holds a lone surrogate escape")
    return report
