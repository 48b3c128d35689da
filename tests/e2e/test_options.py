"""The オプション submenu: click-through, starting with the last settings, starting with Windows.

Every choice is made with real keys in the tray menu; each walk to an option also reads the
submenu's check marks from the screen before the choice is made.
"""

import subprocess
from pathlib import Path

import harness
import tray_support as tray

OPTIONS = ("すべてのモニターを使う", "クリックを透過する", "前回の設定で始める",
           "Windows の起動時に始める")
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
NOT_KEPT = "設定をファイルに保存できませんでした。この設定は終了するまで有効です。"
PASSING = 0x80000 | 0x20  # WS_EX_LAYERED | WS_EX_TRANSPARENT
# Frames of numbered bars (tray_support.numbered_frames), and their heights, which tell whose
# frames a window shows. The favourite's run fast: enough of them that a look every so often
# never misses half a loop.
PACKAGE_FRAMES, PACKAGE_ROWS = 8, 12
FAVOURITE_FRAMES, FAVOURITE_ROWS = 40, 48
SCREEN = (1280, 1024)
CENTRE = (SCREEN[0] // 2, SCREEN[1] // 2)


def write_ini(path, sections):
    """A settings file as a user would edit it: code page 932, CR LF."""
    lines = []
    for section, keys in sections.items():
        lines.append(f"[{section}]")
        lines += [f"{key}={value}" for key, value in keys.items()]
    Path(path).write_bytes(("\r\n".join(lines) + "\r\n").encode("cp932"))


def marks_in(shot, menu, count):
    """Which of the menu's `count` items show a check mark in the screenshot: something other
    than the row's own background in the strip left of the captions, where only the mark is
    drawn (a selected row has another background and a mark of another colour)."""
    image = harness.Image.load(shot)
    rect = menu["rect"]
    marks = []
    for i in range(count):
        middle = rect["top"] + rect["height"] * (2 * i + 1) // (2 * count)
        strip = [image.pixel(x, y) for y in range(middle - 4, middle + 5)
                 for x in range(rect["left"] + 3, rect["left"] + 15)]
        background = max(set(strip), key=strip.count)
        marks.append(sum(1 for p in strip if sum(abs(a - b) for a, b in zip(p, background)) > 90)
                     > 4)
    return marks


def catch_click(rect, action, timeout=20.0):
    """Puts a plain window over `rect` (below every topmost window), runs action(), and returns
    where the window was clicked, or None when no click reached it in `timeout` seconds."""
    def act(ready):
        if not ready.get("ready"):
            raise harness.HarnessError(f"the catcher window did not come up: {ready}")
        harness.wait_windows(image="tovalin-driver.exe", cls="tovalin.test.Catcher")
        action()
    _, answer = harness.driver_around(
        ["catch-click", "--left", rect[0], "--top", rect[1], "--width", rect[2],
         "--height", rect[3], "--wait", int(timeout * 1000)], act, timeout)
    return (answer["x"], answer["y"]) if answer.get("clicked") else None


class Options(harness.PlayerTestCase):
    def setUp(self):
        # A missing display, Wine or build is a failure here, with the reason, not a skip.
        reason = harness.gui_unavailable()
        if reason:
            self.fail(f"the options cannot be tried: {reason}")
        super().setUp()

    def pack_bars(self, folder, name, **settings):
        """A character of numbered bars PACKAGE_ROWS high."""
        frames = []
        for i, data in enumerate(tray.numbered_frames(PACKAGE_FRAMES, PACKAGE_ROWS), start=1):
            frames.append(self.work / f"bar{i:02d}.gif")
            frames[-1].write_bytes(data)
        icon = self.work / "bar.ico"
        icon.write_bytes(harness.make_ico())
        return harness.pack(folder / name, icon, frames, **settings)

    def choose_option(self, pid, icon, caption, marks_before):
        """Chooses an option after checking the marks the submenu shows as it opens."""
        def look(depth):
            if depth != 3:
                return
            menu = max(tray.menu_windows(pid), key=lambda w: w["rect"]["left"])
            seen = []

            def shown():
                seen[:] = marks_in(self.screenshot("options-menu"), menu, len(OPTIONS))
                return seen == list(marks_before)
            try:
                harness.wait_until(shown, timeout=10, interval=0.2, message="the check marks")
            except harness.HarnessError:
                tray.dismiss_menus(pid)
                self.fail(f"check marks {seen}, expected {list(marks_before)} "
                          f"({', '.join(OPTIONS)})")
        tray.choose(pid, icon, "設定", "オプション", caption, shots=look)

    def view(self, pid):
        views = harness.windows(pid=pid, cls=tray.VIEW_CLASS)
        self.assertEqual(len(views), 1)
        return views[0]

    def wait_passing(self, pid, passing):
        return harness.wait_until(
            lambda: next((w for w in harness.windows(pid=pid, cls=tray.VIEW_CLASS)
                          if ((w["exstyle"] & PASSING) == PASSING) == passing), None),
            timeout=20, message=f"the character {'passing' if passing else 'taking'} clicks")

    def assert_painted(self, pid, name):
        """Every pixel of the outline shows the bar's colour on the screen: the outline and
        the picture are as before. The player is held still for the look; a look that caught
        a frame given but not yet painted is taken again."""
        def painted():
            harness.paint(pid)
            with harness.stopped(pid):
                window = self.view(pid)
                shot = harness.screenshot(self.work / f"{name}.png")
            image = harness.Image.load(shot)
            left, top = window["rect"]["left"], window["rect"]["top"]
            pixels = tray.region_pixels(window)
            return pixels and all(image.pixel(left + x, top + y) == (200, 40, 40)
                                  for x, y in pixels)
        harness.wait_until(painted, timeout=20, interval=0.3, message=f"{name}: the bar painted")

    def test_click_through_reaches_the_window_below_and_a_read_only_folder_says_so(self):
        app = harness.clean_folder(self.work / "app")
        exe = self.pack_bars(app, "through.exe", count=1, move="静止", location="中心",
                             speed="遅い")
        ini = app / tray.INI_NAME
        # Unchecked, start-up is as before: a record of earlier choices is not read.
        write_ini(ini, {"Last": {"Count": "5", "Location": "乱数"}})
        pid = self.launch(exe)
        before = tray.wait_views(pid, 1)[0]
        self.assertEqual((before["rect"]["left"], before["rect"]["top"]), CENTRE)
        self.assertEqual(before["exstyle"] & PASSING, 0)
        icon = tray.wait_tray_icon()

        self.choose_option(pid, icon, "クリックを透過する", (True, False, False, False))
        self.assertEqual(tray.wait_ini_value(ini, "Option", "ClickThrough", b"1"), b"1")
        passing = self.wait_passing(pid, True)
        self.assertEqual(passing["hwnd"], before["hwnd"], "no rebuild")
        self.assert_painted(pid, "passing")

        # The bottom row of every bar is inside the outline.
        r = passing["rect"]
        spot = (r["left"] + tray.BAR_WIDTH // 2, r["top"] + PACKAGE_ROWS - 1)
        below = (r["left"] - 40, r["top"] - 40, r["width"] + 80, r["height"] + 80)
        caught = catch_click(below, lambda: harness.click(*spot))
        self.assertEqual(caught, spot, "the click went through to the window below")
        after = self.view(pid)
        self.assertEqual(after["rect"], passing["rect"], "not dragged")
        shown = tray.frame_number(after)
        harness.wait_until(lambda: tray.frame_number(self.view(pid)) not in (None, shown),
                           timeout=20, message="the next frame while clicks pass")

        self.choose_option(pid, icon, "クリックを透過する", (True, True, False, False))
        self.assertEqual(tray.wait_ini_value(ini, "Option", "ClickThrough", b"0"), b"0")
        self.wait_passing(pid, False)
        self.assert_painted(pid, "taking")
        harness.drag(pid, spot, (spot[0] + 120, spot[1] + 80))
        moved = self.view(pid)["rect"]
        self.assertEqual((moved["left"], moved["top"]), (r["left"] + 120, r["top"] + 80),
                         "the drag works again")

        # Read-only as a folder whose rights forbid writing: neither a new file nor a change
        # of the one there.
        locked = [str(app), str(ini)]
        if subprocess.run(["chattr", "+i", *locked], capture_output=True).returncode != 0:
            self.fail("cannot make a folder read-only here (chattr +i needs root)")
        self.addCleanup(subprocess.run, ["chattr", "-i", *locked])
        self.choose_option(pid, icon, "クリックを透過する", (True, False, False, False))
        box = self.wait_msgbox(pid)
        self.assert_message(box, harness.APP_TITLE, NOT_KEPT)
        harness.press(pid=pid, button="OK")
        self.wait_passing(pid, True)  # the choice holds for this run
        self.assertEqual(tray.ini_value(ini, "Option", "ClickThrough"), b"0")

    def test_last_settings_come_back_and_the_run_value_follows_the_menu(self):
        app = harness.clean_folder(self.work / "app")
        exe = self.pack_bars(app, "lastrun.exe", count=3, move="静止", location="中心",
                             speed="遅い")
        ini = app / tray.INI_NAME
        favourite = harness.clean_folder(app / "ぷかり")
        (favourite / "readme.txt").write_text("no frames here")
        self.addCleanup(harness.reg_delete, RUN_KEY, "lastrun")
        harness.reg_delete(RUN_KEY, "lastrun")
        # Hand-edited values that are none of the words: each default or header word stands.
        # The favourite's folder holds no frame yet: passed over without a word.
        write_ini(ini, {
            "Option": {"StartWithLast": "1", "ClickThrough": "yes", "AllMonitors": "2"},
            "Last": {"Count": "2", "Move": "走る", "Location": "中央", "Speed": "はやい"},
            "Setting": {"Folder": "ぷかり"},
        })

        pid = self.launch(exe)
        first = tray.wait_views(pid, 3)
        for w in first:
            self.assertEqual((w["rect"]["left"], w["rect"]["top"]), CENTRE, "中心, standing")
            self.assertEqual(w["rect"]["height"], PACKAGE_ROWS, "the package's frames")
            self.assertEqual(w["exstyle"] & PASSING, 0, "ClickThrough=yes is the default: off")
        self.assert_no_msgbox(pid)
        slow = tray.frame_rate(pid, first[0]["hwnd"], PACKAGE_FRAMES)
        for i, data in enumerate(tray.numbered_frames(FAVOURITE_FRAMES, FAVOURITE_ROWS), start=1):
            (favourite / f"fav{i:02d}.gif").write_bytes(data)
        icon = tray.wait_tray_icon()
        for path in (("出現数", "5"), ("動き", "跳ねる"), ("出現位置", "乱数"),
                     ("動作速度", "速い")):
            tray.choose(pid, icon, "設定", *path)
        tray.choose(pid, icon, "お気に入り", "ぷかり")
        tray.wait_views(pid, 5, exclude={w["hwnd"] for w in first})
        expected = {"Count": "5", "Move": "跳ねる", "Location": "乱数", "Speed": "速い"}
        for key, word in expected.items():
            self.assertEqual(tray.wait_ini_value(ini, "Last", key, word.encode("cp932")),
                             word.encode("cp932"), f"[Last] {key}")
        # Each choice was recorded as it was made: a run that is ended from outside loses none.
        harness.kill(pid)
        harness.wait_until(lambda: not tray.tray_icons(), timeout=20, message="the first run's "
                           "tray icon to go")

        pid = self.launch(exe)
        views = tray.wait_views(pid, 5)
        self.screenshot("restarted")
        for w in views:
            self.assertEqual(w["rect"]["height"], FAVOURITE_ROWS, "the favourite's frames")
        self.assertNotEqual({(w["rect"]["left"], w["rect"]["top"]) for w in views}, {CENTRE},
                            "乱数 places")
        tops = [{w["hwnd"]: w["rect"]["top"] for w in harness.windows(pid=pid,
                                                                      cls=tray.VIEW_CLASS)}
                for _ in range(4)]
        for hwnd in tops[0]:
            seen = [look[hwnd] for look in tops]
            self.assertGreater(seen[-1], seen[0], f"跳ねる: window {hwnd} falls first: {seen}")
        fast = tray.frame_rate(pid, views[0]["hwnd"], FAVOURITE_FRAMES)
        self.assertGreater(fast, 2 * slow, f"速い: {fast:.1f} frames/s, 遅い {slow:.1f}")

        this_copy = f'"{harness.winpath(exe)}"'
        icon = tray.wait_tray_icon()
        self.assertIsNone(harness.reg_query(RUN_KEY, "lastrun"))
        self.choose_option(pid, icon, OPTIONS[3], (True, False, True, False))
        self.assertEqual(self.wait_run_value(lambda v: v is not None),
                         ("REG_SZ", this_copy))
        self.choose_option(pid, icon, OPTIONS[3], (True, False, True, True))
        self.wait_run_value(lambda v: v is None)
        # Another copy of the program of the same name: shown unchecked, and checking it
        # writes this copy.
        harness.reg_add(RUN_KEY, "lastrun", r'"C:\elsewhere\lastrun.exe"')
        self.choose_option(pid, icon, OPTIONS[3], (True, False, True, False))
        self.assertEqual(self.wait_run_value(lambda v: v and v[1] == this_copy),
                         ("REG_SZ", this_copy))

    def wait_run_value(self, wanted):
        value = [None]

        def found():
            value[0] = harness.reg_query(RUN_KEY, "lastrun")
            return wanted(value[0])
        harness.wait_until(found, timeout=20, interval=0.3, message="the Run value")
        return value[0]
