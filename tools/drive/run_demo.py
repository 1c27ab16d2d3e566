#!/usr/bin/env python3
"""The demo behind tools/run.sh: the demo catalog served (slowly enough to watch
a download), and Pakvane pointed at it in its own Wine prefix.

With a display the program simply runs until it is closed. Without one it runs
on a virtual screen, is driven through one download of a real installer, and
leaves screenshots of the catalog page and of the download-manager page.
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
DEMO_APP = {"card": 0, "file": "inknotes-setup.exe", "key": "PakvaneDemoInkNotes"}


def display_range():
    first, _, last = os.environ.get("PAKVANE_DISPLAYS", "140-179").partition("-")
    return int(first), int(last or first)


def headless(session, out):
    shots = []
    window = session.start()
    print("Pakvane window at %d,%d, %d x %d" % window.box)
    window.move_to(100, window.height - 30)  # no hover look on the cards
    try:
        session.wait_for_catalog(icons=6)
    except TimeoutError as e:
        print("the catalog did not show: %s" % e, file=sys.stderr)
    shots.append(session.screenshot(os.path.join(out, "catalog.png")))
    if window.grab().is_blank():
        print("warning: the catalog page is blank", file=sys.stderr)

    registry_key = UNINSTALL + DEMO_APP["key"]
    try:
        window.click(*layout.card_button(DEMO_APP["card"], window.width))
        poll(lambda: "/files/" + DEMO_APP["file"] in session.server.paths(), 30, "the download to start")
        before = window.grab().pixels
        window.click(*layout.downloads_button(window.width))
        poll(lambda: window.grab().pixels != before, 15, "the download-manager page")
        shots.append(session.screenshot(os.path.join(out, "downloading.png")))
        poll(lambda: winctl.registry_has(session.env, registry_key), 180, "the installer's Uninstall entry", 1)
        winctl.wait_until_still(window, 30)
        shots.append(session.screenshot(os.path.join(out, "downloads.png")))
    except TimeoutError as e:
        print("the download did not go through: %s" % e, file=sys.stderr)
        shots.append(session.screenshot(os.path.join(out, "after-download.png")))
    return shots


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--packages", required=True, help="folder of built demo packages")
    parser.add_argument("--prefix", required=True, help="Wine prefix to use (made when missing)")
    parser.add_argument("--out", required=True, help="folder for the screenshots")
    parser.add_argument("--throttle", type=int, default=512 * 1024, help="package bytes per second")
    parser.add_argument("--headless", action="store_true", help="run on a virtual screen even with a display")
    args = parser.parse_args(argv)

    work = tempfile.mkdtemp(prefix="pakvane-run.")
    try:
        source = os.path.join(work, "demo")
        demo_packages.assemble(args.packages, source)
        headless_run = args.headless or not os.environ.get("DISPLAY")
        display = winctl.free_display(*display_range()) if headless_run else None
        with winctl.Session(args.exe, source, os.path.join(work, "session"), os.path.abspath(args.prefix),
                            display=display, throttle=args.throttle) as session:
            # A fresh download each run: forget what earlier runs installed.
            winctl.registry_delete(session.env, UNINSTALL + DEMO_APP["key"])
            print("Demo catalog server on %s" % session.server.url)
            if not headless_run:
                session.start(find=False)
                session.program.wait()
                return 0
            print("No display: running on the virtual screen %s" % session.display)
            shots = headless(session, os.path.abspath(args.out))
        print("Screenshots saved:")
        for path in shots:
            print("  " + os.path.relpath(path))
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
