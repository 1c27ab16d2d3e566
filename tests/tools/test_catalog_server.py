"""Tests of tools/catalog_server.py against a real listener on 127.0.0.1."""

import hashlib
import http.client
import importlib.util
import json
import os
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse

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

    tls = False

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="catalog-server-test-")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.catalog = os.path.join(self.work, "catalog")
        shutil.copytree(FIXTURE, self.catalog)
        self.reports_path = os.path.join(self.work, "reports.jsonl")
        self.servers = server_module.start(self.catalog, port=0, reports_path=self.reports_path, quiet=True)
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


class Ranges(ServerCase):
    def test_byte_ranges_on_generated_resource(self):
        total = 1000
        whole = pattern(total)
        cases = [
            # header, status, Content-Range, first, end (exclusive)
            ("bytes=0-0", 206, "bytes 0-0/1000", 0, 1),
            ("bytes=0-99", 206, "bytes 0-99/1000", 0, 100),
            ("bytes=250-260", 206, "bytes 250-260/1000", 250, 261),
            ("bytes=990-", 206, "bytes 990-999/1000", 990, 1000),
            ("bytes=999-999", 206, "bytes 999-999/1000", 999, 1000),
            ("bytes=-10", 206, "bytes 990-999/1000", 990, 1000),
            ("bytes=-5000", 206, "bytes 0-999/1000", 0, 1000),
            ("bytes=995-2000", 206, "bytes 995-999/1000", 995, 1000),
            ("bytes = 5-6", 206, "bytes 5-6/1000", 5, 7),
            ("bytes=1000-", 416, "bytes */1000", None, None),
            ("bytes=1000-1005", 416, "bytes */1000", None, None),
            ("bytes=-0", 416, "bytes */1000", None, None),
            ("bytes=5-3", 200, None, 0, 1000),
            ("bytes=0-1,5-6", 200, None, 0, 1000),
            ("items=0-1", 200, None, 0, 1000),
            ("bytes=abc", 200, None, 0, 1000),
            ("bytes=-", 200, None, 0, 1000),
            (None, 200, None, 0, 1000),
        ]
        for header, status, content_range, first, end in cases:
            with self.subTest(range=header):
                got_status, headers, body = self.get("/_bytes/1000", {"Range": header} if header else None)
                self.assertEqual(status, got_status)
                self.assertEqual(content_range, headers.get("content-range"))
                self.assertEqual(str(len(body)), headers.get("content-length"))
                if first is not None:
                    self.assertEqual(whole[first:end], body)

    def test_empty_resource_cannot_satisfy_any_range(self):
        status, headers, body = self.get("/_bytes/0", {"Range": "bytes=0-0"})
        self.assertEqual(416, status)
        self.assertEqual("bytes */0", headers["content-range"])
        status, headers, body = self.get("/_bytes/0")
        self.assertEqual((200, b""), (status, body))

    def test_pattern_crosses_internal_block_boundaries(self):
        n = 200000
        status, _, body = self.get("/_bytes/%d" % n)
        self.assertEqual(200, status)
        self.assertEqual(pattern(n), body)
        status, _, body = self.get("/_bytes/%d" % n, {"Range": "bytes=65500-131100"})
        self.assertEqual(206, status)
        self.assertEqual(pattern(n)[65500:131101], body)

    def test_ranges_on_package_and_icon_files(self):
        for folder, name in (("files", "editor-setup.exe"), ("icons", "player.png")):
            data = self.file_bytes(folder, name)
            with self.subTest(file=name):
                status, headers, body = self.get("/%s/%s" % (folder, name), {"Range": "bytes=10-19"})
                self.assertEqual(206, status)
                self.assertEqual("bytes 10-19/%d" % len(data), headers["content-range"])
                self.assertEqual(data[10:20], body)
                status, headers, body = self.get("/%s/%s" % (folder, name), {"Range": "bytes=%d-" % len(data)})
                self.assertEqual(416, status)
                self.assertEqual("bytes */%d" % len(data), headers["content-range"])
                status, _, body = self.get("/%s/%s" % (folder, name))
                self.assertEqual((200, data), (status, body))

    def test_icon_content_type_follows_extension(self):
        status, headers, _ = self.get("/icons/editor.png")
        self.assertEqual(200, status)
        self.assertEqual("image/png", headers["content-type"])

    def test_head_sends_length_without_body(self):
        status, headers, body = self.request("HEAD", "/files/player.zip", headers={"Range": "bytes=0-0"})
        self.assertEqual(206, status)
        self.assertEqual("1", headers["content-length"])
        self.assertEqual(b"", body)


class Traversal(ServerCase):
    ATTEMPTS = [
        "/files/../catalog.json",
        "/files/%2e%2e/catalog.json",
        "/files/%2e%2e%2fcatalog.json",
        "/files/%2E%2E%2Fcatalog.json",
        "/files/..%2fcatalog.json",
        "/files/..%5ccatalog.json",
        "/files/..\\catalog.json",
        "/files/%2e%2e",
        "/files/..",
        "/files/.",
        "/files/",
        "/files/%2fetc%2fpasswd",
        "/files//etc/passwd",
        "/files/%00",
        "/files/editor-setup.exe%00.png",
        "/files/C:%5cWindows%5cwin.ini",
        "/icons/../catalog.json",
        "/icons/%2e%2e%2fcatalog.json",
        "/icons/..%2f..%2fetc%2fpasswd",
        "/files/%ff%fe",
    ]

    def test_no_request_reads_outside_the_folder(self):
        with open(os.path.join(self.catalog, "catalog.json"), "rb") as f:
            secret = f.read()[:40]
        for path in self.ATTEMPTS:
            with self.subTest(path=path):
                answer = self.raw(("GET %s HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n" % path).encode("latin-1"))
                status = int(answer.split(b" ", 2)[1])
                self.assertTrue(400 <= status < 500, answer[:200])
                self.assertNotIn(secret, answer)
                self.assertNotIn(b"root:", answer)

    def test_nul_byte_in_raw_target_is_refused(self):
        answer = self.raw(b"GET /files/editor-setup.exe\x00/../../catalog.json HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.1 4"), answer[:100])

    def test_symlink_leading_out_is_not_followed(self):
        outside = os.path.join(self.work, "outside.txt")
        with open(outside, "wb") as f:
            f.write(b"private data")
        os.symlink(outside, os.path.join(self.catalog, "files", "link.bin"))
        status, _, body = self.get("/files/link.bin")
        self.assertTrue(400 <= status < 500)
        self.assertNotIn(b"private data", body)

    def test_control_upload_cannot_write_outside(self):
        before = self.file_bytes("", "catalog.json")
        for name in ("..%2fcatalog.json", "%2e%2e%2fcatalog.json", "..%5ccatalog.json", ".hidden"):
            with self.subTest(name=name):
                status, reply = self.post_json("/_control/files/" + name, b"overwritten")
                self.assertEqual(400, status)
                self.assertIn("message", reply)
        self.assertEqual(before, self.file_bytes("", "catalog.json"))


class Catalog(ServerCase):
    def apps_by_id(self):
        status, doc = self.get_json("/api/client/bootstrap")
        self.assertEqual(200, status)
        self.assertEqual(0, doc["code"])
        return {a["id"]: a for a in doc["data"]["apps"]}

    def test_bootstrap_computes_size_and_digest_from_files(self):
        apps = self.apps_by_id()
        data = self.file_bytes("files", "editor-setup.exe")
        self.assertEqual(len(data), apps[1]["packageSize"])
        self.assertEqual(hashlib.md5(data).hexdigest(), apps[1]["md5"])
        self.assertIs(True, apps[1]["hasPackage"])
        self.assertEqual("/icons/editor.png", apps[1]["icon"])

    def test_apps_without_a_file_have_no_package(self):
        apps = self.apps_by_id()
        for app_id in (2, 4):  # no file named; file named but missing
            with self.subTest(app=app_id):
                self.assertIs(False, apps[app_id]["hasPackage"])
                self.assertEqual(0, apps[app_id]["packageSize"])
                self.assertEqual("", apps[app_id]["md5"])

    def test_single_category_key_passes_through(self):
        apps = self.apps_by_id()
        self.assertEqual("media", apps[3]["categoryId"])
        self.assertNotIn("categoryIds", apps[3])

    def test_categories_keep_order_and_chinese_names(self):
        status, doc = self.get_json("/api/client/bootstrap")
        names = [c["name"] for c in doc["data"]["categories"]]
        self.assertEqual(["实用工具", "影音娱乐", "办公学习"], names)

    def test_replaced_file_changes_digest(self):
        status, _ = self.post_json("/_control/files/editor-setup.exe", b"new contents, other length")
        self.assertEqual(200, status)
        app = self.apps_by_id()[1]
        self.assertEqual(hashlib.md5(b"new contents, other length").hexdigest(), app["md5"])
        self.assertEqual(len(b"new contents, other length"), app["packageSize"])

    def test_catalog_values_win_over_computed_ones(self):
        path = os.path.join(self.catalog, "catalog.json")
        with open(path, encoding="utf-8") as f:
            doc = json.load(f)
        doc["apps"][3].update({"hasPackage": True, "packageSize": 77, "md5": "abc"})
        with open(path, "w", encoding="utf-8") as f:
            json.dump(doc, f, ensure_ascii=False)
        os.utime(path, ns=(time.time_ns() + 10**9, time.time_ns() + 10**9))
        app = self.apps_by_id()[4]
        self.assertEqual((True, 77, "abc"), (app["hasPackage"], app["packageSize"], app["md5"]))
        # The catalog claims a package whose file is gone: the CDN address is stale.
        status, headers, _ = self.get("/api/client/download/4?channel=default")
        self.assertEqual(302, status)
        status, _, _ = self.get(urllib.parse.urlsplit(headers["location"]).path)
        self.assertEqual(404, status)

    def test_large_catalog_bootstraps_from_cached_digests(self):
        files = os.path.join(self.catalog, "files")
        apps = []
        for i in range(2000):
            name = "pkg%04d.bin" % i
            with open(os.path.join(files, name), "wb") as f:
                f.write(b"%d" % i)
            apps.append({"id": 1000 + i, "name": "App %d" % i, "file": name})
        with open(os.path.join(self.catalog, "catalog.json"), "w") as f:
            json.dump({"categories": [], "apps": apps}, f)
        first = self.apps_by_id()
        self.assertEqual(hashlib.md5(b"1999").hexdigest(), first[2999]["md5"])
        self.assertEqual(2000, len(first))

    def test_search_matches_name_and_description_in_any_case(self):
        cases = [
            ("播放", [3]),              # Chinese, in name and description
            ("MEDIA PLAYER", [3]),      # ASCII case folded
            ("text editor", [1]),       # description only
            ("foo", [1]),               # name only
            ("", [1, 2, 3, 4, 5]),
            ("nothing like this", []),
        ]
        for text, ids in cases:
            with self.subTest(q=text):
                status, doc = self.get_json("/api/client/apps?q=" + urllib.parse.quote(text, safe=""))
                self.assertEqual(200, status)
                self.assertEqual(0, doc["code"])
                self.assertEqual(ids, [a["id"] for a in doc["data"]])

    def test_search_results_carry_computed_fields(self):
        status, doc = self.get_json("/api/client/apps?q=%E6%98%9F%E5%85%89")
        self.assertEqual(hashlib.md5(self.file_bytes("files", "player.zip")).hexdigest(), doc["data"][0]["md5"])

    def test_search_query_that_is_not_utf8_is_refused(self):
        status, doc = self.get_json("/api/client/apps?q=%E6%98")
        self.assertEqual(400, status)
        self.assertIn("UTF-8", doc["message"])

    def test_download_redirects_to_file_url_of_request_host(self):
        status, headers, _ = self.get("/api/client/download/1?channel=default")
        self.assertEqual(302, status)
        self.assertEqual("http://127.0.0.1:%d/files/editor-setup.exe" % self.port, headers["location"])
        status, headers, _ = self.get("/api/client/download/3?channel=a%20b", {"Host": "cdn.example:8081"})
        self.assertEqual("http://cdn.example:8081/files/player.zip", headers["location"])

    def test_download_refusals(self):
        cases = [("/api/client/download/999?channel=x", 404), ("/api/client/download/2?channel=x", 404),
                 ("/api/client/download/4?channel=x", 404), ("/api/client/download/abc?channel=x", 400),
                 ("/api/client/download/+1?channel=x", 400), ("/api/client/download/?channel=x", 400)]
        for path, expected in cases:
            with self.subTest(path=path):
                status, doc = self.get_json(path)
                self.assertEqual(expected, status)
                self.assertEqual(expected, doc["code"])
                self.assertTrue(doc["message"])

    def test_unknown_path_and_wrong_method(self):
        status, doc = self.get_json("/api/client/nothing")
        self.assertEqual((404, 404), (status, doc["code"]))
        status, doc = self.post_json("/files/player.zip", b"x")
        self.assertEqual(405, status)
        self.assertIn("POST", doc["message"])

    def test_bad_content_length_is_refused(self):
        answer = self.raw(b"POST /api/client/report HTTP/1.1\r\nHost: x\r\nContent-Length: ten\r\n\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.1 400"), answer[:80])


class Reports(ServerCase):
    def test_bad_reports_are_refused_with_a_message(self):
        cases = [
            (b"not json", "valid JSON"),
            (b"\xff\xfe", "valid JSON"),
            (b"[1,2]", "object"),
            (b'{"appId":"1","event":"install","channel":"default"}', "appId"),
            (b'{"appId":true,"event":"install","channel":"default"}', "appId"),
            (b'{"appId":1.5,"event":"install","channel":"default"}', "appId"),
            (b'{"appId":4294967296,"event":"install","channel":"default"}', "appId"),
            (b'{"event":"install","channel":"default"}', "appId"),
            (b'{"appId":1,"channel":"default"}', "event"),
            (b'{"appId":1,"event":3,"channel":"default"}', "event"),
            (b'{"appId":1,"event":"install"}', "channel"),
            (b'{"appId":1,"event":"install","channel":null}', "channel"),
        ]
        for body, word in cases:
            with self.subTest(body=body):
                status, doc = self.post_json("/api/client/report", body)
                self.assertEqual(400, status)
                self.assertEqual(400, doc["code"])
                self.assertIn(word, doc["message"])
        self.assertFalse(os.path.exists(self.reports_path))

    def test_good_report_is_appended_as_one_line(self):
        body = '{"appId":42,"event":"install","channel":"渠道 \\"q\\""}'.encode("utf-8")
        status, doc = self.post_json("/api/client/report", body)
        self.assertEqual((200, {"code": 0}), (status, doc))
        with open(self.reports_path, encoding="utf-8") as f:
            lines = f.read().splitlines()
        self.assertEqual([{"appId": 42, "event": "install", "channel": '渠道 "q"'}], [json.loads(l) for l in lines])
        status, doc = self.get_json("/_control/reports")
        self.assertEqual([{"appId": 42, "event": "install", "channel": '渠道 "q"'}], doc["reports"])

    def test_concurrent_reports_stay_whole_lines(self):
        def send(i):
            self.post_json("/api/client/report", {"appId": i, "event": "install", "channel": "c" * 500})

        threads = [threading.Thread(target=send, args=(i,)) for i in range(16)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(10)
        status, doc = self.get_json("/_control/reports")
        self.assertEqual(list(range(16)), sorted(r["appId"] for r in doc["reports"]))


class FaultRules(ServerCase):
    def test_steps_are_consumed_in_order_then_normal(self):
        self.rule("/_bytes/10", [{"status": 503, "body": "busy"}, {"status": 500}])
        statuses = [self.get("/_bytes/10")[0] for _ in range(4)]
        self.assertEqual([503, 500, 200, 200], statuses)

    def test_then_step_answers_after_the_steps(self):
        self.rule("/_bytes/10", [{"status": 200, "body": "first"}], then={"status": 410, "body": "gone"})
        answers = [self.get("/_bytes/10")[::2] for _ in range(3)]
        self.assertEqual([(200, b"first"), (410, b"gone"), (410, b"gone")], answers)

    def test_rule_path_ignores_query(self):
        self.rule("/api/client/download/1", [{"status": 403}])
        self.assertEqual(403, self.get("/api/client/download/1?channel=x")[0])
        self.assertEqual(302, self.get("/api/client/download/1?channel=x")[0])

    def test_literal_answer_has_body_headers_and_length(self):
        self.rule("/x", [{"status": 404, "body": "无此文件", "headers": {"X-Test": "1", "Content-Type": "text/html"}}])
        status, headers, body = self.get("/x")
        self.assertEqual(404, status)
        self.assertEqual("无此文件".encode("utf-8"), body)
        self.assertEqual(str(len(body)), headers["content-length"])
        self.assertEqual("1", headers["x-test"])
        self.assertEqual("text/html", headers["content-type"])

    def test_headers_alone_decorate_the_normal_answer(self):
        self.rule("/_bytes/5", [{"headers": {"Content-Range": "bytes 0-4/*"}}])
        status, headers, body = self.get("/_bytes/5")
        self.assertEqual((200, pattern(5), "bytes 0-4/*"), (status, body, headers["content-range"]))

    def test_imposed_content_length_is_sent_and_connection_closed(self):
        self.rule("/short", [{"status": 200, "body": "short", "headers": {"Content-Length": "100"}}])
        answer = self.raw(b"GET /short HTTP/1.1\r\nHost: x\r\n\r\n")
        head, _, body = answer.partition(b"\r\n\r\n")
        self.assertEqual(1, head.lower().count(b"content-length:"))
        self.assertIn(b"Content-Length: 100", head)
        self.assertEqual(b"short", body)

    def test_location_without_status_redirects(self):
        self.rule("/a", [{"location": "/b"}, {"location": "http://127.0.0.1:1/c", "status": 307}])
        status, headers, _ = self.get("/a")
        self.assertEqual((302, "/b"), (status, headers["location"]))
        status, headers, _ = self.get("/a")
        self.assertEqual((307, "http://127.0.0.1:1/c"), (status, headers["location"]))

    def test_ignore_range_serves_whole_body(self):
        self.rule("/_bytes/300", [{"ignoreRange": True}])
        status, headers, body = self.get("/_bytes/300", {"Range": "bytes=0-0"})
        self.assertEqual((200, pattern(300)), (status, body))
        self.assertNotIn("content-range", headers)
        self.assertEqual(206, self.get("/_bytes/300", {"Range": "bytes=0-0"})[0])

    def test_close_after_cuts_the_body_and_the_connection(self):
        self.rule("/files/editor-setup.exe", [{"closeAfter": 100}])
        answer = self.raw(b"GET /files/editor-setup.exe HTTP/1.1\r\nHost: x\r\n\r\n")
        head, _, body = answer.partition(b"\r\n\r\n")
        self.assertIn(b"Content-Length: 4096", head)
        self.assertEqual(self.file_bytes("files", "editor-setup.exe")[:100], body)

    def test_close_after_zero_sends_only_headers(self):
        self.rule("/_bytes/50", [{"closeAfter": 0}])
        answer = self.raw(b"GET /_bytes/50 HTTP/1.1\r\nHost: x\r\n\r\n")
        self.assertTrue(answer.endswith(b"\r\n\r\n"))
        self.assertIn(b"Content-Length: 50", answer)

    def test_close_after_applies_to_ranged_answers(self):
        self.rule("/_bytes/1000", [{"closeAfter": 7}])
        answer = self.raw(b"GET /_bytes/1000 HTTP/1.1\r\nHost: x\r\nRange: bytes=500-\r\n\r\n")
        head, _, body = answer.partition(b"\r\n\r\n")
        self.assertIn(b"Content-Range: bytes 500-999/1000", head)
        self.assertEqual(pattern(1000)[500:507], body)

    def test_no_content_length_ends_body_at_close(self):
        self.rule("/_bytes/70000", [{"noContentLength": True}])
        answer = self.raw(b"GET /_bytes/70000 HTTP/1.1\r\nHost: x\r\n\r\n")
        head, _, body = answer.partition(b"\r\n\r\n")
        self.assertNotIn(b"content-length", head.lower())
        self.assertEqual(pattern(70000), body)

    def test_delay_comes_before_the_answer(self):
        self.rule("/_bytes/1", [{"delayMs": 300}])
        started = time.monotonic()
        self.assertEqual(200, self.get("/_bytes/1")[0])
        self.assertGreaterEqual(time.monotonic() - started, 0.3)

    def test_throttle_limits_the_rate(self):
        self.rule("/_bytes/2000", [{"bytesPerSecond": 4000}])
        started = time.monotonic()
        status, _, body = self.get("/_bytes/2000")
        self.assertEqual((200, pattern(2000)), (status, body))
        self.assertGreaterEqual(time.monotonic() - started, 0.45)

    def hang_until_client_leaves(self, path):
        with socket.create_connection(("127.0.0.1", self.port), timeout=0.5) as s:
            s.sendall(("GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % path).encode())
            with self.assertRaises(socket.timeout):
                s.recv(1)
            self.assertEqual(1, self.log()["inFlight"])
        self.wait_for_in_flight(0)

    def test_hang_ends_when_client_goes_away(self):
        self.rule("/api/client/bootstrap", [{"hang": True}])
        self.hang_until_client_leaves("/api/client/bootstrap")
        self.assertEqual(200, self.get("/api/client/bootstrap")[0])

    def test_hang_path_never_answers(self):
        self.hang_until_client_leaves("/_hang")

    def wait_for_in_flight(self, count):
        for _ in range(100):  # bounded: about 10 s at worst
            log = self.log()
            if log["inFlight"] == count:
                return log
            time.sleep(0.1)
        self.fail("inFlight never reached %d: %r" % (count, self.log()["inFlight"]))

    def test_max_in_flight_counts_overlapping_requests(self):
        self.rule("/_bytes/10", [], then={"hang": True})
        clients = [socket.create_connection(("127.0.0.1", self.port), timeout=5) for _ in range(5)]
        try:
            for c in clients:
                c.sendall(b"GET /_bytes/10 HTTP/1.1\r\nHost: x\r\n\r\n")
            self.wait_for_in_flight(5)
        finally:
            for c in clients:
                c.close()
        log = self.wait_for_in_flight(0)
        self.assertEqual(5, log["maxInFlight"])
        # Requests one after the other never overlap.
        self.post_json("/_control/reset", {})
        for _ in range(3):
            self.get("/_bytes/3")
        self.assertEqual((1, 0), (self.log()["maxInFlight"], self.log()["inFlight"]))
        self.post_json("/_control/reset", {})
        self.assertEqual({"requests": [], "maxInFlight": 0, "inFlight": 0}, self.log())

    def test_requests_running_across_a_reset_do_not_count_after_it(self):
        self.rule("/_bytes/10", [{"hang": True}])
        with socket.create_connection(("127.0.0.1", self.port), timeout=5) as c:
            c.sendall(b"GET /_bytes/10 HTTP/1.1\r\nHost: x\r\n\r\n")
            self.wait_for_in_flight(1)
            self.post_json("/_control/reset", {})
        time.sleep(0.5)  # let the server notice the close
        self.assertEqual((0, 0), (self.log()["maxInFlight"], self.log()["inFlight"]))

    def test_log_records_each_request_but_not_control_calls(self):
        self.request("POST", "/_echo?a=1", body=b"hello", headers={"Range": "bytes=3-"})
        self.get("/_bytes/5", {"Range": "bytes=0-0"})
        requests = self.log()["requests"]
        self.assertEqual([("POST", "/_echo", "a=1", "bytes=3-", "hello"), ("GET", "/_bytes/5", "", "bytes=0-0", "")],
                         [(r["method"], r["path"], r["query"], r["range"], r["body"]) for r in requests])

    def test_reset_forgets_rules(self):
        self.rule("/_bytes/1", [{"status": 500}])
        self.post_json("/_control/reset", {})
        self.assertEqual(200, self.get("/_bytes/1")[0])

    def test_bad_rules_are_refused(self):
        cases = [
            b"nope",
            {"steps": []},
            {"path": "x", "steps": []},
            {"path": "/a", "steps": {}},
            {"path": "/a", "steps": [{"stauts": 500}]},
            {"path": "/a", "steps": [{"status": "500"}]},
            {"path": "/a", "steps": [{"closeAfter": True}]},
            {"path": "/a", "steps": [{"closeAfter": -1}]},
            {"path": "/a", "steps": [{"bytesPerSecond": 0}]},
            {"path": "/a", "steps": [{"headers": {"X": "a\r\nb"}}]},
            {"path": "/a", "steps": [], "then": 5},
        ]
        for rule in cases:
            with self.subTest(rule=rule):
                status, doc = self.post_json("/_control/rule", rule if isinstance(rule, bytes) else json.dumps(rule))
                self.assertEqual(400, status)
                self.assertTrue(doc["message"])

    def test_uploaded_files_and_icons_are_served(self):
        payload = bytes(range(256)) * 40
        self.assertEqual(200, self.post_json("/_control/files/new%20file.bin", payload)[0])
        self.assertEqual(200, self.post_json("/_control/icons/new.png", b"\x89PNG")[0])
        self.assertEqual((200, payload), self.get("/files/new%20file.bin")[::2])
        self.assertEqual((200, b"\x89PNG"), self.get("/icons/new.png")[::2])


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
    def test_prints_ports_and_writes_port_file(self):
        work = tempfile.mkdtemp(prefix="catalog-server-cli-")
        self.addCleanup(shutil.rmtree, work, True)
        port_file = os.path.join(work, "ports.json")
        proc = subprocess.Popen([sys.executable, SCRIPT, "--port", "0", "--catalog", FIXTURE, "--quiet",
                                 "--reports", os.path.join(work, "r.jsonl"), "--port-file", port_file],
                                stdout=subprocess.PIPE, text=True)
        self.addCleanup(proc.wait, 10)
        self.addCleanup(proc.kill)
        line = proc.stdout.readline().strip()
        self.assertRegex(line, r"^http port \d+$")
        port = int(line.split()[-1])
        for _ in range(50):
            if os.path.exists(port_file):
                break
            time.sleep(0.1)
        with open(port_file) as f:
            self.assertEqual({"http": port, "https": None}, json.load(f))
        conn = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
        conn.request("GET", "/api/client/bootstrap")
        self.assertEqual(200, conn.getresponse().status)
        conn.close()
        proc.stdout.close()


if __name__ == "__main__":
    unittest.main()
