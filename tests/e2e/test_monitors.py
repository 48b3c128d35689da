"""Characters on a desktop of several monitors.

Wine reads its monitors from Xinerama when XRandR is off. A stand-in libXinerama.so.1 (built
from xinerama_standin.c, first on LD_LIBRARY_PATH) reports the heads a file lists, so one wide
Xvfb screen becomes several monitors; Wine reads the file again when a program asks it to apply
its display settings, which is how a display change is made here.
"""

import contextlib
import dataclasses
import os
import subprocess
import unittest

import harness
import motion_support
import tray_support
from motion_support import XServer

SIZE = (49, 64)  # the sample's frames
IMAGE = "monitors.exe"


@dataclasses.dataclass(frozen=True)
class Head:
    """A monitor in X root pixels; the first head of a layout is the primary."""
    width: int
    height: int
    x: int
    y: int

    def holds(self, x, y):
        return self.x <= x < self.x + self.width and self.y <= y < self.y + self.height


# A smaller monitor right of the primary; one left of it (negative desktop coordinates); and
# monitors of different heights, with a dead zone above the lower one.
# Small monitors: the characters reach a seam sooner.
RIGHT = (Head(480, 400, 0, 0), Head(320, 300, 480, 0))
LEFT = (Head(480, 400, 320, 0), Head(320, 400, 0, 0))
STEPPED = (Head(400, 500, 0, 0), Head(400, 300, 400, 200))


def shown(heads, x, y, w=SIZE[0], h=SIZE[1]):
    """True when the monitors show every pixel of the rectangle (X root pixels) below the
    desktop's top edge: above it is open sky, as above a single screen."""
    top = min(head.y for head in heads)
    if y < top:
        y, h = top, h - (top - y)
    if h <= 0:
        return True
    covered = 0
    for head in heads:
        cw = min(x + w, head.x + head.width) - max(x, head.x)
        ch = min(y + h, head.y + head.height) - max(y, head.y)
        covered += max(cw, 0) * max(ch, 0)
    return covered == w * h


def head_of(heads, x, y, w=SIZE[0], h=SIZE[1]):
    """Index of the monitor under the rectangle's centre, or None."""
    cx, cy = x + w // 2, y + h // 2
    return next((i for i, head in enumerate(heads) if head.holds(cx, cy)), None)


_heads_file = None


def _restart_wine():
    cfg = harness.config()
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([harness.WINESERVER, "-k"], env=cfg.env, timeout=60, **quiet)
    subprocess.run([harness.WINESERVER, "-w"], env=cfg.env, timeout=60, **quiet)
    harness._launched.clear()
    harness._wine_started = False
    harness.start_wine()


def write_heads(heads):
    _heads_file.write_text("".join(f"{h.width} {h.height} {h.x} {h.y}\n" for h in heads))


@contextlib.contextmanager
def monitors(heads):
    """Runs the body on a Wine session whose monitors are `heads`; the one-screen session is
    back afterwards."""
    global _heads_file
    cfg = harness.config()
    library = cfg.build / "native" / "xinerama" / "libXinerama.so.1"
    if not library.is_file():
        raise harness.HarnessError(f"the Xinerama stand-in is not built: {library}")
    _heads_file = cfg.artifacts / "xinerama-heads.txt"
    write_heads(heads)
    saved = {k: cfg.env.get(k) for k in ("LD_LIBRARY_PATH", "TOVALIN_XINERAMA_HEADS")}
    cfg.env["LD_LIBRARY_PATH"] = ":".join(filter(None, [str(library.parent),
                                                        saved["LD_LIBRARY_PATH"]]))
    cfg.env["TOVALIN_XINERAMA_HEADS"] = str(_heads_file)
    harness.reg_add(r"HKCU\Software\Wine\X11 Driver", "UseXRandR", "N")
    _restart_wine()
    try:
        seen = harness.driver("monitors")["monitors"]
        if len(seen) != len(heads):
            raise harness.HarnessError(f"Wine shows {len(seen)} monitors, not {len(heads)}: "
                                       f"{seen}")
        yield
    finally:
        harness.kill_all_launched()
        for name, value in saved.items():
            if value is None:
                cfg.env.pop(name, None)
            else:
                cfg.env[name] = value
        harness.reg_add(r"HKCU\Software\Wine\X11 Driver", "UseXRandR", "Y")
        _restart_wine()


class Monitors(harness.PlayerTestCase):
    def start(self, **settings):
        exe = self.pack_sample(IMAGE, **settings)
        pid = self.launch(exe)
        count = int(settings.get("count", 1))
        harness.wait_windows(pid=pid, cls="tovalin.frmView", count=count, timeout=20)
        self.x = XServer()
        self.addCleanup(self.x.close)
        windows = harness.wait_until(
            lambda: len(self.x.character_windows(IMAGE, SIZE)) == count
            and self.x.character_windows(IMAGE, SIZE), timeout=20,
            message=f"{count} characters mapped")
        return pid, windows

    def outlined_screenshot(self, name, heads):
        """A screenshot with what no monitor shows painted dark, so that the layout shows."""
        shot = self.screenshot(name)
        mask = self.work / f"{name}-mask.png"
        size = "x".join(str(n) for n in motion_support.SCREEN_PX)
        rects = [f"rectangle {h.x},{h.y} {h.x + h.width - 1},{h.y + h.height - 1}" for h in heads]
        subprocess.run(["convert", "-size", size, "xc:black", "-fill", "white",
                        *[a for r in rects for a in ("-draw", r)], str(mask)], check=True)
        subprocess.run(["convert", "-size", size, "xc:#202020", str(shot), str(mask),
                        "-composite", str(self.work / f"{name}-outlined.png")], check=True)
        mask.unlink()

    def watch_until(self, heads, windows, done, timeout=60.0):
        """Follows the characters until done(tracks) holds; every position seen must be one
        the monitors show."""
        tracks = self.x.watch(windows, timeout, stop=done)
        for n, track in enumerate(tracks):
            for x, y in track.positions:
                self.assertTrue(shown(heads, x, y),
                                f"character {n} at {x},{y} stands where no monitor shows")
        if not done(tracks):
            self.screenshot("not-done")
            self.fail(f"not seen within {timeout} s")
        return tracks

    @staticmethod
    def crossed(heads):
        def done(tracks):
            return any(len({head_of(heads, x, y) for x, y in t.positions} - {None}) > 1
                       for t in tracks)
        return done

    def test_straight_and_bouncing_cross_seams_and_land_on_each_floor(self):
        with monitors(STEPPED):
            pid, windows = self.start(count=5, move="直線", location="乱数", speed="速い")
            self.watch_until(STEPPED, windows, self.crossed(STEPPED))
            self.screenshot("straight")
            self.x.close()  # the menu holds the X server while it is open
            tray_support.choose(pid, tray_support.wait_tray_icon(), "設定", "動き", "跳ねる")
            self.x = XServer()
            self.addCleanup(self.x.close)
            floors = {i: head.y + head.height - SIZE[1] for i, head in enumerate(STEPPED)}

            def landed_everywhere(tracks):
                landed = {head_of(STEPPED, x, y) for t in tracks for x, y in t.positions
                          if head_of(STEPPED, x, y) is not None
                          and y == floors[head_of(STEPPED, x, y)]}
                return landed == set(floors) and self.crossed(STEPPED)(tracks)

            tracks = self.watch_until(STEPPED, windows, landed_everywhere)
            deepest = max(y for t in tracks for _, y in t.positions)
            self.assertEqual(deepest, max(floors.values()), "a character sank below a floor")
            self.outlined_screenshot("bouncing", STEPPED)

    def test_placement_a_drop_and_a_display_change_on_a_monitor_left_of_the_primary(self):
        with monitors(LEFT):
            pid, windows = self.start(count=5, location="乱数")
            where = [head_of(LEFT, *self.x.position(w)) for w in windows]
            self.assertEqual(sorted(where), [0, 0, 0, 1, 1], "five characters, two monitors")
            virtual = {w["rect"]["left"] for w in harness.windows(pid=pid,
                                                                   cls="tovalin.frmView")}
            self.assertTrue(any(left < 0 for left in virtual),
                            f"no character left of the primary: {sorted(virtual)}")
            self.screenshot("placed-left")

            # A character dragged from the primary onto the left monitor stays there.
            mover = next(w for w, i in zip(windows, where) if i == 0)
            x0, y0 = self.x.position(mover)
            grab = (x0 + SIZE[0] // 2, y0 + SIZE[1] // 2)
            harness.drag(pid, grab, (150, 200))
            dropped = self.x.position(mover)
            self.assertEqual(head_of(LEFT, *dropped), 1, f"dropped at {dropped}")
            for _ in range(3):  # several motion ticks
                harness.driver("gui-thread", "--pid", pid)
            self.assertEqual(self.x.position(mover), dropped, "a still character moved")

            # The left monitor goes: every character comes back onto the primary.
            write_heads(LEFT[:1])
            self.assertEqual(len(harness.driver("monitors", "--reset")["monitors"]), 1)

            def all_on_primary():
                seen = [(w["rect"]["left"], w["rect"]["top"])
                        for w in harness.windows(pid=pid, cls="tovalin.frmView")]
                return len(seen) == 5 and all(0 <= x <= 480 - SIZE[0] and 0 <= y <= 400 - SIZE[1]
                                              for x, y in seen)

            harness.wait_until(all_on_primary, timeout=20,
                               message="every character back on the primary")
            self.screenshot("left-removed")

    def test_unchecked_the_characters_keep_to_the_primary(self):
        with monitors(RIGHT):
            pid, windows = self.start(count=5, location="乱数")
            where = [head_of(RIGHT, *self.x.position(w)) for w in windows]
            self.assertIn(1, where, "nobody placed on the second monitor")
            self.x.close()  # the menu below holds the X server while it is open
            icon = tray_support.wait_tray_icon()
            tray_support.choose(pid, icon, "設定", "オプション", "すべてのモニターを使う")

            def places():
                seen = [(w["rect"]["left"], w["rect"]["top"])
                        for w in harness.windows(pid=pid, cls="tovalin.frmView")]
                return seen if len(seen) == 5 else None

            harness.wait_until(lambda: all(head_of(RIGHT, x, y) == 0 for x, y in places()),
                               timeout=20, message="every character on the primary")
            ini = self.work / tray_support.INI_NAME
            self.assertEqual(tray_support.ini_value(ini, "Option", "AllMonitors"), b"0")
            # A new scene places everybody in the primary's middle half.
            before = set(w["hwnd"] for w in harness.windows(pid=pid, cls="tovalin.frmView"))
            tray_support.choose(pid, icon, "設定", "出現数", "5")
            harness.wait_until(
                lambda: (lambda w: len(w) == 5 and not before & {v["hwnd"] for v in w})(
                    harness.windows(pid=pid, cls="tovalin.frmView")),
                timeout=20, message="five new characters")
            for x, y in places():
                self.assertTrue(120 <= x < 360 and 100 <= y < 300, f"placed at {x},{y}")
            self.screenshot("primary-only")


if __name__ == "__main__":
    unittest.main()
