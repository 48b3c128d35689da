"""Hostile pictures, in a package and in the favourite folder.

In a package a picture that cannot be used ends start-up with a message that names the file,
and nothing is left behind. In the favourite folder such a file is named in a message and
skipped, and the program goes on with the others. Neither may cost much memory: a header that
claims a huge picture is refused before anything is decoded.
"""

import shutil
import time

import harness
import reliability_support as rs
import scene_support
from harness import APP_TITLE

MEMORY_LIMIT = 200 * 1024 * 1024  # private bytes

GIF = harness.make_gif(24, 32)
ICO = harness.make_ico()
BMP = rs.make_bmp(24, 32)
FAST = tuple((tag, "速い" if tag == "ANI" else value) for tag, value in harness.DEFAULT_SETTINGS)

# Pictures no decoder can use, by the name they travel under.
BROKEN = {
    "truncated.gif": GIF[:len(GIF) // 2],
    "header-only.gif": GIF[:20],
    "huge.gif": rs.gif_claiming(30000, 30000),
    "claims-16Mi-pixels.gif": rs.gif_claiming(4096, 4096),
    "broken-header.bmp": rs.bmp_header_size(BMP, 0),
    "pixels-past-end.bmp": rs.bmp_pixels_past_end(BMP),
    "entry-past-end.ico": rs.ico_entries(ICO, offset=99999),
    "entry-huge.ico": rs.ico_entries(ICO, size=0x7FFFFFFF),
    "entries-missing.ico": rs.ico_entries(ICO, count=40),
    "not-a-picture.gif": b"GIF89a, or so it says" * 3,
}


def region(width, height, pixels):
    return scene_support.region_of(width, height, lambda x, y: (x, y) in pixels)


DISC = region(24, 32, rs.disc_pixels(24, 32))


def square(width, height, side):
    """Indices of a side x side square of colour 1 at the top-right of a transparent picture
    (the top-left pixel must stay transparent: it names the colour that is cut away)."""
    return [1 if x >= width - side and y < side else 0 for y in range(height) for x in range(width)]


SQUARE = region(24, 32, {(x, y) for x in range(14, 24) for y in range(10)})
# Only the first image of an animated GIF counts: the second would fill the whole window.
ANIMATED = rs.animated_gif(24, 32, [square(24, 32, 10), [1] * (24 * 32)])
WIDE = harness.make_gif(60, 20)
WIDE_REGION = region(60, 20, rs.disc_pixels(60, 20))
TINY = harness.make_gif(8, 8)
TINY_REGION = region(8, 8, rs.disc_pixels(8, 8))


class HostilePackageImages(harness.PlayerTestCase):
    def start(self, n, files, settings=harness.DEFAULT_SETTINGS):
        # A case that failed half-way must not leave its player (and tray icon) to the next.
        for pid in self._players:
            harness.kill(pid)
        folder = harness.clean_folder(self.work / f"case{n:02d}")
        temp = harness.clean_folder(folder / "temp")
        exe = folder / "chara.exe"
        exe.write_bytes(rs.package_bytes(files, lines=harness.header_lines(files, settings)))
        before = rs.files_below(folder, skip=("temp",))
        return self.launch(exe, temp=temp, cwd=folder), folder, temp, before

    def finish(self, folder, temp, before):
        self.assertEqual(harness.tree(temp), [], "unpacked files left behind")
        self.assertEqual(rs.files_below(folder, skip=("temp",)), before, "written beside the exe")

    def expect_refused(self, pid, temp, names, text):
        started = time.monotonic()
        box = self.wait_msgbox(pid, timeout=15)
        private, _ = rs.memory(pid)
        self.assertEqual(box["title"], APP_TITLE)
        self.assertEqual(box["text"], text)
        self.assertTrue(box["icon"])
        self.assertEqual(harness.tree(temp), sorted(names), "everything unpacked before")
        self.assertLess(private, MEMORY_LIMIT, f"{private / 2**20:.0f} MB private")
        result = harness.press(pid=pid, button="OK", wait_exit=10)
        self.assertTrue(result.get("exited"))
        self.assertEqual(result.get("code"), 1)
        return time.monotonic() - started

    def test_a_frame_that_cannot_be_decoded_ends_start_up_naming_it(self):
        for n, (name, data) in enumerate(BROKEN.items()):
            with self.subTest(name):
                # The broken frame comes second, so a frame before it was already built.
                files = [("e2e.ico", ICO), ("01_e2e.gif", GIF), (name, data)]
                pid, folder, temp, before = self.start(n, files)
                path = harness.winpath(temp) + "\\" + name
                took = self.expect_refused(pid, temp, [f for f, _ in files],
                                           rs.picture_unreadable(path))
                self.assertLess(took, 15, "the refusal is prompt")
                self.finish(folder, temp, before)

    def test_an_icon_that_cannot_be_loaded_ends_start_up_naming_it(self):
        icons = {
            "entry past the end": rs.ico_entries(ICO, offset=99999),
            "no entries": rs.ico_entries(ICO, count=0),
            "entry of 2 GB": rs.ico_entries(ICO, size=0x7FFFFFFF),
            "cut short": ICO[:30],
            "a GIF": GIF,
        }
        for n, (what, data) in enumerate(icons.items()):
            with self.subTest(what):
                files = [("e2e.ico", data), ("01_e2e.gif", GIF)]
                pid, folder, temp, before = self.start(n, files)
                path = harness.winpath(temp) + "\\e2e.ico"
                self.expect_refused(pid, temp, ["01_e2e.gif", "e2e.ico"], rs.icon_unreadable(path))
                self.finish(folder, temp, before)

    def test_odd_but_sound_pictures_run(self):
        # An icon directory that claims more entries than it holds still has a usable first
        # entry; an animated GIF shows its first image only; frames of other sizes than the
        # first are cut to the window, which keeps the first frame's size.
        cases = [
            ("icon with missing entries", [("e2e.ico", rs.ico_entries(ICO, count=40)),
                                           ("01_e2e.gif", GIF)], {DISC}),
            ("animated GIF", [("e2e.ico", ICO), ("01_e2e.gif", ANIMATED)], {SQUARE}),
            ("a BMP frame", [("e2e.ico", ICO), ("01_e2e.bmp", BMP)], {DISC}),
            ("mixed sizes", [("e2e.ico", ICO), ("01_e2e.gif", GIF), ("02_e2e.gif", WIDE),
                             ("03_e2e.gif", TINY)], {DISC, WIDE_REGION, TINY_REGION}),
        ]
        for n, (what, files, shapes) in enumerate(cases):
            with self.subTest(what):
                pid, folder, temp, before = self.start(n, files, FAST)
                rs.wait_views(pid, 1)
                seen = watch_shapes(pid, shapes, seconds=1.5)
                self.screenshot(f"case{n:02d}")
                self.assert_no_msgbox(pid)
                self.assertEqual(set(seen), shapes, "shapes shown")
                self.assertEqual({size for size in seen.values() for size in size}, {(24, 32)},
                                 "the window keeps the first frame's size")
                private, _ = rs.memory(pid)
                self.assertLess(private, MEMORY_LIMIT)
                result = rs.exit_via_menu(pid, rs.tray_icon())
                self.assertEqual(result.get("code"), 0, result)
                self.finish(folder, temp, before)


def watch_shapes(pid, expected, seconds):
    """{region rects: {window sizes}} seen on the process's one character window, until every
    expected shape was seen and `seconds` have passed since the first reading."""
    seen = {}
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline or not set(expected) <= set(seen):
        for w in rs.views(pid):
            rects = scene_support.rects_of(w)
            if rects is not None:
                seen.setdefault(rects, set()).add((w["rect"]["width"], w["rect"]["height"]))
        if time.monotonic() > deadline + 10:
            break
    return seen


class HostileFavourites(harness.PlayerTestCase):
    """The favourite folder holds good and hostile files; the player names each file it cannot
    use, skips it and shows the rest."""

    GOOD = {"01_good.gif": GIF, "07_animated.gif": ANIMATED, "08_wide.gif": WIDE}
    BAD = {"02_empty.gif": b"", "03_truncated.gif": BROKEN["truncated.gif"],
           "04_huge.gif": BROKEN["huge.gif"], "05_broken.bmp": BROKEN["broken-header.bmp"],
           "06_bad-entries.ico": BROKEN["entry-past-end.ico"]}

    def test_bad_files_are_named_and_skipped_and_the_program_goes_on(self):
        folder = self.work / rs.FAVOURITE
        folder.mkdir()
        for name, data in {**self.GOOD, **self.BAD, "09_notes.txt": b"not listed"}.items():
            (folder / name).write_bytes(data)
        files = rs.small_files(1)
        exe = self.write_exe("chara.exe", rs.package_bytes(
            files, lines=harness.header_lines(files, FAST)))
        pid = self.launch(exe)
        first = rs.wait_views(pid, 1)
        icon = rs.tray_icon()
        prefix = harness.winpath(folder) + "\\"

        rs.choose(pid, icon, "お気に入り", rs.FAVOURITE)
        peak = self.dismiss_messages(pid, [rs.picture_unreadable(prefix + n)[len(rs.START_FAILED):]
                                           for n in sorted(self.BAD)])
        self.assertLess(peak, MEMORY_LIMIT, f"{peak / 2**20:.0f} MB private while loading")
        rs.wait_views(pid, 1, exclude=[w["hwnd"] for w in first])
        seen = watch_shapes(pid, {DISC, SQUARE, WIDE_REGION}, seconds=1.5)
        self.screenshot("favourites")
        self.assertEqual(set(seen), {DISC, SQUARE, WIDE_REGION}, "the three good files, no more")
        self.assert_no_msgbox(pid)

        with self.subTest("a folder of bad files only"):
            for name in self.GOOD:
                (folder / name).unlink()
            before = rs.views(pid)
            rs.choose(pid, icon, "お気に入り", rs.FAVOURITE)
            texts = [rs.picture_unreadable(prefix + n)[len(rs.START_FAILED):]
                     for n in sorted(self.BAD)]
            self.dismiss_messages(pid, texts + ["対象となるファイルが存在しません。"])
            # Not one file could be used: the characters keep the three frames they had.
            rs.wait_views(pid, 1, exclude=[w["hwnd"] for w in before])
            self.assertEqual(set(watch_shapes(pid, {DISC, SQUARE, WIDE_REGION}, seconds=2)),
                             {DISC, SQUARE, WIDE_REGION})

        result = rs.exit_via_menu(pid, icon)
        self.assertEqual(result.get("code"), 0, result)
        self.assertEqual(harness.tree(self.temp), [])
        self.assertEqual(sorted(p.name for p in folder.iterdir()),
                         sorted([*self.BAD, "09_notes.txt"]), "the folder is left as it was")

    def dismiss_messages(self, pid, texts):
        """Presses OK on each expected message in turn; returns the peak private bytes."""
        peak = 0
        for n, text in enumerate(texts):
            box = self.wait_msgbox(pid, timeout=15)
            if n == 0:
                self.screenshot("first-message")
            peak = max(peak, rs.memory(pid)[0])
            self.assertEqual(box["title"], APP_TITLE)
            self.assertEqual(box["text"], text)
            self.assertTrue(box["icon"])
            self.assertEqual(len(rs.views(pid)), 1, "the old character stays while loading")
            harness.press(pid=pid, button="OK")
            harness.wait_until(lambda: harness.msgbox(pid=pid) is None or
                               harness.msgbox(pid=pid)["hwnd"] != box["hwnd"], timeout=20,
                               message="the message to close")
        return peak
