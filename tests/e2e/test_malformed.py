"""Malformed packages: every one ends with a clear message and a clean exit, or runs soundly.

One table, one player per row. A refused package must show the player's own message (never
"unexpected error", never Wine's crash handler), end after OK with nothing left in its
temporary folder, and write nothing anywhere else. A package that is odd but usable must run
and leave nothing behind when it is ended from the tray menu.
"""

import dataclasses
import time
from typing import Callable, Optional

import harness
import reliability_support as rs
from harness import APP_TITLE

FILES = rs.small_files(2)  # e2e.ico, 01_e2e.gif, 02_e2e.gif
ICON, FRAME1, FRAME2 = (name for name, _ in FILES)
LINES = harness.header_lines(FILES)  # VER100, ICO, SIZ, FIL, SIZ, FIL, SIZ, CHA ... CPY
LINE_ENDS, DATA_START = rs.header_offsets(FILES)
HEADER_TAGS = [line[:3] for line in LINES]


def whole():
    return rs.package_bytes(FILES)


def cut(at):
    return lambda: whole()[:at]


def with_lines(replacements):
    """The sound package with header lines replaced ({index: line}; None removes it)."""
    def build():
        lines = [replacements.get(i, line) for i, line in enumerate(LINES)]
        return rs.package_bytes(FILES, lines=[line for line in lines if line is not None])
    return build


def with_line(index, replacement):
    return with_lines({index: replacement})


def named(index, name):
    """Frame `index` (1 or 2) renamed in the header; the data stays."""
    return with_line(1 + 2 * index, b"FIL" + (name if isinstance(name, bytes) else
                                             name.encode("cp932")))


def sized(record, value):
    """The "SIZ" line of record `record` (1 = the icon) given another value."""
    return with_line(2 * record, "SIZ" + value)


@dataclasses.dataclass
class Refused:
    """The player shows `text` (a function of the temporary folder as Windows names it), with
    `unpacked` in the folder while the message is up, and ends with code 1 after OK."""
    text: Callable[[str], str]
    unpacked: tuple = ()
    prefix: bool = False  # text is only the start (the system's own reason follows)


@dataclasses.dataclass
class Runs:
    """The player shows `views` characters with exactly `unpacked` in the temporary folder;
    check, if given, looks further at (test, pid, temp)."""
    unpacked: tuple
    views: int = 1
    check: Optional[Callable] = None


def message(text):
    return lambda temp: text


@dataclasses.dataclass
class Case:
    name: str
    build: Callable[[], bytes]
    expect: object


# --- checks of the runs that need more than the folder --------------------------------------

def same_bytes_as_second(test, pid, temp):
    test.assertEqual((temp / FRAME1).read_bytes(), FILES[2][1],
                     "the second file of a shared name overwrites the first")


NUMBERED = 55
BAR_WIDTH = 30


def numbered_package():
    """55 frames whose region tells their number: frame k is a bar k + 1 rows high."""
    height = NUMBERED + 4
    files = [("bars.ico", harness.make_ico())]
    for k in range(NUMBERED):
        pixels = [1 if y >= height - 1 - k else 0 for y in range(height) for _ in range(BAR_WIDTH)]
        files.append((f"{k + 1:02d}_bars.gif", harness.make_gif(BAR_WIDTH, height, pixels)))
    settings = dict(harness.DEFAULT_SETTINGS)
    settings["ANI"] = "速い"
    return rs.package_bytes(files, lines=harness.header_lines(files, tuple(settings.items())))


def only_first_51_frames(test, pid, temp):
    """Follows the one window through a whole loop: frames 0 to 50 come round, 51 and later
    never show."""
    seen, wrapped, highest = set(), False, -1
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline and not wrapped:
        found = rs.views(pid)
        region = found[0]["region"] if found else None
        if region and region["area"] and region["area"] % BAR_WIDTH == 0:
            k = region["area"] // BAR_WIDTH - 1
            wrapped = highest >= 45 and k < 10
            highest = max(highest, k)
            seen.add(k)
    test.assertTrue(wrapped, f"the animation did not come round (frames seen {sorted(seen)})")
    test.assertLessEqual(max(seen), 50, f"frames beyond the 51st were shown: {sorted(seen)}")
    test.assertGreaterEqual(len(seen), 10, "too few frames seen to tell")


# --- the table -------------------------------------------------------------------------------

def _table():
    all3 = (ICON, FRAME1, FRAME2)
    rows = [
        Case("cut inside the length line", cut(LINE_ENDS[0] - 3), Refused(message(rs.NO_FILES))),
    ]
    # Cut after every line: the header lists no file until the icon's "SIZ" line, and from
    # then on the icon is the first record whose bytes are missing.
    for i, end in enumerate(LINE_ENDS):
        after = "the length line" if i == 0 else f"line {i} ({HEADER_TAGS[i - 1]})"
        text = rs.NO_FILES if i < 3 else rs.past_end(ICON, 1)
        rows.append(Case(f"cut after {after}", cut(end), Refused(message(text))))
    rows += [
        Case("cut inside the FIL line", cut(LINE_ENDS[3] + 5),
             Refused(message(rs.past_end(ICON, 1)))),
        Case("cut inside the icon's data", cut(DATA_START + len(FILES[0][1]) // 2),
             Refused(message(rs.past_end(ICON, 1)))),
        Case("cut inside the first frame", cut(DATA_START + len(FILES[0][1]) + 10),
             Refused(message(rs.past_end(FRAME1, 2)))),
        Case("last byte missing", lambda: whole()[:-1], Refused(message(rs.past_end(FRAME2, 3)))),

        # The length line alone places the data area: a wrong one reads the icon from the
        # wrong bytes, and the icon then cannot be loaded.
        Case("length line empty", lambda: rs.package_bytes(FILES, length=""),
             Refused(lambda t: rs.icon_unreadable(t + ICON), all3)),
        Case("length line not a number", lambda: rs.package_bytes(FILES, length="abc"),
             Refused(lambda t: rs.icon_unreadable(t + ICON), all3)),
        Case("length line one short",
             lambda: rs.package_bytes(FILES, length=len(rs.encode_lines(LINES)) - 1),
             Refused(lambda t: rs.icon_unreadable(t + ICON), all3)),
        Case("length line negative, data inside the player",
             lambda: rs.package_bytes(FILES, length="-100"),
             Refused(lambda t: rs.icon_unreadable(t + ICON), all3)),
        Case("length line negative, before the file",
             lambda: rs.package_bytes(FILES, length="-99999999"),
             Refused(message(rs.before_start(ICON, 1)))),
        Case("length line huge", lambda: rs.package_bytes(FILES, length="99999999999"),
             Refused(message(rs.overflow(1)))),
        Case("length line beyond the file", lambda: rs.package_bytes(FILES, length="1000000"),
             Refused(message(rs.past_end(ICON, 1)))),

        Case("SIZ zero", sized(1, "0"), Refused(message(rs.bad_length(ICON, 1)))),
        Case("SIZ negative", sized(2, "-5"), Refused(message(rs.bad_length(FRAME1, 2)))),
        Case("SIZ not a number", sized(2, "abc"), Refused(message(rs.bad_length(FRAME1, 2)))),
        Case("SIZ beyond the file", sized(1, "10000000"), Refused(message(rs.past_end(ICON, 1)))),
        Case("SIZ one too long", sized(3, str(len(FILES[2][1]) + 1)),
             Refused(message(rs.past_end(FRAME2, 3)))),
        Case("SIZ fills 32 bits", sized(1, "2147483647"), Refused(message(rs.overflow(1)))),
        Case("SIZ wraps 32 bits to a small length", sized(1, str(2 ** 32 + 10)),
             Refused(message(rs.overflow(1)))),
        # Each length fits, their sum does not: a 32-bit position would wrap round to a small
        # one inside the file.
        Case("positions wrap 32 bits", with_lines({4: "SIZ2000000000", 6: "SIZ2000000000"}),
             Refused(message(rs.past_end(FRAME1, 2)))),

        Case("name with a drive", named(2, "C:evil.gif"),
             Refused(message(rs.bad_name("C:evil.gif", 3)))),
        Case("name ..", named(2, ".."), Refused(message(rs.bad_name("..", 3)))),
        Case("name UNC", named(2, r"\\srv\share\x.gif"),
             Refused(message(rs.bad_name(r"\\srv\share\x.gif", 3)))),
        Case("name of a device", named(2, "CON"), Refused(message(rs.bad_name("CON", 3)))),
        Case("name of a device with extension", named(1, "lpt1.gif"),
             Refused(message(rs.bad_name("lpt1.gif", 2)))),
        Case("name with a wildcard", named(2, "a*b.gif"), Refused(message(rs.bad_name("a*b.gif", 3)))),
        Case("name with a NUL", named(2, b"x\x00y.gif"),
             Refused(message(rs.bad_name("x?y.gif", 3)))),
        Case("name empty", named(2, ""), Refused(message(rs.bad_name("", 3)))),
        Case("SIZ before any name", with_line(1, None), Refused(message(rs.bad_name("", 1)))),
        Case("name ends in a CP932 lead byte", named(2, b"02\x82"),
             Refused(message(rs.bad_name("02・", 3)))),
        # Not a name the file system takes: the files written before it are removed again.
        Case("name too long to write", named(2, "a" * 300 + ".gif"),
             Refused(lambda t: rs.write_failed(t + "a" * 300 + ".gif"), (ICON, FRAME1),
                     prefix=True)),

        Case("no ICO line", lambda: rs.package_bytes(
                FILES[1:], lines=[l.replace("ICO", "FIL", 1) for l in
                                  harness.header_lines(FILES[1:])]),
             Refused(lambda t: rs.icon_unreadable(t + FRAME1), (FRAME1, FRAME2))),
        # Refused before anything is unpacked: there would be no shape to cut the window to.
        Case("no frames", lambda: rs.package_bytes(FILES[:1]), Refused(message(rs.NO_FRAMES))),
        Case("binary junk after the icon's record",
             lambda: rs.package_bytes(FILES, lines=LINES[:3] + [b"\x00\xff\x81\x00junk"] + LINES[3:]),
             Refused(message(rs.NO_FRAMES))),
        Case("binary junk first", lambda: rs.package_bytes(FILES, lines=[b"\xfe\xff\x00\x01"] + LINES),
             Refused(message(rs.NO_FILES))),
        # A lone LF does not end a line: the whole header reads as one "VER" line.
        Case("LF without CR", lambda: rs.package_bytes(FILES, eol=b"\n"),
             Refused(message(rs.NO_FILES))),
        # Lone CRs end lines, but the length line's break counts two bytes, so everything
        # after it is read one byte late.
        Case("CR without LF", lambda: rs.package_bytes(FILES, eol=b"\r"),
             Refused(message(rs.past_end(FRAME2, 3)))),

        Case("CR without LF in the header only",
             lambda: rs.package_bytes(FILES, eol=b"\r", length_eol=b"\r\n"), Runs(all3)),
        Case("name with 0x5C as a trail byte", named(2, "表.gif"), Runs((ICON, FRAME1, "表.gif"))),
        Case("duplicate names", named(2, FRAME1), Runs((ICON, FRAME1), check=same_bytes_as_second)),
        Case("lower-case tag ends the header", with_line(5, "fil" + FRAME2), Runs((ICON, FRAME1))),
        Case("CP932 lead byte at the end of values",
             lambda: rs.package_bytes(FILES, lines=LINES[:8] + [b"MOV\x92\xb5\x82", b"LOC\x82"]
                                      + LINES[10:11] + [b"UVRVer 1\x82", b"CPY(C)\x82"]),
             Runs(all3)),
        Case("junk after the data area", lambda: rs.package_bytes(FILES, tail=b"\x00junk" * 100),
             Runs(all3)),
        Case("more than 51 frames", numbered_package,
             Runs(tuple(f"{k + 1:02d}_bars.gif" for k in range(NUMBERED)) + ("bars.ico",),
                  check=only_first_51_frames)),
    ]
    return rows


TABLE = _table()


class MalformedPackages(harness.PlayerTestCase):
    def test_every_malformed_package_ends_cleanly_or_runs(self):
        self.assertGreaterEqual(len(TABLE), 30)
        outside_before = rs.prefix_user_files()
        for n, case in enumerate(TABLE):
            with self.subTest(case.name):
                self.run_case(n, case)
        self.assertEqual(rs.crash_reporters(), [], "Wine's crash handler is running")
        self.assertEqual(rs.prefix_user_files(), outside_before,
                         "files appeared on the prefix's C: drive")

    def run_case(self, n, case):
        folder = harness.clean_folder(self.work / f"case{n:02d}")
        temp = harness.clean_folder(folder / "temp")
        exe = folder / "chara.exe"
        exe.write_bytes(case.build())
        before = rs.files_below(folder, skip=("temp",))
        pid = self.launch(exe, temp=temp, cwd=folder)
        try:
            if isinstance(case.expect, Refused):
                self.check_refused(pid, case.expect, temp, n)
            else:
                self.check_runs(pid, case.expect, temp, n)
        finally:
            harness.kill(pid)
        self.assertEqual(rs.files_below(folder, skip=("temp",)), before,
                         "something was written beside the executable")
        self.assertEqual(harness.tree(temp), [], "the temporary folder is not empty at the end")

    def check_refused(self, pid, expect, temp, n):
        box = self.wait_msgbox(pid)
        unpacked = harness.tree(temp)
        if n < 3 or expect.unpacked:
            self.screenshot(f"case{n:02d}")
        text = expect.text(harness.winpath(temp) + "\\")
        self.assertEqual(box["title"], APP_TITLE)
        self.assertNotIn(rs.UNEXPECTED, box["text"] or "")
        if expect.prefix:
            self.assertTrue(box["text"].startswith(text), box["text"])
            self.assertGreater(len(box["text"]), len(text), "the system's reason is given")
        else:
            self.assertEqual(box["text"], text)
        self.assertTrue(box["icon"], "an error message shows the error icon")
        self.assertEqual([b["text"] for b in box["buttons"]], ["OK"])
        self.assertEqual(unpacked, sorted(expect.unpacked), "files while the message is up")
        # A package without frames gets as far as a character window of frame 0's size,
        # which is none: it covers nothing.
        others = [w for w in harness.windows(pid=pid) if w["hwnd"] != box["hwnd"]
                  and w["rect"]["width"] * w["rect"]["height"] > 0]
        self.assertEqual(others, [], "nothing but the message is on screen")
        result = harness.press(pid=pid, button="OK", wait_exit=10)
        self.assertTrue(result.get("exited"), "still running 10 s after OK")
        self.assertEqual(result.get("code"), 1)

    def check_runs(self, pid, expect, temp, n):
        shown = rs.wait_views(pid, expect.views, shaped=True)
        self.assertTrue(all(w["region"] for w in shown), "every character is shaped")
        self.assert_no_msgbox(pid)
        self.assertEqual(harness.tree(temp), sorted(expect.unpacked))
        if expect.check:
            expect.check(self, pid, temp)
        self.screenshot(f"case{n:02d}")
        result = rs.exit_via_menu(pid, rs.tray_icon())
        self.assertTrue(result.get("exited"), "still running after 終了")
        self.assertEqual(result.get("code"), 0)
