"""窓の上: characters that fall onto the top edges of other programs' windows, walk along them,
ride them and fall when they go, watched from outside.

The windows are opened by the driver ("host") before the player starts: under Wine without a
window manager, a window mapped after the characters would be drawn over them although they are
topmost, and nothing here is built on that stacking. Positions come from the X server (fast
enough to see single ticks), the windows' own places from the driver.
"""

import harness
import motion_support as ms

SIZE = (49, 64)       # every sample frame
CENTRE = (640, 512)   # "中心": the characters start with their top-left corner here
# The test windows (left, top, width, height), bottom of the z-order first.
LOW = (380, 900, 260, 100)     # "ledge 1": where a walk off the left end of MIDDLE lands
MIDDLE = (580, 700, 200, 150)  # "ledge 2": under the characters' start
COVER = (740, 650, 160, 120)   # "ledge 3": above MIDDLE, hiding its edge right of x = 740


def centre_x(position):
    return position[0] + SIZE[0] / 2


def bottom(position):
    return position[1] + SIZE[1]


def holds(span, left):
    """A stretch (left, right) of an edge holds at least half of a character at `left`."""
    held = min(span[1], left + SIZE[0]) - max(span[0], left)
    return held * 2 >= SIZE[0]


def on_line(position, y):
    """The character's bottom is on the line y, within a pixel."""
    return abs(bottom(position) - y) <= 1


class OnWindows(harness.PlayerTestCase):
    def setUp(self):
        super().setUp()
        self.x = ms.XServer()
        self.addCleanup(self.x.close)
        self.grab = ms.grab_point(harness.sample_assets()[1])
        work = harness.driver("work-area")["work"]
        self.ground = work["top"] + work["height"]
        self.middle = MIDDLE  # where the middle window is; None once it is closed
        self.samples = 0

    def open_windows(self):
        rects = [a for r in (LOW, MIDDLE, COVER) for a in ("--rect", ",".join(map(str, r)))]
        host = self.launch(harness.config().driver, "host", *rects)
        shown = harness.wait_windows(pid=host, count=3, timeout=20)
        by_title = {w["title"]: w for w in shown}
        self.assertEqual(sorted(by_title), ["ledge 1", "ledge 2", "ledge 3"])
        for title, rect in (("ledge 1", LOW), ("ledge 2", MIDDLE), ("ledge 3", COVER)):
            r = by_title[title]["rect"]
            self.assertEqual((r["left"], r["top"], r["width"], r["height"]), rect, title)
        self.assertLess(by_title["ledge 3"]["z"], by_title["ledge 2"]["z"],
                        "the covering window is not above the one it covers")
        return {title: w["hwnd"] for title, w in by_title.items()}

    def start_player(self):
        exe = self.pack_sample("ledges.exe", count=3, move="窓の上", location="中心")
        self.pid = self.launch(exe)

        def found():
            ids = self.x.character_windows(exe.name, SIZE)
            return ids if len(ids) >= 3 else None

        self.ids = harness.wait_until(found, timeout=20, interval=0.005,
                                      message="3 character windows")
        self.assertEqual(len(self.ids), 3)

    def positions(self):
        """Where the characters are now. Every look also checks that none stands on the part of
        the middle window's edge that the covering window hides."""
        now = [self.x.position(w) for w in self.ids]
        self.samples += 1
        for p in now:
            if self.middle and on_line(p, self.middle[1]) and \
                    self.middle[0] <= centre_x(p) <= self.middle[0] + self.middle[2]:
                # Half of it on the visible edge at most: its centre at the cover's left side,
                # a pixel more for the rounding of a fall's first twips.
                self.assertLessEqual(centre_x(p), COVER[0] + 2,
                                     f"a character stands behind the covering window: {p}")
        return now

    def wait_for(self, condition, message, timeout=30):
        def look():
            now = self.positions()
            return now if condition(now) else None

        return harness.wait_until(look, timeout=timeout, interval=0.01, message=message)

    def drop(self, index, top_left):
        """Drags character `index` until its top-left corner is at top_left, and lets go. The
        press waits until the character stands on a ledge: one falling past the pointer would be
        missed."""
        lines = [self.ground, LOW[1]] + ([self.middle[1]] if self.middle else [])
        at = self.wait_for(lambda ps: any(on_line(ps[index], y) for y in lines),
                           f"character {index} standing before the drop")[index]
        press = (at[0] + self.grab[0], at[1] + self.grab[1])
        harness.press_for_drag(self.pid, *press)
        try:
            held = self.x.position(self.ids[index])  # it may have walked a step meanwhile
            end = (top_left[0] + press[0] - held[0], top_left[1] + press[1] - held[1])
            for i in range(1, 11):
                harness.mouse_move(press[0] + (end[0] - press[0]) * i // 10,
                                   press[1] + (end[1] - press[1]) * i // 10)
        finally:
            harness.mouse_up()
        harness.wait_until(lambda: not harness.in_move_loop(self.pid), timeout=20.0,
                           interval=0.02, message="the move loop to end after the release")

    def assert_falls_straight_to(self, index, line, why):
        """Character `index` falls from where it is now, without a step aside, onto line."""
        x = self.positions()[index][0]
        landed = self.wait_for(lambda ps: on_line(ps[index], line), f"{why}: a fall to {line}")
        # A walk to an end and off it would take a second at least: 20 pixels.
        self.assertLessEqual(abs(landed[index][0] - x), 10, f"{why}: it walked off instead")

    def test_characters_land_ride_walk_off_and_fall(self):
        hwnd = self.open_windows()
        self.start_player()

        # They fall from the centre onto the middle window's edge, to the pixel.
        landed = self.wait_for(lambda ps: all(on_line(p, MIDDLE[1]) for p in ps),
                               "every character on the middle window's top edge")
        for p in landed:
            self.assertTrue(holds((MIDDLE[0], COVER[0]), p[0]), p)
        self.screenshot("landed")

        # The window moves down and right: they ride it, keeping their places on it.
        moved = (MIDDLE[0] + 20, MIDDLE[1] + 40, MIDDLE[2], MIDDLE[3])
        before = self.positions()
        harness.driver("place", "--hwnd", hwnd["ledge 2"], "--rect", ",".join(map(str, moved)))
        self.middle = moved
        riding = self.wait_for(
            lambda ps: any(on_line(p, moved[1]) for p in ps) and
            not any(on_line(p, MIDDLE[1]) for p in ps),
            "the characters to ride the moved window")
        for old, new in zip(before, riding):
            if on_line(new, moved[1]):
                # 20 pixels with the window, give or take a second's walk of its own.
                self.assertLessEqual(abs(new[0] - old[0] - 20), 21, (old, new))
        self.screenshot("riding")

        # At each end of the visible edge a character turns or walks off, drawn each time: in
        # time one walks off, onto the low window or the floor of the work area.
        self.wait_for(lambda ps: any(on_line(p, LOW[1]) or on_line(p, self.ground) for p in ps),
                      "a character to walk off an end of the edge", timeout=90)

        # Dropped above the low window, a character falls onto it.
        self.drop(0, (LOW[0] + 60, LOW[1] - 150))
        self.assert_falls_straight_to(0, LOW[1], "dropped above the low window")
        self.screenshot("dropped")

        # Closed, the middle window lets its character fall; nothing is below it but the floor.
        # (Every press comes before a window is shown again: under Wine a window mapped again
        # lies above the characters, and a press there would reach it.)
        self.drop(1, (moved[0] + 70, moved[1] - 120))
        self.assert_falls_straight_to(1, moved[1], "dropped above the moved middle window")
        harness.driver("show", "--hwnd", hwnd["ledge 2"], "--how", "close")
        self.middle = None
        self.assert_falls_straight_to(1, self.ground, "the middle window closed")

        # Minimised, the low window lets it fall to the floor of the work area.
        harness.driver("show", "--hwnd", hwnd["ledge 1"], "--how", "minimize")
        self.assert_falls_straight_to(0, self.ground, "the low window minimised")
        restored = harness.driver("show", "--hwnd", hwnd["ledge 1"], "--how", "restore")
        self.assertFalse(restored["iconic"])

        self.assertGreater(self.samples, 50, "the characters were hardly looked at")
