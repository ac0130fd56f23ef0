"""The tools some tests take from PyPI, pinned in requirements/: whether the
environment of the interpreter running the tests has the pinned version,
and, where it has not, the one line a skipped test file prints, which names
what was found and what is pinned. CTest reads that line as a skip
(SKIP_REGULAR_EXPRESSION in tests/CMakeLists.txt), so such a file is shown
as not run, never as passed."""

import importlib.metadata
import os
import re
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REQUIREMENTS = os.path.normpath(os.path.join(HERE, os.pardir, os.pardir, "requirements"))
PIN = re.compile(r"\s*([A-Za-z0-9][A-Za-z0-9._-]*)\s*==\s*([^\s;#]+)")


def canonical(name):
    return re.sub(r"[-_.]+", "-", name).lower()


def pinned_versions(requirements):
    """{canonical name: version} of the pins in requirements/<requirements>
    and the files it includes with -r."""
    pins = {}
    with open(os.path.join(REQUIREMENTS, requirements), encoding="utf-8") as lines:
        for line in lines:
            included = re.match(r"\s*-r\s+(\S+)", line)
            if included:
                pins.update(pinned_versions(included[1]))
            elif match := PIN.match(line):
                pins[canonical(match[1])] = match[2]
    return pins


def installed_version(distribution):
    try:
        return importlib.metadata.version(distribution)
    except importlib.metadata.PackageNotFoundError:
        return None


def skip_reason(what, requirements, *distributions, installed=installed_version):
    """None when this interpreter's environment has every distribution at the
    version requirements/<requirements> pins; else one line that says what
    is skipped, what was found, what is pinned and how to get it."""
    pins = pinned_versions(requirements)
    for distribution in distributions:
        pinned = pins[canonical(distribution)]
        found = installed(distribution)
        if found != pinned:
            has = f"{distribution} {found}" if found else f"no {distribution}"
            return (f"{what} skipped: {sys.executable} has {has}, requirements/{requirements} pins "
                    f"{distribution} {pinned} (pip install -r requirements/{requirements})")
    return None


class Skipped(unittest.TestCase):
    reason = ""

    def test_skipped(self):
        self.skipTest(self.reason)


def skipped_suite(reason):
    """A suite that reports `reason` as its one skipped test, after printing it
    on its own line for CTest."""
    print(reason, file=sys.stderr, flush=True)
    return unittest.TestSuite([type("Skipped", (Skipped,), {"reason": reason})("test_skipped")])
