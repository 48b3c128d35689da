"""Support for the motion tests: window positions read fast from the X server, and a model of
the straight mode's path in whole pixels.

A driver call takes about 0.15 s, three motion ticks, which is too slow to see single steps.
Without a window manager Wine's top-level windows are plain children of the X root window,
placed exactly where Win32 puts them, so their geometry can be read from the X server itself
in well under a millisecond, many times per tick.
"""

import dataclasses
import socket
import struct
import time
from pathlib import Path

import harness

TWIPS_PER_PIXEL = 15
SCREEN_PX = (1280, 1024)
STRAIGHT_STEP_TWIPS = 16
FLOAT_STEP_MAX_TWIPS = 49  # floor(r × 30 + 20) twips per axis per tick


def twips_to_pixels(twips):
    """The player's rounding of a position: twips / 15 to the nearest pixel, halves away from
    zero."""
    q, r = divmod(abs(twips), TWIPS_PER_PIXEL)
    pixels = q + (1 if 2 * r >= TWIPS_PER_PIXEL else 0)
    return pixels if twips >= 0 else -pixels


class XGone(Exception):
    """The X window asked about no longer exists."""


class XServer:
    """A bare X11 connection: the few requests needed to find and follow top-level windows.

    No events are selected, so every answer read is the reply (or error) to the request just
    sent, in order.
    """

    def __init__(self, display=None):
        display = display or harness.config().display
        number = display.split(":", 1)[1].split(".", 1)[0]
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(10)
        self.sock.connect(f"/tmp/.X11-unix/X{number}")
        self.root, _ = harness._x11_setup(self.sock, number)
        self._atoms = {}

    def close(self):
        self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _request(self, data):
        self.sock.sendall(data)
        head = harness._x11_read(self.sock, 32)
        if head[0] == 0:
            code = head[1]
            if code in (3, 9):  # BadWindow, BadDrawable
                raise XGone()
            raise harness.HarnessError(f"X error {code} for request {data[0]}")
        extra = struct.unpack_from("<I", head, 4)[0] * 4
        return head + (harness._x11_read(self.sock, extra) if extra else b"")

    def children(self, window=None):
        """The window's children, bottom of the stack first (QueryTree)."""
        reply = self._request(struct.pack("<BxHI", 15, 2, window or self.root))
        count = struct.unpack_from("<H", reply, 16)[0]
        return list(struct.unpack_from(f"<{count}I", reply, 32))

    def geometry(self, window):
        """(x, y, width, height) relative to the parent (GetGeometry)."""
        reply = self._request(struct.pack("<BxHI", 14, 2, window))
        return struct.unpack_from("<hhHH", reply, 12)

    def viewable(self, window):
        reply = self._request(struct.pack("<BxHI", 3, 2, window))  # GetWindowAttributes
        return reply[26] == 2

    def atom(self, name):
        if name not in self._atoms:
            raw = name.encode("ascii")
            pad = b"\0" * (-len(raw) % 4)
            reply = self._request(struct.pack("<BBHH2x", 16, 0, 2 + (len(raw) + 3) // 4,
                                              len(raw)) + raw + pad)
            self._atoms[name] = struct.unpack_from("<I", reply, 8)[0]
        return self._atoms[name]

    def wm_class(self, window):
        reply = self._request(struct.pack("<BBHIIIII", 20, 0, 6, window, self.atom("WM_CLASS"),
                                          0, 0, 64))
        length = struct.unpack_from("<I", reply, 16)[0]
        return reply[32:32 + length].split(b"\0")[0].decode("utf-8", "replace")

    def character_windows(self, image, size):
        """Mapped top-level X windows of the program `image` with the given (width, height),
        top of the stack first."""
        found = []
        for window in reversed(self.children()):
            try:
                x, y, w, h = self.geometry(window)
                if (w, h) == tuple(size) and self.viewable(window) and \
                        self.wm_class(window) == image:
                    found.append(window)
            except XGone:
                continue
        return found

    def position(self, window):
        x, y, _, _ = self.geometry(window)
        return x, y

    def watch(self, windows, duration, stop=None, interval=0.003):
        """Polls the windows' positions for up to `duration` seconds, or until stop(tracks) is
        true after a poll; returns one Track per window."""
        tracks = [Track() for _ in windows]
        start = time.monotonic()
        while True:
            now = time.monotonic() - start
            for track, window in zip(tracks, windows):
                track.observe(now, self.position(window))
            if now >= duration or (stop and stop(tracks)):
                return tracks
            time.sleep(interval)


# The motion timer fires every 50 ms and a tick moves a window with two calls (left, then top)
# that reach the X server a moment apart; changes closer together than this are one tick.
SAME_TICK = 0.020
# Observations further apart than this may have missed a tick.
TICK_AT_LEAST = 0.040


@dataclasses.dataclass
class Step:
    """A change of position: what one tick (or, when `ticks` > 1, possibly several) did."""
    time: float   # when the new position was first seen (seconds from the start of the watch)
    span: float   # from the last sight of the old position to the last change of this step
    old: tuple
    new: tuple

    @property
    def ticks(self):
        """How many motion ticks can lie inside this step."""
        return 1 if self.span < TICK_AT_LEAST else 1 + int(self.span / TICK_AT_LEAST)

    @property
    def delta(self):
        return self.new[0] - self.old[0], self.new[1] - self.old[1]


class Track:
    """The positions one window showed, and its changes grouped into ticks."""

    def __init__(self):
        self.first = None
        self.last = None
        self.steps = []
        self.positions = []
        self._seen_at = 0.0     # last poll
        self._changed_at = 0.0  # last change
        self._stable_at = 0.0   # last sight of the position before the latest step

    def observe(self, t, pos):
        if self.first is None:
            self.first = self.last = pos
            self.positions.append(pos)
        elif pos != self.last:
            self.positions.append(pos)
            if self.steps and t - self._changed_at < SAME_TICK:
                step = self.steps[-1]  # the second half of one tick: its top after its left
                step.new, step.span = pos, t - self._stable_at
            else:
                self._stable_at = self._seen_at
                self.steps.append(Step(t, t - self._seen_at, self.last, pos))
            self._changed_at = t
            self.last = pos
        self._seen_at = t

    def xs(self):
        return [p[0] for p in self.positions]

    def ys(self):
        return [p[1] for p in self.positions]


class StraightModel:
    """Where the straight mode can have put a window, in twips as the player keeps it.

    A step moves one axis by 16 twips and then wraps: past the right (bottom) edge to 0, past
    the left (top) edge flush with the right (bottom) edge, each test strict and on the whole
    screen. The window shows at twips / 15 rounded, halves away from zero.
    """

    def __init__(self, left_px, top_px, width_px, height_px):
        self.w = width_px * TWIPS_PER_PIXEL
        self.h = height_px * TWIPS_PER_PIXEL
        self.W = SCREEN_PX[0] * TWIPS_PER_PIXEL
        self.H = SCREEN_PX[1] * TWIPS_PER_PIXEL
        # Every state the record can be in; a single known one at the start.
        self.states = {(left_px * TWIPS_PER_PIXEL, top_px * TWIPS_PER_PIXEL)}

    def step(self, state, direction):
        """(state after the step, which wraps fired)."""
        x, y = state
        d = STRAIGHT_STEP_TWIPS
        dx, dy = ((d, 0), (0, d), (-d, 0), (0, -d))[direction]  # right, down, left, up
        x, y = x + dx, y + dy
        wraps = []
        if x + self.w > self.W:
            x = 0
            wraps.append("right")
        if x < 0:
            x = self.W - self.w
            wraps.append("left")
        if y + self.h > self.H:
            y = 0
            wraps.append("bottom")
        if y < 0:
            y = self.H - self.h
            wraps.append("top")
        return (x, y), wraps

    @staticmethod
    def pixels(state):
        return twips_to_pixels(state[0]), twips_to_pixels(state[1])

    def advance(self, observed, max_steps):
        """Takes the next observed pixel position, reached by 1 to max_steps steps (in any
        directions); returns (steps needed, wraps that explain it) or None when no such path
        leads there. Keeps only the states that fit the observation."""
        frontier = {s: () for s in self.states}
        for steps in range(1, max_steps + 1):
            following = {}
            for state, wraps in frontier.items():
                for direction in range(4):
                    nxt, fired = self.step(state, direction)
                    following.setdefault(nxt, wraps + tuple(fired))
            frontier = following
            fits = {s: w for s, w in frontier.items() if self.pixels(s) == tuple(observed)}
            if fits:
                self.states = set(fits)
                return steps, sorted(set(w for ws in fits.values() for w in ws))
        return None



def grab_point(frames):
    """A pixel (relative to the window) that belongs to the character in every frame, as far
    from the outline as possible: a press there hits the character whatever frame it shows."""
    reader = harness.sample_generator()
    common = None
    for frame in frames:
        width, _, _, indices, clear = reader.read_gif(Path(frame).read_bytes())
        opaque = {(i % width, i // width) for i, v in enumerate(indices) if v != clear}
        common = opaque if common is None else common & opaque
    if not common:
        raise harness.HarnessError("no pixel belongs to the character in every frame")

    def clearance(p):
        d = 0
        while all((p[0] + a, p[1] + b) in common for a in range(-d - 1, d + 2)
                  for b in range(-d - 1, d + 2)):
            d += 1
        return d

    return max(sorted(common), key=clearance)


def square_frame(width, height, side, colour=(200, 40, 40)):
    """A GIF of width × height, transparent but for a filled square of `side` in the middle."""
    x0, y0 = (width - side) // 2, (height - side) // 2
    row_clear = [0] * width
    row_square = [0] * x0 + [1] * side + [0] * (width - x0 - side)
    pixels = []
    for y in range(height):
        pixels += row_square if y0 <= y < y0 + side else row_clear
    return harness.make_gif(width, height, pixels, palette=((255, 255, 255), colour))


def region_rects(window):
    """A driver window's region as a tuple of (left, top, right, bottom), () when it has none."""
    return tuple(tuple(r) for r in (window.get("region") or {}).get("rects", ()))


def characters(pid):
    """The player's character windows as the driver sees them: {hwnd: (left, top), region}."""
    return {w["hwnd"]: ((w["rect"]["left"], w["rect"]["top"]), region_rects(w))
            for w in harness.windows(pid=pid, cls="tovalin.frmView")}
