"""Package digests kept across restarts, and never trusted for a changed file."""

import hashlib
import json
import os
import shutil
import tempfile
import unittest

from server_case import FIXTURE, server_module


class DigestStore(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="catalog-digests-")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.folder = os.path.join(self.work, "catalog")
        shutil.copytree(FIXTURE, self.folder)
        self.store = os.path.join(self.work, "digests.json")

    def catalog(self):
        catalog = server_module.Catalog(self.folder, self.store)
        catalog.warm_up()
        return catalog

    def md5_of(self, catalog, app_id):
        return next(a["md5"] for a in catalog.apps() if a["id"] == app_id)

    def stored(self):
        with open(self.store, encoding="utf-8") as f:
            return json.load(f)

    def test_warm_up_stores_each_package_digest_by_relative_name(self):
        self.catalog()
        stored = self.stored()
        self.assertEqual({os.path.join("files", n) for n in ("editor-setup.exe", "player.zip", "archiver.7z")},
                         set(stored))
        with open(os.path.join(self.folder, "files", "player.zip"), "rb") as f:
            self.assertEqual(hashlib.md5(f.read()).hexdigest(), stored[os.path.join("files", "player.zip")][3])

    def test_restart_takes_digests_from_the_store(self):
        self.catalog()
        stored = self.stored()
        key = os.path.join("files", "editor-setup.exe")
        stored[key][3] = "0" * 32  # only the store can say this
        with open(self.store, "w", encoding="utf-8") as f:
            json.dump(stored, f)
        self.assertEqual("0" * 32, self.md5_of(self.catalog(), 1))

    def test_changed_file_is_hashed_again(self):
        self.catalog()
        stored = self.stored()
        key = os.path.join("files", "editor-setup.exe")
        stored[key][3] = "0" * 32
        with open(self.store, "w", encoding="utf-8") as f:
            json.dump(stored, f)
        path = os.path.join(self.folder, "files", "editor-setup.exe")
        os.replace(os.path.join(self.folder, "files", "player.zip"), path)
        with open(path, "rb") as f:
            self.assertEqual(hashlib.md5(f.read()).hexdigest(), self.md5_of(self.catalog(), 1))

    def test_files_gone_from_the_catalog_are_forgotten(self):
        self.catalog()
        with open(os.path.join(self.folder, "catalog.json"), encoding="utf-8") as f:
            doc = json.load(f)
        doc["apps"] = [a for a in doc["apps"] if a["id"] != 3]
        with open(os.path.join(self.folder, "catalog.json"), "w", encoding="utf-8") as f:
            json.dump(doc, f, ensure_ascii=False)
        self.catalog()
        self.assertNotIn(os.path.join("files", "player.zip"), self.stored())

    def test_unreadable_store_is_ignored(self):
        with open(self.store, "w") as f:
            f.write("{broken")
        with open(os.path.join(self.folder, "files", "archiver.7z"), "rb") as f:
            self.assertEqual(hashlib.md5(f.read()).hexdigest(), self.md5_of(self.catalog(), 5))
        self.assertIn(os.path.join("files", "archiver.7z"), self.stored())

    def test_memory_only_without_a_store(self):
        catalog = server_module.Catalog(self.folder)
        catalog.warm_up()
        self.assertEqual(32, len(self.md5_of(catalog, 1)))
        self.assertFalse(os.path.exists(os.path.join(self.folder, ".digests.json")))


if __name__ == "__main__":
    unittest.main()
