"""Order and re-entrancy: menu commands while characters animate fast, the menu opened while
the scene is being rebuilt, count choices in quick succession, a drag that holds the mouse,
and two copies of one character running side by side.

Afterwards there must be exactly the characters asked for (no window of a half-built scene
left, visible or hidden), every one of them shaped, no message, and the program must still
end cleanly from its menu.
"""

import collections
import shutil
import struct
import time
import unittest

import harness
import reliability_support as rs
import scene_support

SAMPLE_SIZE = (49, 64)  # the sample character's frames, in pixels


def classes(pid):
    """How many top-level windows of each class the process has, hidden ones included."""
    return collections.Counter(w["class"] for w in harness.windows(pid=pid, hidden=True))


def gif_size(path):
    return struct.unpack_from("<HH", path.read_bytes(), 6)


class Reentrancy(harness.PlayerTestCase):
    def start_five_fast(self, move="跳ねる"):
        exe = self.pack_sample(count=5, move=move, location="乱数", speed="速い")
        pid = self.launch(exe)
        scene = rs.wait_views(pid, 5)
        return pid, scene, rs.tray_icon()

    def assert_scene(self, pid, count, size=SAMPLE_SIZE, exclude=()):
        """Exactly `count` characters of `size`, all shaped and none from an earlier scene,
        one hidden picture store beside them, and no message."""
        scene = rs.wait_views(pid, count, exclude=exclude, shaped=True)
        self.assertTrue(all(w["region"] and w["region"]["area"] for w in scene),
                        "every character is shaped")
        self.assertEqual({(w["rect"]["width"], w["rect"]["height"]) for w in scene}, {size})
        self.assertEqual(classes(pid)[rs.VIEW_CLASS], count + 1,
                         "windows of an earlier scene are left (hidden or not)")
        self.assertEqual(rs.stray_windows(pid), [], "a window other than the characters")
        self.assert_no_msgbox(pid)
        return scene

    def exit_cleanly(self, pid, icon):
        result = rs.exit_via_menu(pid, icon)
        self.assertTrue(result.get("exited"), "still running after 終了")
        self.assertEqual(result.get("code"), 0)
        self.assertEqual(harness.tree(self.temp), [], "unpacked files left behind")

    def test_menu_answers_every_move_and_click_while_five_characters_animate_fast(self):
        # Each frame change lets pending messages run; if the pointer's moves and clicks are
        # among them, they go past the open menu, which then misses them.
        pid, scene, icon = self.start_five_fast(move="静止")
        missed = []
        for n in range(8):
            try:
                rs.choose(pid, icon, "設定", "動作速度", "速い", patient=False)
            except harness.HarnessError as e:
                missed.append(f"walk {n}: {e}")
                rs.close_menu(pid)
        self.assertEqual(missed, [], f"{len(missed)} of 8 menu walks lost the pointer")
        self.assert_scene(pid, 5, exclude=())
        self.exit_cleanly(pid, icon)

    def test_favourites_chosen_while_five_characters_animate_fast(self):
        favourite = harness.REPO / "assets" / "favourites" / rs.FAVOURITE
        if not favourite.is_dir():
            self.skipTest(f"{favourite} absent")
        shutil.copytree(favourite, self.work / rs.FAVOURITE)
        size = gif_size(favourite / "01.gif")
        pid, scene, icon = self.start_five_fast()
        for n in range(3):
            with self.subTest(choice=n):
                rs.choose(pid, icon, "お気に入り", rs.FAVOURITE)
                scene = self.assert_scene(pid, 5, size, exclude=[w["hwnd"] for w in scene])
        self.screenshot("favourites")
        self.exit_cleanly(pid, icon)

    def test_count_choices_in_quick_succession_and_the_menu_opened_during_a_rebuild(self):
        pid, scene, icon = self.start_five_fast()
        with self.subTest("quick succession"):
            for count in ("1", "3", "5", "3", "1", "5", "5", "3"):
                rs.choose(pid, icon, "設定", "出現数", count)
            scene = self.assert_scene(pid, 3)

        # The last click of a choice and the right-click that opens the menu again go out in
        # one go, so the tray's notification is waiting while the new scene is built; the
        # scene lets pending messages run while it shapes each window, so the menu may open
        # in the middle of it, and the choice made there rebuilds the scene under it.
        with self.subTest("menu opened during the rebuild"):
            for count, after in (("5", "1"), ("1", "5"), ("5", "3"), ("3", "5")):
                old = [w["hwnd"] for w in scene]
                rs.walk(pid, rs.open_menu(pid, icon), "設定", "出現数", count,
                        then=("mousemove", *icon, "click", 3))
                try:
                    menu = rs.wait_menus(pid, 1, timeout=3)[0]
                except harness.HarnessError:
                    # The right-click went to the menu that was still closing.
                    menu = rs.open_menu(pid, icon)
                rs.walk(pid, menu, "設定", "出現数", after)
                scene = self.assert_scene(pid, int(after), exclude=old)
        self.exit_cleanly(pid, icon)

    def test_a_drag_holds_the_mouse_and_exit_works_when_it_ends(self):
        pid, scene, icon = self.start_five_fast(move="静止")
        target = scene[0]
        rect = target["rect"]
        left, top, right, bottom = target["region"]["rects"][len(target["region"]["rects"]) // 2]
        grip = (rect["left"] + (left + right) // 2, rect["top"] + (top + bottom) // 2)
        harness.press_for_drag(pid, *grip)
        try:
            harness.mouse_move(grip[0] + 40, grip[1] + 30)
            harness.wait_until(lambda: self.left_of(pid, target["hwnd"]) == rect["left"] + 40,
                               timeout=20, message="the character to follow the pointer")
            # With the button held the move loop owns the pointer: a right-click over the
            # tray icon reaches the dragged window, not the tray, so no menu (and no exit)
            # can be chosen during a drag.
            harness.mouse_move(*icon)
            harness.xdotool("click", 3)
            self.assertTrue(rs.no_menu_within(pid, 1.0), "a menu opened during the drag")
            self.screenshot("dragging")
        finally:
            harness.mouse_move(600, 600)
            time.sleep(0.2)
            harness.mouse_up()
        harness.wait_until(lambda: self.left_of(pid, target["hwnd"]) == 600 - (grip[0] -
                                                                               rect["left"]),
                           timeout=20, message="the character to stay where it was dropped")
        self.assert_scene(pid, 5, exclude=())
        self.exit_cleanly(pid, icon)

    @staticmethod
    def left_of(pid, hwnd):
        found = [w for w in rs.views(pid) if w["hwnd"] == hwnd]
        return found[0]["rect"]["left"] if found else None


class TwoInstances(harness.PlayerTestCase):
    """Two copies of one character share the temporary folder and the unpacked files' names:
    the second writes the same files over the first's, and whichever ends first deletes them.
    Both have built their frames from the files by then, so the other keeps going."""

    def test_ending_one_leaves_the_other_running_and_able_to_end(self):
        exe = self.pack_sample(count=3, move="跳ねる", speed="速い")
        names = sorted(harness.tree(self.temp))
        first = self.launch(exe)
        rs.wait_views(first, 3)
        unpacked = harness.tree(self.temp)
        self.assertEqual(len(unpacked), 51, unpacked[:3])
        second = self.launch(exe)
        rs.wait_views(second, 3)
        self.assertEqual(harness.tree(self.temp), unpacked, "the same names, written over")
        icons = rs.tray_icons()
        self.assertEqual(len(icons), 2, "one tray icon each")
        self.screenshot("two")

        # Whichever player the first icon belongs to is ended from its menu.
        harness.right_click(*icons[0]["center"])
        menus = harness.wait_until(lambda: [(p, m) for p in (first, second)
                                            for m in rs.menu_windows(p)][:1], timeout=20,
                                   message="a menu from the first tray icon")
        ended, root = menus[0]
        survivor = second if ended == first else first
        result = harness.ending(ended, lambda: rs.walk(ended, root, "終了"))
        self.assertEqual(result.get("code"), 0, result)
        self.assertEqual(harness.tree(self.temp), names, "the first to end deletes the files")
        before = {w["hwnd"]: w for w in rs.views(survivor)}
        self.assertEqual(len(before), 3)
        # Still animating and moving: shapes or places change.
        harness.wait_until(lambda: self.changed(before, rs.views(survivor)), timeout=20,
                           message="the other player's characters to go on")
        self.assert_no_msgbox(survivor)

        result = rs.exit_via_menu(survivor, rs.tray_icon(1))
        self.assertEqual(result.get("code"), 0, result)
        self.assertEqual(harness.tree(self.temp), [])

    @staticmethod
    def changed(before, now):
        if {w["hwnd"] for w in now} != set(before):
            return False
        return any(w["rect"] != before[w["hwnd"]]["rect"] or w["region"] != before[w["hwnd"]]["region"]
                   for w in now)

    # When no file of the favourite folder can be used, the characters keep the frames they
    # had; loading the unpacked files again would find them deleted by the copy that ended.
    def test_the_survivor_falls_back_to_its_own_frames_after_the_other_deleted_them(self):
        files = rs.small_files(1)
        exe = self.write_exe("chara.exe", rs.package_bytes(files))
        (self.work / rs.FAVOURITE).mkdir()
        (self.work / rs.FAVOURITE / "bad.gif").write_bytes(b"GIF89a and nothing more")
        first, second = self.launch(exe), self.launch(exe)
        rs.wait_views(first, 1)
        rs.wait_views(second, 1)
        self.assertEqual(rs.exit_via_menu(first, self.icon_of(first, second)).get("code"), 0)
        self.assertEqual(harness.tree(self.temp), [], "the first to end deleted the files")

        before = rs.views(second)
        rs.choose(second, rs.tray_icon(1), "お気に入り", rs.FAVOURITE)
        for _ in range(2):  # the bad file is named, then no file was usable
            self.wait_msgbox(second)
            harness.press(pid=second, button="OK")
        window = rs.wait_views(second, 1, exclude=[w["hwnd"] for w in before])[0]
        image = harness.Image.load(self.screenshot("fallback"))
        rects = scene_support.rects_of(window)
        r = window["rect"]
        inside = [image.pixel(r["left"] + x, r["top"] + y) for left, top, right, bottom in rects
                  for y in range(top, bottom) for x in range(left, right)]
        colour = (200, 40, 40)  # the package frame's one colour (small_files)
        wrong = collections.Counter(p for p in inside if p != colour)
        self.assertEqual(wrong, {}, f"of {len(inside)} character pixels, these are not the "
                         "frame's colour")

    @staticmethod
    def icon_of(pid, other):
        """The centre of the tray icon that opens pid's menu, not other's (menus left closed)."""
        for icon in rs.tray_icons():
            harness.right_click(*icon["center"])
            owner = harness.wait_until(lambda: [p for p in (pid, other) if rs.menu_windows(p)],
                                       timeout=20, message="a menu from the tray icon")[0]
            rs.close_menu(owner)
            if owner == pid:
                return tuple(icon["center"])
        raise harness.HarnessError(f"no tray icon of process {pid}")
