"""Bootstrap, search and download answers computed from the catalog folder."""

import hashlib
import json
import os
import time
import unittest
import urllib.parse

from server_case import ServerCase


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

    def test_search_query_may_come_as_raw_utf8(self):
        answer = self.raw("GET /api/client/apps?q=星 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n".encode("utf-8"))
        self.assertTrue(answer.startswith(b"HTTP/1.1 200"), answer[:80])
        doc = json.loads(answer.split(b"\r\n\r\n", 1)[1].decode("utf-8"))
        self.assertEqual([3], [a["id"] for a in doc["data"]])
        answer = self.raw(b"GET /api/client/apps?q=\xe6\x98 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.1 400"), answer[:80])

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

    def test_file_name_may_come_percent_encoded_or_as_raw_utf8(self):
        status, _ = self.post_json("/_control/files/%E6%98%9F.exe", b"star")
        self.assertEqual(200, status)
        self.assertEqual((200, b"star"), self.get("/files/%E6%98%9F.exe")[::2])
        # (Python's request line parser splits at the bytes 0x85 and 0xA0.)
        answer = self.raw("GET /files/星.exe HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n".encode("utf-8"))
        self.assertTrue(answer.startswith(b"HTTP/1.1 200"), answer[:80])
        self.assertTrue(answer.endswith(b"\r\n\r\nstar"), answer[-40:])
        # Raw bytes that are not UTF-8 are a bad name, not a missing file.
        answer = self.raw(b"GET /files/\xe6\x98.exe HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.1 400"), answer[:80])

    def test_bad_content_length_is_refused(self):
        for length in (b"ten", b"-1", b"\xb2"):
            with self.subTest(length=length):
                answer = self.raw(b"POST /api/client/report HTTP/1.1\r\nHost: x\r\nContent-Length: " + length +
                                  b"\r\n\r\n")
                self.assertTrue(answer.startswith(b"HTTP/1.1 400"), answer[:80])

    def test_bad_chunk_size_is_refused(self):
        # A signed or prefixed size is no hexadecimal chunk size; "-1" must not
        # make the server read until the client hangs up.
        for size in (b"-1", b"+5", b"0x5", b"1_0", b"zz"):
            with self.subTest(size=size):
                answer = self.raw(b"POST /_echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n" +
                                  size + b"\r\nabcde\r\n0\r\n\r\n")
                self.assertTrue(answer.startswith(b"HTTP/1.1 400"), answer[:80])

    def test_chunked_body_is_read(self):
        answer = self.raw(b"POST /_echo HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
                          b"Connection: close\r\n\r\n3\r\nabc\r\nA;x=y\r\n0123456789\r\n0\r\n\r\n")
        self.assertTrue(answer.startswith(b"HTTP/1.1 200"), answer[:80])
        self.assertIn(b'"body":"abc0123456789"', answer)

    def test_numbers_in_helper_paths_are_ascii_digits(self):
        for path in (b"/_bytes/\xb2", b"/_chain/\xb2"):
            with self.subTest(path=path):
                answer = self.raw(b"GET " + path + b" HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
                self.assertTrue(answer.startswith(b"HTTP/1.1 400"), answer[:80])

if __name__ == "__main__":
    unittest.main()
