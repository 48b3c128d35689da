"""The studio: a character made through its window is byte for byte what the Windows packer
makes from the same inputs, carries the character's icon where Explorer looks, and runs; a
trial run leaves nothing behind; hostile inputs get a Japanese message naming the file and
leave nothing behind; the window at 96 and 144 dpi."""

import subprocess

import harness
import reliability_support as rs
import studio_support as st
from studio_support import Studio

# What every frame list shows for the inputs below, in the order given.
ANIMATION_ROWS = ["anim.gif (1/3)", "anim.gif (2/3)", "anim.gif (3/3)"]


def disc_png(size, colour):
    """A disc with a soft edge: pixels under half opacity must be cut away, the rest kept."""
    centre, radius = (size - 1) / 2, size / 2 - 2

    def pixel(x, y):
        d = ((x - centre) ** 2 + (y - centre) ** 2) ** 0.5
        alpha = 255 if d <= radius - 2 else 160 if d <= radius else 100 if d <= radius + 1 else 0
        return (*colour, alpha)
    return st.make_png(size, size, pixel)


def square_indices(width, height, side, left):
    return [1 if left <= x < left + side and y < side else 0
            for y in range(height) for x in range(width)]


def write_inputs(folder):
    """Three PNG frames, an animation of three images and the sample's icon."""
    icon, _ = harness.sample_assets()
    folder = harness.clean_folder(folder)
    files = {
        "p1.png": disc_png(48, (220, 60, 40)),
        "p2.png": disc_png(40, (40, 160, 70)),
        "p3.png": st.make_png(32, 32, lambda x, y: (30, 60, 200, 255 if 4 <= x < 28 else 0)),
        "anim.gif": rs.animated_gif(24, 32, [square_indices(24, 32, 10, left)
                                             for left in (0, 7, 14)]),
        "chara.ico": icon.read_bytes(),
    }
    for name, data in files.items():
        (folder / name).write_bytes(data)
    return {name: folder / name for name in files}


class StudioMakesCharacters(harness.PlayerTestCase):
    def test_the_window_makes_what_the_packer_makes_and_it_runs_with_its_icon(self):
        files = write_inputs(self.work / "絵")
        studio = Studio(self, files["p1.png"], files["p2.png"], files["anim.gif"],
                        files["p3.png"], files["chara.ico"])
        rows = studio.wait_items(6)
        self.assertEqual([r[1] for r in rows], ["p1.png", "p2.png", *ANIMATION_ROWS, "p3.png"])
        self.assertEqual([r[0] for r in rows], ["1", "2", "3", "4", "5", "6"])
        self.assertIn("chara.ico", studio.text("icon_note"), "a trailing ICO is the icon")

        # Every setting through its control: 3, 跳ねる, 乱数, 速い, and the two texts.
        for name, index, word in (("count", 1, "3"), ("move", 3, "跳ねる"),
                                  ("location", 1, "乱数"), ("speed", 2, "速い")):
            self.assertEqual(studio.select(name, index)["selected"], index)
            self.assertEqual(studio.text(name), word)
        studio.set_text("version", "第2版")
        studio.set_text("copyright", "(C) テスト")
        self.assertEqual(studio.text("text_note"), "", "both texts fit code page 932")

        # The first two frames change places.
        studio.select("frame_list", 0)
        studio.click("down")
        rows, selected = studio.items()
        self.assertEqual([r[1] for r in rows], ["p2.png", "p1.png", *ANIMATION_ROWS, "p3.png"])
        self.assertEqual(selected, 1, "the moved frame stays selected")
        self.screenshot("studio-96dpi")

        made = harness.clean_folder(self.work / "made") / "みかん.exe"
        studio.click("create")
        dialog = studio.save_as(made)
        self.assertEqual(dialog["title"], "単体EXEの保存先")
        box = studio.message()
        self.assertIn(harness.winpath(made), box["text"])
        self.assertIn("作成しました", box["text"])
        studio.ok()
        self.assertEqual(harness.tree(made.parent), ["みかん.exe"], "no temporary file is left")

        reference = harness.clean_folder(self.work / "packer") / "みかん.exe"
        code, _, err = st.windows_packer(
            "create", "-o", harness.winpath(reference), "--icon", harness.winpath(files["chara.ico"]),
            *[harness.winpath(files[n]) for n in ("p2.png", "p1.png", "anim.gif", "p3.png")],
            "--count", "3", "--move", "跳ねる", "--location", "乱数", "--speed", "速い",
            "--version", "第2版", "--copyright", "(C) テスト")
        self.assertEqual(code, 0, err)
        self.assertTrue(made.read_bytes() == reference.read_bytes(),
                        "the studio's executable differs from the Windows packer's")
        header = "\n".join(harness.pack_list(made))
        for line in ("CHA3", "MOV跳ねる", "LOC乱数", "ANI速い", "UVR第2版", "CPY(C) テスト",
                     "FIL06_みかん.gif"):
            self.assertIn(line, header)

        # The icon Explorer shows for the executable is the character's.
        for size in (16, 32):
            shown = harness.driver("icon", "--file", harness.winpath(made), "--size", size)
            drawn = harness.driver("icon", "--file", harness.winpath(files["chara.ico"]),
                                   "--size", size)
            self.assertEqual(shown["groups"], 1)
            self.assertEqual((shown["width"], shown["colour"], shown["mask"]),
                             (drawn["width"], drawn["colour"], drawn["mask"]), f"{size} pixels")

        pid = self.launch(made, cwd=made.parent)
        views = rs.wait_views(pid, 3, shaped=True)
        self.assertTrue(all(w["region"] and w["region"]["count"] > 0 for w in views),
                        "the characters are cut to their outlines")
        rs.tray_icon(1)
        self.screenshot("character")

    def test_a_trial_run_goes_with_its_copy(self):
        files = write_inputs(self.work / "絵")
        studio = Studio(self, files["p1.png"], files["anim.gif"], files["chara.ico"])
        studio.wait_items(4)
        studio.click("try")
        trial = harness.wait_windows(image="chara.exe", cls="tovalin.frmView", timeout=20)[0]
        copies = [p for p in self.temp.iterdir() if p.name.startswith("tovalin-studio-")]
        self.assertEqual(len(copies), 1, harness.tree(self.temp))
        self.assertTrue((copies[0] / "chara.exe").is_file())
        self.assertTrue(any((copies[0] / "temp").iterdir()), "it unpacks beside its copy")
        harness.driver("kill", "--pid", trial["pid"], "--image", "chara.exe")
        harness.wait_until(lambda: not copies[0].exists(), timeout=10,
                           message="the trial's copy to be removed")
        self.assertEqual(harness.tree(self.temp), [])
        self.assertTrue(harness.running(studio.pid))


class StudioRefusals(harness.PlayerTestCase):
    def assert_refused_by_packer(self, name, data, *reasons):
        folder = harness.clean_folder(self.work / name.replace(".", "-"))
        (folder / name).write_bytes(data)
        before = harness.tree(folder)
        code, out, err = st.windows_packer("create", "-o", harness.winpath(folder / "chara.exe"),
                                           harness.winpath(folder / name))
        self.assertEqual(code, 2, f"standard output: {out!r}, standard error: {err!r}")
        self.assertIn(name, err)
        for reason in reasons:
            self.assertIn(reason, err)
        self.assertEqual(harness.tree(folder), before, "nothing is left behind")

    def test_hostile_pictures_through_the_windows_packer(self):
        self.assert_refused_by_packer("broken.png", st.broken_png(disc_png(40, (1, 2, 3))),
                                      "読み込めません")
        self.assert_refused_by_packer("many.gif", st.gif_of_many_images(20000), "最大 51 枚")
        self.assert_refused_by_packer("huge.png", st.png_claiming(30000, 30000), "30000×30000")

    def test_sixty_images_are_refused_at_once(self):
        folder = harness.clean_folder(self.work / "sixty")
        png = disc_png(8, (200, 0, 0))
        for i in range(60):
            (folder / f"{i:02d}.png").write_bytes(png)
        studio = Studio(self, folder)
        box = studio.message()
        self.assertEqual(box["title"], "TOVALIN+ スタジオ")
        self.assertIn("最大 51 枚", box["text"])
        self.assertIn("60 枚", box["text"])
        studio.ok()
        self.assertEqual(studio.items()[0], [], "none of them is added")

    def test_a_version_code_page_932_cannot_hold(self):
        files = write_inputs(self.work / "絵")
        before = harness.tree(self.work)
        studio = Studio(self, files["p1.png"])
        studio.wait_items(1)
        studio.set_text("version", "Ver ©")
        self.assertIn("シフトJIS", studio.text("text_note"), "the note says so at once")
        studio.click("create")
        box = studio.message()
        self.assertIn("版「Ver ©」", box["text"])
        self.assertIn("シフトJIS", box["text"])
        studio.ok()
        self.assertIsNone(harness.msgbox(pid=studio.pid, timeout=1.0), "no Save As dialog follows")
        self.assertEqual(harness.tree(self.work), before)

    def test_a_read_only_output_folder(self):
        files = write_inputs(self.work / "絵")
        locked = harness.clean_folder(self.work / "locked")
        if subprocess.run(["chattr", "+i", str(locked)],
                                  capture_output=True).returncode != 0:
            self.skipTest("cannot make a folder read-only here (chattr +i)")
        self.addCleanup(subprocess.run, ["chattr", "-i", str(locked)])
        studio = Studio(self, files["p1.png"])
        studio.wait_items(1)
        studio.click("create")
        studio.save_as(locked / "chara.exe")
        box = studio.message()
        self.assertIn("chara.exe", box["text"])
        self.assertIn("書き込みが許可されていません", box["text"])
        studio.ok()
        self.assertEqual(harness.tree(locked), [], "nothing is left behind")


class StudioResolution(harness.PlayerTestCase):
    def tearDown(self):
        try:
            harness.set_display_dpi(96)
        finally:
            super().tearDown()

    def layout(self, studio):
        """Each control's box in the client area, by id."""
        client = harness.windows(pid=studio.pid, cls=st.STUDIO_CLASS)[0]["client"]
        boxes = {}
        for control in studio.controls().values():
            r = control["rect"]
            boxes[control["id"]] = (r["left"] - client["left"], r["top"] - client["top"],
                                    r["width"], r["height"])
        return boxes, (client["width"], client["height"])

    def test_the_window_is_laid_out_at_the_displays_resolution(self):
        icon, frames = harness.sample_assets()
        sizes = {}
        for dpi in (96, 144):
            harness.set_display_dpi(dpi)
            studio = Studio(self, *frames[:12], icon)
            studio.wait_items(12)
            self.screenshot(f"studio-{dpi}dpi")
            boxes, client = self.layout(studio)
            sizes[dpi] = (boxes, client)
            for id_, (left, top, width, height) in boxes.items():
                if id_ in (st.IDS["count"], st.IDS["move"], st.IDS["location"], st.IDS["speed"]):
                    height = 0  # a combo box's own height follows its font
                self.assertTrue(0 <= left and left + width <= client[0] and 0 <= top
                                and top + height <= client[1], f"control {id_} at {dpi} dpi")
            window = harness.windows(pid=studio.pid, cls=st.STUDIO_CLASS)[0]["rect"]
            self.assertLessEqual(window["width"], 1366)
            self.assertLessEqual(window["height"], 768 - 60, "fits 1366 x 768 with a taskbar")
            harness.kill(studio.pid)
        (small, small_client), (large, large_client) = sizes[96], sizes[144]
        self.assertEqual(large_client, (round(small_client[0] * 1.5), round(small_client[1] * 1.5)))
        create = st.IDS["create"]
        self.assertEqual(large[create], tuple(round(v * 1.5) for v in small[create]))
