"""Starts the development catalog server in-process on a fresh copy of the
test catalog, and small helpers the server tests share."""

import http.client
import importlib.util
import json
import os
import shutil
import socket
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SCRIPT = os.path.join(ROOT, "tools", "catalog_server.py")
FIXTURE = os.path.join(ROOT, "tests", "fixtures", "catalog")

_spec = importlib.util.spec_from_file_location("catalog_server", SCRIPT)
server_module = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(server_module)


def pattern(n):
    return bytes(i % 251 for i in range(n))


class ServerCase(unittest.TestCase):
    """Each test gets its own server on a fresh copy of the test catalog."""

    server_options = {}  # extra keyword arguments of start()

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="catalog-server-test-")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.catalog = os.path.join(self.work, "catalog")
        shutil.copytree(FIXTURE, self.catalog)
        self.reports_path = os.path.join(self.work, "reports.jsonl")
        self.servers = server_module.start(self.catalog, port=0, reports_path=self.reports_path, quiet=True,
                                           **self.server_options)
        for s in self.servers:
            self.addCleanup(s.server_close)
            self.addCleanup(s.shutdown)
        self.port = self.servers[0].server_address[1]

    def request(self, method, path, body=None, headers=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            conn.request(method, path, body=body, headers=headers or {})
            resp = conn.getresponse()
            data = resp.read()
            return resp.status, {k.lower(): v for k, v in resp.getheaders()}, data
        finally:
            conn.close()

    def get(self, path, headers=None):
        return self.request("GET", path, headers=headers)

    def get_json(self, path):
        status, _, data = self.get(path)
        return status, json.loads(data.decode("utf-8"))

    def post_json(self, path, value):
        body = value if isinstance(value, (bytes, str)) else json.dumps(value)
        status, _, data = self.request("POST", path, body=body)
        return status, json.loads(data.decode("utf-8"))

    def rule(self, path, steps, then=None):
        rule = {"path": path, "steps": steps}
        if then is not None:
            rule["then"] = then
        status, reply = self.post_json("/_control/rule", rule)
        self.assertEqual(200, status, reply)

    def raw(self, request_bytes, timeout=5):
        """Sends raw bytes and returns everything until the server closes."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=timeout) as s:
            s.sendall(request_bytes)
            chunks = []
            while True:
                block = s.recv(65536)
                if not block:
                    return b"".join(chunks)
                chunks.append(block)

    def log(self):
        return self.get_json("/_control/log")[1]

    def file_bytes(self, folder, name):
        with open(os.path.join(self.catalog, folder, name), "rb") as f:
            return f.read()
