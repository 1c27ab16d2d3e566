"""MD5 digests of package files, cached by file identity and optionally kept
in a file, so that a restart does not hash a large package folder again."""

import hashlib
import json
import os
import sys
import tempfile
import threading


def file_stamp(st):
    # Inode too: a file replaced by rename within one clock tick keeps its
    # modification time and size but not its inode.
    return [st.st_ino, st.st_mtime_ns, st.st_size]


class DigestCache:
    """Entries are keyed by the path relative to base, so a store stays valid
    when the whole catalog folder moves."""

    def __init__(self, base, store_path=None):
        self.base = base
        self.store_path = store_path
        self._lock = threading.Lock()
        self._save_lock = threading.Lock()
        self._entries = {}  # relative path -> [inode, mtime_ns, size, md5 hex]
        self._dirty = False
        if store_path:
            self._load()

    def _load(self):
        try:
            with open(self.store_path, encoding="utf-8") as f:
                stored = json.load(f)
        except FileNotFoundError:
            return
        except (OSError, ValueError) as e:
            sys.stderr.write("digest cache %s ignored: %r\n" % (self.store_path, e))
            return
        if isinstance(stored, dict):
            self._entries = {k: v for k, v in stored.items()
                             if isinstance(v, list) and len(v) == 4 and isinstance(v[3], str)}

    def md5(self, path, st):
        """Hex MD5 of the file at path whose stat result is st."""
        stamp = file_stamp(st)
        key = os.path.relpath(path, self.base)
        with self._lock:
            entry = self._entries.get(key)
        if entry and entry[:3] == stamp:
            return entry[3]
        h = hashlib.md5()
        with open(path, "rb") as f:
            for block in iter(lambda: f.read(1024 * 1024), b""):
                h.update(block)
        digest = h.hexdigest()
        with self._lock:
            self._entries[key] = stamp + [digest]
            self._dirty = True
        return digest

    def retain(self, paths):
        """Forgets the digests of files other than paths (gone from the catalog)."""
        keep = {os.path.relpath(p, self.base) for p in paths}
        with self._lock:
            for key in [k for k in self._entries if k not in keep]:
                del self._entries[key]
                self._dirty = True

    def save(self):
        """Writes the store when digests were added since the last save."""
        if not self.store_path:
            return
        with self._save_lock:
            with self._lock:
                if not self._dirty:
                    return
                snapshot = dict(self._entries)
                self._dirty = False
            folder = os.path.dirname(os.path.abspath(self.store_path))
            try:
                fd, temp = tempfile.mkstemp(dir=folder, prefix=".digests-")
                with os.fdopen(fd, "w", encoding="utf-8") as f:
                    json.dump(snapshot, f)
                os.replace(temp, self.store_path)
            except OSError as e:
                sys.stderr.write("digest cache %s not saved: %r\n" % (self.store_path, e))
