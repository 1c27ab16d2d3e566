"""A catalog folder: catalog.json, files/ and icons/, with computed package
sizes and digests."""

import json
import os
import stat
import sys
import threading
import urllib.parse

from devserver.digests import DigestCache
from devserver.replies import HttpError


def safe_name(raw):
    """Decodes one path segment naming a file of a catalog subfolder.

    Raises HttpError(400) for anything that could leave the folder or is not a
    plain file name: separators (also encoded), dot names, NUL, drive letters.
    """
    try:
        # The request line arrives decoded as Latin-1: a name sent as raw
        # UTF-8 bytes rather than percent-encoded is recovered the same way.
        name = urllib.parse.unquote_to_bytes(raw.encode("latin-1")).decode("utf-8")
    except (UnicodeEncodeError, UnicodeDecodeError):
        raise HttpError(400, "file name is not valid UTF-8")
    if (not name or "/" in name or "\\" in name or "\0" in name or ":" in name
            or name.startswith(".") or any(ord(c) < 32 for c in name)):
        raise HttpError(400, "bad file name")
    return name


class Catalog:
    """catalog.json plus the files/ and icons/ folders beside it."""

    def __init__(self, folder, digest_store=None):
        self.folder = os.path.realpath(folder)
        self.files_dir = os.path.join(self.folder, "files")
        self.icons_dir = os.path.join(self.folder, "icons")
        self._lock = threading.Lock()
        self._doc = None
        self._doc_stamp = None
        self.digests = DigestCache(self.folder, digest_store)

    def path_in(self, folder, raw_name):
        name = safe_name(raw_name)
        path = os.path.join(folder, name)
        try:
            is_link = stat.S_ISLNK(os.lstat(path).st_mode)
        except OSError:
            return path  # not there (yet): a plain name cannot point elsewhere
        if is_link:
            # A link may stay inside the folder but must not lead out of it.
            real = os.path.realpath(path)
            if os.path.dirname(real) != os.path.realpath(folder):
                raise HttpError(400, "bad file name")
            return real
        return path

    def document(self):
        path = os.path.join(self.folder, "catalog.json")
        try:
            st = os.stat(path)
        except OSError:
            return {"categories": [], "apps": []}
        stamp = (st.st_mtime_ns, st.st_size)
        with self._lock:
            if self._doc is None or stamp != self._doc_stamp:
                with open(path, "rb") as f:
                    doc = json.loads(f.read().decode("utf-8"))
                if not isinstance(doc, dict):
                    raise HttpError(500, "catalog.json is not an object")
                self._doc, self._doc_stamp = doc, stamp
            return self._doc

    def package_path(self, app):
        name = app.get("file")
        if not isinstance(name, str) or not name:
            return None
        try:
            return self.path_in(self.files_dir, urllib.parse.quote(name, safe=""))
        except HttpError:
            return None

    def public_app(self, app):
        """The app as clients see it: computed size, digest, package flag, icon path."""
        if not isinstance(app, dict):
            return app
        out = dict(app)
        path = self.package_path(app)
        st = None
        if path:
            try:
                st = os.stat(path)
                if not stat.S_ISREG(st.st_mode):
                    st = None
            except OSError:
                st = None
        if "packageSize" not in out:
            out["packageSize"] = st.st_size if st else 0
        if "md5" not in out:
            out["md5"] = self.digests.md5(path, st) if st else ""
        if "hasPackage" not in out:
            out["hasPackage"] = st is not None
        icon = out.get("icon")
        if isinstance(icon, str) and icon and not icon.startswith("/") and "://" not in icon:
            out["icon"] = "/icons/" + urllib.parse.quote(icon)
        out.pop("file", None)
        return out

    def categories(self):
        cats = self.document().get("categories", [])
        return cats if isinstance(cats, list) else []

    def raw_apps(self):
        apps = self.document().get("apps", [])
        return apps if isinstance(apps, list) else []

    def apps(self):
        apps = [self.public_app(a) for a in self.raw_apps()]
        self.digests.save()
        return apps

    def find_raw(self, app_id):
        for app in self.raw_apps():
            if isinstance(app, dict) and type(app.get("id")) is int and app["id"] == app_id:
                return app
        return None

    def warm_up(self):
        """Computes every package digest once, so the first bootstrap of a
        large catalog does not have to."""
        try:
            packages = []
            for app in self.raw_apps():
                if isinstance(app, dict):
                    self.public_app(app)
                    packages.append(self.package_path(app))
            self.digests.retain(p for p in packages if p)
            self.digests.save()
        except Exception as e:  # a broken catalog.json is reported on request
            sys.stderr.write("catalog warm-up stopped: %r\n" % (e,))

    def search(self, text):
        needle = text.casefold()
        found = []
        for app in self.raw_apps():
            if not isinstance(app, dict):
                continue
            hay = [app.get("name"), app.get("description")]
            if any(isinstance(s, str) and needle in s.casefold() for s in hay):
                found.append(self.public_app(app))
        return found
