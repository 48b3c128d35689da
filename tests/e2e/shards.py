"""Splits the end-to-end tests into parts that run side by side, each on its own X display with
its own Wine prefix (and so its own wineserver).

A test class stays whole: its tests share set-ups and helpers, and a class is what the table of
expected seconds (class-seconds.txt beside this file, one "CLASS SECONDS" line per class) knows.
The longest classes are dealt out first, each to the part expected to end first; a class the
table does not know yet (a new test file) counts as UNKNOWN_SECONDS and is dealt out last, in
name order, the same way: new classes go to the shorter parts without anyone editing a list.
`run_e2e.py --save-seconds` writes what a run measured back into the table.
"""

import re
from pathlib import Path

TABLE = Path(__file__).resolve().parent / "class-seconds.txt"
UNKNOWN_SECONDS = 60.0


def class_of(test_id):
    """The class part of a test id: "test_motion.StillMode.test_x" -> "test_motion.StillMode"."""
    return test_id.rsplit(".", 1)[0]


def parse_part(text):
    """"I/N" (1 <= I <= N) -> (I, N)."""
    match = re.fullmatch(r"(\d+)/(\d+)", text.strip())
    if not match or not 1 <= int(match.group(1)) <= int(match.group(2)):
        raise ValueError(f"a part is I/N with 1 <= I <= N, not {text!r}")
    return int(match.group(1)), int(match.group(2))


def read_table(path=TABLE):
    """{class: expected seconds}; no table is an empty one."""
    table = {}
    if not Path(path).is_file():
        return table
    for number, line in enumerate(Path(path).read_text(encoding="utf-8").splitlines(), 1):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        fields = line.split()
        if len(fields) != 2:
            raise ValueError(f"{path}:{number}: expected 'CLASS SECONDS', got {line!r}")
        table[fields[0]] = float(fields[1])
    return table


def write_table(measured, path=TABLE):
    """Merges {class: seconds} into the table: measured classes take the new figure, the others
    keep theirs (a partial run updates what it ran)."""
    table = read_table(path)
    table.update(measured)
    lines = ["# Seconds each end-to-end test class took in a full run; the parts that run side",
             "# by side are balanced by them. Rewrite with: run_e2e.py --save-seconds"]
    lines += [f"{name} {seconds:.0f}" for name, seconds in sorted(table.items())]
    Path(path).write_text("\n".join(lines) + "\n", encoding="utf-8")


def split(classes, parts, expected):
    """Deals the classes out into `parts` lists, balanced by expected seconds."""
    classes = sorted(set(classes))
    known = sorted((c for c in classes if c in expected), key=lambda c: (-expected[c], c))
    unknown = [c for c in classes if c not in expected]
    loads = [0.0] * parts
    dealt = [[] for _ in range(parts)]
    for name in known + unknown:
        shortest = min(range(parts), key=lambda i: (loads[i], i))
        dealt[shortest].append(name)
        loads[shortest] += expected.get(name, UNKNOWN_SECONDS)
    return dealt
