"""What the character windows should look like, worked out independently of the player.

The frames are decoded here with the sample generator's own GIF reader (assets/make_sample.py),
and a frame's window region is derived from its pixels the way the system keeps regions: y-x
bands of maximal runs of character pixels, with vertically adjacent rows of identical runs
merged into one band. FrameTracker then maps the regions the driver reports back to frame
numbers, which lets a test follow an animation from outside.
"""

import dataclasses
import json
import time
from pathlib import Path

import harness

VIEW_CLASS = "tovalin.frmView"
SCREEN_W, SCREEN_H = 1280, 1024
# The button-face colours transparent pixels are rendered in before they are cut away; neither
# may ever reach the screen.
BUTTON_FACES = {(240, 240, 240), (212, 208, 200)}
INTERVALS = {"遅い": 0.5, "普通": 0.25, "速い": 0.08}

WS_POPUP = 0x80000000
WS_CAPTION = 0x00C00000  # WS_BORDER | WS_DLGFRAME
WS_THICKFRAME = 0x00040000
WS_EX_TOPMOST = 0x00000008
WS_EX_TOOLWINDOW = 0x00000080
WS_EX_APPWINDOW = 0x00040000



_readers = None


def read_gif(data):
    global _readers
    if _readers is None:
        _readers = harness.sample_generator()
    return _readers.read_gif(data)


def region_of(width, height, opaque):
    """Rectangles (left, top, right, bottom) of the pixels for which opaque(x, y) holds."""
    bands = []  # [top, bottom, runs]
    for y in range(height):
        runs, x = [], 0
        while x < width:
            if opaque(x, y):
                start = x
                while x < width and opaque(x, y):
                    x += 1
                runs.append((start, x))
            else:
                x += 1
        if not runs:
            continue
        if bands and bands[-1][1] == y and bands[-1][2] == runs:
            bands[-1][1] = y + 1
        else:
            bands.append([y, y + 1, runs])
    return tuple((left, top, right, bottom) for top, bottom, runs in bands for left, right in runs)


@dataclasses.dataclass(frozen=True)
class Frame:
    name: str
    width: int
    height: int
    pixels: tuple  # (r, g, b) per pixel, row-major; None where transparent
    region: tuple  # expected window region rectangles

    def pixel(self, x, y):
        return self.pixels[y * self.width + x]

    @classmethod
    def from_gif(cls, path):
        width, height, palette, indices, transparent = read_gif(Path(path).read_bytes())
        pixels = tuple(None if i == transparent else tuple(palette[i]) for i in indices)
        region = region_of(width, height, lambda x, y: pixels[y * width + x] is not None)
        return cls(Path(path).name, width, height, pixels, region)


def load_frames(paths):
    return [Frame.from_gif(p) for p in paths]


def rects_of(window):
    """The driver's region of a window as a tuple of rectangles; None when it has none."""
    region = window.get("region")
    if region is None:
        return None
    return tuple(tuple(r) for r in region["rects"])


def in_rects(rects, x, y):
    return any(l <= x < r and t <= y < b for l, t, r, b in rects)


class FrameTracker:
    """Follows one window's frame number from the regions it is seen with.

    Several frames may share a shape (the sample's two half-loops are the same walk, and some
    neighbours stand still), so a shape alone does not name a frame. The tracker starts at the
    first frame with the first shape seen and, on each new shape, moves forward to the nearest
    frame that has it: the frames skipped over on the way either share the shape just left
    (their change could not be seen) or were missed between two readings, and are counted as
    such.
    """

    def __init__(self, frames, first_rects):
        self.shapes = [f.region for f in frames]
        self.n = len(frames)
        starts = [k for k, s in enumerate(self.shapes) if s == first_rects]
        if not starts:
            raise AssertionError(f"first region matches no frame: {first_rects[:4]}...")
        self.current = starts[0]
        self.start = self.current
        self.advanced = 0  # frames moved on since the start
        self.seen = [self.current]

    def candidates(self):
        """The frames the current shape may stand for, from the tracked frame on, up to the
        next change of shape."""
        out, k = [self.current], self.current
        while self.shapes[(k + 1) % self.n] == self.shapes[self.current] and len(out) < self.n:
            k = (k + 1) % self.n
            out.append(k)
        return out

    def observe(self, rects):
        """Takes a new reading; returns (frames advanced, frames missed). Raises AssertionError
        for a shape no frame has, or one that cannot be reached going forward."""
        if rects == self.shapes[self.current]:
            return 0, 0
        for step in range(1, self.n):
            k = (self.current + step) % self.n
            if self.shapes[k] == rects:
                break
        else:
            known = any(s == rects for s in self.shapes)
            raise AssertionError(
                f"region after frame {self.current} is "
                + ("the tracked frame's own" if known else "no frame's shape")
                + f": {rects[:4]}...")
        left = self.shapes[self.current]
        between = [(self.current + i) % self.n for i in range(1, step)]
        missed = sum(1 for j in between if self.shapes[j] != left)
        self.current = k
        self.advanced += step
        self.seen.append(k)
        return step, missed

    @property
    def wraps(self):
        return (self.start + self.advanced) // self.n


@dataclasses.dataclass
class Sample:
    before: float  # wall-clock time (time.time()) when the reading began
    after: float  # ... and when it ended
    windows: list


def watch_views(seconds, every=0.01):
    """Readings of every visible character window, taken inside one driver process for about
    `seconds`, one every `every` seconds: far closer together than one driver start apart."""
    answer = harness.driver("windows", "--class", VIEW_CLASS, "--watch", harness._ms(seconds),
                            "--every", harness._ms(every), timeout=60 + seconds)
    return [Sample(s["before"], s["after"], s["windows"]) for s in answer["samples"]]


def wait_shaped(pid, count, timeout=15.0):
    """Waits until the process shows `count` character windows that all have a region."""
    def ready():
        found = harness.windows(pid=pid, cls=VIEW_CLASS)
        shaped = [w for w in found if w["region"] is not None]
        return shaped if len(shaped) >= count else None
    return harness.wait_until(ready, timeout=timeout, interval=0.02,
                              message=f"{count} shaped character window(s) of process {pid}")


def check_window_pixels(image, window, rects, frame, margin=3):
    """Problems in the screenshot around one character window: inside its rectangle and region
    the pixels must be the frame's own colours, everywhere else within `margin` pixels of the
    rectangle the desktop colour, and no button-face colour anywhere. Returns (problems, pixels
    inside)."""
    r = window["rect"]
    problems, inside = [], 0
    for y in range(r["top"] - margin, r["top"] + r["height"] + margin):
        for x in range(r["left"] - margin, r["left"] + r["width"] + margin):
            if not (0 <= x < image.width and 0 <= y < image.height):
                continue
            got = image.pixel(x, y)
            wx, wy = x - r["left"], y - r["top"]
            within = 0 <= wx < r["width"] and 0 <= wy < r["height"]
            if got in BUTTON_FACES:
                problems.append(f"button face {got} at window pixel ({wx}, {wy})")
            elif within and in_rects(rects, wx, wy):
                inside += 1
                want = frame.pixel(wx, wy) if wx < frame.width and wy < frame.height else None
                if got != want:
                    problems.append(f"window pixel ({wx}, {wy}) is {got}, frame has {want}")
            elif got != harness.DESKTOP_COLOUR:
                where = "outside the region" if within else "beside the window"
                problems.append(f"{where} at window pixel ({wx}, {wy}): {got}")
    return problems, inside


def save_json(path, value):
    Path(path).write_text(json.dumps(value, ensure_ascii=False, indent=1), encoding="utf-8")
