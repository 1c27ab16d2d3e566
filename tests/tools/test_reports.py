"""Install-event reports: validation and the reports file."""

import json
import os
import threading
import unittest

from server_case import ServerCase


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
            (b"[" * 5000 + b"]" * 5000, "valid JSON"),
            (b'{"appId":1,"event":"install","channel":"\\ud800"}', "surrogate"),
        ]
        for body, word in cases:
            with self.subTest(body=body[:60]):
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


if __name__ == "__main__":
    unittest.main()
