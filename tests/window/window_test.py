#!/usr/bin/env python3
"""The main window used as a person would, under Xvfb with xdotool, end to end.

Usage: window_test.py PAKVANE_EXE SOURCE_DIR NSIS_INSTALLER. Needs DISPLAY (a
1280x800 Xvfb) and WINEPREFIX from the test command; exits 77 (skipped)
without them. Serves a catalog made from the test catalog plus a real NSIS
installer, gives every run of the program a fresh config.json and download
folder, and puts back whatever config.json and Uninstall entries the prefix
had. Clicks, screens, the server and the prefix go through tools/drive/winctl.

Scenarios, each with its own run of the program:
  window       placement, dragging by the title band, double-click maximise
               and restore with the shadow (directly below the window, as
               another process sees it), the minimum size of a corner drag
  search       pinyin initials typed into the search field show their app
               alone in the first card; Esc brings the category back
  install      a card's button: badge, progress row, the file and its MD5, the
               installer starting by itself, its Uninstall entry, the green
               card; an archive (no installer); an MD5 mismatch (error toast,
               the panel's install refuses)
  installed    after a restart the installed app's card is green and an app
               installed in an older version offers the update; closing the
               window during a download ends the process with exit code 0
  settings     a new folder made and picked in the shell's folder picker of
               the settings dialog, saved: toast, config.json, and the next
               download lands there
  server_down  the catalog error page; the server comes back, "重新加载"
               brings the catalog
  second_start a second start of the program exits with 0 and brings the
               first window to the front: once behind another program's
               window, once minimised (restored, with its shadow)
  restart      a large download ended hard (the process killed) at about
               half: its record holds bytes the part file has; the next run
               puts the list back (a finished task as it was, the download
               paused with its progress, no badge for it), its card opens the
               page, "继续" goes on from the held byte with If-Range, and the
               file arrives byte-exact; a screenshot of the restored page with
               a finished, a running and a paused row
  scaled       at 150 % (a prefix at 144 DPI on a 2560 x 1600 screen of its
               own): the window's place and size, its shadow, hit bands, the
               settings dialog's size; a double-click on "取消" leaves the
               download cancelled
"""

import hashlib
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

EXE, SOURCE, NSIS_INSTALLER = sys.argv[1], sys.argv[2], sys.argv[3]
PROBE = os.path.join(os.path.dirname(os.path.abspath(EXE)), "window_probe.exe")
sys.path.insert(0, os.path.join(SOURCE, "tools", "drive"))
import winctl  # noqa: E402
from winctl import layout, near, poll  # noqa: E402

SCREEN_W, SCREEN_H = winctl.SCREEN
SHADOW = 18
# Computed placement on a 1280 x 800 screen: centred horizontally, 30 px from
# the top and 60 px lower than the screen.
PLACED = (50, 30, 1180, 740)
BACKGROUND = (245, 246, 248)
BADGE = (245, 63, 63)
GREEN = (0, 180, 42)
TRACK = (240, 241, 244)
ACCENT = (91, 77, 255)
ACCENT_HOVER = (75, 63, 219)
INSTALLED_TINT = (217, 244, 223)  # 0x2600B42A over a white card
# The notice pill's fills (alpha 0xE8) over the page background.
TOAST_SUCCESS = (22, 186, 60)
TOAST_ERROR = (245, 79, 80)
UNINSTALL = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall"
DEMO_KEY = UNINSTALL + r"\PakvaneDemoApp"  # written by the NSIS installer
OLDER_KEY = UNINSTALL + r"\PakvaneWindowTestOlder"

# The one category of the served catalog, card by card in this order.
DEMO, ARCHIVE, MISMATCH, EDITOR, BIG = 0, 1, 2, 3, 4
BIG_SIZE = 2 * 1024 * 1024
APPS = [
    {"id": 1, "name": "Pakvane Demo App", "version": "1.0.0", "icon": "editor.png",
     "file": "pakvane_demo_setup.exe"},
    {"id": 2, "name": "压缩助手", "version": "9.20", "icon": "archive.png", "file": "archiver.7z"},
    {"id": 3, "name": "校验失败的包", "version": "1.0", "icon": "player.png", "file": "mismatch-setup.exe",
     "md5": "0" * 32},
    {"id": 4, "name": "Foo 编辑器", "version": "1.5", "icon": "editor.png", "file": "editor-setup.exe"},
    {"id": 5, "name": "大文件", "version": "2.0", "icon": "archive.png", "file": "big.zip"},
]


def big_file_bytes():
    """A zip by its first bytes (saved, never run), the rest fixed noise."""
    return b"PK\x03\x04" + random.Random(5).randbytes(BIG_SIZE - 4)


class Failure(Exception):
    pass


def wait_for(condition, what, timeout=30.0):
    try:
        return poll(condition, timeout, what, 0.2)
    except TimeoutError as error:
        raise Failure(str(error))


def check(condition, message):
    if not condition:
        raise Failure(message)


def md5_of(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).hexdigest()


def make_catalog(work):
    """The test catalog's icons and files plus the NSIS installer, under a
    catalog of our own."""
    folder = os.path.join(work, "catalog-source")
    fixture = os.path.join(SOURCE, "tests", "fixtures", "catalog")
    shutil.copytree(os.path.join(fixture, "icons"), os.path.join(folder, "icons"))
    shutil.copytree(os.path.join(fixture, "files"), os.path.join(folder, "files"))
    shutil.copy(NSIS_INSTALLER, os.path.join(folder, "files", "pakvane_demo_setup.exe"))
    # Not an archive: only a package that would be run can be refused.
    shutil.copy(os.path.join(fixture, "files", "editor-setup.exe"), os.path.join(folder, "files", "mismatch-setup.exe"))
    with open(os.path.join(folder, "files", "big.zip"), "wb") as f:
        f.write(big_file_bytes())
    apps = [dict(app, categoryIds=["e2e"], description=app["name"], downloads=10, updatedAt=1700000000000)
            for app in APPS]
    with open(os.path.join(folder, "catalog.json"), "w", encoding="utf-8") as f:
        json.dump({"categories": [{"id": "e2e", "name": "测试分类"}], "apps": apps}, f, ensure_ascii=False)
    return folder


class Context:
    """What every run shares: screen, prefix, server, config.json."""

    def __init__(self, work):
        self.work = work
        self.display = os.environ["DISPLAY"]
        self.env = winctl.wine_env(os.environ["WINEPREFIX"], self.display)
        self.server = winctl.CatalogServer(make_catalog(work), work)
        self.config = None

    def wine_path(self, unix_path):
        return "Z:" + unix_path.replace("/", "\\")

    def file(self, name):
        return os.path.join(self.work, "catalog", "files", name)

    def installs(self, app_id):
        return [r for r in self.server.reports() if r.get("appId") == app_id]


class Run:
    """One run of Pakvane with a fresh config.json and download folder."""

    def __init__(self, ctx, name, keep_tasks=False, downloads=None):
        self.ctx = ctx
        self.name = name
        self.downloads = downloads or os.path.join(ctx.work, name + "-downloads")
        os.makedirs(self.downloads, exist_ok=True)
        ctx.config = winctl.write_config(ctx.env, ctx.server.url, ctx.wine_path(self.downloads), keep_tasks=keep_tasks)
        with open(ctx.config, encoding="utf-8") as f:
            self.settings = json.load(f)
        self.before = winctl.visible_windows(ctx.display)
        self.log_path = os.path.join(ctx.work, name + ".out")
        with open(self.log_path, "w") as log:
            self.process = subprocess.Popen(["wine", EXE], env=ctx.env, stdout=log, stderr=subprocess.STDOUT,
                                            stdin=subprocess.DEVNULL)
        # A window of an earlier run may linger for a moment: take a new one.
        self.window = winctl.find_window(ctx.display, exclude=self.before, timeout=90)

    @property
    def width(self):
        return self.window.refresh().width

    def rect(self):
        return winctl.geometry(self.ctx.display, self.window.wid)

    def pixel(self, point):
        return self.window.refresh().pixel(*point)

    def click(self, point):
        self.window.refresh().click(*point)

    def rest_pointer(self):
        """Moves the pointer onto an empty part of the sidebar, so no card or
        button shows its hover look."""
        self.window.refresh().move_to(100, self.window.height - 40)

    def wait_colour(self, point, colour, what, timeout=30, tolerance=12):
        seen = []

        def matches():
            seen[:] = [self.pixel(point)]
            return near(seen[0], colour, tolerance)
        try:
            poll(matches, timeout, what, 0.2)
        except TimeoutError:
            raise Failure("%s: pixel %s is %s, not %s" % (what, point, seen and seen[0], colour))

    def wait_catalog(self):
        """Waits for the cards: the first one's button shows a fill."""
        point = layout.card_button_fill_point(0, self.width)
        wait_for(lambda: any(near(self.pixel(point), c) for c in (ACCENT, ACCENT_HOVER, INSTALLED_TINT)),
                 "the catalog's cards", timeout=60)

    def card_button(self, k):
        return layout.card_button(k, self.width)

    def wait_catalog_scaled(self):
        """As wait_catalog, in a window at 150 %."""
        point = px(layout.card_button_fill_point(0, 1180))
        wait_for(lambda: any(near(self.pixel(point), c) for c in (ACCENT, ACCENT_HOVER, INSTALLED_TINT)),
                 "the catalog's cards at 150 %", timeout=60)

    def icon_picture(self, k):
        left, top, right, bottom = layout.card_icon_box(k, self.width)
        x, y = self.window.screen_point(left, top)
        return winctl.grab(self.ctx.display, (x, y, right - left, bottom - top)).pixels

    def card_slot_empty(self, k):
        left, top, right, bottom = layout.card_icon_box(k, self.width)
        return all(near(self.pixel(p), BACKGROUND, 2) for p in ((left, top), (right - 1, bottom - 1),
                                                                   ((left + right) // 2, (top + bottom) // 2)))

    def button_picture(self, k):
        left, top, right, bottom = layout.card_button_box(k, self.width)
        x, y = self.window.screen_point(left, top)
        return winctl.grab(self.ctx.display, (x, y, right - left, bottom - top)).pixels

    def wait_badge(self):
        ring = layout.badge_ring(self.width)
        wait_for(lambda: any(near(self.pixel(p), BADGE) for p in ring), "the badge counting the download")

    def wait_toast(self, colour, what):
        self.wait_colour(layout.toast_fill_point(self.width), colour, what, tolerance=20)

    def wait_no_toast(self):
        point = layout.toast_fill_point(self.width)
        wait_for(lambda: not any(near(self.pixel(point), c, 20) for c in (TOAST_SUCCESS, TOAST_ERROR)),
                 "the last notice to go", timeout=15)

    def shadow_rect(self):
        """The geometry of the program's other visible window, or None."""
        others = [w for w in winctl.visible_windows(self.ctx.display) - self.before if w != self.window.wid]
        return winctl.geometry(self.ctx.display, others[0]) if others else None

    def wait_placed(self, rect, what):
        wait_for(lambda: self.rect() == rect, "%s at %s (is %s)" % (what, rect, self.rect()))

    def wait_shadow_around(self, rect):
        x, y, w, h = rect
        expected = (x - SHADOW, y - SHADOW, w + 2 * SHADOW, h + 2 * SHADOW)
        wait_for(lambda: self.shadow_rect() == expected, "the shadow at %s (is %s)" % (expected, self.shadow_rect()))

    def close_and_exit_code(self):
        self.click(layout.close_button(self.width))
        try:
            return self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end within 30 s of its close button")

    def zorder(self):
        """The class of the window directly below the main window, as another
        process sees the z-order."""
        return winctl.probe(self.ctx.env, PROBE, self.ctx.work, "zorder")

    def wait_shadow_below(self, after):
        wait_for(lambda: self.zorder() == "KXShadow",
                 "the shadow directly below the window after %s (below it: %s)" % (after, self.zorder()), timeout=15)

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        for cleanup in getattr(self.ctx, "cleanups", []):
            cleanup()

    def kill_hard(self):
        """Ends Pakvane.exe at once, as a crash or TerminateProcess would:
        `wine` runs the program in its own process."""
        with open("/proc/%d/cmdline" % self.process.pid, "rb") as f:
            check(b"Pakvane.exe" in f.read(), "process %d is not Pakvane.exe" % self.process.pid)
        os.kill(self.process.pid, signal.SIGKILL)
        self.process.wait(timeout=30)

    def wait_no_badge(self):
        ring = layout.badge_ring(self.width)
        wait_for(lambda: not any(near(self.pixel(p), BADGE) for p in ring), "no badge")


# ---- scenarios

def window_handling(run):
    run.wait_placed(PLACED, "the window")
    run.wait_shadow_around(PLACED)
    run.wait_shadow_below("showing")
    run.click((100, PLACED[3] - 40))  # activates it
    run.wait_shadow_below("a click")
    print("placed at %s with its shadow directly below it" % (PLACED,))

    # The title band drags, right up to its top row: there is no top edge.
    left, top, width, height = PLACED
    display = run.ctx.display
    winctl.drag(display, (left + 550, top + 1), (100, 60))
    moved = (left + 100, top + 60, width, height)
    run.wait_placed(moved, "the dragged window")
    run.wait_shadow_around(moved)
    run.wait_shadow_below("a move")
    print("dragged by the title band to %s; the shadow followed, still directly below" % (moved,))

    # Left of the search field, which is the window's own.
    winctl.double_click(display, moved[0] + 440, moved[1] + 20)
    wait_for(lambda: covers_screen(run.rect()), "the maximised window (is %s)" % (run.rect(),))
    wait_for(lambda: run.shadow_rect() is None, "the shadow to hide")
    print("double-click maximised to %s; shadow hidden" % (run.rect(),))

    winctl.double_click(display, 440, 20)
    run.wait_placed(moved, "the restored window")
    run.wait_shadow_around(moved)
    print("double-click restored %s; shadow back" % (moved,))

    winctl.drag(display, (moved[0] + 440, moved[1] + 30), (-100, -60))
    run.wait_placed(PLACED, "the window dragged back")

    # The bottom-right corner band, dragged far inwards, stops at the minimum.
    winctl.drag(display, (left + width - 3, top + height - 3), (-400, -300))
    smallest = (left, top, 1000, 660)
    run.wait_placed(smallest, "the window at its minimum size")
    run.wait_shadow_around(smallest)
    print("corner drag stopped at 1000 x 660")


def search(run):
    display = run.ctx.display
    run.wait_catalog()
    run.rest_pointer()
    winctl.wait_until_still(run.window.refresh())
    demo_icon, archive_icon = run.icon_picture(DEMO), run.icon_picture(ARCHIVE)
    check(demo_icon != archive_icon, "the demo's and the archive's icons look alike")

    run.click(layout.search_field(run.width))
    winctl.xdotool(display, "type", "yszs")
    wait_for(lambda: run.icon_picture(0) == archive_icon and run.card_slot_empty(1),
             "压缩助手 alone in the first card for \"yszs\"")
    print("\"yszs\" typed: 压缩助手 alone, in the first card")
    winctl.xdotool(display, "key", "Escape")
    wait_for(lambda: run.icon_picture(DEMO) == demo_icon and run.icon_picture(ARCHIVE) == archive_icon,
             "the category's cards after Esc")
    print("Esc: the category's cards are back")


def covers_screen(rect):
    if not rect:
        return False
    x, y, w, h = rect
    return x <= 0 and y <= 0 and x + w >= SCREEN_W and y + h >= SCREEN_H


def install_road(run):
    ctx = run.ctx
    run.wait_catalog()
    # About eight seconds for the installer, so badge and progress show.
    size = os.path.getsize(ctx.file("pakvane_demo_setup.exe"))
    ctx.server.rule("/files/pakvane_demo_setup.exe", then={"bytesPerSecond": max(1, size // 8)})
    run.click(run.card_button(DEMO))
    run.wait_badge()
    print("badge shows the running download")
    run.click(layout.downloads_button(run.width))
    run.wait_colour(layout.panel_track_start(0), ACCENT, "the download row's progress", timeout=20)
    print("download page shows the row with its progress")

    target = os.path.join(run.downloads, "Pakvane Demo App.exe")
    want = md5_of(ctx.file("pakvane_demo_setup.exe"))
    wait_for(lambda: os.path.exists(target) and md5_of(target) == want, "the installer with MD5 " + want)
    print("installer arrived with MD5 %s" % want)
    wait_for(lambda: winctl.registry_has(ctx.env, DEMO_KEY, "DisplayVersion"),
             "the installer's Uninstall entry", timeout=60)
    wait_for(lambda: ctx.installs(1), "the install report")
    print("installer ran by itself: Uninstall entry and install report")
    run.click(layout.sidebar_row(0))
    run.rest_pointer()
    run.wait_colour(layout.card_button_fill_point(DEMO, run.width), INSTALLED_TINT, "the card's installed look")
    print("card turned green")

    # An archive is saved and offered for opening, never run.
    run.click(run.card_button(ARCHIVE))
    run.wait_toast(TOAST_SUCCESS, "the archive's success notice")
    archive = os.path.join(run.downloads, "压缩助手.7z")
    wait_for(lambda: os.path.exists(archive) and md5_of(archive) == md5_of(ctx.file("archiver.7z")),
             "the archive in the download folder")
    run.rest_pointer()
    run.wait_colour(layout.card_button_fill_point(ARCHIVE, run.width), ACCENT, "the archive's \"打开文件夹\"")
    check(not ctx.installs(2), "an install was reported for the archive")
    print("archive saved, card offers its folder, nothing installed")

    # A package whose catalog MD5 is wrong: error notice, and no install.
    run.wait_no_toast()
    run.click(run.card_button(MISMATCH))
    run.wait_toast(TOAST_ERROR, "the MD5 mismatch notice")
    check(os.path.exists(os.path.join(run.downloads, "校验失败的包.exe")), "the mismatched file was not kept")
    run.wait_no_toast()
    run.click(layout.downloads_button(run.width))
    run.click(layout.panel_install_button(2, run.width))
    run.wait_toast(TOAST_ERROR, "the refusal of the panel's \"安装\"")
    check(not ctx.installs(3), "an install was reported for the mismatched package")
    print("MD5 mismatch: error notice at the end, the panel's install refused")


def installed_after_restart(run):
    """Runs after install_road: its installer's entry is in the registry."""
    ctx = run.ctx
    run.wait_catalog()
    run.rest_pointer()
    run.wait_colour(layout.card_button_fill_point(DEMO, run.width), INSTALLED_TINT,
                    "the installed app's card after a restart")
    print("after a restart the installed app's card is green")
    # "可更新" has the accent fill of "安 装" but another label.
    run.wait_colour(layout.card_button_fill_point(EDITOR, run.width), ACCENT, "the updatable card's fill")
    check(run.button_picture(MISMATCH) == run.button_picture(ARCHIVE), "two \"安 装\" buttons differ")
    check(run.button_picture(EDITOR) != run.button_picture(ARCHIVE),
          "the app installed in an older version still shows \"安 装\"")
    print("an older installed version shows the update button")

    # A download that would take a minute: closing the window ends anyway.
    ctx.server.rule("/files/editor-setup.exe", then={"bytesPerSecond": 64})
    run.click(run.card_button(EDITOR))
    wait_for(lambda: "/files/editor-setup.exe" in ctx.server.paths(), "the editor download to start")
    run.wait_badge()
    code = run.close_and_exit_code()
    check(code == 0, "exit code %d after closing during a download" % code)
    check(not os.path.exists(os.path.join(run.downloads, "Foo 编辑器.exe")),
          "the throttled download finished before the window was closed")
    with open(ctx.config, encoding="utf-8") as f:
        check(json.load(f) == run.settings, "config.json changed at exit")
    print("close button ended the process with exit code 0 while downloading")


# Offsets of the dialogs' client areas in their windows, as Wine frames them
# on a screen without a window manager.
DIALOG_CLIENT = (3, 22)
SETTINGS_BROWSE = (408, 91)
SETTINGS_SAVE = (384, 173)
# In the shell's folder picker (window pixels): the tree's "My Computer" row
# and the buttons.
PICKER_MY_COMPUTER = (109, 142)
PICKER_NEW_FOLDER = (95, 320)
PICKER_OK = (231, 320)


def new_window(run, title, before):
    window = winctl.find_window(run.ctx.display, title=title, exclude=before, timeout=30)
    winctl.wait_until_still(window)
    return window


def pick_new_folder(run, settings, name):
    """"浏览...", then in the picker as a person would: My Computer, its first
    drive, "Make New Folder" named `name`, OK."""
    display = run.ctx.display
    before = winctl.visible_windows(display)
    settings.click(DIALOG_CLIENT[0] + SETTINGS_BROWSE[0], DIALOG_CLIENT[1] + SETTINGS_BROWSE[1])
    picker = new_window(run, ".+", before)
    picker.click(*PICKER_MY_COMPUTER)
    winctl.xdotool(display, "key", "Right", "Down")
    picker.click(*PICKER_NEW_FOLDER)
    winctl.xdotool(display, "type", name)
    winctl.xdotool(display, "key", "Return")
    drive = winctl.windows_path_to_unix(run.ctx.env, "C:\\")
    folder = os.path.join(drive, name)
    wait_for(lambda: os.path.isdir(folder), "the picker's new folder " + folder)
    picker.click(*PICKER_OK)
    wait_for(lambda: not picker.exists(), "the picker to close")
    return folder


def settings_folder(run):
    ctx = run.ctx
    run.wait_catalog()
    before = winctl.visible_windows(ctx.display)
    run.click(layout.settings_button(run.width))
    settings = new_window(run, "^下载设置$", before)
    name = "pakvane-e2e-%d" % os.getpid()
    folder = pick_new_folder(run, settings, name)
    try:
        settings.click(DIALOG_CLIENT[0] + SETTINGS_SAVE[0], DIALOG_CLIENT[1] + SETTINGS_SAVE[1])
        run.wait_toast(TOAST_SUCCESS, "the \"下载目录已保存\" notice")
        wait_for(lambda: not settings.exists(), "the settings dialog to close")
        with open(ctx.config, encoding="utf-8") as f:
            stored = json.load(f).get("downloadDir")
        check(stored == "C:\\" + name, "config.json holds downloadDir %r" % stored)
        print("picked C:\\%s in the shell's picker, saved: notice and config.json" % name)
        run.click(run.card_button(ARCHIVE))
        archive = os.path.join(folder, "压缩助手.7z")
        wait_for(lambda: os.path.exists(archive) and md5_of(archive) == md5_of(ctx.file("archiver.7z")),
                 "the next download in the new folder")
        check(not os.listdir(run.downloads), "the next download went to the old folder too")
        print("the next download landed in the new folder")
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def server_down(run):
    ctx = run.ctx
    centre = layout.reload_button(run.width)
    run.rest_pointer()
    run.wait_colour((centre[0] - 52, centre[1]), ACCENT, "the \"重新加载\" button", timeout=90)
    print("catalog error page with \"重新加载\"")
    ctx.server.start()
    run.click(centre)
    run.wait_catalog()
    print("server back on port %d; \"重新加载\" brought the catalog" % ctx.server.port)


SCALED_SCREEN = (2560, 1600)
SCALED_DPI = 144


def px(point):
    """A point in layout units at 150 %."""
    return tuple(int(v * 3 // 2) for v in point)


class ScaledContext(Context):
    """The shared server and catalog, seen from a prefix at 144 DPI on a
    2560 x 1600 screen of its own."""

    def __init__(self, ctx):
        self.work = ctx.work
        self.server = ctx.server
        self.config = None
        self.cleanups = []
        screen = winctl.VirtualScreen(winctl.free_display(190, 229), SCALED_SCREEN)
        self.cleanups.append(screen.stop)
        self.display = screen.name
        prefix = os.path.join(os.path.dirname(os.path.abspath(EXE)), "wineprefix-%d" % SCALED_DPI)
        self.env = winctl.wine_env(prefix, self.display)
        # A server left from another run keeps its desktop on that run's screen.
        winctl.stop_wine(self.env)
        self.cleanups.insert(0, lambda: winctl.stop_wine(self.env))
        winctl.prepare_prefix(self.env, SCALED_DPI)
        winctl.window_frames_by_wine(self.env, True)


def run_scaled(ctx):
    scaled = ScaledContext(ctx)
    try:
        return Run(scaled, "scaled")
    except BaseException:
        for cleanup in scaled.cleanups:
            cleanup()
        raise


def scaled_window(run):
    ctx = run.ctx
    check(winctl.probe(ctx.env, PROBE, ctx.work, "dpi") == str(SCALED_DPI), "the prefix does not run at 144 DPI")
    placed = (395, 215, 1770, 1170)  # 1180 x 780 times 1.5, centred on 2560 x 1600
    run.wait_placed(placed, "the window at 150 %")
    margin = 27
    wait_for(lambda: run.shadow_rect() == (395 - margin, 215 - margin, 1770 + 2 * margin, 1170 + 2 * margin),
             "the shadow 27 px around the window (is %s)" % (run.shadow_rect(),))
    run.wait_shadow_below("showing at 150 %")
    print("at 150 %%: window at %s, its shadow 27 px around it and directly below it" % (placed,))

    # Bands as the window manager asks for them, in screen pixels.
    x, y, w, h = placed
    bands = [((x + 10, y + 500), 10), ((x + 11, y + 500), 1), ((x + w - 9, y + 500), 11),
             ((x + 800, y + h - 9), 15), ((x + 800, y + 95), 2), ((x + 800, y + 96), 1)]
    for (sx, sy), code in bands:
        got = winctl.probe(ctx.env, PROBE, ctx.work, "hittest", sx, sy)
        check(got == str(code), "hit-test at (%d, %d) of the window is %s, not %d" % (sx - x, sy - y, got, code))
    print("bands: left 11 px, right and bottom 9 px, title 96 px")

    run.wait_catalog_scaled()
    before = winctl.visible_windows(ctx.display)
    run.click(px(layout.settings_button(1180)))
    dialog = winctl.find_window(ctx.display, "^下载设置$", exclude=before, timeout=30)
    rect = winctl.probe(ctx.env, PROBE, ctx.work, "rect", "KXSettings")
    check(rect is not None and rect.split()[2:] == ["717", "408"], "the settings dialog is %s, not 717 x 408" % rect)
    winctl.xdotool(ctx.display, "key", "Escape")
    wait_for(lambda: not dialog.exists(), "the settings dialog to close on Esc")
    print("settings dialog 717 x 408")

    # A download that takes minutes, cancelled with a double-click.
    ctx.server.rule("/files/editor-setup.exe", then={"bytesPerSecond": 64})
    run.click(px(layout.card_button(EDITOR, 1180)))
    wait_for(lambda: "/files/editor-setup.exe" in ctx.server.paths(), "the editor download to start")
    run.click(px(layout.downloads_button(1180)))
    cancel = px((1180 - 74, layout.panel_row(0) - 15))
    run.wait_colour(px((1180 - 105, layout.panel_row(0) - 15)), (255, 255, 255), "the row's outlined \"取消\"")
    requests = len([p for p in ctx.server.paths() if p == "/files/editor-setup.exe"])
    run.window.refresh().double_click(*cancel)
    run.wait_colour(px((1180 - 105, layout.panel_row(0) - 15)), ACCENT, "\"重试\" after the double-click")
    # Were the second click a click, the download would start again at once.
    deadline = time.monotonic() + 2
    while time.monotonic() < deadline:
        check(near(run.pixel(px((1180 - 105, layout.panel_row(0) - 15))), ACCENT), "the task left its cancelled state")
        time.sleep(0.2)
    again = len([p for p in ctx.server.paths() if p == "/files/editor-setup.exe"]) - requests
    check(again == 0, "%d new requests for the file after the double-click on \"取消\"" % again)
    print("a double-click on \"取消\" left the download cancelled")


def run_server_down(ctx):
    ctx.server.stop()
    return Run(ctx, "server_down")


# A point of the title band (client pixels) that shows only its gradient.
TITLE_BAND_POINT = (400, 4)


def start_second(ctx, n):
    """Starts the program once more; fails unless it ends with 0 by itself."""
    with open(os.path.join(ctx.work, "second_start-%d.out" % n), "w") as log:
        second = subprocess.Popen(["wine", EXE], env=ctx.env, stdin=subprocess.DEVNULL, stdout=log,
                                  stderr=subprocess.STDOUT)
        try:
            code = second.wait(timeout=60)
        except subprocess.TimeoutExpired:
            second.kill()
            second.wait()
            raise Failure("start %d did not end within 60 s" % n)
    check(code == 0, "start %d ended with exit code %d" % (n, code))


def second_start(run):
    ctx = run.ctx
    run.wait_placed(PLACED, "the window")
    band = run.pixel(TITLE_BAND_POINT)
    point = run.window.screen_point(*TITLE_BAND_POINT)

    def band_shows():
        return near(winctl.screen_pixel(ctx.display, *point), band)

    # Any other program's window over ours: Wine's own notepad.
    before = winctl.visible_windows(ctx.display)
    cover = subprocess.Popen(["wine", "notepad"], env=ctx.env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        other = winctl.find_window(ctx.display, title="Notepad", exclude=before, timeout=60)
        run.before = run.before | {other.wid}  # not the shadow
        check(other.x <= point[0] < other.x + other.width and other.y <= point[1] < other.y + other.height,
              "notepad at %s does not cover the point %s" % (other.box, point))
        wait_for(lambda: not band_shows(), "notepad in front of the window")

        start_second(ctx, 2)
        wait_for(band_shows, "the window in front of notepad")
        print("behind another window: a second start exited with 0 and brought the window to the front")

        run.click(layout.minimize_button(run.width))
        wait_for(lambda: run.rect() != PLACED, "the window to minimise")
        wait_for(lambda: not band_shows(), "notepad where the window was")
        start_second(ctx, 3)
        run.wait_placed(PLACED, "the restored window")
        run.wait_shadow_around(PLACED)
        wait_for(band_shows, "the restored window in front of notepad")
        check(run.process.poll() is None, "the first instance ended")
        check(len(winctl.xdotool(ctx.display, "search", "--onlyvisible", "--name", "^Pakvane$").split()) == 1,
              "more than one main window")
        print("minimised: a second start exited with 0; the window is back at %s with its shadow, in front"
              % (PLACED,))
    finally:
        cover.kill()
        cover.wait()


def task_records(ctx):
    """The tasks of downloads.json by id; none while it is missing or being replaced."""
    try:
        with open(winctl.task_list_path(ctx.env), encoding="utf-8") as f:
            return {task["id"]: task for task in json.load(f)["tasks"]}
    except (OSError, ValueError, KeyError):
        return {}


def killed_halfway(run):
    """A finished archive, then the large download ended hard at about half;
    returns its record."""
    ctx = run.ctx
    run.wait_catalog()
    run.click(run.card_button(ARCHIVE))
    wait_for(lambda: os.path.exists(os.path.join(run.downloads, "压缩助手.7z")), "the archive")
    ctx.server.rule("/files/big.zip", steps=[{}], then={"bytesPerSecond": 100000})
    run.click(run.card_button(BIG))
    wait_for(lambda: task_records(ctx).get(5, {}).get("received", 0) >= BIG_SIZE // 2,
             "half of the large download in downloads.json", timeout=90)
    run.kill_hard()
    record = task_records(ctx)[5]
    check(record["state"] == 0 and record["validatorKind"] == "etag" and record["size"] == BIG_SIZE,
          "the record of the killed download: %r" % record)
    with open(os.path.join(run.downloads, "大文件.exe.part"), "rb") as f:
        check(f.read(record["received"]) == big_file_bytes()[:record["received"]],
              "the part file lacks bytes its record claims")
    print("killed with %d of %d bytes on record, all of them in the part file" % (record["received"], BIG_SIZE))
    return record


def restart_after_kill(run):
    ctx = run.ctx
    record = killed_halfway(run)
    held, requests_before = record["received"], len(ctx.server.requests())
    again = Run(ctx, "restarted", keep_tasks=True, downloads=run.downloads)
    shots = os.environ.get("PAKVANE_WINDOW_SHOTS", ctx.work)
    try:
        again.wait_catalog()
        again.wait_no_badge()
        # The paused app's card opens the download page; rows by id: the
        # archive, the running editor, the paused large file.
        ctx.server.rule("/files/editor-setup.exe", then={"bytesPerSecond": 64})
        again.click(again.card_button(EDITOR))
        again.wait_badge()
        again.click(again.card_button(BIG))
        again.rest_pointer()
        c, paused = again.width, layout.panel_row(2)
        again.wait_colour((c - 104, paused - 27), ACCENT, "the paused row's filled \"继续\"")
        again.wait_colour((600, layout.panel_row(0) - 9), GREEN, "the finished archive's green track")
        fill = 298 + held * 100 // BIG_SIZE * (c - 558) // 100
        again.wait_colour((fill - 4, paused - 9), ACCENT, "the paused row's progress")
        again.wait_colour((fill + 4, paused - 9), TRACK, "the rest of the paused row's track")
        toast = layout.toast_fill_point(c)
        wait_for(lambda: near(again.pixel(toast), BACKGROUND), "the download notice to go", timeout=15)
        shot = os.path.join(shots, "restored-downloads.png")
        winctl.screenshot(ctx.display, shot, again.window.refresh().box)
        print("restored page: finished, running and paused rows, no badge for the paused one (%s)" % shot)

        again.click((c - 74, paused - 15))
        final = os.path.join(run.downloads, "大文件.zip")
        wait_for(lambda: os.path.exists(final) and md5_of(final) == md5_of(ctx.file("big.zip")),
                 "the large file, byte-exact", timeout=90)
        asked = [(r["range"], r["ifRange"]) for r in ctx.server.requests()[requests_before:]
                 if r["path"] == "/files/big.zip"]
        expected = [("bytes=0-0", None), ("bytes=%d-%d" % (held, BIG_SIZE - 1), record["validator"])]
        check(asked == expected, "requests after the restart: %r, not %r" % (asked, expected))
        print("\"继续\" asked from byte %d with If-Range %s; the file arrived byte-exact"
              % (held, record["validator"]))
    except Failure:
        winctl.screenshot(ctx.display, os.path.join(shots, "restarted-failure.png"))
        raise
    finally:
        again.stop()


SCENARIOS = (
    ("window", window_handling, None),
    ("search", search, None),
    ("install", install_road, None),
    ("installed", installed_after_restart, None),
    ("settings", settings_folder, None),
    ("server_down", server_down, run_server_down),
    ("second_start", second_start, None),
    ("restart", restart_after_kill, None),
    ("scaled", scaled_window, run_scaled),
)


def main():
    if not os.environ.get("DISPLAY") or not os.environ.get("WINEPREFIX") or not shutil.which("xdotool"):
        print("skipped: needs DISPLAY, WINEPREFIX and xdotool (run through tools/test.sh)")
        return 77
    if not os.path.exists(NSIS_INSTALLER):
        print("skipped: no NSIS installer at %s (makensis missing?)" % NSIS_INSTALLER)
        return 77
    work = tempfile.mkdtemp(prefix="pakvane-window.")
    ctx = Context(work)
    env = ctx.env
    # Xvfb has no window manager; Wine would wait for one to confirm a
    # maximised state and undo it. Let Wine place this program's windows itself.
    winctl.registry_set(env, r"HKCU\Software\Wine\AppDefaults\Pakvane.exe\X11 Driver", "Managed", "N")
    config = winctl.config_path(env)
    saved = open(config, "rb").read() if os.path.exists(config) else None
    failures = 0
    winctl.registry_delete(env, DEMO_KEY)
    winctl.registry_set(env, OLDER_KEY, "DisplayName", "Foo 编辑器")
    winctl.registry_set(env, OLDER_KEY, "DisplayVersion", "1.4")
    try:
        # PAKVANE_WINDOW_SCENARIOS=a,b runs only those (while working on them).
        wanted = os.environ.get("PAKVANE_WINDOW_SCENARIOS", "")
        for name, scenario, start in SCENARIOS:
            if wanted and name not in wanted.split(","):
                continue
            started = time.monotonic()
            run = None
            try:
                run = start(ctx) if start else Run(ctx, name)
                scenario(run)
                print("ok: %s (%.0f s)" % (name, time.monotonic() - started))
            except (Failure, TimeoutError, RuntimeError) as failure:
                failures += 1
                shot = os.path.join(os.environ.get("PAKVANE_WINDOW_SHOTS", work), name + "-failure.png")
                winctl.screenshot(ctx.display, shot)
                print("FAILED %s: %s (screen: %s)" % (name, failure, shot))
                if os.path.exists(os.path.join(work, name + ".out")):
                    with open(os.path.join(work, name + ".out"), errors="replace") as out:
                        sys.stdout.write(out.read()[-2000:])
            finally:
                if run is not None:
                    run.stop()
                if ctx.server.proc.poll() is not None:
                    ctx.server.start()
    finally:
        ctx.server.stop()
        winctl.registry_delete(env, DEMO_KEY)
        winctl.registry_delete(env, OLDER_KEY)
        shutil.rmtree(winctl.windows_path_to_unix(env, winctl.expand(env, "%TEMP%\\PakvaneDemo")),
                      ignore_errors=True)
        for kept in (winctl.task_list_path(env), winctl.task_list_path(env) + ".bad"):
            if os.path.exists(kept):
                os.remove(kept)
        if saved is None:
            if os.path.exists(config):
                os.remove(config)
        else:
            with open(config, "wb") as f:
                f.write(saved)
        if failures == 0:
            shutil.rmtree(work, ignore_errors=True)
        else:
            print("kept " + work)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
