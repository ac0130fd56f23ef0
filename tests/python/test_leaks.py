"""Every argument-taking function, called many times over success and every
error path, leaves the reference counts of its arguments as they were and
does not make the process grow.

Under the sanitized build LeakSanitizer checks the same calls for memory that
is never freed; there the memory measurement is skipped, because the
sanitizer holds freed memory back on purpose."""

import gc
import os
import sys
import unittest

import call_cases

SANITIZED = os.environ.get("KORVALITH_SANITIZED") == "1"
PAGE_SIZE = os.sysconf("SC_PAGE_SIZE") if hasattr(os, "sysconf") else 4096

# Objects every failure path touches: a reference leaked on each call would
# make their counts grow with the number of calls.
SHARED_OBJECTS = (None, True, False, TypeError, ValueError, OverflowError, MemoryError, SystemError,
                  RuntimeError, NotImplementedError, UnicodeEncodeError, ZeroDivisionError, LookupError, str,
                  bytes, dict)


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE_SIZE


def run(case, times):
    for _ in range(times):
        try:
            case()
        except Exception:  # noqa: BLE001 - every outcome is checked in test_every_case_takes_its_path
            pass


class LeakTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.cases = call_cases.build_cases()

    def test_every_function_is_covered(self):
        covered = {case.function for case in self.cases}
        for path in call_cases.ARGUMENT_FUNCTION_PATHS:
            function = call_cases.function_at(path)
            with self.subTest(path):
                self.assertIn(function, covered)
                names = {case.name.rsplit(".", 1)[-1] for case in self.cases if case.function is function}
                self.assertTrue({"missing", "too_many", "unknown_keyword", "duplicate"} <= names)
                self.assertTrue(any(case.raises is None for case in self.cases if case.function is function))

    def test_every_case_takes_its_path(self):
        # Guards the case table: a case meant to fail in one place must not
        # fail somewhere else (or succeed).
        for case in self.cases:
            with self.subTest(case.name):
                outcome = call_cases.outcome_of(case)
                self.assertTrue(call_cases.accepts(case, outcome), "raised %r" % (outcome,))

    def test_argument_reference_counts_do_not_change(self):
        for case in self.cases:
            held = case.held_objects()
            run(case, 2)
            before = [sys.getrefcount(value) for value in held]
            run(case, 25)
            after = [sys.getrefcount(value) for value in held]
            with self.subTest(case.name):
                self.assertEqual(before, after)

    def test_shared_objects_and_tracked_objects_do_not_accumulate(self):
        calls = 40
        for case in self.cases:
            run(case, 2)
        gc.collect()
        shared_before = [sys.getrefcount(value) for value in SHARED_OBJECTS]
        tracked_before = len(gc.get_objects())
        for case in self.cases:
            run(case, calls)
        gc.collect()
        shared_after = [sys.getrefcount(value) for value in SHARED_OBJECTS]
        tracked_after = len(gc.get_objects())
        # One leaked reference or object per call would add `calls` for some
        # case; allow a little slack for the interpreter's own caches.
        for value, before, after in zip(SHARED_OBJECTS, shared_before, shared_after):
            with self.subTest(value):
                self.assertLess(after - before, calls // 2)
        self.assertLess(tracked_after - tracked_before, calls // 2)

    @unittest.skipIf(SANITIZED, "the sanitizer keeps freed memory in quarantine; LeakSanitizer checks instead")
    @unittest.skipUnless(sys.platform.startswith("linux"), "reads /proc/self/statm")
    def test_memory_does_not_grow(self):
        # The big inputs make any leaked result or message at least 256 KiB,
        # so 60 calls of a leaking case would add 15 MiB or more; the
        # tolerance covers the allocator's own fluctuation.
        calls = 60
        tolerance = 8 << 20
        for case in self.cases:
            run(case, 5)
        gc.collect()
        before = resident_bytes()
        for case in self.cases:
            run(case, calls)
        gc.collect()
        growth = resident_bytes() - before
        self.assertLess(growth, tolerance, "resident memory grew by %d bytes" % growth)


if __name__ == "__main__":
    unittest.main()
