"""No request reaches outside the catalog folder."""

import os
import unittest

from server_case import ServerCase


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


if __name__ == "__main__":
    unittest.main()
