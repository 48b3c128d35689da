#!/usr/bin/python3
"""Runs the end-to-end tests (tests/e2e/test_*.py) in one process.

    run_e2e.py [--build DIR] [--artifacts DIR] [--windows mingw64|mingw] [-k PATTERN]...
               [--part I/N] [--save-seconds]

-k selects tests whose id contains PATTERN (or matches it as a shell pattern with * ?).
--part runs the I-th of N parts of the selection, whole classes balanced by the seconds
class-seconds.txt expects (shards.py); each part wants its own DISPLAY and WINEPREFIX.
Ends with "e2e: N passed, N failed, N skipped"; the exit status is 1 when anything failed.
"""

import argparse
import random
import sys
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import harness  # noqa: E402
import shards  # noqa: E402


class Result(unittest.TestResult):
    def __init__(self):
        super().__init__()
        self.passed = 0
        self._started = 0.0
        self.class_seconds = {}

    def _line(self, status, test, detail="", name=None):
        took = time.monotonic() - self._started
        name = name or test.id()
        print(f"{status:4} {name} ({took:.1f} s){': ' + detail if detail else ''}", flush=True)

    def startTest(self, test):
        super().startTest(test)
        self._started = time.monotonic()

    def stopTest(self, test):
        super().stopTest(test)
        name = shards.class_of(test.id())
        took = time.monotonic() - self._started
        self.class_seconds[name] = self.class_seconds.get(name, 0.0) + took

    def addSuccess(self, test):
        super().addSuccess(test)
        self.passed += 1
        self._line("PASS", test)

    def _failed(self, test, err, kind, name=None):
        # The windows are still up here (clean-up runs later): keep a picture of them.
        shot = getattr(test, "failure_screenshot", None)
        if shot:
            shot()
        self._line(kind, test, name=name)
        print(self._exc_info_to_string(err, test), flush=True)

    def addFailure(self, test, err):
        super().addFailure(test, err)
        self._failed(test, err, "FAIL")

    def addError(self, test, err):
        super().addError(test, err)
        self._failed(test, err, "ERR")

    def addSubTest(self, test, subtest, err):
        super().addSubTest(test, subtest, err)
        if err is not None:
            failure = issubclass(err[0], test.failureException)
            self._failed(test if failure else subtest, err, "FAIL" if failure else "ERR",
                         name=subtest.id())

    def addSkip(self, test, reason):
        super().addSkip(test, reason)
        self._line("SKIP", test, reason)

    def addUnexpectedSuccess(self, test):
        super().addUnexpectedSuccess(test)
        self._line("FAIL", test, "unexpected success")

    def addExpectedFailure(self, test, err):
        super().addExpectedFailure(test, err)
        self.passed += 1
        self._line("PASS", test, "expected failure")


def flattened(suite):
    for test in suite:
        if isinstance(test, unittest.TestSuite):
            yield from flattened(test)
        else:
            yield test


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", type=Path, default=harness.REPO / "build")
    parser.add_argument("--artifacts", type=Path, default=None)
    parser.add_argument("--windows", default=None,
                        help="Windows build folder under --build (default mingw64, the twin)")
    parser.add_argument("-k", dest="patterns", action="append", default=[],
                        help="only tests whose id contains this (repeatable)")
    parser.add_argument("--shuffle", type=int, metavar="SEED", default=None,
                        help="run the tests in an order drawn from SEED (no test may rely on "
                             "another having run before it)")
    parser.add_argument("--part", type=shards.parse_part, metavar="I/N", default=None,
                        help="run only the I-th of N parts (whole classes, balanced by "
                             "class-seconds.txt; a class it does not know goes to the part "
                             "expected to end first)")
    parser.add_argument("--save-seconds", action="store_true",
                        help="write each class's seconds from this run into class-seconds.txt")
    args = parser.parse_args(argv)

    cfg = harness.configure(args.build, args.artifacts, args.windows)
    loader = unittest.TestLoader()
    if args.patterns:
        loader.testNamePatterns = [p if any(c in p for c in "*?[") else f"*{p}*"
                                   for p in args.patterns]
    suite = loader.discover(str(HERE), pattern="test_*.py", top_level_dir=str(HERE))
    if suite.countTestCases() == 0:
        print("e2e: no tests selected")
        print("e2e: 0 passed, 0 failed, 0 skipped")
        return 1
    if args.part is not None:
        suite, note = part_of(suite, *args.part)
        print(f"e2e: {note}", flush=True)
    if args.shuffle is not None:
        tests = list(flattened(suite))
        random.Random(args.shuffle).shuffle(tests)
        print(f"e2e: order drawn from seed {args.shuffle}", flush=True)
        suite = unittest.TestSuite(tests)

    started = time.monotonic()
    reason = harness.gui_unavailable()
    if reason:
        print(f"GUI tests will be skipped: {reason}", flush=True)
    else:
        harness.start_wine()
        print(f"Wine prefix {cfg.env['WINEPREFIX']} on display {cfg.display}; "
              f"artifacts in {cfg.artifacts}", flush=True)
    result = Result()
    try:
        suite.run(result)
    finally:
        harness.kill_all_launched()
    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    print(f"({time.monotonic() - started:.1f} s)")
    if args.save_seconds:
        shards.write_table(result.class_seconds)
        print(f"e2e: seconds of {len(result.class_seconds)} classes written to {shards.TABLE}")
    print(f"e2e: {result.passed} passed, {failed} failed, {len(result.skipped)} skipped")
    return 1 if failed else 0


def part_of(suite, index, parts):
    """The tests of the index-th of `parts` parts (whole classes, shards.split), in the order
    discovery gave them, and a line that tells what the part holds."""
    tests = list(flattened(suite))
    expected = shards.read_table()
    dealt = shards.split({shards.class_of(t.id()) for t in tests}, parts, expected)
    mine = set(dealt[index - 1])
    seconds = sum(expected.get(c, shards.UNKNOWN_SECONDS) for c in mine)
    return (unittest.TestSuite(t for t in tests if shards.class_of(t.id()) in mine),
            f"part {index}/{parts}: {len(mine)} classes, about {seconds:.0f} s expected")


if __name__ == "__main__":
    sys.exit(main())
