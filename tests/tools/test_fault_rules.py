"""Fault injection: per-path steps and every step key, the log, in-flight counting."""

import json
import http.client
import socket
import time
import unittest

from server_case import ServerCase, pattern


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
        self.assertEqual({"requests": [], "maxInFlight": 0, "inFlight": 0, "openConnections": 0,
                          "maxOpenConnections": 0}, self.log())

    def test_open_connections_count_until_the_client_closes(self):
        # Only connections that carried a request under test count; a kept-alive
        # connection counts until the client closes it, not until its answer ends.
        self.get("/_control/log")
        clients = [http.client.HTTPConnection("127.0.0.1", self.port, timeout=5) for _ in range(3)]
        for c in clients:
            c.request("GET", "/_bytes/3")
            c.getresponse().read()
        self.assertEqual((3, 3), (self.log()["openConnections"], self.log()["maxOpenConnections"]))
        for c in clients:
            c.close()
        for _ in range(100):  # bounded: about 10 s at worst
            if self.log()["openConnections"] == 0:
                break
            time.sleep(0.1)
        self.assertEqual((0, 3), (self.log()["openConnections"], self.log()["maxOpenConnections"]))

    def test_complete_answer_is_no_longer_in_flight(self):
        # A client that has its whole answer may start its next request on a
        # new connection at once. Slow down the server's bookkeeping to widen
        # the window in which a late count would show.
        faults = self.servers[0].RequestHandlerClass.faults
        leave = faults.leave

        def slow_leave(ticket):
            time.sleep(0.3)
            leave(ticket)

        faults.leave = slow_leave
        for path, headers in (("/_bytes/3", None), ("/_bytes/0", None), ("/_bytes/10", {"Range": "bytes=0-0"})):
            with self.subTest(path=path):
                self.get(path, headers)
                self.assertEqual(0, self.log()["inFlight"])
        status, _, _ = self.request("HEAD", "/_bytes/3")
        self.assertEqual((200, 0), (status, self.log()["inFlight"]))

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


if __name__ == "__main__":
    unittest.main()
