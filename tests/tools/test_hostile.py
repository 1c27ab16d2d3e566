"""The hostile fault mode: each bent answer, as a client sees it."""

import socket
import time
import unittest

from server_case import ServerCase, pattern


class Hostile(ServerCase):
    def hostile(self, mode, range_header):
        self.rule("/_bytes/1000", [{"hostile": mode}])
        return self.get("/_bytes/1000", {"Range": range_header})

    def test_ranged_answers(self):
        whole = pattern(1000)
        cases = [
            # mode, asked, Content-Range, body
            ("shortRange", "bytes=300-999", "bytes 300-649/1000", whole[300:650]),
            ("wrongStart", "bytes=300-999", "bytes 0-699/1000", whole[0:700]),
            ("changedTotal", "bytes=300-999", "bytes 300-999/2000", whole[300:]),
            ("hugeTotal", "bytes=0-0", "bytes 0-0/400000000000", whole[0:1]),
        ]
        for mode, asked, content_range, body in cases:
            with self.subTest(mode=mode):
                status, headers, data = self.hostile(mode, asked)
                self.assertEqual(206, status)
                self.assertEqual(content_range, headers["content-range"])
                self.assertEqual(body, data)

    def test_early_close_announces_the_whole_body(self):
        self.rule("/_bytes/1000", [{"hostile": "earlyClose"}])
        reply = self.raw(b"GET /_bytes/1000 HTTP/1.1\r\nHost: x\r\nRange: bytes=0-0\r\n\r\n")
        head, _, body = reply.partition(b"\r\n\r\n")
        self.assertIn(b" 200 ", head.split(b"\r\n")[0])
        self.assertIn(b"Content-Length: 1000", head)
        self.assertEqual(pattern(500), body)

    def test_stall_sends_half_then_holds_the_connection(self):
        self.rule("/_bytes/1000", [{"hostile": "stall"}])
        with socket.create_connection(("127.0.0.1", self.port), timeout=5) as s:
            s.sendall(b"GET /_bytes/1000 HTTP/1.1\r\nHost: x\r\n\r\n")
            received = b""
            s.settimeout(1.0)
            deadline = time.monotonic() + 5
            while time.monotonic() < deadline and not received.endswith(pattern(500)):
                received += s.recv(65536)
            self.assertTrue(received.endswith(b"\r\n\r\n" + pattern(500)))
            with self.assertRaises(socket.timeout):
                s.recv(1)  # neither more bytes nor a close

    def test_retry_modes(self):
        big = pattern(400000)
        cases = [
            # mode, asked, status, Content-Range, body
            ("resumeAs200", "bytes=0-399999", 206, "bytes 0-399999/400000", big[:300000]),
            ("resumeAs200", "bytes=300000-399999", 200, None, big),
            ("trickle", "bytes=1000-399999", 206, "bytes 1000-399999/400000", big[1000:1100]),
            ("trickle", None, 200, None, big[:100]),
        ]
        for mode, asked, status, content_range, body in cases:
            with self.subTest(mode=mode, asked=asked):
                self.rule("/_bytes/400000", [{"hostile": mode}])
                request = "GET /_bytes/400000 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                if asked:
                    request += "Range: %s\r\n" % asked
                head, _, data = self.raw((request + "\r\n").encode()).partition(b"\r\n\r\n")
                self.assertIn(b" %d " % status, head.split(b"\r\n")[0])
                self.assertEqual(content_range is not None, b"Content-Range" in head)
                if content_range:
                    self.assertIn(content_range.encode(), head)
                self.assertEqual(body, data)

    def test_stall_with_stall_ms_sends_the_rest_after_the_silence(self):
        self.rule("/_bytes/1000", [{"hostile": "stall", "stallMs": 600}])
        started = time.monotonic()
        status, _, data = self.get("/_bytes/1000")
        self.assertEqual((200, pattern(1000)), (status, data))
        self.assertGreaterEqual(time.monotonic() - started, 0.5)

    def test_unknown_mode_is_refused(self):
        status, reply = self.post_json("/_control/rule", {"path": "/x", "steps": [{"hostile": "rude"}]})
        self.assertEqual(400, status)
        self.assertIn("hostile", reply["message"])


if __name__ == "__main__":
    unittest.main()
