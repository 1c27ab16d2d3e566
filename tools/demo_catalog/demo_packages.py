#!/usr/bin/env python3
"""Makes the demo catalog's packages and puts together a catalog folder to serve.

    python3 tools/demo_catalog/demo_packages.py build --out DIR [--makensis PATH]
            [--wixl PATH] [--codesign-dir DIR]
    python3 tools/demo_catalog/demo_packages.py assemble --packages DIR --out CATALOG_DIR

build: every installer of packages.json becomes a real, silent NSIS installer
(tools/nsis/demo_installer.nsi) whose Uninstall entry carries the app's name
from catalog.json, so the program finds it installed; one marked "signed" is
signed with the self-signed certificate of tools/sign_installer.sh (kept in
--codesign-dir). Every "msi" entry becomes a Windows Installer package
(tools/wix/package.wxs, built with wixl; its product name is the app's, which
must be ASCII), and every archive a real zip. Each holds pseudo-random data of
the given size, the same on every run, so downloads take long enough to
watch. What a missing tool would make is left out. The Windows build runs
this (target demo_packages).

assemble: catalog.json, icons/ and the built packages, in one folder for
tools/catalog_server.py.
"""

import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
NSI = os.path.join(HERE, "..", "nsis", "demo_installer.nsi")
WXS = os.path.join(HERE, "..", "wix", "package.wxs")
SIGN = os.path.join(HERE, "..", "sign_installer.sh")
FIXED_TIME = (2026, 11, 1, 8, 0, 0)


def load(name):
    with open(os.path.join(HERE, name), encoding="utf-8") as f:
        return json.load(f)


def apps_by_file():
    return {a["file"]: a for a in load("catalog.json")["apps"] if a.get("file")}


def payload(seed, kib):
    return random.Random(seed).randbytes(kib * 1024)


def nsis_text(text):
    """A value inside an NSIS double-quoted string."""
    return text.replace("$", "$$").replace('"', '$\\"')


def sign(codesign_dir, path):
    subprocess.run(["bash", SIGN, codesign_dir, path, path + ".signed"], check=True)
    os.replace(path + ".signed", path)


def build_installer(makensis, out_dir, file_name, entry, app):
    work = os.path.join(out_dir, "nsis-work", entry["key"])
    os.makedirs(work, exist_ok=True)
    data = os.path.join(work, "app-data.bin")
    with open(data, "wb") as f:
        f.write(payload(file_name, entry["payloadKiB"]))
    defines = os.path.join(work, "defines.nsh")
    with open(defines, "w", encoding="utf-8-sig", newline="\r\n") as f:
        f.write('!define APP_NAME "%s"\n' % nsis_text(app["name"]))
        f.write('!define APP_VERSION "%s"\n' % nsis_text(app.get("version", "")))
        f.write('!define APP_KEY "%s"\n' % entry["key"])
        f.write('!define INSTALL_DIR "$TEMP\\%s"\n' % entry["key"])
    out = os.path.join(out_dir, file_name)
    subprocess.run([makensis, "-V2", "-DDEFINES=" + defines, "-DPAYLOAD=" + data, "-DOUTFILE=" + out,
                    os.path.abspath(NSI)], check=True)
    shutil.rmtree(work)


def build_msi(wixl, out_dir, file_name, entry, app):
    work = os.path.join(out_dir, "msi-work", file_name)
    os.makedirs(work, exist_ok=True)
    with open(os.path.join(work, "app-data.bin"), "wb") as f:
        f.write(payload(file_name, entry["payloadKiB"]))
    defines = {"ProductCode": entry["productCode"], "UpgradeCode": entry["upgradeCode"],
               "ProductName": app["name"], "Version": app["version"], "Folder": entry["folder"],
               "Payload": "app-data.bin", "LaunchCondition": "1"}
    command = [wixl, "-a", "x64", "-o", os.path.abspath(os.path.join(out_dir, file_name))]
    for name, value in defines.items():
        command += ["-D", "%s=%s" % (name, value)]
    # wixl finds the payload relative to the folder it runs in.
    subprocess.run(command + [os.path.abspath(WXS)], check=True, cwd=work)
    shutil.rmtree(work)


def build_archive(out_dir, file_name, entry, app):
    path = os.path.join(out_dir, file_name)
    with zipfile.ZipFile(path + ".tmp", "w") as z:
        readme = zipfile.ZipInfo("readme.txt", FIXED_TIME)
        readme.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(readme, "%s %s\r\n解压后即可使用。\r\n" % (app["name"], app.get("version", "")))
        # Random data does not compress: store it, so the zip keeps its size.
        z.writestr(zipfile.ZipInfo("app-data.bin", FIXED_TIME), payload(file_name, entry["payloadKiB"]))
    os.replace(path + ".tmp", path)


def build(out_dir, makensis, wixl=None, codesign_dir=None):
    packages, apps = load("packages.json"), apps_by_file()
    os.makedirs(out_dir, exist_ok=True)
    for kind in ("installers", "msi", "archives"):
        for file_name, entry in packages[kind].items():
            if file_name not in apps:
                raise SystemExit("%s: no app of catalog.json names it" % file_name)
            if kind == "archives":
                build_archive(out_dir, file_name, entry, apps[file_name])
            elif kind == "msi" and wixl:
                build_msi(wixl, out_dir, file_name, entry, apps[file_name])
            elif kind == "installers" and makensis:
                build_installer(makensis, out_dir, file_name, entry, apps[file_name])
                if entry.get("signed") and codesign_dir:
                    sign(codesign_dir, os.path.join(out_dir, file_name))
    if not makensis:
        print("makensis not found: the demo installers are not built (Debian package nsis)", file=sys.stderr)
    if not wixl:
        print("wixl not found: the demo MSI packages are not built (Debian packages wixl, msitools)",
              file=sys.stderr)
    if not codesign_dir:
        print("no --codesign-dir: the demo's signed installer is left unsigned", file=sys.stderr)
    shutil.rmtree(os.path.join(out_dir, "nsis-work"), ignore_errors=True)
    shutil.rmtree(os.path.join(out_dir, "msi-work"), ignore_errors=True)


def assemble(packages_dir, out_dir):
    """A servable copy: catalog.json, icons/ and files/ with every package built."""
    os.makedirs(os.path.join(out_dir, "files"), exist_ok=True)
    shutil.copy(os.path.join(HERE, "catalog.json"), out_dir)
    shutil.copytree(os.path.join(HERE, "icons"), os.path.join(out_dir, "icons"), dirs_exist_ok=True)
    missing = []
    for file_name in apps_by_file():
        source = os.path.join(packages_dir, file_name)
        if os.path.isfile(source):
            shutil.copy(source, os.path.join(out_dir, "files", file_name))
        else:
            missing.append(file_name)
    if missing:
        print("not built, shown without a package: " + ", ".join(missing), file=sys.stderr)
    return missing


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    verbs = parser.add_subparsers(dest="verb", required=True)
    b = verbs.add_parser("build")
    b.add_argument("--out", required=True)
    b.add_argument("--makensis", default=shutil.which("makensis"))
    b.add_argument("--wixl", default=shutil.which("wixl"))
    b.add_argument("--codesign-dir", help="folder of the code-signing certificate (made on first use)")
    a = verbs.add_parser("assemble")
    a.add_argument("--packages", required=True)
    a.add_argument("--out", required=True)
    args = parser.parse_args(argv)
    if args.verb == "build":
        build(args.out, args.makensis, args.wixl, args.codesign_dir)
    else:
        assemble(args.packages, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
