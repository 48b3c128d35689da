"""Soak: five fast characters in every moving mode, watched for a while from outside.

The player's private memory and working set must stay flat after a warm-up, there must be
exactly five character windows all along, and the characters must keep moving and animating.
The short version (SOAK_SECONDS per mode) runs with every test run; TOVALIN_SOAK_SECONDS sets
a longer one (./run soak), which also runs the Windows-side soak that counts GDI objects and
windows inside the process (Wine does not tell them for another process).
"""

import json
import os
import re
import subprocess
import time

import harness
import reliability_support as rs

SOAK_SECONDS = 15.0
WARM_UP = 4.0
SAMPLE_EVERY = 1.0
MODES = ("直線", "浮遊", "跳ねる")
PRIVATE_SLACK = 2 * 2**20  # bytes the private memory may grow by after the warm-up
WORKING_SET_SLACK = 4 * 2**20


def soak_seconds():
    value = os.environ.get("TOVALIN_SOAK_SECONDS")
    return float(value) if value else None


def mb(n):
    return f"{n / 2**20:.2f} MB"


class PlayerSoak(harness.PlayerTestCase):
    def test_five_fast_characters_in_every_moving_mode_stay_flat(self):
        seconds = soak_seconds() or SOAK_SECONDS
        figures = {}
        for mode in MODES:
            with self.subTest(mode):
                try:
                    self.soak(mode, seconds, figures.setdefault(mode, {}))
                finally:
                    self.report(mode, figures[mode])
                    (self.work / "soak.json").write_text(
                        json.dumps(figures, ensure_ascii=False, indent=1), encoding="utf-8")

    @staticmethod
    def report(mode, f):
        if not f.get("private"):
            print(f"  soak {mode}: no readings", flush=True)
            return
        print(f"  soak {mode} {f['seconds']:.0f} s: private {mb(f['private'][0])} -> "
              f"{mb(f['private'][-1])} (max {mb(max(f['private']))}), working set "
              f"{mb(f['working_set'][0])} -> {mb(f['working_set'][-1])} (max "
              f"{mb(max(f['working_set']))}), {f['moves']} moves and {f['reshapes']} frame "
              f"changes in {f['samples']} intervals of 5 characters", flush=True)

    def soak(self, mode, seconds, f):
        """Runs one mode; fills f with the figures as it goes."""
        exe = self.pack_sample(f"soak{MODES.index(mode)}.exe", count=5, move=mode,
                               location="乱数", speed="速い")
        pid = self.launch(exe)
        try:
            self.watch(pid, mode, seconds, f)
        finally:
            harness.kill(pid)  # a mode that failed must not leave its tray icon to the next

    def watch(self, pid, mode, seconds, f):
        rs.wait_views(pid, 5)
        time.sleep(WARM_UP)
        started = time.monotonic()
        f.update(seconds=0.0, private=[], working_set=[], moves=0, reshapes=0, samples=0)
        previous = None
        while True:
            reading = rs.read(pid, started)
            found = rs.views(pid)
            f["seconds"] = reading.at
            f["private"].append(reading.private)
            f["working_set"].append(reading.working_set)
            self.assertEqual(len(found), 5, f"{len(found)} characters after {reading.at:.0f} s")
            now = {w["hwnd"]: w for w in found}
            if previous:
                self.assertEqual(set(now), set(previous), "the characters were replaced")
                f["moves"] += sum(now[h]["rect"] != previous[h]["rect"] for h in now)
                f["reshapes"] += sum(now[h]["region"] != previous[h]["region"] for h in now)
                f["samples"] += 1
            previous = now
            if reading.at >= seconds:
                break
            time.sleep(max(0.0, SAMPLE_EVERY - (time.monotonic() - started - reading.at)))
        self.screenshot(f"end-{MODES.index(mode)}")
        self.assert_no_msgbox(pid)
        private, working = f["private"], f["working_set"]
        self.assertLessEqual(private[-1], private[0] + PRIVATE_SLACK,
                             f"private memory grew from {mb(private[0])} to {mb(private[-1])}")
        self.assertLessEqual(working[-1], working[0] + WORKING_SET_SLACK,
                             f"working set grew from {mb(working[0])} to {mb(working[-1])}")
        # Floating characters rest now and then; a frozen scene changes nothing at all.
        self.assertGreaterEqual(f["moves"], f["samples"], "the characters stopped moving")
        self.assertGreaterEqual(f["reshapes"], f["samples"], "the characters stopped animating")
        result = rs.exit_via_menu(pid, rs.tray_icon())
        self.assertEqual(result.get("code"), 0, result)
        self.assertEqual(harness.tree(self.temp), [])

    def test_gdi_objects_and_windows_inside_the_process(self):
        seconds = soak_seconds()
        if seconds is None:
            self.skipTest("the Windows-side suite runs this soak briefly; "
                          "TOVALIN_SOAK_SECONDS runs it long")
        tests = harness.config().windows_build / "tovalin-win32-tests.exe"
        if not tests.is_file():
            self.skipTest(f"{tests} not built")
        env = dict(harness.config().env, TOVALIN_SOAK_SECONDS=str(seconds))
        proc = subprocess.run([harness.WINE, str(tests), "--gtest_filter=Soak.*"], env=env,
                              capture_output=True, timeout=3 * seconds + 300)
        out = proc.stdout.decode("utf-8", "replace")
        (self.work / "win32-soak.txt").write_text(out, encoding="utf-8")
        figures = re.search(r"^soak: .*$", out, re.M)
        print(f"  {figures.group(0) if figures else 'no figures'}", flush=True)
        self.assertEqual(proc.returncode, 0, out[-2000:])
        self.assertIsNotNone(figures, out[-2000:])
