#!/usr/bin/env python3
"""Profile of the running player against the floor: where its server round trips come from.

Runs one mode's character (the scene) and then the floor at the scene's rates, as bench/steady.py
does, twice:

1. with a wineserver that traces every request (wineserver -d1): the requests each program's
   threads make per second between the two marks, side by side;
2. with a plain wineserver, under perf (if installed): where the player's process spends its
   CPU time (shared objects, entry points of Wine's Unix side, the player's own functions, named
   from its unstripped twin tovalin-player-symbols.exe).

The tracing server is much slower than a plain one, so the first run's rates are lower; compare
the programs with each other, not with the steady-state table.

    bench/profile.py --build BUILD --frames FOLDER --scene 跳ねる=CHARA.exe [--seconds 10]
"""
import argparse
import bisect
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import steady  # noqa: E402  (the same helper, move watch and paths)

WINESERVER = os.environ.get("WINESERVER", "/usr/lib/wine/wineserver64")
MINGW = "x86_64-w64-mingw32-"
PERF_RATE = 999  # samples per second


def stop_server():
    subprocess.run([WINESERVER, "-k"], stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVER, "-w"])


def start_server(trace=None):
    """A persistent wineserver; with trace, one that writes every request to that file."""
    stop_server()
    if trace is None:
        subprocess.run([WINESERVER, "-p"], check=True)
        return None
    server = subprocess.Popen([WINESERVER, "-f", "-p", "-d1"], stderr=open(trace, "w"))
    time.sleep(0.5)
    return server


def run_program(args, arguments, watch, during=None):
    """Starts the program through the helper, lets it settle, marks, waits (or runs during(pid)
    with the program's Linux pid), marks; its Windows pid and the two MARK lines."""
    if watch:
        watch.clear()
    helper = steady.Helper(args.build, arguments)
    try:
        time.sleep(args.settle)
        processes = steady.Processes(os.environ["WINEPREFIX"], os.environ["DISPLAY"],
                                     os.path.basename(arguments[0].replace("\\", "/")),
                                     helper.process.pid)
        processes.classify()
        first = helper.mark()
        start = time.monotonic()
        if during and processes.groups["player"]:
            during(processes.groups["player"][0])
        else:
            time.sleep(args.seconds)
        end = time.monotonic()
        last = helper.mark()
    finally:
        helper.close()
    places = watch.moves(start, end)[1] / (end - start) if watch else 0
    return int(helper.ready["pid"]), first, last, places


def floor_arguments(args, mode, first, last, places):
    """The floor's command line at the scene's measured rates."""
    seconds = float(last["wall"]) - float(first["wall"])
    frames = (int(last["frame_switches"]) - int(first["frame_switches"])) / seconds
    arguments = [steady.windows_path(os.path.join(args.build, "tovalin-floor-win32.exe")),
                 steady.windows_path(args.frames), mode, f"--frames-per-second={frames:.3f}"]
    if places > 0:
        arguments.append(f"--moves-per-second={places:.3f}")
    return arguments


# ---- Requests ----

def requests_between(trace, pid):
    """Requests per name of the process with this Windows pid, and of all other processes,
    between the first two times the helper opened the process's counters (its marks)."""
    unix_pid_of_thread, unix_pid = {}, None
    marks = 0
    mapping = f"tovalin-counters-{pid}"
    counts, others = collections.Counter(), collections.Counter()
    with open(trace, errors="replace") as f:
        for line in f:
            m = re.match(r"^([0-9a-f]{4}): (\w+)\(", line)
            if not m:
                continue
            thread, request = m.groups()
            if request in ("init_first_thread", "init_thread"):
                n = re.search(r"unix_pid=(\d+)", line)
                if n:
                    unix_pid_of_thread[thread] = int(n.group(1))
            elif request == "open_mapping" and mapping in line:
                marks += 1
                if marks == 2:
                    break
            if re.match(rf"^{thread}: init_first_thread\(\) = 0 {{ pid={pid:04x},", line):
                unix_pid = unix_pid_of_thread.get(thread)
            if marks == 1 and not line.startswith(f"{thread}: {request}() ="):
                if unix_pid is not None and unix_pid_of_thread.get(thread) == unix_pid:
                    counts[request] += 1
                else:
                    others[request] += 1
    if unix_pid is None or marks < 2:
        raise RuntimeError(f"the trace holds no measured run of process {pid:04x}")
    return counts, others


def request_report(args, mode, chara):
    trace_dir = tempfile.mkdtemp(prefix="tovalin-profile-")
    trace = os.path.join(trace_dir, "server.log")
    server = start_server(trace)
    try:
        watch = steady.MoveWatch(os.environ["DISPLAY"])
        pid, first, last, places = run_program(args, [steady.windows_path(chara)], watch)
        seconds = float(last["wall"]) - float(first["wall"])
        scene, scene_others = requests_between(trace, pid)
        floor_pid, ffirst, flast, _ = run_program(
            args, floor_arguments(args, mode, first, last, places), watch)
        fseconds = float(flast["wall"]) - float(ffirst["wall"])
        floor, floor_others = requests_between(trace, floor_pid)
    finally:
        subprocess.run([WINESERVER, "-k"], stderr=subprocess.DEVNULL)
        server.wait()
        shutil.rmtree(trace_dir, ignore_errors=True)

    def per_second(counter, name, span):
        return counter.get(name, 0) / span

    out = [f"Server requests per second, {mode}: scene {seconds:.1f} s, floor {fseconds:.1f} s "
           "(tracing wineserver: rates lower than in the table)"]
    for label, a, b in (("scene", first, last), ("floor", ffirst, flast)):
        span = float(b["wall"]) - float(a["wall"])
        rates = ", ".join(f"{k} {(int(b[k]) - int(a[k])) / span:.1f}" for k in steady.COUNTERS
                          if k in a and k in b)
        out.append(f"  {label} counters per second: {rates}")
    names = sorted(set(scene) | set(floor), key=lambda n: -per_second(scene, n, seconds))
    rows = [[n, f"{per_second(scene, n, seconds):.1f}", f"{per_second(floor, n, fseconds):.1f}"]
            for n in names]
    rows.append(["all requests of the program", f"{sum(scene.values()) / seconds:.1f}",
                 f"{sum(floor.values()) / fseconds:.1f}"])
    rows.append(["all requests of other processes", f"{sum(scene_others.values()) / seconds:.1f}",
                 f"{sum(floor_others.values()) / fseconds:.1f}"])
    out += ["  " + r for r in steady_block(["request", "scene", "floor"], rows)]
    return out


def steady_block(header, rows):
    widths = [max(len(r[i]) for r in rows + [header]) for i in range(len(header))]
    lines = ["  ".join(c.rjust(w) if i else c.ljust(w) for i, (c, w) in
                       enumerate(zip(header, widths)))]
    lines.append("  ".join("-" * w for w in widths))
    lines += ["  ".join(c.rjust(w) if i else c.ljust(w) for i, (c, w) in enumerate(zip(r, widths)))
              for r in rows]
    return lines


# ---- perf ----

def same_code(build):
    """True when the shipped player and its unstripped twin hold the same code at the same
    addresses, so that the twin's symbols name the shipped player's addresses."""
    def text(exe):
        header = subprocess.run([MINGW + "objdump", "-h", exe], capture_output=True,
                                text=True).stdout
        vma = re.search(r"\.text\s+\S+\s+(\S+)", header)
        with tempfile.NamedTemporaryFile() as f:
            subprocess.run([MINGW + "objcopy", "-O", "binary", "-j", ".text", exe, f.name],
                           check=True)
            return (vma.group(1) if vma else None), f.read()
    return text(os.path.join(build, "tovalin-player.exe")) == text(
        os.path.join(build, "tovalin-player-symbols.exe"))


def player_symbols(build):
    out = subprocess.run([MINGW + "nm", "-n", "-C", os.path.join(build,
                                                                  "tovalin-player-symbols.exe")],
                         capture_output=True, text=True).stdout
    table = []
    for line in out.splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[1] in "tT":
            table.append((int(parts[0], 16), parts[2]))
    return table


def perf_lines(data, *options):
    out = subprocess.run(["perf", "report", "-i", data, "--stdio", "-g", "none", *options],
                         capture_output=True, text=True).stdout
    return [line for line in out.splitlines() if line.strip() and not line.startswith("#")]


def perf_report(data, label, symbols):
    out = [f"  {label}: where the process's CPU time goes (perf, cpu-clock, {PERF_RATE} Hz, "
           "DWARF call chains)"]
    out.append("    self time by shared object:")
    out += ["      " + line.strip() for line in perf_lines(data, "--no-children",
                                                            "--sort", "dso")[:10]]
    out.append("    time including callees, named entry points (Wine's Unix side, libc, X):")
    named = []
    for line in perf_lines(data, "--children", "--sort", "sym"):
        m = re.match(r"\s*([\d.]+)%\s+([\d.]+)%\s+\[[.k]\]\s+(.*)", line)
        if m and not m.group(3).startswith("0x"):
            named.append((float(m.group(1)), m.group(3)))
    out += [f"      {share:6.2f} %  {name}" for share, name in named[:25]]
    own = collections.Counter()
    total_own = 0.0
    for line in perf_lines(data, "--no-children", "--sort", "dso,sym"):
        m = re.match(r"\s*([\d.]+)%\s+\[JIT\].*\s0x([0-9a-f]+)$", line)
        if not m or not symbols:
            continue
        address = int(m.group(2), 16)
        i = bisect.bisect_right([a for a, _ in symbols], address) - 1
        if i >= 0 and address - symbols[i][0] < 0x10000:
            own[symbols[i][1]] += float(m.group(1))
            total_own += float(m.group(1))
    out.append(f"    the player's own code: {total_own:.2f} % of the process's time")
    out += [f"      {share:6.2f} %  {name}" for name, share in own.most_common(8)]
    return out


def perf_profile(args, mode, chara):
    if not shutil.which("perf"):
        return ["perf is not installed: no CPU profile (apt-get install linux-perf)"]
    symbols = player_symbols(args.build) if same_code(args.build) else []
    out = [f"CPU profile of the player's process, {mode}, {args.seconds:.0f} s"]
    if not symbols:
        out.append("  (the unstripped twin does not match the player: its functions are unnamed)")
    start_server()
    watch = steady.MoveWatch(os.environ["DISPLAY"])
    data_dir = tempfile.mkdtemp(prefix="tovalin-perf-")
    try:
        def record(name):
            def during(pid):
                subprocess.run(["perf", "record", "-q", "-e", "cpu-clock", "-F", str(PERF_RATE),
                                "--call-graph", "dwarf,16384", "-p", str(pid), "-o",
                                os.path.join(data_dir, name), "--", "sleep", str(args.seconds)],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            return during
        _, first, last, places = run_program(args, [steady.windows_path(chara)], watch,
                                             record("scene.data"))
        run_program(args, floor_arguments(args, mode, first, last, places), watch,
                    record("floor.data"))
        out += perf_report(os.path.join(data_dir, "scene.data"), "scene", symbols)
        out += perf_report(os.path.join(data_dir, "floor.data"), "floor", [])
    finally:
        shutil.rmtree(data_dir, ignore_errors=True)
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="the mingw64 build folder")
    parser.add_argument("--frames", required=True, help="the sample frames folder")
    parser.add_argument("--scene", required=True, metavar="MODE=CHARA.exe")
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--settle", type=float, default=5)
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    mode, chara = args.scene.split("=", 1)
    report = request_report(args, mode, chara) + [""] + perf_profile(args, mode, chara)
    print("\n".join(report))
    return 0


if __name__ == "__main__":
    sys.exit(main())
