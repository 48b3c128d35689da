#!/usr/bin/env python3
"""Prints the benchmark table from the KEY lines the benchmarks write.

Reads lines such as "STEADY mode=跳ねる who=scene player=0.16 ..." on standard input (other lines
are ignored) and prints three blocks of one table: the steady state's CPU per mode, scene against
floor; the work per second behind it; every other figure beside its floor or reference.
"""
import sys
import unicodedata

MIB = 1024 * 1024
STEADY_GOAL = 1.25
STARTUP_GOAL = 1.2  # against the work floor
TAGS = ("STARTUP", "REGION", "SWITCH", "STEADY", "INPROC", "SIZE", "MAKE", "AWAY")
AWAY_GOAL = 0.1  # % of one core while nobody watches


def width(text):
    """Columns the text takes in a terminal: CJK characters take two."""
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


def pad(text, columns, right=False):
    space = " " * (columns - width(text))
    return space + text if right else text + space


def ratio_text(value):
    return f"{value:.2f}" if value >= 0.1 else f"{value:.4f}"


def fields(line):
    tag, *pairs = line.split()
    return tag, dict(p.split("=", 1) for p in pairs if "=" in p)


def make_character_rows(seen, row):
    """Making a character as the studio does, against copying the player alone."""
    for f in seen.get("MAKE", []):
        make, copy, goal = float(f["make_ms"]), float(f["copy_ms"]), float(f["goal_ms"])
        row(f"make a character: {f['frames']} PNG frames of {f['side']} px", f"{make:.0f} ms",
            f"{goal:.0f} ms goal", make / goal,
            f"decode {float(f['decode_ms']):.0f} + core {float(f['core_ms']):.0f} + write "
            f"{float(f['write_ms']):.0f} ms")
        row("make a character against copying the player", f"{make:.0f} ms",
            f"{copy:.1f} ms copy of the player", make / copy)


def block(header, rows, numeric_from=1):
    """The rows under the header, columns padded; columns from numeric_from on right-aligned."""
    widths = [max(width(r[i]) for r in rows + [header]) for i in range(len(header))]
    out = ["  ".join(pad(h, w, i >= numeric_from) for i, (h, w) in enumerate(zip(header, widths)))]
    out.append("  ".join("-" * w for w in widths))
    for r in rows:
        out.append("  ".join(pad(c, w, i >= numeric_from)
                             for i, (c, w) in enumerate(zip(r, widths))).rstrip())
    return out


def percent(f, key):
    return f"{float(f[key]) * 100:.2f} %" if key in f else "n/a"


def steady_blocks(runs):
    """The CPU block and the work block of the steady state, scene and floor of each mode."""
    by_mode = {}
    for f in (f for f in runs if "monitors" not in f):  # those have rows of their own
        mode = f.get("mode", "?") + (f" {f['dpi']} dpi" if "dpi" in f else "")
        if "versus" in f:
            mode += f", {f['windows']} windows"
        by_mode.setdefault(mode, {})[f.get("who", "scene")] = f
    cpu_rows, work_rows = [], []
    for mode, pair in by_mode.items():
        scene, floor = pair.get("scene"), pair.get("floor")
        for who, f in (("scene", scene), ("floor", floor)):
            if f is None:
                continue
            ratio = note = ""
            if who == "scene" and floor is not None:
                r = float(scene["total"]) / float(floor["total"])
                ratio = ratio_text(r)
                note = f"goal ≤ {STEADY_GOAL}" + ("" if r <= STEADY_GOAL else " (not met)")
                if "slice_ratio_median" in scene:
                    note += (f"; {scene['slices']} slice pairs: median "
                             f"{float(scene['slice_ratio_median']):.2f}, "
                             f"{float(scene['slice_ratio_min']):.2f}–"
                             f"{float(scene['slice_ratio_max']):.2f}")
                if "load_start" in scene:
                    note += f"; load {scene['load_start']} → {scene['load_end']}"
            # Measured against another scene on the same desktop instead of the floor.
            shown = f.get("versus", who) if who == "floor" else who
            cpu_rows.append([mode if who == "scene" else "", shown, percent(f, "player"),
                             percent(f, "wineserver"), percent(f, "x"), percent(f, "other_wine"),
                             percent(f, "total"), ratio, percent(f, "win_thread_cpu"),
                             f"{float(f['seconds']):.1f} s", note])
            work_rows.append([mode if who == "scene" else "", shown] + [
                f.get(k, "") for k in ("frame_switches", "region_changes", "repaints",
                                       "window_moves", "x_moves", "x_places", "timer_starts",
                                       "timer_stops", "pump_passes", "messages")])
    cpu = block(["mode", "who", "player", "wineserver", "X server", "other Wine", "total",
                 "ratio", "GetThreadTimes", "measured", ""], cpu_rows, numeric_from=2)
    work = block(["mode", "who", "frames", "regions", "repaints", "moves", "X moves",
                  "new places", "timer on", "timer off", "pump passes", "pump msgs"],
                 work_rows, numeric_from=2)
    return cpu, work


def resolution_rows(seen, row):
    """The scene at a high resolution against the same scene at 96 dpi."""
    runs = [f for f in seen.get("STEADY", []) if "monitors" not in f]
    at96 = {f["mode"]: f for f in runs if f.get("who") == "scene" and "dpi" not in f}
    for f in runs:
        if f.get("who") == "scene" and "dpi" in f and f["mode"] in at96:
            high, low = float(f["total"]), float(at96[f["mode"]]["total"])
            row(f"5 × 速い {f['mode']} at {f['dpi']} dpi: total CPU", f"{high * 100:.2f} %",
                f"{low * 100:.2f} % at 96 dpi", high / low)


MONITORS_GOAL = 1.05


def monitor_rows(seen, row):
    """The scene on every monitor against the same scene kept to the primary."""
    runs = [f for f in seen.get("STEADY", []) if "monitors" in f]
    primary = {f["mode"]: f for f in runs if f.get("who") == "primary"}
    for f in runs:
        if f.get("who") == "scene" and f["mode"] in primary:
            every, one = float(f["total"]), float(primary[f["mode"]]["total"])
            r = every / one
            row(f"5 × 速い {f['mode']} on {f['monitors']} monitors: total CPU",
                f"{every * 100:.2f} %", f"{one * 100:.2f} % on the primary alone", r,
                f"goal ≤ {MONITORS_GOAL}" + ("" if r <= MONITORS_GOAL else " (not met)"))


def away_rows(seen, row):
    """What the player costs while nobody watches, against the running scene."""
    states = {f["state"]: f for f in seen.get("AWAY", [])}
    running = states.get("running")
    for state, label in (("locked", "while the session is locked"),
                         ("fullscreen", "behind a full-screen window"),
                         ("displayoff", "while the display is off")):
        f = states.get(state)
        if not f:
            continue
        player = float(f["player"])
        reference = f"{AWAY_GOAL:.1f} % goal"
        if running:
            reference += f"; {float(running['player']) * 100:.2f} % running"
        row(f"5 × 速い 跳ねる {label}: player CPU", f"{player * 100:.3f} %", reference,
            player * 100 / AWAY_GOAL,
            f"wineserver {float(f['wineserver']) * 100:.3f} %, X {float(f['x']) * 100:.3f} %")


def figure_rows(seen):
    rows = []

    def row(figure, value, reference, ratio=None, note=""):
        rows.append([figure, value, reference, "" if ratio is None else ratio_text(ratio), note])

    for f in seen.get("STARTUP", []):
        p, fl = float(f["player_ms"]), float(f["floor_ms"])
        row("start-up to first shaped window", f"{p:.0f} ms", f"{fl:.0f} ms one-window program",
            p / fl, f"median of {f.get('runs', '?')}")
        if "work_floor_ms" in f:
            w = float(f["work_floor_ms"])
            r = p / w
            row("start-up against the work it cannot leave out", f"{p:.0f} ms",
                f"{w:.0f} ms unpack + tray icon + shaped window", r,
                f"goal ≤ {STARTUP_GOAL}" + ("" if r <= STARTUP_GOAL else " (not met)"))
    for f in seen.get("REGION", []):
        d, r = float(f["direct_us"]), float(f["reference_us"])
        row("region data per frame (load)", f"{d:.2f} µs", f"{r:.0f} µs per-pixel CombineRgn",
            d / r)
    for f in seen.get("SWITCH", []):
        row("ShowFrame + paint, wall", f"{float(f['paint_us']):.0f} µs",
            f"{float(f['bare_us']):.0f} µs bare SetWindowRgn + paint",
            float(f["paint_us"]) / float(f["bare_us"]))
        row("ShowFrame + paint, CPU (GetThreadTimes)", f"{float(f['cpu_us']):.0f} µs",
            f"{float(f['bare_cpu_us']):.0f} µs bare SetWindowRgn + paint",
            float(f["cpu_us"]) / float(f["bare_cpu_us"]))
    for f in seen.get("STEADY", []):
        if f.get("who") != "scene" or "private_start" not in f:
            continue
        mode = f.get("mode", "?") + (f" at {f['dpi']} dpi" if "dpi" in f else "") + \
            (f" on {f['monitors']} monitors" if "monitors" in f else "")
        ps, pe = int(f["private_start"]) / MIB, int(f["private_end"]) / MIB
        row(f"5 × 速い {mode}: private memory", f"{ps:.2f} → {pe:.2f} MiB", "16 MiB goal", pe / 16)
        row(f"5 × 速い {mode}: windows of the process",
            f"{f['windows_start']} → {f['windows_end']}", "flat",
            int(f["windows_end"]) / max(1, int(f["windows_start"])))
    for f in seen.get("INPROC", []):
        mode = f.get("mode", "?")
        row(f"5 × 速い {mode} in-process: GDI objects", f"{f['gdi_start']} → {f['gdi_end']}",
            "flat", int(f["gdi_end"]) / max(1, int(f["gdi_start"])),
            f"windows {f['windows_start']} → {f['windows_end']}")
    for f in seen.get("SIZE", []):
        size = int(f["bytes"])
        reference = int(f["reference"])
        if f["what"] == "player_stub":
            row("size: player stub", f"{size / 1024:.0f} KiB", "1 MiB goal", size / reference)
        else:
            row("size: packed sample", f"{size / 1024:.0f} KiB",
                f"{reference / 1024:.0f} KiB stub + icon + frames", size / reference)
    make_character_rows(seen, row)
    resolution_rows(seen, row)
    monitor_rows(seen, row)
    away_rows(seen, row)
    return rows


def main():
    seen = {}
    for line in sys.stdin:
        line = line.strip()
        if line.split(" ", 1)[0] in TAGS:
            tag, f = fields(line)
            seen.setdefault(tag, []).append(f)
    if not seen:
        print("no benchmark figures were read", file=sys.stderr)
        return 1
    out = []
    if "STEADY" in seen:
        cpu, work = steady_blocks(seen["STEADY"])
        out.append("Steady state, five characters at 速い: CPU time per wall second, in % of one "
                   "core, from Linux /proc; total = player + wineserver + X server + other Wine; "
                   "ratio = scene total / floor total;")
        out.append("GetThreadTimes = the player's threads as Windows reports them (Windows-side, "
                   "for comparison only); measured = wall time in the slices counted")
        out += cpu
        out.append("")
        out.append("Work per second (the player's counters; X moves and new places: the X "
                   "server's ConfigureNotify)")
        out += work
        out.append("")
    rows = figure_rows(seen)
    if rows:
        out += block(["figure", "value", "floor / reference", "ratio", ""], rows, numeric_from=9)
    print("\n".join(line.rstrip() for line in out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
