#!/usr/bin/env python3
"""Takes the README's pictures: runs Pakvane on a virtual screen against the
demo catalog and drives it like a person (tools/screenshots.sh builds first).

    catalog.png    the first category's cards with their icons
    search.png     "bj" typed into the search field: the apps whose names
                   have those pinyin initials, under the search's heading
    downloads.png  the download-manager page: installed, archive saved, MD5
                   mismatch, cancelled, and one download in progress
    cards.png      the same cards afterwards: installed, open folder, install
                   now, download again, downloading
    installers.png the download-manager page after installers of every kind:
                   an unsigned setup program, an MSI package, a signed one with
                   its publisher, and one whose code was changed after signing
                   (refused)
    settings.png   the settings dialog over the main window
    catalog-150.png  the catalog page at 150 % (a prefix at 144 DPI on a
                   2560 x 1600 screen), at its full size
    search-150.png the search of search.png at 150 %
"""

import argparse
import json
import os
import shutil
import struct
import subprocess
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
# For installers.png: cards of "办公效率" (sidebar row 1) and "系统工具" (row 3).
UNSIGNED = {"row": 1, "card": 1, "file": "mindmap-setup.exe", "key": "PakvaneDemoMindMap"}
MSI = {"row": 1, "card": 4, "file": "quicksheet.msi", "code": "{3E8C52A1-7F4D-4B9A-8C21-6D0F5A7B9E31}"}
SIGNED = {"row": 3, "card": 6, "file": "snapcut-setup.exe", "key": "PakvaneDemoSnapCut"}
TAMPERED = {"row": 3, "card": 7, "id": 124, "file": "snapcut-tampered.exe", "name": "极简截图（被篡改）"}
MACHINE_UNINSTALL = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"


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


# Typed into the search field: the initials of 墨笔记 and 码匠编辑器.
SEARCH = "bj"


def search(session, shots, name, scale=1.0):
    """Types SEARCH into the field and takes its results page; the caret
    blinks, so only the page below the title band has to settle. Esc ends
    the search."""
    window = session.window
    band = int(64 * scale)
    category = window.grab(band).pixels
    window.click(int(540 * scale), int(30 * scale))
    winctl.xdotool(session.display, "type", SEARCH)
    window.move_to(100, window.height - 30)
    poll(lambda: window.grab(band).pixels != category, 30, "the search's results")
    winctl.wait_until_still(window, 30, below=band)
    shots.take(name, settle=False)
    winctl.xdotool(session.display, "key", "Escape")


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


def add_tampered_app(catalog_dir):
    """The signed demo installer with one byte of its code changed, as an app
    of its own: its signature no longer fits, its catalog MD5 does."""
    files = os.path.join(catalog_dir, "files")
    with open(os.path.join(files, SIGNED["file"]), "rb") as f:
        image = bytearray(f.read())
    header = struct.unpack_from("<I", image, 0x3C)[0]
    optional_size = struct.unpack_from("<H", image, header + 20)[0]
    code = struct.unpack_from("<I", image, header + 24 + optional_size + 20)[0]
    image[code + 16] ^= 0xFF
    with open(os.path.join(files, TAMPERED["file"]), "wb") as f:
        f.write(image)
    path = os.path.join(catalog_dir, "catalog.json")
    with open(path, encoding="utf-8") as f:
        catalog = json.load(f)
    catalog["apps"].append({"id": TAMPERED["id"], "name": TAMPERED["name"], "version": "1.8.2",
                            "categoryIds": ["tools"], "description": "安装程序在签名后被改动过。",
                            "icon": "snapcut.png", "file": TAMPERED["file"], "downloads": 12,
                            "updatedAt": 1795766400000})
    with open(path, "w", encoding="utf-8") as f:
        json.dump(catalog, f, ensure_ascii=False, indent=2)


def forget_installs(env):
    """Earlier runs' installs would turn "installed" into "already there"."""
    for app in (INSTALLER, UNSIGNED, SIGNED):
        winctl.registry_delete(env, UNINSTALL + app["key"])
    subprocess.run(["wine", "msiexec", "/x", MSI["code"], "/qn"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def drive_installers(session, shots):
    """installers.png: after "清除已完成" only the running download is left;
    then an installer of every kind, each started by its own card."""
    window, server = session.window, session.server
    window.click(*layout.downloads_button(window.width))
    window.click(window.width - 72, 99)  # 清除已完成
    for app in (UNSIGNED, MSI, SIGNED, TAMPERED):
        window.click(*layout.sidebar_row(app["row"]))
        poll(lambda: winctl.near(window.pixel(30, 85 + 48 * app["row"]), SELECTED_ROW, 2), 15,
             "the category of " + app["file"])
        window.click(*layout.card_button(app["card"], window.width))
        poll(lambda: "/files/" + app["file"] in server.paths(), 30, "the download of " + app["file"])
    env = session.env
    poll(lambda: winctl.registry_has(env, UNINSTALL + UNSIGNED["key"]), 180, "the unsigned installer's entry", 1)
    poll(lambda: winctl.registry_has(env, UNINSTALL + SIGNED["key"]), 180, "the signed installer's entry", 1)
    poll(lambda: winctl.registry_has(env, MACHINE_UNINSTALL + MSI["code"]), 180, "the MSI package's entry", 1)
    window.click(*layout.downloads_button(window.width))
    poll(lambda: quiet_overlays(window), 30, "the toast and the banner to go")
    # Rows in id order: the running download (108), then 111, 122, 123 and 124.
    refused_row = layout.panel_row(4)
    poll(lambda: winctl.near(window.pixel(window.width - 100, refused_row - 15), ACCENT), 60,
         "the refused row's 安装 button")
    shots.take("installers.png", settle=False)  # the download above still runs


def drive(session, shots, downloads):
    window = session.start()
    print("window at %d,%d, %d x %d" % window.box)
    session.wait_for_catalog(icons=8)
    shots.take("catalog.png")
    search(session, shots, "search.png")

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

    drive_installers(session, shots)

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
        search(session, Shots(session, out, None), "search-%d.png" % percent, args.scaled_dpi / 96)


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
        add_tampered_app(source)
        if args.only_scaled:
            take_scaled(args, source, work, os.path.abspath(args.out))
            return 0
        display = args.display if args.display is not None else winctl.free_display(140, 179)
        with winctl.Session(args.exe, source, os.path.join(work, "session"), os.path.abspath(args.prefix),
                            display=display, throttle=384 * 1024) as session:
            forget_installs(session.env)
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
