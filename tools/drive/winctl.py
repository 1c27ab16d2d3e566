"""Drives Pakvane like a person: a virtual screen, the catalog server, a Wine
prefix with its config.json, the program, and clicks and pixels in its window.

Shared by tools/run.sh (headless demo), tools/screenshots.sh and the
end-to-end test. Python 3 standard library, plus Xvfb, xdotool, ImageMagick's
import and Wine on the PATH.

    with Session(exe, catalog_dir, work, prefix, display=free_display(180, 189)) as s:
        window = s.start()
        s.wait_for_catalog(icons=4)
        window.click(*layout.card_button(0, window.width))
        s.screenshot("shot.png")

Every wait polls a condition until a deadline and raises TimeoutError with
what it waited for; nothing sleeps blindly.
"""

import json
import os
import shutil
import subprocess
import sys
import time
import urllib.request

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
SERVER_SCRIPT = os.path.join(ROOT, "tools", "catalog_server.py")
PREFIX_SCRIPT = os.path.join(ROOT, "tools", "wine_prefix.sh")
SCREEN = (1280, 800)
MAIN_WINDOW_TITLE = "^Pakvane$"  # xdotool regex; the shadow window has no title


# -- waiting

def poll(condition, timeout, what, interval=0.25):
    """Calls condition until it returns something true; returns that value.
    Raises TimeoutError naming what was awaited when the deadline passes."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise TimeoutError("waited %.0f s for %s" % (timeout, what))
        time.sleep(interval)


# -- the virtual screen

def free_display(first, last):
    """The first X display number in [first, last] that nobody holds."""
    for n in range(first, last + 1):
        if not os.path.exists("/tmp/.X%d-lock" % n) and not os.path.exists("/tmp/.X11-unix/X%d" % n):
            return n
    raise RuntimeError("no free X display in %d..%d" % (first, last))


class VirtualScreen:
    """Xvfb on display :n, 1280 x 800 x 24, for as long as the object lives."""

    def __init__(self, number, size=SCREEN):
        self.number = number
        self.name = ":%d" % number
        self.proc = subprocess.Popen(
            ["Xvfb", self.name, "-screen", "0", "%dx%dx24" % size, "-nolisten", "tcp"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        poll(lambda: self.proc.poll() is not None or os.path.exists("/tmp/.X11-unix/X%d" % number),
             30, "Xvfb on %s" % self.name, 0.05)
        if self.proc.poll() is not None:
            raise RuntimeError("Xvfb %s did not start" % self.name)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait()


# -- pictures

class Image:
    """An RGB picture read from a PPM."""

    def __init__(self, data):
        fields, pos = [], 0
        while len(fields) < 4:  # magic, width, height, maximum; comments skipped
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos)
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        if fields[0] != b"P6" or fields[3] != b"255":
            raise ValueError("not an 8-bit binary PPM")
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = data[pos + 1:pos + 1 + 3 * self.width * self.height]

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.pixels[i:i + 3])

    def is_blank(self):
        """One colour only (an all-black screen, say): nothing was drawn."""
        return self.pixels == self.pixels[:3] * (self.width * self.height)


def near(colour, expected, tolerance=12):
    """Colours that differ by at most tolerance in each channel (blending and
    anti-aliasing move a drawn colour a little)."""
    return all(abs(a - b) <= tolerance for a, b in zip(colour, expected))


def grab(display, box=None):
    """The screen (or box = (x, y, w, h) of it) as an Image."""
    args = ["import", "-display", display, "-window", "root"]
    if box:
        args += ["-crop", "%dx%d+%d+%d" % (box[2], box[3], box[0], box[1]), "+repage"]
    data = subprocess.run(args + ["-depth", "8", "ppm:-"], check=True, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL).stdout
    return Image(data)


def screenshot(display, path, box=None, scale=None, palette=False):
    """Saves the screen (or box of it) as PNG; scale in percent shrinks it,
    palette makes a small 256-colour PNG."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    args = ["import", "-display", display, "-window", "root"]
    if box:
        args += ["-crop", "%dx%d+%d+%d" % (box[2], box[3], box[0], box[1]), "+repage"]
    if scale:
        args += ["-resize", "%d%%" % scale]
    if palette:
        args += ["-colors", "256"]
    target = ("PNG8:" if palette else "") + path
    subprocess.run(args + ["-strip", target], check=True, stderr=subprocess.DEVNULL)
    return path


# -- the catalog server

class CatalogServer:
    """tools/catalog_server.py on a copy of a catalog folder, on a free port.
    stop() and start() again keep the port, so a client configured for it
    finds the server back (the "server down at start" case)."""

    def __init__(self, catalog_dir, work, throttle=None, extra_args=()):
        self.work = work
        self.catalog = os.path.join(work, "catalog")
        shutil.copytree(catalog_dir, self.catalog)
        self.log_path = os.path.join(work, "server.log")
        self.args = [sys.executable, SERVER_SCRIPT, "--catalog", self.catalog,
                     "--reports", os.path.join(work, "reports.jsonl")] + list(extra_args)
        if throttle:
            self.args += ["--throttle", str(throttle)]
        self.proc = None
        self.port = 0
        self.start()

    def start(self):
        port_file = os.path.join(self.work, "ports.json")
        if os.path.exists(port_file):
            os.remove(port_file)
        with open(self.log_path, "ab") as log:
            self.proc = subprocess.Popen(self.args + ["--port", str(self.port), "--port-file", port_file],
                                         stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        poll(lambda: self.proc.poll() is not None or os.path.exists(port_file), 30,
             "the catalog server's port", 0.05)
        if self.proc.poll() is not None:
            with open(self.log_path, errors="replace") as f:
                raise RuntimeError("catalog server did not start:\n" + f.read())
        with open(port_file) as f:
            self.port = json.load(f)["http"]
        self.url = "http://127.0.0.1:%d" % self.port

    def control(self, what, body=None):
        request = urllib.request.Request(self.url + "/_control/" + what, data=body,
                                         method="POST" if body is not None else "GET")
        with urllib.request.urlopen(request, timeout=10) as answer:
            return json.loads(answer.read().decode("utf-8"))

    def rule(self, path, steps=(), then=None):
        """A fault rule for one path (see tools/README.md), e.g. a slower rate."""
        rule = {"path": path, "steps": list(steps)}
        if then is not None:
            rule["then"] = then
        return self.control("rule", json.dumps(rule).encode("utf-8"))

    def requests(self):
        """Every request the server answered so far: {"method", "path", "range", ...}."""
        return self.control("log")["requests"]

    def paths(self):
        return [r["path"] for r in self.requests()]

    def reports(self):
        return self.control("reports")["reports"]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait()


# -- Wine

def wine_env(prefix, display):
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY=display)
    return env


def prepare_prefix(env, dpi=None):
    """Makes the prefix (fonts mapped; screens at dpi when given, which a
    prefix keeps for good) and starts its services, detached from our pipes.
    The screen must exist already: Wine's first start in a prefix binds it to
    the display it finds."""
    subprocess.run(["bash", PREFIX_SCRIPT, env["WINEPREFIX"]] + ([str(dpi)] if dpi else []), env=env, check=True)
    subprocess.run(["wine", "cmd", "/c", "exit"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def stop_wine(env):
    """Ends every Wine process of the prefix, and its server."""
    subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def windows_path_to_unix(env, path):
    out = subprocess.run(["winepath", "-u", path], env=env, check=True, stdin=subprocess.DEVNULL,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    return out.decode("utf-8").strip()


def expand(env, text):
    """A Windows environment string such as %APPDATA%, as Wine expands it."""
    out = subprocess.run(["wine", "cmd", "/c", "echo " + text], env=env, check=True,
                         stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    return out.decode("utf-8", "replace").strip()


def config_path(env):
    """Unix path of the per-user config.json (%APPDATA%\\Lorimund)."""
    return os.path.join(windows_path_to_unix(env, expand(env, "%APPDATA%")), "Lorimund", "config.json")


def task_list_path(env):
    """Unix path of the download list kept beside config.json."""
    return os.path.join(os.path.dirname(config_path(env)), "downloads.json")


def write_config(env, server_url, download_dir="", channel="default", keep_tasks=False):
    """Writes the per-user config.json; returns its Unix path. Unless
    keep_tasks, the download list of earlier runs goes too: each run starts
    with no tasks."""
    path = config_path(env)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        json.dump({"server": server_url, "channel": channel, "downloadDir": download_dir}, f,
                  ensure_ascii=False, indent=2)
    if not keep_tasks:
        tasks = os.path.join(os.path.dirname(path), "downloads.json")
        for stale in (tasks, tasks + ".bad"):
            if os.path.exists(stale):
                os.remove(stale)
    return path


def default_download_dir(env):
    """Unix path of the download folder used when none is configured."""
    return os.path.join(windows_path_to_unix(env, expand(env, "%USERPROFILE%")), "Downloads", "Pakvane")


def registry_has(env, key, value=None):
    """True when the registry key (and value, if named) exists, e.g.
    HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\X."""
    args = ["wine", "reg", "query", key] + (["/v", value] if value else [])
    return subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


def registry_set(env, key, name, value):
    """Writes a REG_SZ value."""
    subprocess.run(["wine", "reg", "add", key, "/v", name, "/d", value, "/f"], env=env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)


def window_frames_by_wine(env, on):
    """On a screen without a window manager nobody draws a dialog's frame and
    caption: have Wine draw them (in a font that has Chinese glyphs)."""
    registry_set(env, "HKCU\\Software\\Wine\\X11 Driver", "Decorated", "N" if on else "Y")
    registry_set(env, "HKCU\\Software\\Wine\\Fonts\\Replacements", "Tahoma", "WenQuanYi Micro Hei")


def registry_delete(env, key):
    subprocess.run(["wine", "reg", "delete", key, "/f"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def probe(env, probe_exe, work, *args):
    """Runs tests/window/window_probe.exe in the prefix (a look at the window
    from another process: "zorder", "hittest X Y", "rect CLASS", "dpi",
    "answer MS") and
    returns its one line of answer, or None when it found nothing."""
    out = os.path.join(work, "probe-answer.txt")
    if os.path.exists(out):
        os.remove(out)
    code = subprocess.run(["wine", probe_exe, "Z:" + out.replace("/", "\\")] + [str(a) for a in args], env=env,
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    if code != 0 or not os.path.exists(out):
        return None
    with open(out, encoding="utf-8") as f:
        return f.read().strip()


# -- the window

def xdotool(display, *args):
    env = dict(os.environ, DISPLAY=display)
    return subprocess.run(["xdotool"] + [str(a) for a in args], env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.decode().strip()


class Window:
    """A top-level window on the screen; coordinates are client pixels (the
    window is borderless, so its client area is the whole window)."""

    def __init__(self, display, wid):
        self.display = display
        self.wid = wid
        self.refresh()

    def refresh(self):
        box = geometry(self.display, self.wid)
        if box is None:
            raise RuntimeError("window %s is gone" % self.wid)
        self.x, self.y, self.width, self.height = box
        return self

    @property
    def box(self):
        return (self.x, self.y, self.width, self.height)

    def screen_point(self, cx, cy):
        return (self.x + int(cx), self.y + int(cy))

    def move_to(self, cx, cy):
        xdotool(self.display, "mousemove", *self.screen_point(cx, cy))

    def click(self, cx, cy):
        x, y = self.screen_point(cx, cy)
        xdotool(self.display, "mousemove", x, y, "click", 1)

    def double_click(self, cx, cy):
        double_click(self.display, *self.screen_point(cx, cy))

    def drag(self, cx, cy, offset):
        drag(self.display, self.screen_point(cx, cy), offset)

    def grab(self, below=0):
        """The window's pixels; from client row `below` down when given."""
        return grab(self.display, (self.x, self.y + below, self.width, self.height - below))

    def pixel(self, cx, cy):
        x, y = self.screen_point(cx, cy)
        return grab(self.display, (x, y, 1, 1)).pixel(0, 0)

    def exists(self):
        return bool(xdotool(self.display, "getwindowname", self.wid))


def visible_windows(display):
    """Ids of every visible window on the screen."""
    return set(xdotool(display, "search", "--onlyvisible", "--name", ".*").split())


def geometry(display, wid):
    """(x, y, width, height) of a window, or None once it is gone."""
    fields = dict(line.split("=", 1) for line in
                  xdotool(display, "getwindowgeometry", "--shell", wid).splitlines() if "=" in line)
    if "X" not in fields:
        return None
    return tuple(int(fields[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))


def find_window(display, title=MAIN_WINDOW_TITLE, timeout=60, exclude=()):
    """The first visible window whose title matches the regex; windows in
    exclude (say, those of an earlier run that may linger) do not count."""
    def search():
        found = [w for w in xdotool(display, "search", "--onlyvisible", "--name", title).split()
                 if w not in exclude]
        return found[0] if found else None
    return Window(display, poll(search, timeout, "a window titled %s" % title, 0.2))


def drag(display, start, offset, steps=8):
    """Presses at the screen point start, moves by offset and releases, in
    steps paced like a hand."""
    x, y = start
    xdotool(display, "mousemove", x, y, "mousedown", 1)
    for i in range(1, steps + 1):
        time.sleep(0.05)  # pointer pacing only; nothing waits on it
        xdotool(display, "mousemove", x + offset[0] * i // steps, y + offset[1] * i // steps)
    xdotool(display, "mouseup", 1)


def double_click(display, x, y):
    xdotool(display, "mousemove", x, y, "click", "--repeat", 2, "--delay", 80, 1)


def screen_pixel(display, x, y):
    return grab(display, (x, y, 1, 1)).pixel(0, 0)


def wait_until_still(window, timeout=20, interval=0.5, below=0):
    """Waits until two grabs of the window, interval apart, are the same
    (icons decoded, nothing being drawn); returns the last grab's pixels.
    below: only rows from there down count (a caret blinks above)."""
    last = [window.grab(below).pixels]

    def same():
        time.sleep(interval)
        now = window.grab(below).pixels
        settled, last[0] = now == last[0], now
        return settled
    poll(same, timeout, "the window to stop changing", 0)
    return last[0]


# -- the main window's layout

class MainWindowLayout:
    """Where things are in the main window, in client pixels of a window
    `width` wide (cards and rows also depend on how far they are scrolled)."""

    def columns(self, width):
        return (width - 252) // 220 if width >= 1132 else 3

    def card(self, k, width, top=126, scroll=0):
        """(left, top, card width) of the k-th card of the grid."""
        cols = self.columns(width)
        cw = (width - 252 - 14 * (cols - 1)) // cols
        return (226 + (cw + 14) * (k % cols), top + 248 * (k // cols) - scroll, cw)

    def card_button(self, k, width, top=126, scroll=0):
        """Centre of card k's action button (100 x 32 at left + (cw - 100)/2, top + 188)."""
        left, card_top, cw = self.card(k, width, top, scroll)
        return (left + (cw - 100) // 2 + 50, card_top + 188 + 16)

    def card_icon_box(self, k, width, top=126, scroll=0):
        """(left, top, right, bottom) of card k's 84 x 84 icon."""
        left, card_top, cw = self.card(k, width, top, scroll)
        x = left + (cw - 84) // 2
        return (x, card_top + 16, x + 84, card_top + 100)

    def search_field(self, width):
        """A point of the search field (480, 13)..(width - 390, 47) right of its magnifier."""
        return (540, 30)

    def sidebar_row(self, i):
        """Centre of category row i (12..188, 78 + 48 i, 42 high)."""
        return (100, 78 + 48 * i + 21)

    def downloads_button(self, width):
        return (width - 318, 32)

    def settings_button(self, width):
        return (width - 204, 32)

    def minimize_button(self, width):
        return (width - 115, 32)

    def close_button(self, width):
        return (width - 23, 32)

    def badge_ring(self, width):
        """Four points of the download badge's red disc, around its number."""
        return [(width - 270 + dx, 22 + dy) for dx, dy in ((-8, 0), (8, 0), (0, -8), (0, 8))]

    def card_button_box(self, k, width, top=126, scroll=0):
        """(left, top, right, bottom) of card k's action button."""
        left, card_top, cw = self.card(k, width, top, scroll)
        x = left + (cw - 100) // 2
        return (x, card_top + 188, x + 100, card_top + 220)

    def card_button_fill_point(self, k, width):
        """A point of card k's button that shows its fill, not its label."""
        left, top, _, bottom = self.card_button_box(k, width)
        return (left + 9, (top + bottom) // 2)

    def panel_track_start(self, k):
        """A point at the left end of row k's progress track."""
        return (302, self.panel_row(k) - 9)

    def panel_install_button(self, k, width):
        """Centre of row k's filled "安装" (or "重试") button."""
        return (width - 74, self.panel_row(k) - 15)

    def toast_fill_point(self, width):
        """A point of the notice pill ((w - 360)/2, 80)..((w + 360)/2, 122)
        below its text, over the page background."""
        return (width // 2, 117)

    def reload_button(self, width):
        """Centre of "重新加载" on the catalog error page."""
        return ((width + 200) // 2, 310)

    def panel_row(self, k):
        """Reference line y of the k-th row of the download-manager page;
        its buttons lie in the band y - 30 .. y."""
        return 216 + 96 * k


layout = MainWindowLayout()


# -- everything together

class Session:
    """Screen, server, prefix, config.json and the program, in that order,
    torn down in reverse. display None means use the current $DISPLAY; else
    a virtual screen of that number and size is made. dpi: the prefix's (see
    prepare_prefix)."""

    def __init__(self, exe, catalog_dir, work, prefix, display=None, throttle=None, download_dir="",
                 config=True, screen=SCREEN, dpi=None):
        self.work = work
        os.makedirs(work, exist_ok=True)
        self.screen = None
        self.server = None
        self.program = None
        self.window = None
        try:
            if display is None:
                self.display = os.environ["DISPLAY"]
            else:
                self.screen = VirtualScreen(display, screen)
                self.display = self.screen.name
            self.env = wine_env(prefix, self.display)
            if self.screen is not None:
                # A Wine server left from an earlier run would keep its
                # desktop on that run's (gone) screen.
                stop_wine(self.env)
            prepare_prefix(self.env, dpi)
            window_frames_by_wine(self.env, self.screen is not None)
            self.server = CatalogServer(catalog_dir, work, throttle)
            if config:
                self.config_path = write_config(self.env, self.server.url, download_dir)
            self.exe = exe
        except BaseException:
            self.close()
            raise

    def start(self, find=True, timeout=90):
        """Starts the program; with find, waits for its main window."""
        self.program_log = os.path.join(self.work, "program.log")
        with open(self.program_log, "ab") as log:
            self.program = subprocess.Popen(["wine", self.exe], env=self.env, stdin=subprocess.DEVNULL,
                                            stdout=log, stderr=subprocess.STDOUT)
        if find:
            self.window = find_window(self.display, timeout=timeout)
        return self.window

    def wait_for_catalog(self, icons=1, timeout=90):
        """Waits for the bootstrap request, then for that many icon requests,
        then for the window to settle."""
        poll(lambda: "/api/client/bootstrap" in self.server.paths(), timeout, "the catalog request")
        poll(lambda: sum(p.startswith("/icons/") for p in self.server.paths()) >= icons, timeout,
             "%d icon requests" % icons)
        wait_until_still(self.window, timeout)

    def screenshot(self, path, scale=None, whole_screen=False, palette=False):
        """The main window (or the screen) as PNG."""
        box = None if whole_screen or not self.window else self.window.refresh().box
        return screenshot(self.display, path, box, scale, palette)

    def exited(self):
        return self.program is not None and self.program.poll() is not None

    def wait_exit(self, timeout=30):
        """The program's exit code, once it has ended."""
        poll(self.exited, timeout, "the program to exit")
        return self.program.returncode

    def close(self):
        if self.program is not None and self.program.poll() is None:
            stop_wine(self.env)
            try:
                self.program.wait(30)
            except subprocess.TimeoutExpired:
                self.program.kill()
        if self.server is not None:
            self.server.stop()
        if self.screen is not None:
            if hasattr(self, "env"):
                stop_wine(self.env)
            self.screen.stop()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False
