"""The split of the end-to-end tests into parts that run side by side (shards.py, run_e2e.py
--part): every test runs in exactly one part, classes stay whole, the parts are balanced, and
classes the table does not know go to the shorter parts. No display is needed."""

import tempfile
import unittest
from pathlib import Path

import run_e2e
import shards


def fake_suite(classes):
    """A suite of test classes {name: number of tests} in module "fake"."""
    suite = unittest.TestSuite()
    for name, count in classes.items():
        methods = {f"test_{i}": lambda self: None for i in range(count)}
        cls = type(name, (unittest.TestCase,), methods)
        cls.__module__ = "fake"
        suite.addTests(unittest.defaultTestLoader.loadTestsFromTestCase(cls))
    return suite


class Split(unittest.TestCase):
    def test_deals_every_class_once_balanced_and_new_ones_to_the_shorter_parts(self):
        cases = [
            # (classes, parts, table, expected parts)
            (["a", "b", "c", "d"], 2, {"a": 100, "b": 60, "c": 50, "d": 40},
             [["a", "d"], ["b", "c"]]),
            (["a", "b", "c"], 3, {"a": 5, "b": 5, "c": 5}, [["a"], ["b"], ["c"]]),
            (["a", "b"], 1, {"a": 5}, [["a", "b"]]),
            # New classes are dealt out last, in name order, to the part expected to end first.
            (["old", "short", "new2", "new1"], 2, {"old": 300, "short": 30},
             [["old"], ["short", "new1", "new2"]]),
            (["old", "short", "new1", "new2"], 2, {"old": 100, "short": 50},
             [["old", "new2"], ["short", "new1"]]),
            # More parts than classes: the rest are empty.
            (["a"], 3, {}, [["a"], [], []]),
        ]
        for classes, parts, table, expected in cases:
            with self.subTest(classes=classes, parts=parts, table=table):
                self.assertEqual(shards.split(classes, parts, table), expected)
                self.assertEqual(shards.split(list(reversed(classes)), parts, table), expected,
                                 "the same split whatever order discovery gave")

    def test_the_parts_of_a_run_hold_every_test_once_with_its_classes_whole(self):
        classes = {"Long": 3, "Medium": 2, "Short": 1, "Unlisted": 2}
        every = sorted(t.id() for t in run_e2e.flattened(fake_suite(classes)))
        for parts in (1, 2, 3, 5):
            with self.subTest(parts=parts):
                seen = []
                for index in range(1, parts + 1):
                    part = [t.id() for t in run_e2e.flattened(
                        run_e2e.part_of(fake_suite(classes), index, parts)[0])]
                    for name in {shards.class_of(i) for i in part}:
                        self.assertEqual(sum(shards.class_of(i) == name for i in part),
                                         sum(shards.class_of(i) == name for i in every),
                                         f"class {name} whole in part {index}/{parts}")
                    seen += part
                self.assertEqual(sorted(seen), every)

    def test_reads_parts_and_refuses_what_is_not_one(self):
        for text, expected in (("1/2", (1, 2)), ("2/2", (2, 2)), (" 3/7 ", (3, 7))):
            self.assertEqual(shards.parse_part(text), expected)
        for text in ("0/2", "3/2", "1/0", "2", "a/b", "1/2/3", ""):
            with self.subTest(text=text), self.assertRaises(ValueError):
                shards.parse_part(text)


class Table(unittest.TestCase):
    def test_the_committed_table_reads(self):
        table = shards.read_table()
        self.assertTrue(table, f"{shards.TABLE} is missing or empty")
        self.assertTrue(all(seconds >= 0 for seconds in table.values()))

    def test_saving_merges_what_a_run_measured_into_the_table(self):
        with tempfile.TemporaryDirectory() as folder:
            path = Path(folder) / "class-seconds.txt"
            self.assertEqual(shards.read_table(path), {}, "no table is an empty one")
            shards.write_table({"m.A": 12.4, "m.B": 5}, path)
            shards.write_table({"m.A": 20.6, "m.C": 1}, path)
            self.assertEqual(shards.read_table(path), {"m.A": 21, "m.B": 5, "m.C": 1})
            path.write_text("m.A 1 2\n", encoding="utf-8")
            with self.assertRaisesRegex(ValueError, ":1: expected 'CLASS SECONDS'"):
                shards.read_table(path)
