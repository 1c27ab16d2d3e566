#!/usr/bin/env python3
"""Takes the README's pictures: runs Pakvane on a virtual screen against the
demo catalog and drives it like a person (tools/screenshots.sh builds first).

    catalog.png    the first category's cards with their icons
    downloads.png  the download-manager page: installed, archive saved, MD5
                   mismatch, cancelled, and one download in progress
    cards.png      the same cards afterwards: installed, open folder, install
                   now, download again, downloading
    settings.png   the settings dialog over the main window
    catalog-150.png  the catalog page at 150 % (a prefix at 144 DPI on a
                   2560 x 1600 screen), at its full size
"""

import argparse
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "demo_catalog"))

import demo_packages  # noqa: E402
import winctl  # noqa: E402
from winctl import layout, poll  # noqa: E402

UNINSTALL = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
BACKGROUND = (245, 246, 248)
ACCENT = (91, 77, 255)
SELECTED_ROW = (238, 237, 255)  # the chosen category's fill, shown on the catalog page only

# Cards of the first category ("热门推荐"), in catalog order.
INSTALLER = {"card": 0, "id": 101, "file": "inknotes-setup.exe", "key": "PakvaneDemoInkNotes"}
ARCHIVE = {"card": 3, "id": 104, "file": "photo-viewer.zip"}
CANCELLED = {"card": 4, "id": 105, "file": "converter-pro.zip"}
MISMATCH = {"card": 6, "id": 107, "file": "cloudsync-setup.exe"}
RUNNING = {"card": 7, "id": 108, "file": "swift-browser-setup.exe"}


class Shots:
    def __init__(self, session, out, scale):
        self.session, self.out, self.scale = session, out, scale
        self.saved = []

    def take(self, name, settle=True):
        window = self.session.window
        # The pointer rests on the empty foot of the sidebar: no hover look.
        window.move_to(100, window.height - 30)
        if settle:
            winctl.wait_until_still(window, 30)
        path = self.session.screenshot(os.path.join(self.out, name), scale=self.scale, palette=True)
        if self.session.window.grab().is_blank():
            print("warning: %s is blank" % name, file=sys.stderr)
        self.saved.append(path)
        print("saved " + os.path.relpath(path))


def finished_files(folder):
    try:
        return [n for n in os.listdir(folder) if not n.endswith(".part")]
    except OSError:
        return []


def quiet_overlays(window):
    """True once the toast and the completion banner have gone."""
    w, h = window.width, window.height
    return (winctl.near(window.pixel(w // 2 + 150, 101), BACKGROUND, 2) and
            winctl.near(window.pixel(w - 188, h - 62), BACKGROUND, 2))


def drive(session, shots, downloads):
    window = session.start()
    print("window at %d,%d, %d x %d" % window.box)
    session.wait_for_catalog(icons=8)
    shots.take("catalog.png")

    server = session.server
    # The one left running stays in progress for the picture; the one to be
    # cancelled is still running when its button is pressed.
    server.rule("/files/" + RUNNING["file"], then={"bytesPerSecond": 96 * 1024})
    server.rule("/files/" + CANCELLED["file"], then={"bytesPerSecond": 48 * 1024})
    for app in (INSTALLER, ARCHIVE, CANCELLED, MISMATCH):
        window.click(*layout.card_button(app["card"], window.width))
        poll(lambda: "/files/" + app["file"] in server.paths(), 30, "the download of " + app["file"])
    window.click(*layout.downloads_button(window.width))
    # Buttons answer once drawn: wait for the page (no category is chosen there).
    poll(lambda: not winctl.near(window.pixel(30, 85), SELECTED_ROW, 2), 15, "the download-manager page")
    # Rows are in app id order: 101, 104, 105, 107, then 108.
    cancel_row = layout.panel_row(2)
    window.click(window.width - 74, cancel_row - 15)
    poll(lambda: winctl.near(window.pixel(window.width - 100, cancel_row - 15), ACCENT), 15,
         "the cancelled row's 重试")
    poll(lambda: winctl.registry_has(session.env, UNINSTALL + INSTALLER["key"]), 180,
         "the installer's Uninstall entry", 1)
    poll(lambda: len(finished_files(downloads)) >= 3, 120, "three finished downloads in " + downloads, 1)

    window.click(*layout.sidebar_row(0))  # back to the catalog for the last card
    window.click(*layout.card_button(RUNNING["card"], window.width))
    poll(lambda: "/files/" + RUNNING["file"] in server.paths(), 30, "the download of " + RUNNING["file"])
    window.click(*layout.downloads_button(window.width))
    poll(lambda: quiet_overlays(window), 30, "the toast and the banner to go")
    shots.take("downloads.png", settle=False)  # a download runs: it never settles

    window.click(*layout.sidebar_row(0))  # the cards show their tasks' states
    poll(lambda: winctl.near(window.pixel(30, 85), SELECTED_ROW, 2), 15, "the catalog page")
    shots.take("cards.png", settle=False)

    window.click(*layout.settings_button(window.width))
    dialog = winctl.find_window(session.display, "^下载设置$", 30)
    winctl.wait_until_still(dialog, 30)
    shots.take("settings.png", settle=False)  # the download behind still runs


def take_scaled(args, source, work, out):
    """The catalog page at another scale, at full size: a prefix of its own
    at that DPI on a 2560 x 1600 screen."""
    percent = args.scaled_dpi * 100 // 96
    display = winctl.free_display(140, 179)
    prefix = "%s-%d" % (os.path.abspath(args.prefix), args.scaled_dpi)
    with winctl.Session(args.exe, source, os.path.join(work, "scaled"), prefix, display=display,
                        screen=(2560, 1600), dpi=args.scaled_dpi) as session:
        window = session.start()
        print("window at %d,%d, %d x %d at %d %%" % (window.box + (percent,)))
        session.wait_for_catalog(icons=8)
        # The pointer rests on the empty foot of the sidebar: no hover look.
        window.move_to(150, window.height - 45)
        winctl.wait_until_still(window, 30)
        path = session.screenshot(os.path.join(out, "catalog-%d.png" % percent), palette=True)
        print("saved " + os.path.relpath(path))


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--packages", required=True, help="folder of built demo packages")
    parser.add_argument("--prefix", required=True, help="Wine prefix to use (made when missing)")
    parser.add_argument("--out", required=True, help="folder for the pictures")
    parser.add_argument("--scale", type=int, default=75, help="size of the pictures in percent")
    parser.add_argument("--display", type=int, help="X display number (default: the first free from 140)")
    parser.add_argument("--scaled-dpi", type=int, default=144,
                        help="DPI of the last picture, catalog-<percent>.png (default 144: 150 %%)")
    parser.add_argument("--only-scaled", action="store_true", help="take only that picture")
    args = parser.parse_args(argv)

    work = tempfile.mkdtemp(prefix="pakvane-shots.")
    try:
        source = os.path.join(work, "demo")
        demo_packages.assemble(args.packages, source)
        if args.only_scaled:
            take_scaled(args, source, work, os.path.abspath(args.out))
            return 0
        display = args.display if args.display is not None else winctl.free_display(140, 179)
        with winctl.Session(args.exe, source, os.path.join(work, "session"), os.path.abspath(args.prefix),
                            display=display, throttle=384 * 1024) as session:
            winctl.registry_delete(session.env, UNINSTALL + INSTALLER["key"])
            downloads = winctl.default_download_dir(session.env)
            shutil.rmtree(downloads, ignore_errors=True)
            shots = Shots(session, os.path.abspath(args.out), args.scale)
            try:
                drive(session, shots, downloads)
            except TimeoutError as e:
                failed = winctl.screenshot(session.display, os.path.join(winctl.ROOT, "build", "screenshots",
                                                                         "failed.png"))
                print("stopped: %s (the screen is in %s)" % (e, os.path.relpath(failed)), file=sys.stderr)
                return 1
        take_scaled(args, source, work, os.path.abspath(args.out))
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
