"""Motion: the four movement modes and dragging a character, watched from outside.

Positions come from the X server, polled many times per 50 ms motion tick (motion_support);
the frame a window shows (its region) and the window list come from the driver.
"""

import dataclasses
import threading
import time

import harness
import motion_support as ms
import scene_support
from motion_support import SCREEN_PX

SIZE = (49, 64)       # every sample frame
CENTRE = (640, 512)   # "中心": the top-left corner at half the screen's width and height


class MotionTestCase(harness.PlayerTestCase):
    def setUp(self):
        super().setUp()
        self.x = ms.XServer()
        self.addCleanup(self.x.close)
        self.grab = None

    def start(self, name, count, move, location="中心", exe=None, size=SIZE):
        """Starts a scene; returns (pid, X windows of the characters, top of the stack first)."""
        if exe is None:
            exe = self.pack_sample(name, count=count, move=move, location=location)
        pid = self.launch(exe)

        def found():
            ids = self.x.character_windows(exe.name, size)
            return ids if len(ids) >= count else None

        ids = harness.wait_until(found, timeout=20, interval=0.005,
                                 message=f"{count} character windows of {size}")
        self.assertEqual(len(ids), count)
        return pid, ids

    def grab_offset(self):
        if self.grab is None:
            self.grab = ms.grab_point(harness.sample_assets()[1])
        return self.grab

    def hold_and_move(self, pid, start, delta, button=1, steps=8, shot=None,
                      before_release=None):
        """Presses at start, moves by delta in steps while taking a driver snapshot after each,
        and keeps the button down until the end (calling before_release() just before it is
        released); returns [(mouse delta, snapshot), ...]."""
        snapshots = []
        if button == 1:
            harness.press_for_drag(pid, *start, button)
        else:
            harness.mouse_down(*start, button)  # no move loop to wait for
        try:
            for i in range(1, steps + 1):
                moved = (delta[0] * i // steps, delta[1] * i // steps)
                harness.mouse_move(start[0] + moved[0], start[1] + moved[1])
                snapshots.append((moved, ms.characters(pid)))
                if shot and i == steps // 2:
                    self.screenshot(shot)
            if before_release:
                before_release()
        finally:
            harness.mouse_up(button)
        return snapshots

    def wait_new_frame(self, pid, hwnd, region, message):
        harness.wait_until(lambda: ms.characters(pid)[hwnd][1] != region, timeout=20,
                           interval=0.05, message=message)

    def assert_on_screen(self, track, size, label):
        xs, ys = track.xs(), track.ys()
        self.assertGreaterEqual(min(xs), 0, label)
        self.assertLessEqual(max(xs), SCREEN_PX[0] - size[0], label)
        self.assertGreaterEqual(min(ys), 0, label)
        self.assertLessEqual(max(ys), SCREEN_PX[1] - size[1], label)


def regions_of(snapshots, hwnd):
    return [snap[hwnd][1] for _, snap in snapshots]


def positions_of(snapshots, hwnd):
    return [snap[hwnd][0] for _, snap in snapshots]


class StillMode(MotionTestCase):
    def test_nothing_moves_while_frames_run_and_other_buttons_do_nothing(self):
        pid, ids = self.start("still.exe", count=3, move="静止", location="乱数")
        snapshots, seen = [ms.characters(pid)], [set() for _ in ids]
        for _ in range(4):
            for positions, track in zip(seen, self.x.watch(ids, 0.4)):
                positions.update(track.positions)
            snapshots.append(ms.characters(pid))
        self.screenshot("still")
        for i, positions in enumerate(seen):
            self.assertEqual(len(positions), 1, f"character {i} moved: {positions}")
        self.assertEqual(sorted(p for (p,) in seen),
                         sorted(pos for pos, _ in snapshots[0].values()),
                         "the X server shows the windows where the player put them")
        for hwnd in snapshots[0]:
            self.assertEqual({s[hwnd][0] for s in snapshots}, {snapshots[0][hwnd][0]})
            frames = {s[hwnd][1] for s in snapshots}
            self.assertGreater(len(frames), 1, f"window {hwnd} kept one frame for 2 s")

        # Right and middle presses on the top character: it does not follow the pointer and
        # goes on animating.
        top = next(iter(snapshots[-1]))
        where = snapshots[-1][top][0]
        grab = self.grab_offset()
        press = (where[0] + grab[0], where[1] + grab[1])
        for button in (3, 2):
            with self.subTest(button=button):
                held = self.hold_and_move(pid, press, (120, 80), button=button, steps=6)
                self.assertEqual(set(positions_of(held, top)), {where})
                self.assertGreater(len(set(regions_of(held, top))), 1,
                                   "the animation stopped while the button was down")
                self.assertEqual(ms.characters(pid)[top][0], where)
        self.screenshot("after-other-buttons")


class DraggingWhenStill(MotionTestCase):
    def test_dropped_character_stays_and_animates_again(self):
        pid, ids = self.start("still-drag.exe", count=3, move="静止", location="乱数")
        before = ms.characters(pid)
        top = next(iter(before))
        where, _ = before[top]
        others = [h for h in before if h != top]
        grab = self.grab_offset()
        press = (where[0] + grab[0], where[1] + grab[1])

        # A press and release without moving changes nothing for good.
        harness.click(*press)
        self.wait_new_frame(pid, top, ms.characters(pid)[top][1],
                            "animation after a click on the character")
        self.assertEqual(ms.characters(pid)[top][0], where, "a click moved the character")

        delta = (-200, 150) if where[0] > 400 else (200, 150)
        held = self.hold_and_move(pid, press, delta, shot="still-dragging")
        # The move loop may not have taken the latest motion yet when the driver looks.
        previous = held[0][0]
        for moved, snap in held[1:]:
            places = [(where[0] + m[0], where[1] + m[1]) for m in (moved, previous)]
            self.assertIn(snap[top][0], places, "the character follows the pointer")
            previous = moved
        self.assertEqual(len(set(regions_of(held, top))), 1, "frame changed during the drag")
        for hwnd in others:
            self.assertEqual(set(positions_of(held, hwnd)), {before[hwnd][0]})
            self.assertGreater(len(set(regions_of(held, hwnd))), 1,
                               f"window {hwnd} stopped animating while another was dragged")

        dropped = (where[0] + delta[0], where[1] + delta[1])
        at_drop = [i for i in ids if self.x.position(i) == dropped]
        self.assertEqual(len(at_drop), 1, f"no character where it was dropped, {dropped}")
        xid = at_drop[0]
        (track,) = self.x.watch([xid], 1.5)
        self.screenshot("still-dropped")
        self.assertEqual(track.positions, [dropped], "the dropped character moved")
        after = ms.characters(pid)
        self.assertEqual(after[top][0], dropped)
        self.wait_new_frame(pid, top, held[-1][1][top][1], "animation after the drop")

    def test_every_release_ends_the_drag(self):
        # Five characters at the fastest speed: their animation ticks keep running inside the
        # move loop, and none of them may take the loop's pointer motion or button release.
        exe = self.pack_sample("drops.exe", count=5, move="静止", location="乱数",
                               speed="速い")
        pid, ids = self.start(None, count=5, move="静止", exe=exe)
        xid = ids[0]
        grab = self.grab_offset()
        for n in range(8):
            with self.subTest(drag=n):
                where = self.x.position(xid)
                press = (where[0] + grab[0], where[1] + grab[1])
                step = (40, 20) if n % 2 == 0 else (-40, -20)
                harness.drag(pid, press, (press[0] + step[0], press[1] + step[1]), steps=4,
                             step_pause=0.02)
                dropped = (where[0] + step[0], where[1] + step[1])
                # With the button up the pointer moves on; the character must not follow.
                harness.mouse_move(press[0] + 3 * step[0], press[1] + 3 * step[1])
                (track,) = self.x.watch([xid], 0.3)
                self.assertEqual(track.positions, [dropped],
                                 f"picked up at {where}, moved by {step}")
        self.screenshot("drops")


class StraightMode(MotionTestCase):
    def test_steps_one_axis_at_a_time_in_whole_pixels(self):
        pid, ids = self.start("straight.exe", count=3, move="直線")
        tracks = self.x.watch(ids, 4.0)
        self.screenshot("straight")
        doubles = 0
        for i, track in enumerate(tracks):
            model = ms.StraightModel(*CENTRE, *SIZE)
            if track.first == CENTRE:
                # A fresh record moves right first.
                self.assertEqual(track.steps[0].new, (CENTRE[0] + 1, CENTRE[1]))
            else:  # the first poll came a few ticks after the start
                self.assertIsNotNone(model.advance(track.first, 20), f"{i}: {track.first}")
            single = 0
            for step in track.steps:
                found = model.advance(step.new, step.ticks)
                self.assertIsNotNone(found, f"character {i}: {step.old} -> {step.new} in "
                                     f"{step.ticks} tick(s) is not a path of 16-twip steps")
                if step.ticks == 1:
                    single += 1
                    dx, dy = step.delta
                    self.assertTrue(dx == 0 or dy == 0, f"diagonal step {step}")
                    doubles += max(abs(dx), abs(dy)) == 2
            self.assertGreater(single, 40, f"character {i}: too few single ticks seen")
        # 16 twips are 1.07 pixels: every fifteenth step shows as two pixels.
        self.assertGreater(doubles, 0)

    def test_wraps_at_the_screen_edges(self):
        # A window of exactly a quarter of the screen starts flush with the right and bottom
        # edges: its first step to the right wraps it to the left edge, and from then on it
        # sits on an edge of each axis whenever it turns.
        size = (SCREEN_PX[0] // 2, SCREEN_PX[1] // 2)
        frame = self.work / "01_quarter.gif"
        frame.write_bytes(ms.square_frame(*size, side=48))
        icon, _ = harness.sample_assets()
        exe = harness.pack(self.work / "wrap.exe", icon, [frame], count=5, move="直線")
        pid, ids = self.start(None, count=5, move="直線", exe=exe, size=size)

        models = [ms.StraightModel(*CENTRE, *size) for _ in ids]
        done = [0] * len(ids)
        placed = [False] * len(ids)
        kinds, faults = set(), []

        def check(tracks, final=False):
            now = time.monotonic() - started
            for i, track in enumerate(tracks):
                if not placed[i] and track.first != CENTRE:
                    # The first poll came a few ticks after the start.
                    placed[i] = True
                    if models[i].advance(track.first, 20) is None:
                        faults.append(f"character {i}: first seen at {track.first}")
                while done[i] < len(track.steps):
                    step = track.steps[done[i]]
                    if not final and now - step.time < 2 * ms.SAME_TICK:
                        break  # its second half may still come
                    done[i] += 1
                    found = models[i].advance(step.new, step.ticks)
                    if found is None:
                        faults.append(f"character {i}: {step.old} -> {step.new} in "
                                      f"{step.ticks} tick(s)")
                    else:
                        kinds.update(found[1])
            return len(kinds) >= 3 or faults

        started = time.monotonic()
        tracks = self.x.watch(ids, 15.0, stop=check)
        check(tracks, final=True)
        self.screenshot("straight-wrapped")
        self.assertEqual(faults, [])
        for i, track in enumerate(tracks):
            self.assert_on_screen(track, size, f"character {i}")
            if track.first == CENTRE:
                self.assertEqual(track.steps[0].new, (0, CENTRE[1]), "wrap at the right edge")
        self.assertIn("right", kinds)
        self.assertGreaterEqual(len(kinds), 2, f"only {kinds} wraps in 15 s")

    def test_drag_holds_one_character_while_the_others_go_on(self):
        pid, ids = self.start("straight-drag.exe", count=3, move="直線", location="乱数")
        self.assertEqual(len(ms.characters(pid)), 3)
        # The press goes to the window on top of the X stack, inside its outline.
        xid = ids[0]
        grab = self.grab_offset()
        picked = self.x.position(xid)
        press = (picked[0] + grab[0], picked[1] + grab[1])
        delta = (-250, 180) if picked[0] > 500 else (250, 180)
        after = {}

        def watch_from_before_the_release():
            def run():
                after["tracks"] = self.x.watch(ids, 2.0)
            watcher = threading.Thread(target=run)
            watcher.start()
            after["thread"] = watcher
            time.sleep(0.2)

        held = self.hold_and_move(pid, press, delta, steps=8, shot="straight-dragging",
                                  before_release=watch_from_before_the_release)
        after["thread"].join()
        self.screenshot("straight-dropped")

        # The pick-up position was read a moment before the press: a tick may lie between.
        def near(pos, expected):
            return abs(pos[0] - expected[0]) <= 2 and abs(pos[1] - expected[1]) <= 2

        moved, snap = held[0]
        expected = (picked[0] + moved[0], picked[1] + moved[1])
        dragged = [h for h, (pos, _) in snap.items() if near(pos, expected)]
        self.assertEqual(len(dragged), 1, f"one window at {expected}: {snap}")
        top = dragged[0]
        others = [h for h in snap if h != top]
        # The move loop may not have taken the latest motion yet when the driver looks.
        previous = held[0][0]
        for moved, snap in held:
            places = [(picked[0] + m[0], picked[1] + m[1]) for m in (moved, previous)]
            self.assertTrue(any(near(snap[top][0], p) for p in places),
                            f"{snap[top][0]} is not near the pointer's place {places[0]}")
            previous = moved
        self.assertEqual(len(set(regions_of(held, top))), 1, "frame changed during the drag")
        for hwnd in others:
            self.assertGreater(len(set(positions_of(held, hwnd))), 2,
                               f"window {hwnd} stood still while another was dragged")
            self.assertGreater(len(set(regions_of(held, hwnd))), 1,
                               f"window {hwnd} stopped animating while another was dragged")

        # After the drop the record still holds the place of the pick-up: the next tick moves
        # the character one step on from there.
        track = after["tracks"][ids.index(xid)]
        dropped = track.first
        self.assertLessEqual(abs(dropped[0] - picked[0] - delta[0]), 2, "dropped there")
        self.assertLessEqual(abs(dropped[1] - picked[1] - delta[1]), 2, "dropped there")
        self.assertTrue(track.steps, "the character stayed where it was dropped")
        back = track.steps[0]
        self.assertLessEqual(abs(back.new[0] - picked[0]) + abs(back.new[1] - picked[1]),
                             2 + 2 * back.ticks,
                             f"picked up at {picked}, dropped at {dropped}, then {back.new}")
        for step in track.steps[1:]:
            dx, dy = step.delta
            self.assertLessEqual(abs(dx) + abs(dy), 2 * step.ticks, f"jump {step}")
        self.wait_new_frame(pid, top, held[-1][1][top][1], "animation after the drop")


class BouncingMode(MotionTestCase):
    def test_lands_on_one_floor_line_and_keeps_between_the_sides(self):
        pid, ids = self.start("bouncing.exe", count=5, move="跳ねる", location="乱数")

        def landings(track):
            """(time, bottom edge) of every landing: the lowest point before it goes up."""
            out, falling = [], False
            for step in track.steps:
                dy = step.delta[1]
                if dy < 0 and falling:
                    out.append((step.time, step.old[1] + SIZE[1]))
                if dy:
                    falling = dy > 0
            return out

        def all_landed(tracks):
            return all(landings(t) and t.steps[-1].time - landings(t)[0][0] > 0.3
                       for t in tracks)

        tracks = self.x.watch(ids, 30.0, stop=all_landed)
        self.screenshot("bouncing")
        bottoms = []
        for i, track in enumerate(tracks):
            label = f"character {i}"
            found = landings(track)
            self.assertTrue(found, f"{label} never landed in 30 s")
            bottoms += [b for _, b in found]
            self.assertGreaterEqual(min(track.xs()), 0, label)
            self.assertLessEqual(max(track.xs()), SCREEN_PX[0] - SIZE[0], label)
            self.assertEqual(max(track.ys()) + SIZE[1], found[0][1], f"{label} below the floor")
            # Its first flight starts at rest with 18 twips a tick to the right, and gravity
            # makes every fall faster.
            first_fall = [s for s in track.steps if s.time < found[0][0]]
            self.assertGreater(first_fall[-1].new[0], track.first[0], label)
            drops = [s.delta[1] for s in first_fall if s.ticks == 1 and s.delta[1] > 0]
            # (the last one may be short: it ends on the floor line)
            self.assertGreater(len(drops), 2, label)
            self.assertGreater(drops[-2], drops[0], f"{label} does not speed up as it falls")
        floor = bottoms[0]
        (self.work / "floor.txt").write_text(f"{floor}\n")
        self.assertEqual(set(bottoms), {floor}, "every landing on the same floor line")
        self.assertLessEqual(floor, SCREEN_PX[1], "the floor lies below the screen")
        self.assertGreater(floor, SCREEN_PX[1] - 100, "the floor is near the screen's bottom")


class FloatingMode(MotionTestCase):
    def test_wavers_in_small_steps_on_both_axes(self):
        pid, ids = self.start("floating.exe", count=5, move="浮遊")
        tracks = self.x.watch(ids, 3.0)
        self.screenshot("floating")
        moving, diagonal = 0, 0
        for i, track in enumerate(tracks):
            label = f"character {i}"
            self.assert_on_screen(track, SIZE, label)
            for step in track.steps:
                bound = (ms.FLOAT_STEP_MAX_TWIPS * step.ticks) // ms.TWIPS_PER_PIXEL + 1
                dx, dy = step.delta
                self.assertLessEqual(max(abs(dx), abs(dy)), bound, f"{label}: {step}")
                diagonal += step.ticks == 1 and dx != 0 and dy != 0
            # A pause (1 in 250 a tick) may stop a character at any time; one that went on
            # for a while has moved along both axes.
            if len(track.steps) >= 20:
                moving += 1
                self.assertGreater(len(set(track.xs())), 1, f"{label} never moved sideways")
                self.assertGreater(len(set(track.ys())), 1, f"{label} never moved up or down")
        self.assertGreaterEqual(moving, 2, "most characters stood still for 3 s")
        self.assertGreater(diagonal, 0, "no tick moved a character along both axes")


class DragsNeverFreeze(MotionTestCase):
    """Twenty drags of moving characters, one and five at the fastest speed, in Wine's default
    window handling: a window the system takes for an active one is handed to the window
    manager when it next moves, which ends X's pointer grab in the middle of a drag. The rest
    of the suite runs with that handling off (no window manager on Xvfb), so this test turns
    it back on for its own executables."""

    DRAGS = 20
    ATTEMPTS = 40  # a press may land beside a character that moved away just before it
    DRAG_SECONDS = 0.8  # what one drag of drag_batch takes, at most

    def managed(self, exe):
        harness.reg_add(rf"HKCU\Software\Wine\AppDefaults\{exe.name}\X11 Driver", "Managed", "Y")
        return exe

    def test_every_drag_follows_the_pointer_and_lets_go(self):
        for move in ("直線", "浮遊", "跳ねる"):
            for count in (1, 5):
                with self.subTest(move=move, count=count):
                    self.drag_many(move, count)

    def drag_many(self, move, count):
        exe = self.managed(self.pack_sample(f"drags-{count}-{MODE_NAMES[move]}.exe",
                                            count=count, move=move, location="乱数",
                                            speed="速い"))
        pid, _ = self.start(None, count=count, move=move, exe=exe)
        try:
            self.drag_until_enough(pid, exe, move, count)
        finally:
            harness.kill(pid)

    def drag_until_enough(self, pid, exe, move, count):
        done, failures, attempts = 0, [], 0
        while done < self.DRAGS and attempts < self.ATTEMPTS:
            batch = []
            wanted = self.DRAGS - done + 2  # a few spare for presses that miss
            samples = self.watched(lambda end: self.drag_batch(pid, exe, batch, wanted, end),
                                   seconds=wanted * self.DRAG_SECONDS + 1.0)
            presses = [a.pressed for a in batch[1:]] + [samples[-1].before if samples else 0]
            for attempt, until in zip(batch, presses):
                attempts += 1
                verdict = judge_drag(attempt, samples, until, may_pause=move == "浮遊")
                if verdict == "missed":
                    continue
                done += 1
                if verdict != "ok":
                    failures.append(f"drag {done}: {verdict}")
        if failures:
            self.screenshot(f"frozen-{count}-{MODE_NAMES[move]}")
        self.assertEqual(failures, [], f"{len(failures)} of {done} drags went wrong")
        self.assertGreaterEqual(done, self.DRAGS, f"only {done} presses of {attempts} hit")

    def watched(self, action, seconds):
        """Runs action(end) while the driver samples every character window until about time
        end; returns the samples."""
        box = {}
        thread = threading.Thread(target=lambda: box.update(
            samples=scene_support.watch_views(seconds, every=0.02)))
        end = time.time() + seconds
        thread.start()
        time.sleep(0.6)  # the driver's start; a drag before its first sample counts as unseen
        action(end)
        thread.join()
        self.assertIn("samples", box, "the driver's watch gave no answer")
        return box["samples"]

    def drag_batch(self, pid, exe, batch, wanted, end):
        grab = self.grab_offset()
        for _ in range(wanted):
            if time.time() + self.DRAG_SECONDS > end:
                return  # a busy machine: the rest goes into the next watch
            ids = self.x.character_windows(exe.name, SIZE)
            if not ids:
                return
            where = self.x.position(ids[0])
            press = (where[0] + grab[0], where[1] + grab[1])
            # Steps longer than half the character: a window that stops following loses the
            # pointer at once.
            delta = (180 if press[0] < SCREEN_PX[0] // 2 else -180,
                     90 if press[1] < SCREEN_PX[1] // 2 else -90)
            attempt = DragAttempt(press, delta, pressed=time.time())
            harness.mouse_down(*press)
            if not self.wait_quietly(lambda: harness.in_move_loop(pid)):
                harness.mouse_up()  # the press missed: the character had moved away
                attempt.took = False
                batch.append(attempt)
                continue
            start = self.x.position(ids[0])
            attempt.moving = time.time()
            for step in range(1, 5):
                harness.mouse_move(press[0] + delta[0] * step // 4,
                                   press[1] + delta[1] * step // 4)
                time.sleep(0.02)
            target = (start[0] + delta[0], start[1] + delta[1])
            if not self.wait_quietly(lambda: self.x.position(ids[0]) == target):
                attempt.problems.append(f"held at {self.x.position(ids[0])}, not {target}")
            attempt.released = time.time()
            harness.mouse_up()
            if not self.wait_quietly(lambda: not harness.in_move_loop(pid)):
                attempt.problems.append("still in the move loop after the release")
            time.sleep(0.3)  # the least the judge sees of what follows the release
            batch.append(attempt)

    @staticmethod
    def wait_quietly(condition, timeout=5.0):
        try:
            return harness.wait_until(condition, timeout=timeout, interval=0.02)
        except harness.HarnessError:
            return False


MODE_NAMES = {"直線": "straight", "浮遊": "floating", "跳ねる": "bouncing"}


@dataclasses.dataclass
class DragAttempt:
    press: tuple
    delta: tuple
    pressed: float = 0.0  # wall-clock times (time.time()), as the driver's samples have them
    moving: float = 0.0
    released: float = 0.0
    took: bool = True  # the press started a move loop
    problems: list = dataclasses.field(default_factory=list)  # seen while it was held


def window_at(windows, point):
    """The topmost window whose outline holds the point, or None."""
    for w in sorted(windows, key=lambda w: w["z"]):
        x, y = point[0] - w["rect"]["left"], point[1] - w["rect"]["top"]
        if any(r[0] <= x < r[2] and r[1] <= y < r[3] for r in ms.region_rects(w)):
            return w
    return None


def judge_drag(attempt, samples, until, may_pause):
    """'ok', 'missed' (the drag was not watched from start to end), or what went wrong with the
    drag. What follows the release is judged up to `until`, the next press. A floating
    character may be in one of its pauses when it is let go: then only its frames tell that it
    is no longer held."""
    before = [s for s in samples if s.after < attempt.pressed]
    if not attempt.took or not before or samples[-1].before < attempt.released + 0.3:
        return "missed"
    hit = window_at(before[-1].windows, attempt.press)
    if hit is None:
        return "missed"
    hwnd = hit["hwnd"]

    def state(sample):
        w = next((w for w in sample.windows if w["hwnd"] == hwnd), None)
        return w and ((w["rect"]["left"], w["rect"]["top"]), ms.region_rects(w))

    def during(start, end):
        return [state(s) for s in samples if start < s.before and s.after < end]

    held = [s for s in during(attempt.moving, attempt.released) if s]
    region = held[-1][1] if held else state(before[-1])[1]
    target = held[-1][0] if held else None
    after = [s for s in during(attempt.released + 0.03, until) if s]
    problems = list(attempt.problems)
    if not after:
        problems.append("not seen after the release")
    else:
        if {r for _, r in after} <= {region}:
            problems.append("no new frame after the release")
        if not may_pause and {pos for pos, _ in after} <= {target}:
            problems.append("did not move after the release")
    return "; ".join(problems) or "ok"
