"""Validators on answers, If-Range, and a file that changes between requests."""

import hashlib
import os
import time

from server_case import ServerCase, pattern

FILE = "/files/editor-setup.exe"


class IfRange(ServerCase):
    def setUp(self):
        super().setUp()
        self.data = self.file_bytes("files", "editor-setup.exe")
        # Modified an hour ago: its Last-Modified is a strong validator.
        os.utime(os.path.join(self.catalog, "files", "editor-setup.exe"), (time.time() - 3600,) * 2)
        _, self.headers, _ = self.get(FILE)

    def test_range_is_served_only_while_the_validator_holds(self):
        etag, date = self.headers["etag"], self.headers["last-modified"]
        self.assertRegex(etag, r'^"[0-9a-f-]+"$')
        whole, part = (200, self.data), (206, self.data[10:20])
        cases = [(etag, "bytes=10-19", part), (date, "bytes=10-19", part), (" %s " % etag, "bytes=10-19", part),
                 ('"other"', "bytes=10-19", whole), ("W/" + etag, "bytes=10-19", whole),
                 ("Mon, 01 Jan 1990 00:00:00 GMT", "bytes=10-19", whole), ("garbage", "bytes=10-19", whole),
                 (etag, None, whole), ('"other"', "bytes=%d-" % len(self.data), whole),
                 (etag, "bytes=%d-" % len(self.data), (416, None))]
        for if_range, range_header, (status, body) in cases:
            with self.subTest(if_range=if_range, range=range_header):
                headers = dict({"If-Range": if_range}, **({"Range": range_header} if range_header else {}))
                got_status, _, got_body = self.get(FILE, headers)
                self.assertEqual(status, got_status)
                self.assertEqual(body, got_body if body is not None else None)
        status, headers, body = self.get("/_bytes/100", {"If-Range": '"bytes-100"', "Range": "bytes=50-"})
        self.assertEqual((206, '"bytes-100"', pattern(100)[50:]), (status, headers["etag"], body))

    def test_a_date_from_the_last_second_is_weak(self):
        from devserver.replies import Validators
        now = time.time()
        for modified, holds in ((now - 5, True), (now - 0.5, False), (now + 3, False)):
            validators = Validators('"t"', modified)
            self.assertEqual(holds, validators.if_range_holds(validators.last_modified), modified - now)

    def test_change_file_makes_a_new_version_of_the_same_size(self):
        changed = bytes(255 - b for b in self.data)
        self.rule(FILE, [{"changeFile": True}])
        status, headers, body = self.get(FILE, {"If-Range": self.headers["etag"], "Range": "bytes=100-"})
        self.assertEqual((200, changed), (status, body))
        for name in ("etag", "last-modified"):
            self.assertNotEqual(self.headers[name], headers[name])
        status, _, body = self.get(FILE, {"If-Range": headers["etag"], "Range": "bytes=100-"})
        self.assertEqual((206, changed[100:]), (status, body))
        apps = self.get_json("/api/client/bootstrap")[1]["data"]["apps"]
        self.assertIn(hashlib.md5(changed).hexdigest(), [app["md5"] for app in apps])
        status, reply = self.post_json("/_control/rule", {"path": "/_bytes/10", "steps": [{"changeFile": True}]})
        self.assertEqual(400, status, reply)

    def test_log_keeps_range_and_if_range(self):
        self.post_json("/_control/reset", {})
        self.get(FILE, {"Range": "bytes=5-", "If-Range": '"x"'})
        self.get(FILE)
        entries = [(r["range"], r["ifRange"]) for r in self.log()["requests"]]
        self.assertEqual([("bytes=5-", '"x"'), (None, None)], entries)

    def test_no_validators_leaves_both_out_of_the_answer(self):
        self.rule(FILE, [{"noValidators": True}])
        status, headers, body = self.get(FILE, {"Range": "bytes=0-9"})
        self.assertEqual((206, self.data[:10]), (status, body))
        self.assertNotIn("etag", headers)
        self.assertNotIn("last-modified", headers)
        status, headers, _ = self.get(FILE, {"Range": "bytes=0-9"})
        self.assertIn("etag", headers)
