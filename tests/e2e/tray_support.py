"""Driving the player's tray icon and popup menu from outside, and reading what it leaves behind.

The menu is opened with a real right-click on the icon in Wine's tray window and walked with
xdotool keys: Down selects the next item (separators are skipped), Right opens the selected
item's submenu with its first item selected, Return chooses. Every step waits until the
expected number of menu windows (class #32768) is up, so no key is sent into a menu that is
not there yet.
"""

import subprocess
import time
from pathlib import Path

import harness

MENU_CLASS = "#32768"

# The popup menu as the keyboard walks it: separators are skipped, so they are not listed.
MENU_TREE = (
    ("設定", (
        ("出現数", ("1", "3", "5")),
        ("出現位置", ("中央", "乱数")),
        ("動き", ("静止", "直線", "浮遊", "跳ねる", "窓の上")),
        ("動作速度", ("遅い", "普通", "速い")),
        ("オプション", ("すべてのモニターを使う", "クリックを透過する", "前回の設定で始める",
                     "Windows の起動時に始める")),
    )),
    ("お気に入り", ("ぷかり",)),
    ("バージョン情報", None),
    ("終了", None),
)

INI_NAME = "TOVALIN.ini"
SCREEN_EMPTY_SPOT = (1270, 10)  # top-right corner: no tray or menu, seldom a character


def _index(items, caption):
    for i, item in enumerate(items):
        name = item[0] if isinstance(item, tuple) else item
        if name == caption:
            children = item[1] if isinstance(item, tuple) else None
            return i, children
    raise ValueError(f"no menu item {caption!r} here")


def menu_windows(pid):
    return harness.windows(pid=pid, cls=MENU_CLASS)


def wait_menus(pid, count, timeout=20.0):
    """Waits until exactly `count` menu windows of the process are visible; returns them."""
    def settled():
        menus = menu_windows(pid)
        return (menus or True) if len(menus) == count else None
    what = "the popup menu to close" if count == 0 else f"{count} open menu(s)"
    menus = harness.wait_until(settled, timeout=timeout, message=what)
    return [] if menus is True else menus


def wait_tray_icon(timeout=10.0):
    """The centre of the only icon in Wine's tray.

    Waits until there is exactly one icon, so that an icon left by a player of an earlier test
    that has not vanished yet is not clicked by mistake.
    """
    def single():
        result = harness.driver("tray", "--icons", 1, check=False)
        icons = result.get("icons") or []
        return icons[0]["center"] if len(icons) == 1 else None
    return tuple(harness.wait_until(single, timeout=timeout, message="exactly one tray icon"))


tray_icons = harness.tray_icons_shown


POINTER_ROOT = 1  # X's focus value: keys go to the window under the pointer


def window_under_pointer():
    """The X window the pointer is over (as xdotool reports it)."""
    location = subprocess.run(["xdotool", "getmouselocation", "--shell"],
                              env=harness.config().env, capture_output=True, text=True,
                              check=True, timeout=30).stdout
    return dict(line.split("=", 1) for line in location.split()).get("WINDOW")


def open_menu(pid, icon):
    """Right-clicks the tray icon; returns the root menu window, ready for keys.

    The click activates Wine's tray window, which takes the X focus, and keys sent to it never
    reach the player's menu. Giving the focus to the player's menu window instead works only
    after Wine inside the player has taken that focus change in, which nothing outside shows
    (keys are lost before it, and a change that lands in the middle of a walk closes the menu).
    So the X focus is set to follow the pointer: the menu opens with its corner at the pointer
    (on its border, where the pointer selects no item), and no Wine window is told of a focus
    change at all. The menu counts as shown for Windows a moment before its X window is
    mapped; until then keys would still go to the tray, so that is waited for too.
    """
    harness.mouse_move(*icon)
    tray_window = window_under_pointer()
    harness.right_click(*icon)
    root = wait_menus(pid, 1)[0]
    harness.xdotool("windowfocus", POINTER_ROOT)
    harness.wait_until(lambda: window_under_pointer() != tray_window, timeout=20,
                       interval=0.02, message="the menu's X window under the pointer")
    return root


def walk(pid, *captions, shots=None):
    """With the root menu open, selects the items named by captions, one per level, and
    chooses the last one. shots, if given, is called with the depth after each submenu opens
    (for screenshots). Returns once the menu has closed."""
    items, depth = MENU_TREE, 1
    for n, caption in enumerate(captions):
        index, children = _index(items, caption)
        # Down from the root selects its first item; a submenu opens with its first selected.
        downs = index + 1 if depth == 1 else index
        for _ in range(downs):
            harness.key("Down")
        last = n == len(captions) - 1
        if last:
            if children is not None:
                raise ValueError(f"{caption!r} opens a submenu; name one of its items")
            harness.key("Return")
            break
        if children is None:
            raise ValueError(f"{caption!r} has no submenu")
        harness.key("Right")
        depth += 1
        wait_menus(pid, depth)
        if shots:
            shots(depth)
        items = children
    wait_menus(pid, 0)


def choose(pid, icon, *captions, shots=None):
    """Opens the tray menu and chooses the item at the end of captions.

    A walk that goes wrong leaves the menu open, and an open menu takes every later click;
    it is closed before the failure is reported, so that the checks after it still run."""
    open_menu(pid, icon)
    try:
        walk(pid, *captions, shots=shots)
    except harness.HarnessError as e:
        dismiss_menus(pid)
        raise harness.HarnessError(f"menu walk {' > '.join(captions)} failed (keys that never "
                                   f"reached the menu?): {e}") from e


def dismiss_menus(pid):
    """Closes whatever menu of the process is open: a click on the empty desktop ends it."""
    if menu_windows(pid):
        harness.click(SCREEN_EMPTY_SPOT[0], SCREEN_EMPTY_SPOT[1])
        try:
            wait_menus(pid, 0, timeout=20)
        except harness.HarnessError:
            pass


def no_menu_within(pid, seconds):
    """True when no menu window of the process comes up within `seconds`."""
    result = harness.driver("windows", "--pid", pid, "--class", MENU_CLASS, "--count", 1,
                            "--wait", int(seconds * 1000), check=False)
    return not result["windows"]


# ---------------------------------------------------------------------------------------------
# Settings files, read as the bytes they hold


def ini_sections(path):
    """{section: {key: value bytes}} of a profile file, names decoded from code page 932.

    Values stay bytes so that a test compares exactly what was written."""
    sections, current = {}, None
    for raw in Path(path).read_bytes().split(b"\n"):
        line = raw.rstrip(b"\r")
        if line.startswith(b"[") and line.endswith(b"]"):
            current = sections.setdefault(line[1:-1].decode("cp932"), {})
        elif current is not None and b"=" in line:
            key, value = line.split(b"=", 1)
            current[key.decode("cp932")] = value
    return sections


def ini_value(path, section, key):
    """The value bytes of one key, or None when file, section or key are absent."""
    if not Path(path).is_file():
        return None
    return ini_sections(path).get(section, {}).get(key)


# ---------------------------------------------------------------------------------------------
# Frames that tell their number


BAR_WIDTH = 30


def numbered_frames(count, height=None):
    """GIF frames whose region tells the frame's number: frame i is a bar BAR_WIDTH wide and
    i + 1 rows high at the bottom of a transparent picture (the top-left pixel gives the colour
    that is cut away, so it must stay transparent)."""
    height = height or count + 4
    frames = []
    for i in range(count):
        pixels = [1 if y >= height - 1 - i else 0 for y in range(height) for _ in range(BAR_WIDTH)]
        frames.append(harness.make_gif(BAR_WIDTH, height, pixels))
    return frames


def frame_number(window):
    """The number of the numbered frame a window shows, from its region; None if unshaped."""
    region = window.get("region")
    if not region or not region["area"] or region["area"] % BAR_WIDTH:
        return None
    return region["area"] // BAR_WIDTH - 1


def frame_rate(pid, hwnd, frame_count, duration=1.6):
    """Frames per second one window of numbered frames advances by, watched for `duration`.

    Frames only go forward, so the steps between two looks are counted modulo the frame
    count; looks come every ~0.15 s, far less than half a loop of the frames takes, so a
    larger step means the frames ran backwards or the numbers were misread.
    """
    seen, steps = None, 0
    start = time.monotonic()
    first = last = None
    while True:
        now = time.monotonic()
        window = next((w for w in harness.windows(pid=pid) if w["hwnd"] == hwnd), None)
        if window is None:
            raise harness.HarnessError(f"window {hwnd} is gone")
        number = frame_number(window)
        if number is not None:
            if seen is not None:
                step = (number - seen) % frame_count
                if step > frame_count // 2:
                    raise harness.HarnessError(f"window {hwnd} went from frame {seen} to "
                                               f"{number}")
                steps += step
            else:
                first = now
            seen, last = number, now
        if now - start >= duration:
            break
    if first is None or last <= first:
        raise harness.HarnessError(f"window {hwnd} never showed a numbered frame")
    return steps / (last - first)


# ---------------------------------------------------------------------------------------------
# Pictures


def opaque_mask(path, key=(255, 0, 255)):
    """The pixels of a picture file that the player keeps, as (mask, image): mask is the set
    of (x, y) of opaque pixels, image the picture with transparent pixels flattened onto the
    key colour (magenta: no opaque pixel of the sample art uses it, and it is the background
    of its BMP frames). Uses ImageMagick's convert."""
    out = Path(harness.config().artifacts) / "masks" / (Path(path).name + ".png")
    out.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run(["convert", f"{path}[0]", "-background", "#FF00FF", "-alpha", "remove",
                    "-alpha", "off", f"PNG24:{out}"], check=True, timeout=30,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    image = harness.Image.load(out)
    mask = frozenset((x, y) for y in range(image.height) for x in range(image.width)
                     if image.pixel(x, y) != key)
    return mask, image


def region_pixels(window):
    """The set of (x, y) pixels inside a window's region (relative to the window)."""
    pixels = set()
    for left, top, right, bottom in window["region"]["rects"]:
        for y in range(top, bottom):
            for x in range(left, right):
                pixels.add((x, y))
    return frozenset(pixels)


def wait_ini_value(path, section, key, expected, timeout=20.0):
    """Polls one key until it holds `expected` (bytes); returns what it holds at the end.

    The menu closes before the chosen command runs, so its write comes a moment later."""
    deadline = time.monotonic() + timeout
    while True:
        value = ini_value(path, section, key)
        if value == expected or time.monotonic() >= deadline:
            return value
        time.sleep(0.05)


VIEW_CLASS = "tovalin.frmView"


def wait_views(pid, count, exclude=(), timeout=10.0):
    """Waits until the player shows exactly `count` character windows, none of them in
    `exclude` (the hwnds of a scene that is to be replaced); returns them."""
    exclude = set(exclude)

    def scene():
        views = harness.windows(pid=pid, cls=VIEW_CLASS)
        fresh = len(views) == count and not {w["hwnd"] for w in views} & exclude
        return views if fresh else None
    return harness.wait_until(scene, timeout=timeout,
                              message=f"{count} new character window(s)")
