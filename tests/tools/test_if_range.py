"""Validators on answers, If-Range, and a file that changes between requests."""

import hashlib
import os
import time
import unittest

from server_case import ServerCase, pattern

FILE = "/files/editor-setup.exe"


class IfRange(ServerCase):
    def setUp(self):
        super().setUp()
        self.data = self.file_bytes("files", "editor-setup.exe")
        # A modification time of an hour ago: its Last-Modified is a strong validator.
        path = os.path.join(self.catalog, "files", "editor-setup.exe")
        os.utime(path, (time.time() - 3600, time.time() - 3600))
        _, self.headers, _ = self.get(FILE)

    def test_files_and_generated_bytes_carry_strong_validators(self):
        self.assertRegex(self.headers["etag"], r'^"[0-9a-f-]+"$')
        self.assertIn("last-modified", self.headers)
        _, headers, _ = self.get(FILE, {"Range": "bytes=0-0"})
        self.assertEqual(self.headers["etag"], headers["etag"])
        _, headers, _ = self.get("/_bytes/10")
        self.assertEqual('"bytes-10"', headers["etag"])

    def test_range_is_served_only_while_the_validator_holds(self):
        etag, date = self.headers["etag"], self.headers["last-modified"]
        size = len(self.data)
        cases = [
            # If-Range, Range, status, body
            (etag, "bytes=10-19", 206, self.data[10:20]),
            (date, "bytes=10-19", 206, self.data[10:20]),
            (" %s " % etag, "bytes=10-", 206, self.data[10:]),
            ('"other"', "bytes=10-19", 200, self.data),
            ("W/" + etag, "bytes=10-19", 200, self.data),
            ("Mon, 01 Jan 1990 00:00:00 GMT", "bytes=10-19", 200, self.data),
            ("garbage", "bytes=10-19", 200, self.data),
            (etag, None, 200, self.data),
            ('"other"', "bytes=%d-" % size, 200, self.data),
            (etag, "bytes=%d-" % size, 416, None),
        ]
        for if_range, range_header, status, body in cases:
            with self.subTest(if_range=if_range, range=range_header):
                headers = {"If-Range": if_range}
                if range_header:
                    headers["Range"] = range_header
                got_status, _, got_body = self.get(FILE, headers)
                self.assertEqual(status, got_status)
                if body is not None:
                    self.assertEqual(body, got_body)
        _, _, body = self.get("/_bytes/100", {"If-Range": '"bytes-100"', "Range": "bytes=50-"})
        self.assertEqual(pattern(100)[50:], body)

    def test_a_date_from_the_last_second_is_weak(self):
        from devserver.replies import Validators
        now = time.time()
        for modified, holds in ((now - 5, True), (now - 0.5, False), (now + 3, False)):
            validators = Validators('"t"', modified)
            self.assertEqual(holds, validators.if_range_holds(validators.last_modified), modified - now)

    def test_change_file_makes_a_new_version_of_the_same_size(self):
        old_etag, old_date = self.headers["etag"], self.headers["last-modified"]
        changed = bytes(255 - b for b in self.data)
        self.rule(FILE, [{"changeFile": True}])
        status, headers, body = self.get(FILE, {"If-Range": old_etag, "Range": "bytes=100-"})
        self.assertEqual((200, changed), (status, body))
        self.assertNotEqual(old_etag, headers["etag"])
        self.assertNotEqual(old_date, headers["last-modified"])
        status, _, body = self.get(FILE, {"If-Range": headers["etag"], "Range": "bytes=100-"})
        self.assertEqual((206, changed[100:]), (status, body))
        _, catalog = self.get_json("/api/client/bootstrap")
        editor = [app for app in catalog["data"]["apps"] if app["name"].startswith("Foo")]
        self.assertEqual([hashlib.md5(changed).hexdigest()], [app["md5"] for app in editor])

    def test_change_file_only_on_package_files(self):
        status, reply = self.post_json("/_control/rule", {"path": "/_bytes/10", "steps": [{"changeFile": True}]})
        self.assertEqual(400, status, reply)

    def test_log_keeps_range_and_if_range(self):
        self.post_json("/_control/reset", {})
        self.get(FILE, {"Range": "bytes=5-", "If-Range": '"x"'})
        self.get(FILE)
        entries = [(r["range"], r["ifRange"]) for r in self.log()["requests"]]
        self.assertEqual([("bytes=5-", '"x"'), (None, None)], entries)


if __name__ == "__main__":
    unittest.main()
