"""The player on today's desktops: drawn crisply at a high display resolution, out of the way of
a full-screen program, asleep while the session is locked or the display is off, and a tray
icon that comes back when the shell restarts."""

import threading
import time
from pathlib import Path

import harness
import scene_support as ss
import tray_support as tray

VERSION_CLASS = "tovalin.frm_Version"
WM_WTSSESSION_CHANGE = 0x02B1
WM_DPICHANGED = 0x02E0
WTS_SESSION_LOCK, WTS_SESSION_UNLOCK = 7, 8

# Where the version dialog's controls stand, in twips: left, top, width, height.
VERSION_CONTROLS = {
    "image": (105, 195, 480, 480),
    "name": (645, 150, 2385, 285),
    "version": (645, 525, 2385, 285),
    "ok": (3075, 120, 795, 345),
    "copyright": (60, 930, 3840, 225),
}


def pixels_of(twips, dpi):
    """Twips to whole pixels at a resolution, halves away from zero, as the player rounds."""
    exact = twips * dpi / 1440
    return int(exact + 0.5) if exact >= 0 else -int(-exact + 0.5)


def enlarged(frame, scale):
    """The frame with every pixel a scale × scale block, and the region that follows."""
    width, height = frame.width * scale, frame.height * scale
    pixels = tuple(frame.pixel(x // scale, y // scale)
                   for y in range(height) for x in range(width))
    region = ss.region_of(width, height, lambda x, y: pixels[y * width + x] is not None)
    return ss.Frame(f"{frame.name} x{scale}", width, height, pixels, region)


def views(pid):
    return harness.windows(pid=pid, cls=ss.VIEW_CLASS, hidden=True)


def placed(pid):
    """Where each character window stands and which outline it has, by window."""
    return [(w["visible"], w["rect"]["left"], w["rect"]["top"], ss.rects_of(w))
            for w in sorted(views(pid), key=lambda w: w["hwnd"]) if w["rect"]["width"] > 0]


def linux_cpu_ticks(exe_name):
    """User and system clock ticks the Linux process running exe_name has used so far."""
    for linux_pid in harness.linux_processes_running(exe_name):
        try:
            fields = Path(f"/proc/{linux_pid}/stat").read_text().rsplit(")", 1)[1].split()
        except OSError:
            continue
        return int(fields[11]) + int(fields[12])
    raise harness.HarnessError(f"no Linux process runs {exe_name}")


class HighResolution(harness.PlayerTestCase):
    """At 144 and 192 dpi every picture pixel is a 2 × 2 block of screen pixels."""

    def tearDown(self):
        try:
            harness.set_display_dpi(96)
        finally:
            super().tearDown()

    def version_controls(self, pid, dpi):
        """Each control's place in the dialog's client area, against where its twips put it."""
        box = harness.driver("msgbox", "--pid", pid, "--class", VERSION_CLASS, "--wait", 5000)
        client = harness.windows(pid=pid, cls=VERSION_CLASS)[0]["client"]
        statics = {c["text"]: c["rect"] for c in box["controls"] if c["class"].lower() == "static"}
        found = {"image": statics[""], "name": statics["sample"],
                 "version": statics["Ver 1.00"], "copyright": statics["(C) 2026 tovalin project"],
                 "ok": box["buttons"][0]["rect"]}
        seen, wanted = {}, {}
        for name, rect in found.items():
            seen[name] = (rect["left"] - client["left"], rect["top"] - client["top"],
                          rect["width"], rect["height"])
            wanted[name] = tuple(pixels_of(t, dpi) for t in VERSION_CONTROLS[name])
        return seen, wanted, (client["width"], client["height"])

    def test_frames_outlines_and_the_version_dialog_at_each_resolution(self):
        icon_file, frame_files = harness.sample_assets()
        frame0 = ss.Frame.from_gif(frame_files[0])
        for dpi, scale in ((144, 2), (192, 2)):
            with self.subTest(dpi=dpi):
                harness.set_display_dpi(dpi)
                # Frame 0 alone: the pixels looked at are then the ones shown however late the
                # screenshot comes on a busy machine.
                exe = harness.pack(self.work / "sample.exe", icon_file, frame_files[:1], count=1,
                                   move="静止", speed="遅い", version="Ver 1.00",
                                   copyright="(C) 2026 tovalin project")
                pid = self.launch(exe)
                window = ss.wait_shaped(pid, 1)[0]
                big = enlarged(frame0, scale)
                self.assertEqual((window["rect"]["width"], window["rect"]["height"]),
                                 (frame0.width * scale, frame0.height * scale))
                self.assertEqual(ss.rects_of(window), big.region,
                                 "the outline is frame 0's, every rectangle times the scale")
                shot = self.screenshot(f"dpi{dpi}")
                problems, inside = ss.check_window_pixels(harness.Image.load(shot), window,
                                                          big.region, big)
                self.assertEqual(problems[:5], [], f"{len(problems)} wrong pixels at {dpi} dpi")
                self.assertGreater(inside, 1000 * scale * scale)

                icon = tray.wait_tray_icon()
                tray.choose(pid, icon, "バージョン情報")
                seen, wanted, client = self.version_controls(pid, dpi)
                self.screenshot(f"dpi{dpi}-version")
                self.assertEqual(client, (pixels_of(3945, dpi), pixels_of(1140, dpi)))
                for name in VERSION_CONTROLS:
                    self.assertEqual(seen[name], wanted[name], f"{name} at {dpi} dpi")
                harness.driver("press", "--pid", pid, "--class", VERSION_CLASS, "--button", "OK")
                ended = harness.ending(pid, lambda: tray.choose(pid, icon, "終了"))
                self.assertEqual(ended.get("code"), 0, ended)


class DisplayScaleChange(harness.PlayerTestCase):
    """The system tells a running player that the display's resolution changed."""

    def test_the_scene_is_rebuilt_at_the_new_scale_with_its_settings(self):
        _, frame_files = harness.sample_assets()
        frame0 = ss.Frame.from_gif(frame_files[0])
        pid = self.launch(self.pack_sample(count=3, move="静止", speed="遅い"))
        before = ss.wait_shaped(pid, 3)
        self.assertEqual({(w["rect"]["width"], w["rect"]["height"]) for w in before}, {(49, 64)})
        dpi = 192 | (192 << 16)
        harness.driver("post", "--pid", pid, "--msg", WM_DPICHANGED, "--wparam", dpi)
        big = enlarged(frame0, 2)

        def rebuilt():
            now = [w for w in harness.windows(pid=pid, cls=ss.VIEW_CLASS) if w["region"]]
            return now if len(now) == 3 and all(ss.rects_of(w) == big.region for w in now) \
                else None
        after = harness.wait_until(rebuilt, timeout=20, message="three characters at scale 2")
        self.assertEqual({(w["rect"]["width"], w["rect"]["height"]) for w in after}, {(98, 128)})
        self.assertFalse({w["hwnd"] for w in after} & {w["hwnd"] for w in before},
                         "a new scene")
        self.screenshot("rescaled")


class FullScreenProgram(harness.PlayerTestCase):
    """A borderless window over the whole monitor hides the characters until it goes."""

    def start_walkers(self):
        exe = self.pack_sample(count=3, move="直線", speed="速い", location="乱数")
        pid = self.launch(exe)
        ss.wait_shaped(pid, 3)
        return pid

    def cover(self, seconds, *flags):
        """Runs the driver's cover window in the background; returns the thread."""
        answer = {}
        thread = threading.Thread(target=lambda: answer.update(
            harness.driver("cover", "--ms", int(seconds * 1000), *flags, timeout=60 + seconds)))
        thread.start()
        harness.wait_until(lambda: harness.windows(cls="tovalin.test.Cover"), timeout=10,
                           message="the cover window")
        return thread, answer

    def test_characters_hide_in_front_of_it_and_come_back_where_they_were(self):
        pid = self.start_walkers()
        thread, answer = self.cover(8.0)
        covered = time.monotonic()
        harness.wait_until(lambda: all(not v for v, *_ in placed(pid)) and [True], timeout=1.0,
                           interval=0.05, message="the characters hidden within a second")
        self.assertLess(time.monotonic() - covered, 1.0)
        hidden = placed(pid)
        time.sleep(1.0)
        self.assertEqual(placed(pid), hidden, "nothing moves or animates while hidden")
        looked = time.monotonic()
        thread.join()
        self.assertTrue(answer.get("foreground"), answer)
        while True:  # how long they may have been back when first seen: since the look before
            now = placed(pid)
            if all(v for v, *_ in now):
                back, since = now, time.monotonic() - looked
                break
            looked = time.monotonic()
            self.assertLess(looked - covered, 30, "the characters back")
        # The same windows, going on from where they stood: a walker moves one pixel a tick
        # (50 ms), so it cannot have gone far in that time (a rebuilt scene would stand
        # somewhere new).
        self.assertEqual(len(back), len(hidden))
        reach = 15 + int(since / 0.05)
        for (_, x0, y0, _), (_, x1, y1, _) in zip(hidden, back):
            self.assertLessEqual(abs(x1 - x0) + abs(y1 - y0), reach, (hidden, back, since))
        self.screenshot("back")
        harness.wait_until(lambda: placed(pid) != back, timeout=20,
                           message="the characters moving again")

    def test_a_maximised_window_with_a_caption_leaves_them_alone(self):
        pid = self.start_walkers()
        thread, _ = self.cover(8.0, "--caption")
        time.sleep(1.2)  # what a full-screen window would have hidden by now
        during = placed(pid)
        self.assertTrue(all(v for v, *_ in during), "still shown")
        harness.wait_until(lambda: placed(pid) != during, timeout=6.0, interval=0.05,
                           message="the characters moving while the window is there")
        self.assertTrue(harness.windows(cls="tovalin.test.Cover"), "the window was there")
        thread.join()


def still_for(pid, seconds):
    before = placed(pid)
    time.sleep(seconds)
    return placed(pid) == before


class NobodyWatching(harness.PlayerTestCase):
    """Locked or with the display off, the player does no timer work at all."""

    def assert_asleep_then_awake(self, pid, exe_name, sleep, wake):
        sleep()
        # The message is taken in when the player gets to it: on a busy machine a tick or two
        # may still come first.
        harness.wait_until(lambda: still_for(pid, 0.5), timeout=20, interval=0,
                           message="the characters at rest")
        before, ticks = placed(pid), linux_cpu_ticks(exe_name)
        time.sleep(3.0)
        self.assertEqual(placed(pid), before, "nothing moved or animated")
        used = linux_cpu_ticks(exe_name) - ticks
        self.assertLessEqual(used, 3, f"{used} clock ticks of CPU in 3 s while asleep")
        wake()
        harness.wait_until(lambda: placed(pid) != before, timeout=20,
                           message="moving and animating again")
        self.assertTrue(all(v for v, *_ in placed(pid)), "never hidden")

    def test_a_locked_session_and_a_display_turned_off(self):
        exe = self.pack_sample("sleeper.exe", count=5, move="跳ねる", speed="速い",
                               location="乱数")
        pid = self.launch(exe)
        ss.wait_shaped(pid, 5)
        post = lambda code: harness.driver("post", "--pid", pid, "--msg", WM_WTSSESSION_CHANGE,
                                           "--wparam", code)
        display = lambda state: harness.driver("display-state", "--pid", pid, "--state", state)
        with self.subTest("locked"):
            self.assert_asleep_then_awake(pid, "sleeper.exe", lambda: post(WTS_SESSION_LOCK),
                                          lambda: post(WTS_SESSION_UNLOCK))
        with self.subTest("display off"):
            self.assert_asleep_then_awake(pid, "sleeper.exe", lambda: display(0),
                                          lambda: display(1))
        with self.subTest("dimmed is still watched"):
            display(2)
            before = placed(pid)
            harness.wait_until(lambda: placed(pid) != before, timeout=20,
                               message="moving while dimmed")


class ShellRestart(harness.PlayerTestCase):
    """The icon comes back, with the character's picture, when the shell starts again."""

    def test_taskbar_created_adds_the_icon_again_and_exit_still_removes_it(self):
        icon_file, _ = harness.sample_assets()
        pid = self.launch(self.pack_sample())
        ss.wait_shaped(pid, 1)
        tray.wait_tray_icon()
        harness.driver("tray-delete", "--pid", pid)
        harness.wait_until(lambda: not tray.tray_icons() and [True], timeout=20,
                           message="the icon gone with the shell")
        harness.driver("post", "--pid", pid, "--msg-name", "TaskbarCreated")
        icon = tray.wait_tray_icon()
        shot = harness.Image.load(self.screenshot("tray-again"))
        # The tray shows the icon's picture, not an empty square: most of the middle of the
        # icon is the sample's orange body.
        x, y = icon
        middle = [shot.pixel(x + dx, y + dy) for dx in range(-4, 5) for dy in range(-3, 5)]
        orange = [c for c in middle if c[0] > 190 and 70 < c[1] < 200 and c[2] < 140]
        self.assertGreater(len(orange), len(middle) // 2, f"no picture in the icon: {middle}")
        ended = harness.ending(pid, lambda: tray.choose(pid, icon, "終了"))
        self.assertEqual(ended.get("code"), 0, ended)
        harness.wait_until(lambda: not tray.tray_icons() and [True], timeout=10,
                           message="the icon removed by 終了")
