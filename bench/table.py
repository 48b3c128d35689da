#!/usr/bin/env python3
"""Prints the benchmark table from the KEY lines the Windows benchmarks write.

Reads lines such as "STEADY mode=跳ねる cpu_per_wall=0.08 ..." on standard input (other lines are
ignored) and prints each figure beside its floor or reference and their ratio.
"""
import sys
import unicodedata

MIB = 1024 * 1024


def width(text):
    """Columns the text takes in a terminal: CJK characters take two."""
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


def pad(text, columns):
    return text + " " * (columns - width(text))


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


def main():
    rows = []
    seen = {}
    for line in sys.stdin:
        line = line.strip()
        if line.split(" ", 1)[0] in ("STARTUP", "REGION", "SWITCH", "STEADY", "INPROC", "SIZE",
                                     "MAKE"):
            tag, f = fields(line)
            seen.setdefault(tag, []).append(f)

    def row(figure, value, reference, ratio=None, note=""):
        rows.append((figure, value, reference, "" if ratio is None else ratio_text(ratio), note))

    for f in seen.get("STARTUP", []):
        p, fl = float(f["player_ms"]), float(f["floor_ms"])
        row("start-up to first shaped window", f"{p:.0f} ms", f"{fl:.0f} ms one-window program",
            p / fl, "goal ≤ 1.5")
    for f in seen.get("REGION", []):
        d, r = float(f["direct_us"]), float(f["reference_us"])
        row("region data per frame (load)", f"{d:.2f} µs", f"{r:.0f} µs per-pixel CombineRgn",
            d / r)
    for f in seen.get("SWITCH", []):
        row("ShowFrame + paint, wall", f"{float(f['paint_us']):.0f} µs",
            f"{float(f['bare_us']):.0f} µs bare SetWindowRgn + paint",
            float(f["paint_us"]) / float(f["bare_us"]))
        row("ShowFrame + paint, CPU", f"{float(f['cpu_us']):.0f} µs",
            f"{float(f['bare_cpu_us']):.0f} µs bare SetWindowRgn + paint",
            float(f["cpu_us"]) / float(f["bare_cpu_us"]))
    for f in seen.get("STEADY", []):
        mode = f.get("mode", "?")
        cpu = float(f["cpu_per_wall"])
        row(f"5 × 速い {mode}: CPU per wall second", f"{cpu * 100:.2f} %", "2 % goal", cpu / 0.02,
            f"{f['seconds']} s, {f['moves']} moves, {f['frames']} frame changes seen")
        ps, pe = int(f["private_start"]) / MIB, int(f["private_end"]) / MIB
        row(f"5 × 速い {mode}: private memory", f"{ps:.2f} → {pe:.2f} MiB", "16 MiB goal", pe / 16)
        row(f"5 × 速い {mode}: windows of the process",
            f"{f['windows_start']} → {f['windows_end']}", "flat",
            int(f["windows_end"]) / max(1, int(f["windows_start"])),
            "GetGuiResources: " + (f"{f['gdi_start']} → {f['gdi_end']} GDI" if f["gdi_start"] != "na"
                                   else "not provided by this system"))
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

    if not rows:
        print("no benchmark figures were read", file=sys.stderr)
        return 1
    header = ("figure", "value", "floor / reference", "ratio")
    widths = [max(width(r[i]) for r in rows + [header]) for i in range(4)]
    print("  ".join(pad(h, w) for h, w in zip(header, widths)))
    print("  ".join("-" * w for w in widths))
    for r in rows:
        print("  ".join(pad(c, w) for c, w in zip(r[:4], widths)) + ("  " + r[4] if r[4] else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
