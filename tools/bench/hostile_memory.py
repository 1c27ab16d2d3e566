#!/usr/bin/env python3
"""The peak resident set of the real Pakvane.exe, window up, against hostile
answers of the development server (tools/bench/hostile_memory.sh runs it):

- baseline: a one-app catalog whose icon is a 32 x 32 PNG;
- icon:     the same app with an icon that declares 20000 x 20000 pixels
            (a valid PNG of about 1.2 MB);
- apps:     an 8 MiB bootstrap answer of "{}" apps (about 2.8 million);
- numbers:  an 8 MiB bootstrap answer of bare numbers (about 4.2 million).

Each hostile bootstrap starts with one real app in the one category, whose
icon request shows that the window has taken the catalog over and painted it.
For each case: a fresh program in its own Wine prefix on a virtual screen;
wait for that icon request, then until the program's CPU time stands still;
ask the window for an answer (window_probe.exe, SendMessageTimeoutW); read
VmHWM and VmRSS of the Pakvane.exe Linux process from /proc.
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "drive"))

import winctl  # noqa: E402
from winctl import poll  # noqa: E402

BOOTSTRAP_BYTES = 8 * 1024 * 1024
PROBE_ICON = "/_png/32x32"
HUGE_ICON = "/_png/20000x20000"
CATEGORY = {"id": "p", "name": "探针"}


def probe_app(icon):
    return {"id": 1, "name": "探针", "categoryIds": ["p"], "icon": icon}


def hostile_bootstrap(item):
    """The bootstrap answer: the probe app, then `item` repeated up to 8 MiB."""
    head = json.dumps({"code": 0, "data": {"categories": [CATEGORY], "apps": [probe_app(PROBE_ICON)]}},
                      ensure_ascii=False, separators=(",", ":"))
    head, tail = head[:-3], head[-3:]  # open the app list again: ...}]}}
    room = BOOTSTRAP_BYTES - len(head.encode("utf-8")) - len(tail)
    count = room // len("," + item)
    return head + ("," + item) * count + tail, count


def linux_pid(prefix):
    """The Linux process of Pakvane.exe in this prefix (other runs may share the machine)."""
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/comm" % entry) as f:
                if f.read().strip() != "Pakvane.exe":
                    continue
            with open("/proc/%s/environ" % entry, "rb") as f:
                if ("WINEPREFIX=%s" % prefix).encode() in f.read().split(b"\0"):
                    return int(entry)
        except OSError:
            continue
    return None


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime, stime


def memory_mib(pid):
    found = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            key, _, value = line.partition(":")
            if key in ("VmHWM", "VmRSS"):
                found[key] = int(value.split()[0]) / 1024.0
    return found


def wait_until_idle(pid, timeout):
    """Until the process used less than 5 % of a core over 2 s."""
    ticks_per_second = os.sysconf("SC_CLK_TCK")
    samples = [cpu_ticks(pid)]

    def idle():
        time.sleep(0.5)
        samples.append(cpu_ticks(pid))
        return len(samples) > 4 and samples[-1] - samples[-5] <= 0.05 * 2 * ticks_per_second
    poll(idle, timeout, "the program to go idle", 0)


def ask_window(session, probe, work):
    return winctl.probe(session.env, probe, work, "answer", 10000) or "no answer"


def run_case(name, args, work_root):
    work = tempfile.mkdtemp(prefix=name + "-", dir=work_root)
    catalog = os.path.join(work, "catalog-source")
    os.makedirs(os.path.join(catalog, "icons"))
    os.makedirs(os.path.join(catalog, "files"))
    icon = HUGE_ICON if name == "icon" else PROBE_ICON
    with open(os.path.join(catalog, "catalog.json"), "w", encoding="utf-8") as f:
        json.dump({"categories": [CATEGORY], "apps": [probe_app(icon)]}, f, ensure_ascii=False)
    prefix = os.path.abspath(args.prefix)
    display = winctl.free_display(150, 179)
    with winctl.Session(args.exe, catalog, os.path.join(work, "session"), prefix, display=display) as session:
        detail = ""
        if name in ("apps", "numbers"):
            document, count = hostile_bootstrap("{}" if name == "apps" else "0")
            session.server.rule("/api/client/bootstrap", then={"status": 200, "body": document})
            detail = "%d bytes, %d hostile entries" % (len(document.encode("utf-8")), count)
        started = time.monotonic()
        session.start(timeout=120)
        pid = poll(lambda: linux_pid(prefix), 30, "the Pakvane.exe process")
        poll(lambda: icon in session.server.paths(), args.timeout, "the icon request of the painted catalog")
        shown = time.monotonic() - started
        poll(lambda: session.server.control("log")["inFlight"] == 0, args.timeout, "the server to finish")
        wait_until_idle(pid, args.timeout)
        answer = ask_window(session, args.probe, work)
        memory = memory_mib(pid)
        print("%-8s VmHWM %7.1f MiB  VmRSS %7.1f MiB  catalog painted after %5.1f s  window: %s%s"
              % (name, memory["VmHWM"], memory["VmRSS"], shown, answer, "  (" + detail + ")" if detail else ""),
              flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--exe", required=True, help="Pakvane.exe")
    parser.add_argument("--probe", required=True, help="window_probe.exe")
    parser.add_argument("--prefix", required=True, help="Wine prefix for the runs")
    parser.add_argument("--timeout", type=float, default=600, help="seconds each wait may take")
    parser.add_argument("cases", nargs="*", default=["baseline", "icon", "apps", "numbers"])
    args = parser.parse_args()
    work_root = tempfile.mkdtemp(prefix="pakvane-hostile-")
    try:
        for name in args.cases:
            run_case(name, args, work_root)
    finally:
        subprocess.run(["rm", "-rf", work_root])


if __name__ == "__main__":
    main()
