"""The driving helpers (tools/drive/winctl.py) and the demo catalog they serve."""

import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request
import zipfile

from server_case import FIXTURE, ROOT

sys.path.insert(0, os.path.join(ROOT, "tools", "drive"))
sys.path.insert(0, os.path.join(ROOT, "tools", "demo_catalog"))

import demo_packages  # noqa: E402
import winctl  # noqa: E402
from winctl import layout  # noqa: E402


def ppm(width, height, pixels, comment=b""):
    return b"P6\n" + comment + b"%d %d\n255\n" % (width, height) + bytes(v for p in pixels for v in p)


class Layout(unittest.TestCase):
    def test_columns_and_card_width_follow_the_window_width(self):
        for width, cols, card_width in ((1000, 3, 240), (1131, 3, 283), (1132, 4, 209), (1180, 4, 221)):
            with self.subTest(width=width):
                self.assertEqual(cols, layout.columns(width))
                self.assertEqual(card_width, layout.card(0, width)[2])

    def test_card_buttons_sit_in_their_grid_cell(self):
        # W = 1180: cards 221 wide, 14 apart; rows 248 apart from 126; button at +188, 32 high.
        self.assertEqual((226 + 60 + 50, 126 + 188 + 16), layout.card_button(0, 1180))
        self.assertEqual((226 + 3 * 235 + 110, 126 + 204), layout.card_button(3, 1180))
        self.assertEqual((226 + 235 + 110, 126 + 248 + 204), layout.card_button(5, 1180))
        self.assertEqual((226 + 235 + 110, 126 + 248 + 204 - 100), layout.card_button(5, 1180, scroll=100))

    def test_title_bar_buttons_and_rows(self):
        # 下载管理 (W-370..W-266), 下载设置 (W-256..W-152), 14..50; close W-46..W.
        self.assertEqual((1180 - 318, 32), layout.downloads_button(1180))
        self.assertEqual((1180 - 204, 32), layout.settings_button(1180))
        self.assertEqual((1180 - 23, 32), layout.close_button(1180))
        self.assertEqual((100, 78 + 96 + 21), layout.sidebar_row(2))
        self.assertEqual(216 + 192, layout.panel_row(2))


class Pictures(unittest.TestCase):
    def test_ppm_is_read_with_comments_and_pixels_in_place(self):
        image = winctl.Image(ppm(3, 2, [(1, 2, 3), (4, 5, 6), (7, 8, 9),
                                        (10, 11, 12), (13, 14, 15), (255, 0, 128)], b"# import\n"))
        self.assertEqual((3, 2), (image.width, image.height))
        self.assertEqual((4, 5, 6), image.pixel(1, 0))
        self.assertEqual((255, 0, 128), image.pixel(2, 1))
        self.assertFalse(image.is_blank())

    def test_a_screen_of_one_colour_is_blank(self):
        self.assertTrue(winctl.Image(ppm(40, 30, [(0, 0, 0)] * 1200)).is_blank())
        one_dot = [(0, 0, 0)] * 1200
        one_dot[7 * 40 + 9] = (255, 255, 255)
        self.assertFalse(winctl.Image(ppm(40, 30, one_dot)).is_blank())

    def test_near_allows_a_little_in_every_channel(self):
        self.assertTrue(winctl.near((91, 77, 255), (91, 77, 255)))
        self.assertTrue(winctl.near((100, 65, 243), (91, 77, 255)))
        self.assertFalse(winctl.near((91, 77, 230), (91, 77, 255)))
        self.assertFalse(winctl.near((91, 90, 255), (91, 77, 255), tolerance=5))

    def test_other_formats_are_refused(self):
        with self.assertRaises(ValueError):
            winctl.Image(b"P3\n1 1\n255\n0 0 0\n")

    @unittest.skipUnless(shutil.which("Xvfb") and shutil.which("import"), "needs Xvfb and ImageMagick")
    def test_an_empty_virtual_screen_grabs_blank(self):
        screen = winctl.VirtualScreen(winctl.free_display(170, 189))
        self.addCleanup(screen.stop)
        image = winctl.grab(screen.name, (10, 20, 64, 48))
        self.assertEqual((64, 48), (image.width, image.height))
        self.assertTrue(image.is_blank())


class Polling(unittest.TestCase):
    def test_poll_returns_the_first_true_value(self):
        answers = iter([None, 0, "ready"])
        self.assertEqual("ready", winctl.poll(lambda: next(answers), 10, "an answer", 0))

    def test_poll_names_what_it_waited_for(self):
        started = time.monotonic()
        with self.assertRaisesRegex(TimeoutError, "the moon"):
            winctl.poll(lambda: False, 0.2, "the moon", 0.05)
        self.assertGreaterEqual(time.monotonic() - started, 0.2)


class Server(unittest.TestCase):
    def test_server_serves_a_copy_and_logs_requests(self):
        work = tempfile.mkdtemp(prefix="winctl-test-")
        self.addCleanup(shutil.rmtree, work, True)
        server = winctl.CatalogServer(FIXTURE, work, throttle=1 << 20)
        self.addCleanup(server.stop)
        with urllib.request.urlopen(server.url + "/api/client/bootstrap", timeout=10) as answer:
            apps = json.loads(answer.read().decode("utf-8"))["data"]["apps"]
        self.assertEqual(5, len(apps))
        server.rule("/files/player.zip", then={"status": 503})
        with self.assertRaises(urllib.error.HTTPError):
            urllib.request.urlopen(server.url + "/files/player.zip", timeout=10)
        self.assertEqual(["/api/client/bootstrap", "/files/player.zip"], server.paths())
        # The copy is the server's own: a change there leaves the fixture alone.
        self.assertNotEqual(os.path.realpath(FIXTURE), os.path.realpath(server.catalog))
        server.stop()
        self.assertIsNotNone(server.proc.poll())
        with self.assertRaises(urllib.error.URLError):
            urllib.request.urlopen(server.url + "/api/client/bootstrap", timeout=10)
        # Back on the same port, as a client configured for it expects.
        url = server.url
        server.start()
        self.assertEqual(url, server.url)
        with urllib.request.urlopen(server.url + "/api/client/bootstrap", timeout=10) as answer:
            self.assertEqual(200, answer.status)


class DemoCatalog(unittest.TestCase):
    """The demo catalog holds what the demo and the pictures rely on."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="demo-catalog-test-")
        packages = os.path.join(cls.work, "packages")
        demo_packages.build(packages, makensis=None)  # archives only: fast
        cls.catalog = os.path.join(cls.work, "catalog")
        cls.missing = demo_packages.assemble(packages, cls.catalog)
        with open(os.path.join(cls.catalog, "catalog.json"), encoding="utf-8") as f:
            cls.doc = json.load(f)
        with open(os.path.join(ROOT, "tools", "demo_catalog", "packages.json"), encoding="utf-8") as f:
            cls.packages = json.load(f)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, True)

    def test_size_and_categories(self):
        apps, ids = self.doc["apps"], {c["id"] for c in self.doc["categories"]}
        self.assertGreaterEqual(len(ids), 6)
        self.assertGreaterEqual(len(apps), 18)
        self.assertEqual(len(apps), len({a["id"] for a in apps}))
        for app in apps:
            with self.subTest(app=app["name"]):
                self.assertTrue(app["categoryIds"])
                self.assertLessEqual(set(app["categoryIds"]), ids)
        for category in ids:
            self.assertTrue(any(category in a["categoryIds"] for a in apps), category)

    def test_icons_exist_in_both_formats_and_one_app_has_none(self):
        icons = [a.get("icon") for a in self.doc["apps"]]
        self.assertEqual(1, icons.count(None))
        for icon in filter(None, icons):
            with open(os.path.join(self.catalog, "icons", icon), "rb") as f:
                head = f.read(8)
            self.assertIn(head[:4], (b"\x89PNG", b"\0\0\1\0"), icon)
        self.assertTrue(any(i.endswith(".ico") for i in filter(None, icons)))
        self.assertTrue(any(i.endswith(".png") for i in filter(None, icons)))

    def test_every_package_is_made_and_every_made_package_is_named(self):
        named = {a["file"] for a in self.doc["apps"] if "file" in a}
        made = set(self.packages["installers"]) | set(self.packages["msi"]) | set(self.packages["archives"])
        self.assertEqual(named, made)
        self.assertEqual(1, sum("file" not in a for a in self.doc["apps"]))  # "敬请期待"
        # No makensis or wixl here.
        self.assertEqual(set(self.packages["installers"]) | set(self.packages["msi"]), set(self.missing))
        self.assertGreaterEqual(len(self.packages["installers"]), 3)
        keys = [entry["key"] for entry in self.packages["installers"].values()]
        self.assertEqual(len(keys), len(set(keys)))

    def test_one_signed_installer_and_msi_packages_named_as_wixl_can_write(self):
        self.assertEqual(1, sum(bool(e.get("signed")) for e in self.packages["installers"].values()))
        self.assertGreaterEqual(len(self.packages["msi"]), 1)
        for app in self.doc["apps"]:
            if app.get("file") in self.packages["msi"]:
                self.assertTrue(app["name"].isascii(), app["name"])  # msiexec's DisplayName

    def test_archives_are_real_zips_large_enough_to_watch(self):
        for name in self.packages["archives"]:
            with self.subTest(archive=name):
                path = os.path.join(self.catalog, "files", name)
                with zipfile.ZipFile(path) as z:
                    self.assertIsNone(z.testzip())
                self.assertGreaterEqual(os.path.getsize(path), 100 * 1024)

    def test_exactly_one_digest_is_wrong_on_purpose(self):
        wrong = [a for a in self.doc["apps"] if "md5" in a]
        self.assertEqual(1, len(wrong))
        self.assertIn(wrong[0]["file"], self.packages["installers"])
        self.assertRegex(wrong[0]["md5"], "^[0-9a-f]{32}$")

    def test_a_long_name_with_a_version(self):
        self.assertTrue(any(len(a["name"]) >= 16 and a.get("version") for a in self.doc["apps"]))

    def test_archives_are_the_same_on_every_build(self):
        again = os.path.join(self.work, "again")
        demo_packages.build(again, makensis=None)
        for name in self.packages["archives"]:
            with open(os.path.join(again, name), "rb") as a, \
                    open(os.path.join(self.catalog, "files", name), "rb") as b:
                self.assertEqual(hashlib.md5(a.read()).digest(), hashlib.md5(b.read()).digest(), name)


@unittest.skipUnless(shutil.which("makensis"), "needs makensis")
class DemoInstaller(unittest.TestCase):
    def test_installer_carries_the_app_name_for_its_uninstall_entry(self):
        work = tempfile.mkdtemp(prefix="demo-installer-test-")
        self.addCleanup(shutil.rmtree, work, True)
        app = {"name": "测试 \"引号\" $名", "version": "1.0"}
        demo_packages.build_installer(shutil.which("makensis"), work, "t-setup.exe",
                                      {"key": "PakvaneDemoTest", "payloadKiB": 64}, app)
        with open(os.path.join(work, "t-setup.exe"), "rb") as f:
            data = f.read()
        self.assertEqual(b"MZ", data[:2])
        self.assertGreaterEqual(len(data), 64 * 1024)
        self.assertFalse(os.path.exists(os.path.join(work, "nsis-work", "PakvaneDemoTest")))


if __name__ == "__main__":
    unittest.main()
