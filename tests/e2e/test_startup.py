"""Start-up: the package check, unpacking into the temporary folder, refusing unsafe packages."""

import harness
from harness import APP_TITLE, NO_PACKAGE_TEXT, NO_PACKAGE_TITLE
from scene_support import VIEW_CLASS


def small_files(frame_names=("01_e2e.gif",)):
    """An icon and frames that any decoder accepts, for packages built by hand."""
    files = [("e2e.ico", harness.make_ico())]
    files += [(name, harness.make_gif(24, 32)) for name in frame_names]
    return files


class BarePlayer(harness.PlayerTestCase):
    def test_without_package_warns_and_ends_on_ok(self):
        pid = self.launch(harness.config().player)
        box = self.wait_msgbox(pid)
        self.screenshot("warning")
        self.assertEqual(box["title"], NO_PACKAGE_TITLE)
        self.assertEqual(box["text"], NO_PACKAGE_TEXT)
        self.assertFalse(box["icon"], "the warning shows no icon")
        self.assertEqual([b["text"] for b in box["buttons"]], ["OK"])
        others = [w for w in harness.windows(pid=pid) if w["hwnd"] != box["hwnd"]]
        self.assertEqual(others, [], "nothing but the warning is shown")
        self.assertEqual(harness.tree(self.temp), [], "nothing is unpacked before the warning")

        self.press_ok_and_wait_exit(pid)
        self.assertEqual(harness.tree(self.temp), [])


class SamplePackage(harness.PlayerTestCase):
    def test_unpacks_every_file_byte_for_byte(self):
        icon, frames = harness.sample_assets()
        exe = self.pack_sample()
        inputs = [icon.read_bytes()] + [f.read_bytes() for f in frames]
        total = sum(len(d) for d in inputs)

        def unpacked():
            files = [p for p in self.temp.iterdir() if p.is_file()]
            done = len(files) == len(inputs) and sum(p.stat().st_size for p in files) == total
            return done and files

        pid = self.launch(exe)
        files = harness.wait_until(unpacked, timeout=20, message=f"{len(inputs)} unpacked files")
        self.screenshot("running")
        self.assertTrue(harness.running(pid), "the player is still running after unpacking")
        self.assertEqual(harness.tree(self.temp), sorted(p.name for p in files), "no folders")

        icons = [p for p in files if p.suffix == ".ico"]
        self.assertEqual(len(icons), 1, [p.name for p in files])
        base = icons[0].stem
        self.assertTrue(icons[0].read_bytes() == inputs[0], "the icon differs from its input")
        for number, expected in enumerate(inputs[1:], start=1):
            frame = self.temp / f"{number:02d}_{base}.gif"
            self.assertTrue(frame.is_file(), f"{frame.name} missing")
            self.assertTrue(frame.read_bytes() == expected, f"{frame.name} differs from "
                            f"{frames[number - 1].name}")


# What the imaging component would bring: COM and the codecs. A package's frames are all GIFs,
# which the player reads itself, and loading these costs a start more than the rest of it.
COM_LIBRARIES = ("ole32.dll", "combase.dll", "windowscodecs.dll")


class StartUpLibraries(harness.PlayerTestCase):
    def test_characters_stand_without_com(self):
        exe = self.pack_sample(count=3)
        pid = self.launch(exe)
        harness.wait_windows(pid=pid, cls=VIEW_CLASS, count=3, timeout=20)
        loaded = harness.modules(pid)
        self.assertIn("user32.dll", loaded, "the list names the process's libraries")
        self.assertIn(exe.name.lower(), loaded)
        self.assertEqual([name for name in COM_LIBRARIES if name in loaded], [])


class UnsafePackages(harness.PlayerTestCase):
    def test_names_with_folders_are_refused_before_anything_is_written(self):
        # The bad name comes after sound ones, so a player that writes as it goes is caught.
        for n, (bad, shown) in enumerate([("..\\evil.gif", "evil.gif"), ("sub/x.gif", "x.gif")]):
            with self.subTest(name=bad):
                case = harness.clean_folder(self.work / f"case{n}")
                temp = harness.clean_folder(case / "temp")
                files = small_files(("01_e2e.gif", bad, "03_e2e.gif"))
                (case / "chara.exe").write_bytes(harness.build_package(files))
                before = harness.tree(case)

                pid = self.launch(case / "chara.exe", temp=temp, cwd=case)
                box = self.wait_msgbox(pid)
                self.screenshot(f"refused{n}")
                self.assertEqual(box["title"], APP_TITLE)
                self.assertIn(shown, box["text"], "the message names the offending file")
                self.assertEqual([b["text"] for b in box["buttons"]], ["OK"])
                self.assertEqual(harness.tree(case), before, "nothing written anywhere")

                self.press_ok_and_wait_exit(pid)
                self.assertEqual(harness.tree(case), before)


class RenamedExecutable(harness.PlayerTestCase):
    def test_name_without_exe_extension_fails_at_start(self):
        # The player finds itself under its base name plus ".exe", which does not exist here.
        package = harness.build_package(small_files())
        for n, name in enumerate(["chara.bin", "chara"]):
            with self.subTest(name=name):
                case = harness.clean_folder(self.work / f"case{n}")
                temp = harness.clean_folder(case / "temp")
                exe = case / name
                exe.write_bytes(package)
                try:
                    pid = self.launch(exe, temp=temp, cwd=case)
                except harness.DriverError as e:
                    self.skipTest(f"Wine cannot start a file named {name!r}: {e}")
                box = self.wait_msgbox(pid)
                self.screenshot(f"renamed{n}")
                self.assertEqual(box["title"], APP_TITLE)
                self.assertTrue(box["text"], "the message says what failed")
                self.assertEqual([b["text"] for b in box["buttons"]], ["OK"])
                self.assertEqual(harness.tree(temp), [], "nothing unpacked")

                self.press_ok_and_wait_exit(pid)
