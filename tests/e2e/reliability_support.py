"""Helpers for the hostile-input, fault and soak tests: hand-made packages, the player's own
messages, a way out through the tray menu, and readings of what a run leaves behind.

The tray menu is driven with the mouse: a right-click on the icon in Wine's tray window opens
the root menu, and clicks on the items (found from the menu windows' rectangles) open the
submenus and choose.
"""

import dataclasses
import os
import struct
import time
from pathlib import Path

import harness

VIEW_CLASS = "tovalin.frmView"
MENU_CLASS = "#32768"
FAVOURITE = "ぷかり"  # the caption of the favourites entry, and the folder's name

# ---------------------------------------------------------------------------------------------
# The player's messages (see src/package/package.cpp ProblemMessage and src/package/unpack_win32.cpp)

START_FAILED = "起動できませんでした。\n"
NO_FILES = START_FAILED + "パッケージにファイルが含まれていません。"
NO_FRAMES = START_FAILED + "パッケージに画像が含まれていません。"


def past_end(name, n):
    return START_FAILED + f"パッケージに含まれるファイル「{name}」（{n}番目）がファイルの終わりを越えています。"


def bad_name(name, n):
    return START_FAILED + f"パッケージに含まれるファイル名「{name}」（{n}番目）は使用できません。"


def bad_length(name, n):
    return START_FAILED + f"パッケージに含まれるファイル「{name}」（{n}番目）の長さが正しくありません。"


def before_start(name, n):
    return START_FAILED + f"パッケージに含まれるファイル「{name}」（{n}番目）の位置が正しくありません。"


def overflow(n):
    return START_FAILED + f"パッケージが大きすぎます（{n}番目のファイルで位置が範囲を越えました）。"


def icon_unreadable(path):
    return START_FAILED + f"アイコンファイル「{path}」を読み込めませんでした。"


def picture_unreadable(path):
    return START_FAILED + f"画像ファイル「{path}」を読み込めませんでした。"


def write_failed(path):
    """The start of the message; the system's own reason follows on the next line."""
    return START_FAILED + f"一時ファイル「{path}」を書き込めませんでした。\n"


UNEXPECTED = "予期しないエラー"  # the wording of a failure nobody handled

# ---------------------------------------------------------------------------------------------
# Packages built by hand


def small_files(frames=2):
    """An icon and `frames` small GIF frames of different colours, as (name, bytes)."""
    colours = [(200, 40, 40), (40, 160, 40), (40, 40, 200), (200, 160, 40)]
    files = [("e2e.ico", harness.make_ico())]
    for i in range(frames):
        palette = ((255, 255, 255), colours[i % len(colours)])
        files.append((f"{i + 1:02d}_e2e.gif", harness.make_gif(24, 32, palette=palette)))
    return files


def encode_lines(lines, eol=b"\r\n"):
    """Header body bytes: str lines in code page 932, bytes lines as they are, each + eol."""
    return b"".join((l if isinstance(l, bytes) else l.encode("cp932")) + eol for l in lines)


def package_bytes(files, lines=None, length=None, eol=b"\r\n", length_eol=None, tail=b""):
    """player + length line + header body + data of `files` + tail.

    lines default to the packer's header for the files; length defaults to the body's real
    length; eol ends every header line and length_eol (default eol) the length line."""
    if lines is None:
        lines = harness.header_lines(files)
    body = encode_lines(lines, eol)
    length_text = str(len(body) if length is None else length).encode("ascii")
    stub = harness.config().player.read_bytes()
    end = eol if length_eol is None else length_eol
    return stub + length_text + end + body + b"".join(d for _, d in files) + tail


def header_offsets(files):
    """Offsets in package_bytes(files) just past the length line and just past every header
    line, and the offset where the data area starts."""
    body_lines = harness.header_lines(files)
    body = encode_lines(body_lines)
    stub = len(harness.config().player.read_bytes())
    pos = stub + len(str(len(body))) + 2
    ends = [pos]
    for line in body_lines:
        pos += len(line.encode("cp932")) + 2
        ends.append(pos)
    return ends, pos


# ---------------------------------------------------------------------------------------------
# What a run leaves behind


def files_below(folder, skip=()):
    """Sorted relative paths of everything below folder, without the subtrees named in skip."""
    folder = Path(folder)
    if not folder.exists():
        return []
    out = []
    for root, dirs, names in os.walk(folder):
        rel_root = Path(root).relative_to(folder)
        dirs[:] = [d for d in dirs if (rel_root / d).as_posix() not in skip]
        for d in dirs:
            out.append((rel_root / d).as_posix() + "/")
        for n in names:
            out.append((rel_root / n).as_posix())
    return sorted(out)


def prefix_user_files():
    """Every file of the Wine prefix's C: drive outside the system folder: where a package
    name that escaped the temporary folder through a drive letter would land."""
    drive_c = Path(harness.config().env["WINEPREFIX"]) / "drive_c"
    return files_below(drive_c, skip=("windows",))


def crash_reporters():
    """Wine's crash handlers that are running (a crashed program starts winedbg)."""
    found = harness.driver("processes")["processes"]
    return [p for p in found if p["image"].lower() in ("winedbg.exe", "werfault.exe")]


def memory(pid):
    """(private bytes, working set) of a process; Wine fills pagefile_bytes with the private
    memory."""
    r = harness.gui_resources(pid)
    return r.get("pagefile_bytes"), r.get("working_set")


def views(pid):
    return harness.windows(pid=pid, cls=VIEW_CLASS)


def wait_views(pid, count, timeout=15.0, exclude=(), shaped=False):
    """Waits until the process shows exactly `count` character windows, none in `exclude`, and
    with `shaped` until each has its outline: a window is shown first and cut to its outline
    right after, so a scene can be caught in between."""
    exclude = set(exclude)

    def scene():
        found = views(pid)
        fresh = len(found) == count and not {w["hwnd"] for w in found} & exclude
        if shaped and not all(w["region"] for w in found):
            return None
        return found if fresh else None
    return harness.wait_until(scene, timeout=timeout, interval=0.05,
                              message=f"{count} character window(s) of process {pid}")


def stray_windows(pid):
    """The process's visible top-level windows that are neither characters nor menus."""
    return [w for w in harness.windows(pid=pid) if w["class"] not in (VIEW_CLASS, MENU_CLASS)]


# ---------------------------------------------------------------------------------------------
# The tray menu, driven with the mouse
#
# A click needs no keyboard focus, which the player only takes a moment after the menu opens
# (a key sent before that is lost, and the next one then chooses the wrong item). Items are
# found from the menu window's rectangle: Wine lays a popup menu out in rows of a fixed height
# (separators are shorter) inside a fixed border, measured here and checked against every
# menu window before a click.

MENU_BORDER, MENU_ITEM, MENU_SEPARATOR = 3, 17, 9
SEPARATOR = None
# Rows of each menu, top to bottom (None is a separator); a tuple opens a submenu.
MENU_TREE = (
    ("設定", (
        ("出現数", ("1", "3", "5")),
        ("出現位置", ("中央", "乱数")),
        ("動き", ("静止", "直線", "浮遊", "跳ねる")),
        ("動作速度", ("遅い", "普通", "速い")),
        SEPARATOR,
        ("オプション", ("すべてのモニターを使う",)),
    )),
    SEPARATOR,
    ("お気に入り", (FAVOURITE,)),
    SEPARATOR,
    "バージョン情報",
    SEPARATOR,
    "終了",
)


def _caption(row):
    return row[0] if isinstance(row, tuple) else row


def _row_centre(menu, rows, caption):
    """Screen point in the middle of the row named caption of a menu window."""
    heights = [MENU_SEPARATOR if r is SEPARATOR else MENU_ITEM for r in rows]
    r = menu["rect"]
    if r["height"] != 2 * MENU_BORDER + sum(heights):
        raise harness.HarnessError(f"menu of {len(rows)} rows is {r['height']} px high, not "
                                   f"{2 * MENU_BORDER + sum(heights)}: the layout differs")
    top = r["top"] + MENU_BORDER
    for row, height in zip(rows, heights):
        if row is not SEPARATOR and _caption(row) == caption:
            return r["left"] + r["width"] // 2, top + height // 2
        top += height
    raise ValueError(f"no menu item {caption!r} here")


def menu_windows(pid):
    return harness.windows(pid=pid, cls=MENU_CLASS)


def wait_menus(pid, count, timeout=20.0):
    def settled():
        found = menu_windows(pid)
        return (found or [None]) if len(found) == count else None
    return harness.wait_until(settled, timeout=timeout, interval=0.05,
                              message=f"{count} open menu(s) of process {pid}")


def tray_icon(count=1, timeout=10.0):
    """The centre of the last icon once Wine's tray shows exactly `count` icons."""
    last = {}

    def exactly():
        last.update(harness.driver("tray", "--icons", count, check=False))
        icons = last.get("icons") or []
        return icons if len(icons) == count else None
    try:
        icons = harness.wait_until(exactly, timeout=timeout, message=f"{count} tray icon(s)")
    except harness.HarnessError as e:
        raise harness.HarnessError(f"{e}; the tray says {last}") from e
    return tuple(icons[-1]["center"])


tray_icons = harness.tray_icons_shown


def open_menu(pid, icon):
    """Right-clicks the tray icon; returns the root menu window."""
    harness.right_click(*icon)
    return wait_menus(pid, 1)[0]


# While characters animate, every frame change lets pending messages run, mouse input included
# (see the menu test in test_faults.py): the menu then misses some of the pointer's moves and
# clicks. Patient walks try an item again after this long.
RETRY_AFTER = 1.5
ATTEMPTS = 6


def _submenu(pid, seen, timeout):
    """The newly opened submenu window, or None within timeout."""
    try:
        opened = wait_menus(pid, len(seen) + 1, timeout=timeout)
    except harness.HarnessError:
        return None
    return next(m for m in opened if m["hwnd"] not in seen)


def _closed(pid, timeout, hwnds):
    """Whether the menu windows hwnds are all gone within timeout."""
    try:
        harness.wait_until(lambda: not {m["hwnd"] for m in menu_windows(pid)} & hwnds,
                           timeout=timeout, interval=0.05, message="the menu to close")
        return True
    except harness.HarnessError:
        return False


def close_menu(pid, attempts=ATTEMPTS):
    """Closes the process's open menu with a click on the desktop beside it."""
    for _ in range(attempts):
        if not menu_windows(pid):
            return
        harness.click(1270, 1010)
        if _closed(pid, RETRY_AFTER, {m["hwnd"] for m in menu_windows(pid)}):
            return
    raise harness.HarnessError("the menu does not close")


def no_menu_within(pid, seconds):
    """True when no menu window of the process comes up within `seconds`."""
    result = harness.driver("windows", "--pid", pid, "--class", MENU_CLASS, "--count", 1,
                            "--wait", int(seconds * 1000), check=False)
    return not result["windows"]


def walk(pid, root, *captions, patient=True, then=()):
    """With the root menu open, opens one submenu per level by pointing at its item and
    clicks the last item; returns how many moves or clicks had to be repeated. A strict walk
    (patient=False) repeats nothing and fails instead. `then` are xdotool arguments sent in
    the same command as the last click (the click counts as taken once the menu windows it
    was in are gone)."""
    rows, menu, seen = MENU_TREE, root, {root["hwnd"]}
    attempts = ATTEMPTS if patient else 1
    wait = RETRY_AFTER if patient else 5.0
    repeated = 0
    for n, caption in enumerate(captions):
        row = next((r for r in rows if r is not SEPARATOR and _caption(r) == caption), None)
        if row is None:
            raise ValueError(f"no menu item {caption!r} here")
        x, y = _row_centre(menu, rows, caption)
        last = n == len(captions) - 1
        if last and isinstance(row, tuple):
            raise ValueError(f"{caption!r} opens a submenu; name one of its items")
        if not last and not isinstance(row, tuple):
            raise ValueError(f"{caption!r} has no submenu")
        for attempt in range(attempts):
            # Each attempt points somewhere else in the item: a move to where the pointer
            # already is would not be seen at all.
            at = (x + 3 * (attempt % 3) - 3, y + (attempt % 2))
            if last:
                harness.xdotool("mousemove", *at, "click", 1, *then)
                if _closed(pid, wait, seen | {menu["hwnd"]}):
                    return repeated
            else:
                # Pointing opens a submenu; a click on an item whose submenu is already open
                # would close the whole menu.
                harness.mouse_move(*at)
                opened = _submenu(pid, seen, wait)
                if opened:
                    menu = opened
                    break
            repeated += 1
        else:
            raise harness.HarnessError(f"menu item {caption!r} did not answer {attempts} "
                                       f"{'click' if last else 'pointing'}(s)")
        seen.add(menu["hwnd"])
        rows = row[1]
    return repeated


def choose(pid, icon, *captions, patient=True):
    """Opens the tray menu and chooses the item at the end of captions; returns the number
    of repeated moves (see walk)."""
    return walk(pid, open_menu(pid, icon), *captions, patient=patient)


def exit_via_menu(pid, icon, timeout=10.0):
    """Chooses 終了 and waits for the process to end; returns the wait-exit answer."""
    def choose_exit():
        try:
            choose(pid, icon, "終了")
        except harness.HarnessError:
            pass  # the wait tells
    return harness.ending(pid, choose_exit, timeout=timeout)


# ---------------------------------------------------------------------------------------------
# Soak readings


@dataclasses.dataclass
class Reading:
    at: float
    private: int
    working_set: int
    views: int


def read(pid, started):
    private, working = memory(pid)
    return Reading(time.monotonic() - started, private, working, len(views(pid)))


# ---------------------------------------------------------------------------------------------
# Pictures, sound and hostile

def disc(width, height):
    """Palette indices of a filled disc (1) on the transparent colour (0)."""
    cx, cy, r2 = (width - 1) / 2, (height - 1) / 2, (min(width, height) / 2) ** 2
    return [1 if (x - cx) ** 2 + (y - cy) ** 2 <= r2 else 0
            for y in range(height) for x in range(width)]


def disc_pixels(width, height):
    """The set of (x, y) of disc(width, height): the pixels a frame of it keeps."""
    indices = disc(width, height)
    return frozenset((i % width, i // width) for i, p in enumerate(indices) if p)


def animated_gif(width, height, frames, palette=((255, 255, 255), (200, 40, 40))):
    """A GIF89a with several images of the full size, each given as palette indices."""
    table = list(palette) + [(0, 0, 0)] * (256 - len(palette))
    out = bytearray(b"GIF89a" + struct.pack("<HHBBB", width, height, 0xF7, 0, 0))
    for rgb in table:
        out += bytes(rgb)
    out += b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"  # loop for ever
    for pixels in frames:
        out += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, 0x09, 10, 0, 0)  # delay 0.1 s, index 0
        out += struct.pack("<BHHHHB", 0x2C, 0, 0, width, height, 0)
        out += bytes([8]) + harness._gif_blocks(harness._lzw_literal_codes(pixels)) + b"\x00"
    return bytes(out + b";")


def gif_claiming(width, height):
    """A small GIF whose screen and image descriptor claim width x height."""
    data = bytearray(harness.make_gif(24, 32))
    struct.pack_into("<HH", data, 6, width, height)
    image = data.index(b"\x2c\x00\x00\x00\x00")  # descriptor at (0, 0)
    struct.pack_into("<HH", data, image + 5, width, height)
    return bytes(data)


def make_bmp(width, height, opaque=None, key=(255, 0, 255), colour=(40, 40, 200)):
    """A 24-bit BMP: `colour` where opaque(x, y), the key colour elsewhere (a BMP has no
    transparency; its top-left pixel gives the colour that is cut away)."""
    if opaque is None:
        inside = disc_pixels(width, height)
        opaque = lambda x, y: (x, y) in inside  # noqa: E731
    stride = (width * 3 + 3) & ~3
    rows = bytearray()
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            r, g, b = colour if opaque(x, y) else key
            row += bytes((b, g, r))
        rows += row + b"\0" * (stride - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    return head + info + bytes(rows)


def bmp_header_size(data, size):
    """The BMP with its info header's size field replaced (a broken header for 0 or 3)."""
    out = bytearray(data)
    struct.pack_into("<I", out, 14, size)
    return bytes(out)


def bmp_pixels_past_end(data):
    """The BMP with its pixel data said to start past the end of the file."""
    out = bytearray(data)
    struct.pack_into("<I", out, 10, len(data) + 1000)
    return bytes(out)


def ico_entries(data, count=None, offset=None, size=None):
    """The icon with its directory's count or its first entry's data offset or size changed."""
    out = bytearray(data)
    if count is not None:
        struct.pack_into("<H", out, 4, count)
    if size is not None:
        struct.pack_into("<I", out, 6 + 8, size)
    if offset is not None:
        struct.pack_into("<I", out, 6 + 12, offset)
    return bytes(out)
