#!/usr/bin/env python3
"""Steady-state benchmark, Linux side: what five running characters cost the whole machine, and
what the floor that shows the same costs.

For every mode it starts the packed character (the scene) and the floor program
(tovalin-floor-win32.exe) side by side, each through tovalin-steady-win32.exe, which sets a
private TEMP folder and TOVALIN_COUNTERS=1, waits for the five shaped windows and, when told,
reads the Windows-side figures and the shared counters ("mark") or gives the floor new rates
("rates"). After the settling time the two take turns in short slices: one is stopped (SIGSTOP)
while the other runs and is measured, so that both see the same load from the rest of the
machine, which on a shared machine moves the figures by a fifth from one minute to the next.

In each slice this script reads the CPU time of every process involved from /proc (utime + stime
of the whole thread group: the measured program's Wine process, wineserver, the X server, the
other processes of the Wine prefix) at its start and end, and watches the X server's window
moves (ConfigureNotify on the root window) to count how often the windows really changed place.
Each floor slice follows a scene slice and is given the rates that scene slice showed: its frame
switches per second (counters) and its place changes per second (X server: one per window and
motion tick, however many calls made it). It prints one STEADY line per program and mode;
bench/table.py turns them into the table.

    bench/steady.py --build BUILD --frames FOLDER --scene 跳ねる=CHARA.exe ... [--seconds 20]

With --versus MODE=CHARA.exe and --windows N, N captioned windows of another program are opened
first (the driver's "host") and each scene is measured in turns against that other scene instead
of the floor: "窓の上" against "跳ねる" on the same desktop.
"""
import argparse
import collections
import ctypes
import ctypes.util
import os
import signal
import subprocess
import sys
import threading
import time

TICKS = os.sysconf("SC_CLK_TCK")
COUNTERS = ("frame_switches", "region_changes", "repaints", "window_moves", "timer_starts",
            "timer_stops", "pump_passes", "messages")
# Two place changes of one window closer than this belong to one motion tick (the scene sets
# Left and then Top); ticks are 50 ms apart.
SAME_TICK_SECONDS = 0.02
SLICE_SECONDS = 2.0
# After a program is let run again it first catches up (an overdue timer, exposed parts to
# repaint); the slice is measured after that.
RESUME_SECONDS = 0.3
WINE_RUN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "wine-run")


def windows_path(path):
    """A Linux path as Wine's drive Z: shows it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


# ---- Processes seen from Linux ----

def read(path, binary=False):
    try:
        with open(path, "rb" if binary else "r") as f:
            return f.read()
    except OSError:
        return None


def cpu_seconds(pid):
    """utime + stime of the process (all its threads, ended ones included), or None."""
    stat = read(f"/proc/{pid}/stat")
    if stat is None:
        return None
    fields = stat[stat.rfind(")") + 2:].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def environment(pid):
    data = read(f"/proc/{pid}/environ", binary=True) or b""
    pairs = (item.split(b"=", 1) for item in data.split(b"\0") if b"=" in item)
    return {k.decode(errors="replace"): v.decode(errors="replace") for k, v in pairs}


def program_name(pid):
    """The file name of the program a process runs; Wine shows a Windows path in argv[0]."""
    argv0 = (read(f"/proc/{pid}/cmdline", binary=True) or b"").split(b"\0")[0]
    return argv0.decode(errors="replace").replace("\\", "/").rsplit("/", 1)[-1].lower()


def load_average():
    """The machine's load average over the last minute: the other work the measured programs
    share the two cores with."""
    return float((read("/proc/loadavg") or "0").split()[0])


def pids():
    return [int(name) for name in os.listdir("/proc") if name.isdigit()]


def wine_processes(prefix):
    """pid -> (kind, program) of every process of the Wine prefix."""
    found = {}
    for pid in pids():
        if environment(pid).get("WINEPREFIX") != prefix:
            continue
        try:
            exe = os.path.basename(os.readlink(f"/proc/{pid}/exe"))
        except OSError:
            continue
        if not exe.startswith("wine"):
            continue  # the X server and the tools started with the prefix in their environment
        kind = "wineserver" if exe.startswith("wineserver") else "wine"
        found[pid] = (kind, program_name(pid))
    return found


def x_server_pid(display):
    for pid in pids():
        argv = (read(f"/proc/{pid}/cmdline", binary=True) or b"").split(b"\0")
        if argv and os.path.basename(argv[0]).startswith(b"X") and display.encode() in argv[1:]:
            return pid
    return None


class Processes:
    """The processes whose CPU time a run counts, by group: player, wineserver, x, other_wine,
    helper."""

    def __init__(self, prefix, display, program, helper_pid):
        self.prefix, self.program, self.helper_pid = prefix, program.lower(), helper_pid
        self.x_pid = x_server_pid(display)
        self.groups = {}
        self.names = {}

    def classify(self, ignore=()):
        """Sorts the processes into groups; those in ignore (the other program measured in
        turns, and its helper) into none."""
        groups = {"player": [], "wineserver": [], "x": [self.x_pid] if self.x_pid else [],
                  "other_wine": [], "helper": []}
        found = wine_processes(self.prefix)
        self.names = {pid: name for pid, (_, name) in found.items()}
        if self.x_pid:
            self.names[self.x_pid] = "Xvfb"
        for pid, (kind, name) in found.items():
            if pid in ignore:
                continue
            if kind == "wineserver":
                groups["wineserver"].append(pid)
            elif pid == self.helper_pid:
                groups["helper"].append(pid)
            elif name == self.program:
                groups["player"].append(pid)
            else:
                groups["other_wine"].append(pid)
        self.groups = groups
        return groups

    def describe(self):
        """group:pid/program+... for the record."""
        names = self.names
        return ",".join(
            f"{group}:" + "+".join(f"{pid}/{names.get(pid, '?')}" for pid in members)
            for group, members in self.groups.items() if members)

    def sample(self):
        """pid -> CPU seconds for every process of every group, and the wall time."""
        values = {pid: cpu_seconds(pid) for group in self.groups.values() for pid in group}
        return time.monotonic(), values

    def cost(self, start, end):
        """CPU seconds per group between two samples, and per program of the other Wine
        processes. Classify again before the second sample: a process that started meanwhile
        then counts from 0; one that ended meanwhile is left out (its last figure is unknown)."""
        result, others = {}, {}
        for group, members in self.groups.items():
            total = 0.0
            for pid in members:
                before, after = start[1].get(pid), end[1].get(pid)
                if after is not None:
                    total += after - (before or 0.0)
                    if group == "other_wine":
                        name = self.names.get(pid, "?")
                        others[name] = others.get(name, 0.0) + after - (before or 0.0)
            result[group] = total
        return result, others


# ---- The X server's view of the moves ----

class _ConfigureEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("event", ctypes.c_ulong),
                ("window", ctypes.c_ulong), ("x", ctypes.c_int), ("y", ctypes.c_int),
                ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("above", ctypes.c_ulong),
                ("override_redirect", ctypes.c_int)]


class _Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xconfigure", _ConfigureEvent),
                ("pad", ctypes.c_long * 24)]


CONFIGURE_NOTIFY = 22
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19


class MoveWatch:
    """Every place change of a top-level window the X server reports, with the time it was
    read. Listening costs the X server one event per move, alike for the scene and the floor."""

    def __init__(self, display):
        self.events = []
        self.lock = threading.Lock()
        name = ctypes.util.find_library("X11")
        if not name:
            raise OSError("libX11 not found")
        x = ctypes.CDLL(name)
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        x.XFlush.argtypes = [ctypes.c_void_p]
        x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        self.display = x.XOpenDisplay(display.encode())
        if not self.display:
            raise OSError(f"cannot open display {display}")
        x.XSelectInput(self.display, x.XDefaultRootWindow(self.display),
                       SUBSTRUCTURE_NOTIFY_MASK)
        x.XFlush(self.display)
        self.x = x
        threading.Thread(target=self._listen, daemon=True).start()

    def _listen(self):
        event = _Event()
        while True:
            self.x.XNextEvent(self.display, ctypes.byref(event))
            if event.type == CONFIGURE_NOTIFY:
                c = event.xconfigure
                with self.lock:
                    self.events.append((time.monotonic(), c.window, c.x, c.y))

    def clear(self):
        with self.lock:
            self.events = []

    def moves(self, start, end):
        """(X moves, place changes) between two times: every configure that put a window somewhere
        new, and those changes counted once per window and motion tick."""
        with self.lock:
            events = list(self.events)
        place, tick = {}, {}
        moves = changes = 0
        for t, window, x, y in events:
            if place.get(window) == (x, y):
                continue  # a configure that did not move the window
            first_look = window not in place
            place[window] = (x, y)
            if first_look:
                continue  # where it stood before is not known
            new_tick = t - tick.get(window, float("-inf")) > SAME_TICK_SECONDS
            if new_tick:
                tick[window] = t
            if start <= t <= end:
                moves += 1
                changes += new_tick
        return moves, changes


# ---- One run ----

class Helper:
    """tovalin-steady-win32.exe running a program: "mark" answers with a MARK line, "rates F M"
    with a RATES line."""

    def __init__(self, build, arguments):
        self.process = subprocess.Popen(
            [WINE_RUN, os.path.join(build, "tovalin-steady-win32.exe"), *arguments],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, encoding="utf-8",
            errors="replace")
        ready = self._line()
        if not ready.startswith("READY "):
            self.close()
            raise RuntimeError(f"the program did not show its windows: {ready!r}")
        self.ready = fields(ready)

    def _line(self):
        line = self.process.stdout.readline()
        return line.strip()

    def command(self, text):
        """A command that answers with one line, such as "rates F M"."""
        self.process.stdin.write(text + "\n")
        self.process.stdin.flush()
        return self._line()

    def mark(self):
        line = self.command("mark")
        if not line.startswith("MARK "):
            raise RuntimeError(f"no MARK from the helper: {line!r}")
        return fields(line)

    def close(self):
        try:
            self.process.stdin.write("end\n")
            self.process.stdin.close()
        except OSError:
            pass
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def fields(line):
    return dict(pair.split("=", 1) for pair in line.split()[1:] if "=" in pair)


class Program:
    """One of the two programs measured in turns, and what its slices added up to."""

    def __init__(self, args, arguments):
        self.helper = Helper(args.build, arguments)
        self.program = os.path.basename(arguments[0].replace("\\", "/"))
        self.processes = Processes(os.environ["WINEPREFIX"], os.environ["DISPLAY"], self.program,
                                   self.helper.process.pid)
        self.cpu, self.others = collections.Counter(), collections.Counter()
        self.counts = collections.Counter()
        self.wall = self.mark_wall = self.thread_cpu = 0.0
        self.moves = self.places = 0
        self.first = self.last = None
        self.rates_given = []

    def pids(self):
        return [self.helper.process.pid] + self.processes.groups.get("player", [])

    def signal(self, number):
        for pid in self.processes.groups.get("player", []):
            os.kill(pid, number)

    def slice(self, seconds, watch, measured=True):
        """Measures one slice of this program running: its total CPU, frame switches and place
        changes per second."""
        first = self.helper.mark()
        start = self.processes.sample()
        time.sleep(seconds)
        end = self.processes.sample()
        last = self.helper.mark()
        cost, others = self.processes.cost(start, end)
        total = sum(cost[g] for g in ("player", "wineserver", "x", "other_wine"))
        wall = end[0] - start[0]
        mark_wall = float(last["wall"]) - float(first["wall"])
        frames = (int(last.get("frame_switches", 0)) - int(first.get("frame_switches", 0)))
        if watch:
            moves, places = watch.moves(start[0], end[0])
        else:
            moves, places = 0, int(last.get("window_moves", 0)) - int(first.get("window_moves", 0))
        if measured:
            self.add(first, last, cost, others, wall, mark_wall, moves, places)
        return total / wall, frames / mark_wall, places / wall

    def add(self, first, last, cost, others, wall, mark_wall, moves, places):
        self.cpu.update(cost)
        self.others.update(others)
        self.wall += wall
        self.mark_wall += mark_wall
        self.thread_cpu += float(last["thread_cpu"]) - float(first["thread_cpu"])
        for name in COUNTERS:
            if name in first and name in last:
                self.counts[name] += int(last[name]) - int(first[name])
        self.first = self.first or first
        self.last = last
        self.moves += moves
        self.places += places

    def figures(self, watched):
        wall = self.wall
        figures = {"seconds": f"{wall:.3f}"}
        for group in ("player", "wineserver", "x", "other_wine", "helper"):
            figures[group] = f"{self.cpu[group] / wall:.5f}"
        figures["total"] = "%.5f" % (sum(self.cpu[g] for g in ("player", "wineserver", "x",
                                                               "other_wine")) / wall)
        figures["win_thread_cpu"] = f"{self.thread_cpu / self.mark_wall:.5f}"
        for name in COUNTERS:
            if name in self.last:
                figures[name] = f"{self.counts[name] / self.mark_wall:.2f}"
        if watched:
            figures["x_moves"] = f"{self.moves / wall:.2f}"
            figures["x_places"] = f"{self.places / wall:.2f}"
        figures["private_start"], figures["private_end"] = self.first["private"], \
            self.last["private"]
        figures["windows_start"], figures["windows_end"] = self.first["windows"], \
            self.last["windows"]
        figures["other_by_program"] = ",".join(
            f"{name}:{seconds / wall:.5f}" for name, seconds in sorted(self.others.items())
            if seconds)
        figures["processes"] = self.processes.describe()
        return figures


def primary_only_copy(chara):
    """The same character beside itself under another name, told to keep to the primary
    monitor."""
    folder = os.path.join(os.path.dirname(os.path.abspath(chara)), "primary-only")
    os.makedirs(folder, exist_ok=True)
    copy = os.path.join(folder, os.path.basename(chara).replace(".exe", "-primary.exe"))
    with open(chara, "rb") as source, open(copy, "wb") as target:
        target.write(source.read())
    with open(os.path.join(folder, "TOVALIN.ini"), "w", encoding="ascii") as ini:
        ini.write("[Option]\r\nAllMonitors=0\r\n")
    return copy


def release(*programs):
    """Lets the programs run again and ends them."""
    for program in programs:
        if program:
            program.signal(signal.SIGCONT)
            program.helper.close()


def ratio_spread(ratios, slices, load_start, load_end):
    """How the ratios of the slice pairs spread, and the load around them."""
    ratios = sorted(ratios)
    return {"slices": str(slices), "slice_ratio_median": f"{ratios[len(ratios) // 2]:.3f}",
            "slice_ratio_min": f"{ratios[0]:.3f}", "slice_ratio_max": f"{ratios[-1]:.3f}",
            "load_start": f"{load_start:.2f}", "load_end": f"{load_end:.2f}"}


def measure(args, mode, chara, watch):
    """The scene and the floor of one mode, measured in turns; their STEADY figures. With
    --monitors the floor is the same scene kept to the primary monitor."""
    if watch:
        watch.clear()
    floor_exe = os.path.join(args.build, "tovalin-floor-win32.exe")
    moving = mode in ("直線", "浮遊", "跳ねる")
    scene = Program(args, [windows_path(chara)])
    floor = None
    try:
        if args.monitors:
            floor = Program(args, [windows_path(primary_only_copy(chara))])
        else:
            floor = Program(args, [windows_path(floor_exe), windows_path(args.frames), mode] +
                            ([] if moving else ["--moves-per-second=0"]))
        time.sleep(args.settle)
        scene.processes.classify(ignore=floor.pids())
        floor.processes.classify(ignore=scene.pids())
        if not scene.processes.groups["player"] or not floor.processes.groups["player"]:
            raise RuntimeError("the Linux processes of the scene and the floor were not found")
        slices = max(1, round(args.seconds / SLICE_SECONDS))
        ratios = []
        load_start = load_average()
        # The first round only warms up: the first slice after the settling time, when both ran
        # at once, can be far off the later ones (1.7 times them in one trial).
        for round_ in range(slices + 1):
            measured = round_ > 0
            floor.signal(signal.SIGSTOP)
            scene.signal(signal.SIGCONT)
            time.sleep(RESUME_SECONDS)
            scene_total, frames, places = scene.slice(args.seconds / slices, watch, measured)
            scene.signal(signal.SIGSTOP)
            floor.signal(signal.SIGCONT)
            moves = places if moving else 0
            if not args.monitors and \
                    floor.helper.command(f"rates {frames:.3f} {moves:.3f}") != "RATES set":
                raise RuntimeError("the floor did not take its new rates")
            time.sleep(RESUME_SECONDS)
            floor_total, _, _ = floor.slice(args.seconds / slices, watch, measured)
            if measured:
                floor.rates_given.append((frames, moves))
                ratios.append(scene_total / floor_total if floor_total else float("nan"))
        load_end = load_average()
    finally:
        release(scene, floor)
    spread = ratio_spread(ratios, slices, load_start, load_end)
    paced = {"slices": str(slices),
             "paced_frames": "%.2f" % (sum(f for f, _ in floor.rates_given) / slices),
             "paced_moves": "%.2f" % (sum(m for _, m in floor.rates_given) / slices)}
    return {**spread, **scene.figures(watch is not None)}, {**paced,
                                                             **floor.figures(watch is not None)}


def open_windows(build, count):
    """`count` captioned windows of another program, in rows across the screen, once they are
    all shown; the process that holds them."""
    rects = []
    for i in range(count):
        column, row = i % 5, i // 5
        rects += ["--rect", f"{30 + column * 250},{330 + row * 260},{200 + 10 * column},180"]
    driver = os.path.join(build, "tovalin-driver.exe")
    host = subprocess.Popen([WINE_RUN, driver, "host", *rects], stdout=subprocess.DEVNULL)
    shown = subprocess.run([WINE_RUN, driver, "windows", "--class", "tovalin.test.Ledge",
                            "--count", str(count), "--wait", "30000"], stdout=subprocess.PIPE)
    if shown.returncode != 0:
        host.kill()
        raise RuntimeError(f"the {count} windows did not appear: {shown.stdout[:200]!r}")
    return host


def measure_versus(args, mode, chara, versus, watch):
    """Two scenes measured in turns on the same desktop; the second stands where the floor
    stands in measure()."""
    if watch:
        watch.clear()
    first = Program(args, [windows_path(chara)])
    second = None
    try:
        second = Program(args, [windows_path(versus)])
        time.sleep(args.settle)
        first.processes.classify(ignore=second.pids())
        second.processes.classify(ignore=first.pids())
        slices = max(1, round(args.seconds / SLICE_SECONDS))
        ratios = []
        load_start = load_average()
        for round_ in range(slices + 1):  # the first round only warms up, as in measure()
            measured = round_ > 0
            totals = []
            for running, stopped in ((first, second), (second, first)):
                stopped.signal(signal.SIGSTOP)
                running.signal(signal.SIGCONT)
                time.sleep(RESUME_SECONDS)
                totals.append(running.slice(args.seconds / slices, watch, measured)[0])
            if measured:
                ratios.append(totals[0] / totals[1] if totals[1] else float("nan"))
        load_end = load_average()
    finally:
        release(first, second)
    spread = ratio_spread(ratios, slices, load_start, load_end)
    return {**spread, **first.figures(watch is not None)}, second.figures(watch is not None)


def line(mode, who, figures, extra=None):
    items = {"mode": mode, "who": who, **(extra or {}), **figures}
    return "STEADY " + " ".join(f"{k}={v}" for k, v in items.items())


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="the mingw64 build folder")
    parser.add_argument("--frames", required=True, help="the sample frames folder")
    parser.add_argument("--scene", action="append", required=True, metavar="MODE=CHARA.exe")
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--settle", type=float, default=5)
    parser.add_argument("--dpi", type=int, default=96,
                        help="the display's resolution the Wine session was started with")
    parser.add_argument("--monitors", type=int, default=0,
                        help="the session's monitors: the scene on all of them is measured "
                             "against the same scene kept to the primary")
    parser.add_argument("--versus", metavar="MODE=CHARA.exe",
                        help="measure against this scene instead of the floor")
    parser.add_argument("--windows", type=int, default=0,
                        help="captioned windows of another program open meanwhile")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    try:
        watch = MoveWatch(os.environ["DISPLAY"])
    except OSError as e:
        print(f"note: the X server's moves are not watched ({e}); the floor's move rate "
              "follows the scene's move counter", file=sys.stderr)
        watch = None
    host = open_windows(args.build, args.windows) if args.windows else None
    try:
        for item in args.scene:
            mode, chara = item.split("=", 1)
            extra = {"dpi": args.dpi} if args.dpi != 96 else {}
            if args.monitors:
                extra["monitors"] = args.monitors
            if args.versus:
                versus_mode, versus_chara = args.versus.split("=", 1)
                scene, floor = measure_versus(args, mode, chara, versus_chara, watch)
                extra.update({"windows": args.windows, "versus": versus_mode})
            else:
                scene, floor = measure(args, mode, chara, watch)
            print(line(mode, "scene", scene, extra), flush=True)
            print(line(mode, "primary" if args.monitors else "floor", floor, extra),
                  flush=True)
    finally:
        if host:
            host.kill()
            host.wait()
    return 0


if __name__ == "__main__":
    sys.exit(main())
