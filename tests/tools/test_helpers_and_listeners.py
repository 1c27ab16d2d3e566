"""Test helpers, catalog-only mode, the TLS listener and the command line."""

import http.client
import json
import os
import shutil
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

from server_case import FIXTURE, SCRIPT, ServerCase, pattern, server_module


class Helpers(ServerCase):
    def test_echo_returns_the_request(self):
        status, _, data = self.request("PUT", "/_echo?x=%20y", body="体".encode("utf-8"),
                                       headers={"X-Thing": "v"})
        echo = json.loads(data)
        self.assertEqual(("PUT", "/_echo", "x=%20y", "体"), (echo["method"], echo["path"], echo["query"], echo["body"]))
        self.assertEqual("v", echo["headers"]["X-Thing"])

    def test_chain_counts_down_to_end(self):
        status, headers, _ = self.get("/_chain/2")
        self.assertEqual((302, "/_chain/1"), (status, headers["location"]))
        status, headers, _ = self.get("/_chain/2?abs=1")
        self.assertEqual("http://127.0.0.1:%d/_chain/1?abs=1" % self.port, headers["location"])
        self.assertEqual((200, b"end"), self.get("/_chain/0")[::2])

    def test_png_declares_its_size_and_inflates_to_black_rows(self):
        status, headers, data = self.get("/_png/20000x20000")
        self.assertEqual((200, "image/png"), (status, headers["content-type"]))
        self.assertLess(len(data), 2 * 1024 * 1024)
        self.assertEqual((b"\x89PNG\r\n\x1a\nIHDR", 20000, 20000), (data[:8] + data[12:16], *struct.unpack(">II", data[16:24])))
        # Large enough that one compressed run of rows is repeated.
        status, _, png = self.get("/_png/2000x2000")
        length = struct.unpack(">I", png[33:37])[0]
        self.assertEqual(bytes(2000 * (1 + 3 * 2000)), zlib.decompress(png[41:41 + length]))
        for bad in ("/_png/0x5", "/_png/5x65536", "/_png/5", "/_png/axb"):
            self.assertEqual(400, self.get(bad)[0], bad)

    def test_loop_points_at_itself(self):
        status, headers, _ = self.get("/_loop?k=v")
        self.assertEqual((301, "http://127.0.0.1:%d/_loop?k=v" % self.port), (status, headers["location"]))

    def test_keep_alive_serves_several_requests_on_one_connection(self):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=5)
        try:
            for n in (3, 4, 5):
                conn.request("GET", "/_bytes/%d" % n)
                self.assertEqual(pattern(n), conn.getresponse().read())
        finally:
            conn.close()


class CatalogOnly(unittest.TestCase):
    def test_without_test_interface_only_the_catalog_answers(self):
        work = tempfile.mkdtemp(prefix="catalog-server-plain-")
        self.addCleanup(shutil.rmtree, work, True)
        servers = server_module.start(FIXTURE, port=0, reports_path=os.path.join(work, "r.jsonl"),
                                      quiet=True, testing=False)
        for s in servers:
            self.addCleanup(s.server_close)
            self.addCleanup(s.shutdown)
        port = servers[0].server_address[1]

        def status_of(method, path, body=None):
            conn = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
            try:
                conn.request(method, path, body=body)
                resp = conn.getresponse()
                resp.read()
                return resp.status
            finally:
                conn.close()

        self.assertEqual(200, status_of("GET", "/api/client/bootstrap"))
        self.assertEqual(200, status_of("GET", "/files/player.zip"))
        for method, path in (("GET", "/_control/log"), ("POST", "/_control/reset"), ("GET", "/_bytes/5"),
                             ("GET", "/_hang"), ("GET", "/_echo"), ("POST", "/_control/files/player.zip")):
            with self.subTest(path=path):
                self.assertEqual(404, status_of(method, path, b"x" if method == "POST" else None))
        with open(os.path.join(FIXTURE, "files", "player.zip"), "rb") as f:
            self.assertTrue(f.read().startswith(b"PK"))


@unittest.skipUnless(shutil.which("openssl"), "openssl is needed to make a test certificate")
class Tls(unittest.TestCase):
    def test_https_listener_serves_the_same_catalog(self):
        work = tempfile.mkdtemp(prefix="catalog-server-tls-")
        self.addCleanup(shutil.rmtree, work, True)
        crt, key = os.path.join(work, "s.crt"), os.path.join(work, "s.key")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", crt,
                        "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"], check=True, capture_output=True, timeout=60)
        servers = server_module.start(FIXTURE, port=0, reports_path=os.path.join(work, "r.jsonl"),
                                      tls_port=0, tls_cert=crt, tls_key=key, quiet=True)
        for s in servers:
            self.addCleanup(s.server_close)
            self.addCleanup(s.shutdown)
        port = servers[1].server_address[1]
        context = ssl.create_default_context(cafile=crt)
        conn = http.client.HTTPSConnection("127.0.0.1", port, timeout=10, context=context)
        try:
            conn.request("GET", "/api/client/download/3?channel=x")
            resp = conn.getresponse()
            resp.read()
            self.assertEqual(302, resp.status)
            self.assertEqual("https://127.0.0.1:%d/files/player.zip" % port, resp.getheader("Location"))
            conn.request("GET", "/_bytes/20", headers={"Range": "bytes=-4"})
            resp = conn.getresponse()
            self.assertEqual((206, pattern(20)[16:]), (resp.status, resp.read()))
        finally:
            conn.close()
        # A client that refuses the certificate leaves the listener working.
        with self.assertRaises(ssl.SSLError):
            with socket.create_connection(("127.0.0.1", port), timeout=5) as raw:
                ssl.create_default_context().wrap_socket(raw, server_hostname="127.0.0.1")
        conn = http.client.HTTPSConnection("127.0.0.1", port, timeout=5, context=context)
        try:
            conn.request("GET", "/_bytes/1")
            self.assertEqual(200, conn.getresponse().status)
        finally:
            conn.close()


class CommandLine(unittest.TestCase):
    def start(self, *extra):
        self.work = tempfile.mkdtemp(prefix="catalog-server-cli-")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.folder = os.path.join(self.work, "catalog")
        shutil.copytree(FIXTURE, self.folder)
        self.port_file = os.path.join(self.work, "ports.json")
        proc = subprocess.Popen([sys.executable, SCRIPT, "--port", "0", "--catalog", self.folder, "--quiet",
                                 "--port-file", self.port_file] + list(extra),
                                stdout=subprocess.PIPE, text=True)
        self.addCleanup(proc.stdout.close)
        self.addCleanup(proc.wait, 10)
        self.addCleanup(proc.kill)
        return proc

    def wait_for(self, path):
        for _ in range(50):  # bounded: 5 s
            if os.path.exists(path):
                return True
            time.sleep(0.1)
        return False

    def test_prints_ports_writes_port_file_and_keeps_state_in_the_folder(self):
        proc = self.start()
        line = proc.stdout.readline().strip()
        self.assertRegex(line, r"^http port \d+$")
        port = int(line.split()[-1])
        self.assertTrue(self.wait_for(self.port_file))
        with open(self.port_file) as f:
            self.assertEqual({"http": port, "https": None}, json.load(f))
        conn = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
        try:
            conn.request("GET", "/api/client/bootstrap")
            self.assertEqual(200, conn.getresponse().status)
        finally:
            conn.close()
        # Defaults: reports and the digest store live in the catalog folder.
        conn = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
        try:
            conn.request("POST", "/api/client/report", body=b'{"appId":1,"event":"install","channel":"c"}')
            self.assertEqual(200, conn.getresponse().status)
        finally:
            conn.close()
        self.assertTrue(os.path.exists(os.path.join(self.folder, "reports.jsonl")))
        self.assertTrue(self.wait_for(os.path.join(self.folder, ".digests.json")))

    def test_tls_port_without_certificate_is_refused(self):
        proc = subprocess.run([sys.executable, SCRIPT, "--port", "0", "--catalog", FIXTURE, "--tls-port", "0"],
                              capture_output=True, text=True, timeout=20)
        self.assertEqual(2, proc.returncode)
        self.assertIn("--tls-cert", proc.stderr)


if __name__ == "__main__":
    unittest.main()
