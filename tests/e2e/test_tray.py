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

    def views(self, pid, count=1):
        return harness.wait_windows(pid=pid, cls="tovalin.frmView", count=count)

    def test_clicks_count_movement_speed_and_location(self):
        exe = self.pack_numbered()
        ini = self.work / tray.INI_NAME
        pid = self.launch(exe)
        first = self.views(pid)
        self.assertEqual(len(first), 1)
        icon = tray.wait_tray_icon()

        with self.subTest("left clicks open nothing"):
            harness.click(*icon)
            self.assertTrue(tray.no_menu_within(pid, 1.0), "a left click opened a menu")
            harness.click(*icon, repeat=2)
            self.assertTrue(tray.no_menu_within(pid, 1.0), "a double click opened a menu")

        with self.subTest("count 3"):
            root = tray.open_menu(pid, icon)
            self.screenshot("menu")
            self.assertEqual((root["rect"]["left"], root["rect"]["top"]), icon,
                             "the menu opens at the cursor, left-aligned")
            tray.walk(pid, "設定", "出現数", "3",
                      shots=lambda depth: self.screenshot(f"submenu{depth}"))
            views = self.views(pid, 3)
            self.assertEqual(len(views), 3)
            self.assertFalse({w["hwnd"] for w in views} & {first[0]["hwnd"]},
                             "the scene is rebuilt with new windows")
            self.assert_ini(ini, "Char", "Count", "3")

        three = set(by_hwnd(views))
        hwnd = views[0]["hwnd"]
        normal = tray.frame_rate(pid, hwnd, FRAME_COUNT)

        with self.subTest("fast"):
            tray.choose(pid, icon, "設定", "動作速度", "速い")
            self.assert_ini(ini, "Anim", "Mode", "速い")
            fast = tray.frame_rate(pid, hwnd, FRAME_COUNT)
            self.assertEqual(set(by_hwnd(self.views(pid, 3))), three, "no rebuild")
            # 250 ms against 80 ms a frame: three times as fast, give or take the tick's time.
            self.assertGreater(fast, 2 * normal, f"{fast:.1f} frames/s after, {normal:.1f} "
                               "before")

        with self.subTest("bounce"):
            tray.choose(pid, icon, "設定", "動き", "跳ねる")
            self.assert_ini(ini, "Move", "Mode", "跳ねる")
            looks = []
            for _ in range(5):
                now = by_hwnd(self.views(pid, 3))
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
            five = self.views(pid, 5)
            self.screenshot("five")
            self.assertEqual(len(five), 5)
            self.assertFalse(set(by_hwnd(five)) & three, "new windows")
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
