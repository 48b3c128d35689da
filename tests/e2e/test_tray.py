"""The tray icon and its popup menu: settings, favourites, the version dialog and exit."""

import shutil

import harness
import tray_support as tray
from harness import APP_TITLE

FRAME_COUNT = 40
SCREEN = (1280, 1024)
CENTRE = (SCREEN[0] // 2, SCREEN[1] // 2)  # where "中心" puts every top-left corner


def by_hwnd(windows):
    return {w["hwnd"]: w for w in windows}


class SettingsMenu(harness.PlayerTestCase):
    """One player walked through the settings commands; each check builds on the scene the
    previous one left, as a user would."""

    def pack_numbered(self):
        folder = harness.clean_folder(self.work / "frames")
        paths = []
        for i, data in enumerate(tray.numbered_frames(FRAME_COUNT), start=1):
            path = folder / f"bar{i:02d}.gif"
            path.write_bytes(data)
            paths.append(path)
        icon = self.work / "bar.ico"
        icon.write_bytes(harness.make_ico())
        return harness.pack(self.work / "bars.exe", icon, paths, count=1, move="静止",
                            location="乱数", speed="普通")

    def assert_ini(self, path, section, key, text):
        """Waits for the command's write, then compares the bytes (code page 932)."""
        expected = text.encode("cp932")
        self.assertEqual(tray.wait_ini_value(path, section, key, expected), expected,
                         f"[{section}] {key} in {path}")

    def views(self, pid):
        return harness.windows(pid=pid, cls=tray.VIEW_CLASS)

    def test_clicks_count_movement_speed_and_location(self):
        exe = self.pack_numbered()
        ini = self.work / tray.INI_NAME
        pid = self.launch(exe)
        first = harness.wait_windows(pid=pid, cls=tray.VIEW_CLASS)
        self.assertEqual(len(first), 1)
        icon = tray.wait_tray_icon()

        with self.subTest("left clicks open nothing"):
            harness.click(*icon)
            self.assertTrue(tray.no_menu_within(pid, 1.0), "a left click opened a menu")
            harness.click(*icon, repeat=2)
            self.assertTrue(tray.no_menu_within(pid, 1.0), "a double click opened a menu")

        # Count 3: everything after builds on this scene.
        root = tray.open_menu(pid, icon)
        self.screenshot("menu")
        self.assertEqual((root["rect"]["left"], root["rect"]["top"]), icon,
                         "the menu opens at the cursor, left-aligned")
        tray.walk(pid, "設定", "出現数", "3",
                  shots=lambda depth: self.screenshot(f"submenu{depth}"))
        # The scene is rebuilt: three windows, none of them the old one.
        views = tray.wait_views(pid, 3, exclude=by_hwnd(first))
        self.assert_ini(ini, "Char", "Count", "3")

        three = set(by_hwnd(views))
        hwnd = views[0]["hwnd"]
        normal = tray.frame_rate(pid, hwnd, FRAME_COUNT)
        fast = float("nan")

        with self.subTest("fast"):
            tray.choose(pid, icon, "設定", "動作速度", "速い")
            self.assert_ini(ini, "Anim", "Mode", "速い")
            fast = tray.frame_rate(pid, hwnd, FRAME_COUNT)
            self.assertEqual(set(by_hwnd(self.views(pid))), three, "no rebuild")
            # 250 ms against 80 ms a frame: three times as fast, give or take the tick's time.
            self.assertGreater(fast, 2 * normal, f"{fast:.1f} frames/s after, {normal:.1f} "
                               "before")

        with self.subTest("bounce"):
            tray.choose(pid, icon, "設定", "動き", "跳ねる")
            self.assert_ini(ini, "Move", "Mode", "跳ねる")
            looks = []
            for _ in range(5):
                now = by_hwnd(self.views(pid))
                self.assertEqual(set(now), three, "no rebuild")
                looks.append({h: now[h]["rect"]["top"] for h in three})
            self.screenshot("bouncing")
            for h in sorted(three):
                tops = [look[h] for look in looks]
                # A fresh record starts at rest, so each character first falls, faster and
                # faster, before its first launch from the floor.
                self.assertGreater(tops[-1], tops[0], f"window {h} tops {tops}")
                self.assertEqual(tops, sorted(tops), f"window {h} falls: {tops}")

        with self.subTest("centre"):
            tray.choose(pid, icon, "設定", "出現位置", "中央")
            self.assert_ini(ini, "Location", "Mode", "中心")

        with self.subTest("count 5 keeps speed and place"):
            tray.choose(pid, icon, "設定", "動き", "静止")
            self.assert_ini(ini, "Move", "Mode", "静止")
            tray.choose(pid, icon, "設定", "出現数", "5")
            five = tray.wait_views(pid, 5, exclude=three)
            self.screenshot("five")
            for w in five:
                self.assertEqual((w["rect"]["left"], w["rect"]["top"]), CENTRE,
                                 "the centre chosen before the rebuild is kept")
            again = tray.frame_rate(pid, five[0]["hwnd"], FRAME_COUNT)
            self.assertGreater(again, 2 * normal, f"{again:.1f} frames/s after the rebuild, "
                               f"{normal:.1f} at 普通")
            (self.work / "frame-rates.txt").write_text(
                f"普通 {normal:.2f}/s, 速い {fast:.2f}/s, after the rebuild {again:.2f}/s\n")
            sections = tray.ini_sections(ini)
            self.assertEqual(sections.get("Char"), {"Count": b"5"})
            self.assertEqual(sections.get("Anim"), {"Mode": "速い".encode("cp932")})
            self.assertNotIn("Setting", sections, "no favourite was chosen")


class MenuWhileAnimating(harness.PlayerTestCase):
    def test_menu_keys_are_not_lost_while_five_characters_animate_fast(self):
        # Every frame change lets pending messages run. Inside the menu's own loop that must
        # not take the keys and clicks meant for the menu; at 80 ms a frame with five
        # characters it would, for about every second walk.
        exe = self.pack_sample(count=5, move="静止", location="中心", speed="速い")
        ini = self.work / tray.INI_NAME
        pid = self.launch(exe)
        tray.wait_views(pid, 5)
        icon = tray.wait_tray_icon()
        for n, (caption, word) in enumerate([("乱数", "乱数"), ("中央", "中心")] * 3):
            with self.subTest(walk=n):
                tray.choose(pid, icon, "設定", "出現位置", caption)
                expected = word.encode("cp932")
                self.assertEqual(tray.wait_ini_value(ini, "Location", "Mode", expected),
                                 expected, f"walk {n}: the choice of {caption} was lost")

GHOST = harness.REPO / "assets" / "favourites" / "ぷかり"
NO_FILES = "対象となるファイルが存在しません。"


class Favourites(harness.PlayerTestCase):
    """The favourites entry swaps the frames; an emptied or missing folder leaves the scene as
    it was. One player for the whole road."""

    def ghost_masks(self):
        files = sorted(p for p in GHOST.iterdir() if p.suffix in (".gif", ".bmp", ".ico"))
        if not files:
            self.skipTest(f"no favourite frames in {GHOST}")
        masks = [tray.opaque_mask(p) for p in files]
        first = masks[0][1]
        return [mask for mask, _ in masks], (first.width, first.height)

    def assert_ghost(self, window, masks, size):
        self.assertEqual((window["rect"]["width"], window["rect"]["height"]), size,
                         "windows take the size of the favourite's frame 0")
        self.assertIn(tray.region_pixels(window), masks,
                      f"window {window['hwnd']} is not cut to one of the ghost's frames")

    def assert_no_files_message(self, pid, name):
        box = harness.wait_msgbox(pid=pid)
        self.screenshot(name)
        self.assert_message(box, APP_TITLE, NO_FILES)
        self.assertTrue(box["icon"], "the message shows the error icon")
        harness.press(pid=pid, button="OK")

    def test_favourite_frames_settings_folder_and_empty_folder(self):
        masks, ghost_size = self.ghost_masks()
        exe = self.pack_sample(count=3, move="静止", location="中心", speed="普通")
        folder = self.work / "ぷかり"
        shutil.copytree(GHOST, folder)
        exe_ini, folder_ini = self.work / tray.INI_NAME, folder / tray.INI_NAME
        pid = self.launch(exe)
        before = harness.wait_windows(pid=pid, cls=tray.VIEW_CLASS, count=3)
        package_size = (before[0]["rect"]["width"], before[0]["rect"]["height"])
        self.assertNotEqual(package_size, ghost_size, "the test needs frames of another size")
        icon = tray.wait_tray_icon()
        self.assertNotIn("ole32.dll", harness.modules(pid), "COM before a picture needs it")

        tray.choose(pid, icon, "お気に入り", "ぷかり",
                    shots=lambda depth: self.screenshot("favourites-menu"))
        ghosts = tray.wait_views(pid, 3, exclude=by_hwnd(before))
        self.screenshot("ghosts")
        for w in ghosts:
            self.assert_ghost(w, masks, ghost_size)
        # The favourite's BMP and ICO frames went through the imaging component.
        self.assertIn("ole32.dll", harness.modules(pid))
        expected = "ぷかり".encode("cp932")
        self.assertEqual(tray.wait_ini_value(exe_ini, "Setting", "Folder", expected), expected)

        # From now on the settings go into the favourite's folder.
        tray.choose(pid, icon, "設定", "出現数", "1")
        self.assertEqual(tray.wait_ini_value(folder_ini, "Char", "Count", b"1"), b"1")
        self.assertEqual(list(tray.ini_sections(exe_ini)), ["Setting"],
                         "nothing but the folder beside the executable")
        one = tray.wait_views(pid, 1, exclude=by_hwnd(ghosts))
        self.assert_ghost(one[0], masks, ghost_size)

        survivor = one[0]["hwnd"]
        for case in ("emptied", "missing"):
            with self.subTest(f"{case} favourite folder"):
                if case == "emptied":
                    for path in folder.iterdir():
                        if path.suffix in (".gif", ".bmp", ".ico"):
                            path.unlink()
                    self.assertIn("readme.txt", harness.tree(folder))
                else:
                    shutil.rmtree(folder)
                tray.choose(pid, icon, "お気に入り", "ぷかり")
                self.assert_no_files_message(pid, f"no-files-{case}")
                self.assertTrue(harness.running(pid), "the program goes on")
                views = harness.windows(pid=pid, cls=tray.VIEW_CLASS)
                self.assertEqual([w["hwnd"] for w in views], [survivor], "no rebuild")
                self.assert_ghost(views[0], masks, ghost_size)
                # The animation runs again: the window changes shape as before.
                shape = tray.region_pixels(views[0])
                harness.wait_until(
                    lambda: tray.region_pixels(
                        harness.windows(pid=pid, cls=tray.VIEW_CLASS)[0]) != shape,
                    timeout=20, message="the next frame")
        self.assertEqual(tray.ini_value(exe_ini, "Setting", "Folder"), expected)


VERSION_CLASS = "tovalin.frm_Version"


class VersionDialogAndExit(harness.PlayerTestCase):
    NAME = "みかん"
    VERSION = "Ver 2.50 試作"
    COPYRIGHT = "(C) 2024 みかん工房"

    def dialog(self, pid):
        return harness.driver("msgbox", "--pid", pid, "--class", VERSION_CLASS, "--wait", 5000)

    def wait_dialog_gone(self, pid):
        harness.wait_until(lambda: not harness.windows(pid=pid, cls=VERSION_CLASS),
                           timeout=20, message="the version dialog to close")

    def contents(self, box):
        """What the dialog shows, without the window handles."""
        texts = sorted(c["text"] for c in box["controls"] if c["class"].lower() == "static")
        return box["title"], box["icon"], texts, [b["text"] for b in box["buttons"]]

    def assert_centred(self, box):
        rect = box["rect"]
        for start, size, screen in (("left", "width", SCREEN[0]), ("top", "height", SCREEN[1])):
            self.assertLessEqual(abs(rect[start] - (screen - rect[size]) / 2), 1,
                                 f"not centred: {rect}")

    def assert_icon_shown(self, shot, box, icon_file):
        """The screenshot shows the package icon's opaque pixels where the dialog's icon
        control is."""
        image_control = next(c for c in box["controls"]
                             if c["class"].lower() == "static" and c["text"] == "")
        mask, flat = tray.opaque_mask(icon_file)
        image = harness.Image.load(shot)
        left, top = image_control["rect"]["left"], image_control["rect"]["top"]
        wrong = [(x, y) for x, y in mask
                 if max(abs(a - b) for a, b in
                        zip(image.pixel(left + x, top + y), flat.pixel(x, y))) > 8]
        self.assertLess(len(wrong), len(mask) // 20,
                        f"{len(wrong)} of the icon's {len(mask)} pixels differ on screen")

    def test_version_dialog_twice_then_exit(self):
        icon_file, _ = harness.sample_assets()
        exe = self.pack_sample(f"{self.NAME}.exe", version=self.VERSION,
                               copyright=self.COPYRIGHT)
        pid = self.launch(exe)
        harness.wait_windows(pid=pid, cls=tray.VIEW_CLASS)
        icon = tray.wait_tray_icon()
        unpacked = harness.wait_until(lambda: harness.tree(self.temp), message="unpacked files")

        tray.choose(pid, icon, "バージョン情報")
        first = self.dialog(pid)
        shot = self.screenshot("version")
        title, has_icon, texts, buttons = self.contents(first)
        self.assertEqual(title, "ﾊﾞｰｼﾞｮﾝ情報")
        self.assertTrue(has_icon, "the icon control holds an icon")
        self.assertEqual(texts, sorted(["", self.NAME, self.VERSION, self.COPYRIGHT]))
        self.assertEqual(buttons, ["OK"])
        self.assert_centred(first)
        self.assert_icon_shown(shot, first, icon_file)

        # A real click on OK closes it.
        ok = first["buttons"][0]["rect"]
        harness.click(ok["left"] + ok["width"] // 2, ok["top"] + ok["height"] // 2)
        self.wait_dialog_gone(pid)
        self.assertTrue(harness.running(pid))

        tray.choose(pid, icon, "バージョン情報")
        second = self.dialog(pid)
        self.screenshot("version-again")
        self.assertEqual(self.contents(second), self.contents(first), "same contents")
        self.assertEqual(second["rect"], first["rect"], "centred again")
        harness.driver("press", "--pid", pid, "--class", VERSION_CLASS, "--button", "OK")
        self.wait_dialog_gone(pid)

        self.assertEqual(len(tray.tray_icons()), 1)
        self.assertGreater(len(unpacked), 1)
        ended = harness.ending(pid, lambda: tray.choose(pid, icon, "終了"), timeout=10)
        self.assertTrue(ended.get("exited"), "the program ends")
        self.assertEqual(ended.get("code"), 0)
        harness.wait_until(lambda: not tray.tray_icons() and [None], timeout=10,
                           message="the tray icon to go")
        self.assertEqual(harness.tree(self.temp), [], "every unpacked file is deleted")
