"""mypy reads the stub-only package _korvalith-stubs as a user's would: it
accepts correct use and rejects misuse with the expected error codes. The
mypy is the one requirements/test.txt pins, run by this interpreter (never
whichever mypy comes first on PATH): error codes change between versions.
Without it, or with another version, the file is reported as skipped."""

import importlib.util
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import pinned
from test_stubs import SAMPLES, STUBS_ROOT

EXPECT = re.compile(r"#\s*expect:\s*([\w-]+)")
MYPY_ERROR = re.compile(r"^(?P<file>[^:]+):(?P<line>\d+): error: .*\[(?P<code>[\w-]+)\]$")


def load_tests(loader, tests, pattern):
    reason = pinned.skip_reason("mypy checks of the stubs", "test.txt", "mypy")
    return pinned.skipped_suite(reason) if reason else tests


class MypyTest(unittest.TestCase):
    def run_mypy(self, sample, *options):
        """Runs mypy on a copy of a sample, finding the stubs as a user's
        interpreter would find an installed stub-only package: in a directory
        on its path. Returns the (line, code) pairs of the errors."""
        # Where this interpreter found mypy stays on the path of the one that
        # runs it (a sanitized build's tests find it through PYTHONPATH).
        mypy_home = os.path.dirname(os.path.dirname(importlib.util.find_spec("mypy").origin))
        with tempfile.TemporaryDirectory() as work:
            shutil.copy(os.path.join(SAMPLES, sample), work)
            env = {key: value for key, value in os.environ.items() if not key.startswith("MYPY")}
            env["PYTHONPATH"] = STUBS_ROOT + os.pathsep + mypy_home
            finished = subprocess.run(
                [sys.executable, "-m", "mypy", "--config-file=", "--cache-dir=" + os.devnull, "--no-error-summary",
                 "--show-error-codes", "--no-color-output", *options, sample],
                cwd=work, env=env, capture_output=True, text=True, timeout=300)
        errors = set()
        for line in finished.stdout.splitlines():
            match = MYPY_ERROR.match(line)
            if match:
                self.assertEqual(match["file"], sample, line)
                errors.add((int(match["line"]), match["code"]))
        self.assertEqual(finished.returncode, 1 if errors else 0, finished.stdout + finished.stderr)
        return errors

    def test_correct_usage_passes_strict_checking(self):
        self.assertEqual(self.run_mypy("correct_usage.py", "--strict"), set())

    def test_misuse_draws_the_expected_errors(self):
        expected = set()
        with open(os.path.join(SAMPLES, "misuse.py"), encoding="utf-8") as sample:
            for number, line in enumerate(sample, 1):
                match = EXPECT.search(line)
                if match:
                    expected.add((number, match[1]))
        self.assertGreater(len(expected), 20)
        self.assertEqual(self.run_mypy("misuse.py"), expected)


if __name__ == "__main__":
    unittest.main()
