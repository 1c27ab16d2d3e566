"""The demo option that paces package bodies, so progress and speed show."""

import contextlib
import io
import time
import unittest

from server_case import ServerCase, server_module


class Throttle(ServerCase):
    server_options = {"throttle": 4000}

    def test_package_bodies_are_paced(self):
        expected = self.file_bytes("files", "player.zip")  # 2048 bytes: about half a second
        started = time.monotonic()
        status, _, body = self.get("/files/player.zip")
        self.assertEqual((200, expected), (status, body))
        self.assertGreaterEqual(time.monotonic() - started, 0.45)

    def test_a_resumed_range_is_paced_too(self):
        started = time.monotonic()
        status, _, body = self.get("/files/player.zip", {"Range": "bytes=48-"})
        self.assertEqual((206, self.file_bytes("files", "player.zip")[48:]), (status, body))
        self.assertGreaterEqual(time.monotonic() - started, 0.45)

    def test_a_fault_rule_rate_wins(self):
        self.rule("/files/player.zip", [{"bytesPerSecond": 2000}])
        started = time.monotonic()
        self.assertEqual(200, self.get("/files/player.zip")[0])
        self.assertGreaterEqual(time.monotonic() - started, 0.95)


class ThrottleLeavesTheRestAlone(ServerCase):
    # At one byte a second a paced icon or catalog would outlast the client's
    # 10 s time-out many times over.
    server_options = {"throttle": 1}

    def test_catalog_and_icons_are_not_paced(self):
        status, doc = self.get_json("/api/client/bootstrap")
        self.assertEqual(200, status)
        self.assertTrue(doc["data"]["apps"])
        status, _, body = self.get("/icons/editor.png")
        self.assertEqual((200, self.file_bytes("icons", "editor.png")), (status, body))


class ThrottleOption(unittest.TestCase):
    def test_rate_must_be_positive(self):
        for value in ("0", "-5", "fast"):
            with self.subTest(value=value), contextlib.redirect_stderr(io.StringIO()):
                with self.assertRaises(SystemExit) as raised:
                    server_module.main(["--catalog", ".", "--throttle", value])
                self.assertEqual(2, raised.exception.code)


if __name__ == "__main__":
    unittest.main()
