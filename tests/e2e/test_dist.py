"""The release zip tried as a user would: unpacked into a folder whose path holds Japanese
characters and spaces, the sample character run from there with its favourites folder, a new
character made with the shipped packer and run, and a character run from a drive's root."""

import hashlib
import os
import shutil
import unittest
import zipfile
from pathlib import Path

import harness
import scene_support as ss
import tray_support as tray

EXPECTED_FILES = {
    "tovalin-player.exe", "tovalin-player-x64.exe", "tovalin-pack.exe", "tovalin-studio.exe",
    "tovalin.exe", "はじめにお読みください.txt", "LICENSE.txt", "SHA256SUMS",
}


def release_zip():
    """The zip ./run dist made; the test is skipped without one unless it is required."""
    found = sorted((harness.REPO / "dist").glob("tovalin-*-windows.zip"))
    if found:
        return found[-1]
    if os.environ.get("TOVALIN_REQUIRE_DIST"):
        raise harness.HarnessError("no dist/tovalin-*-windows.zip: ./run dist makes it")
    raise unittest.SkipTest("no dist/tovalin-*-windows.zip (./run dist makes it)")


class UnpackedRelease(harness.PlayerTestCase):

    def unpack(self):
        """Unpacks the zip as Explorer would; returns the release folder."""
        target = self.work / "ダウンロード フォルダ" / "キャラ 置き場"
        with zipfile.ZipFile(release_zip()) as z:
            names = z.namelist()
            self.assertTrue(all(not n.startswith("/") and ".." not in n for n in names), names)
            z.extractall(target)
        (folder,) = [p for p in target.iterdir() if p.is_dir()]
        return folder

    def check_contents(self, folder):
        files = {p.relative_to(folder).as_posix() for p in folder.rglob("*") if p.is_file()}
        self.assertTrue(EXPECTED_FILES <= files, EXPECTED_FILES - files)
        self.assertTrue(any(f.startswith("ぷかり/") for f in files), "the favourites folder")
        for line in (folder / "SHA256SUMS").read_text(encoding="utf-8").splitlines():
            digest, name = line.split("  ", 1)
            self.assertEqual(hashlib.sha256((folder / name).read_bytes()).hexdigest(), digest,
                             name)
        readme = (folder / "はじめにお読みください.txt").read_bytes()
        self.assertTrue(readme.startswith(b"\xef\xbb\xbf"), "UTF-8 with a byte order mark")
        self.assertNotIn(b"\n", readme.replace(b"\r\n", b""), "CRLF line ends only")

    def exit(self, pid):
        ended = harness.ending(pid, lambda: tray.choose(pid, tray.wait_tray_icon(), "終了"))
        self.assertEqual(ended.get("code"), 0, ended)

    def test_sample_favourites_packer_and_a_drive_root(self):
        folder = self.unpack()
        self.check_contents(folder)

        with self.subTest("the sample from a Japanese folder with spaces"):
            pid = self.launch(folder / "tovalin.exe", cwd=folder)
            first = ss.wait_shaped(pid, 3)
            icon = tray.wait_tray_icon()
            tray.choose(pid, icon, "お気に入り", "ぷかり")
            harness.wait_until(
                lambda: (lambda now: len(now) == 3 and {ss.rects_of(w) for w in now}
                         .isdisjoint({ss.rects_of(w) for w in first}) and now)(
                    ss.wait_shaped(pid, 3)),
                timeout=10, message="the favourite's frames")
            self.screenshot("favourites")
            ini = (folder / "TOVALIN.ini").read_bytes().decode("cp932")
            self.assertIn("Folder=ぷかり", ini)
            self.exit(pid)

        with self.subTest("a new character made with the shipped packer"):
            frames = [f"ぷかり\\{n}" for n in ("01.gif", "04.gif", "06.gif")]
            made = folder / "新しい キャラ.exe"
            packer = harness.launch(folder / "tovalin-pack.exe", "create", "-o", made.name,
                                    "--player", "tovalin-player-x64.exe", "--icon",
                                    "ぷかり\\03.ico", *frames, "--count", "3",
                                    cwd=folder)
            result = harness.wait_exit(packer, timeout=60)
            self.assertEqual(result.get("code"), 0, result)
            self.assertTrue(made.is_file())
            pid = self.launch(made, cwd=folder)
            ss.wait_shaped(pid, 3)
            self.screenshot("made")
            self.exit(pid)

        with self.subTest("from the root of a drive"):
            root = harness.unixpath("C:\\")
            exe = root / "x.exe"
            shutil.copyfile(folder / "tovalin.exe", exe)
            try:
                pid = self.launch(exe, cwd=root)
                ss.wait_shaped(pid, 3)
                tray.choose(pid, tray.wait_tray_icon(), "設定", "出現数", "1")
                ss.wait_shaped(pid, 1)
                # The settings file sits beside the executable: C:\TOVALIN.ini.
                harness.wait_until(lambda: (root / "TOVALIN.ini").is_file() and [True],
                                   timeout=20, message="C:\\TOVALIN.ini")
                self.assertIn("Count=1", (root / "TOVALIN.ini").read_bytes().decode("cp932"))
                self.exit(pid)
            finally:
                for leftover in (exe, root / "TOVALIN.ini"):
                    leftover.unlink(missing_ok=True)
