"""Shared helpers for the test suite: the module under test and the command
line's two entries.

The command line is run through one of two entries, which must behave alike
byte for byte: the korvalith program (KORVALITH_ENTRY=program, the file named
by KORVALITH_PROGRAM) or the Python launcher that calls cli.parse() under
this interpreter (KORVALITH_ENTRY=python, the default; the file named by
KORVALITH_LAUNCHER). CTest runs the command-line tests once per entry."""

import functools
import os
import subprocess
import sys
import sysconfig
import tempfile
import unittest

import _korvalith  # noqa: F401  (found through PYTHONPATH: the build directory)

# What "--version" prints: the project's version as CMake read it from
# project() in CMakeLists.txt, the one place it is kept; CTest hands it over.
VERSION_TEXT = b"Korvalith " + os.environ.get("KORVALITH_VERSION", "(KORVALITH_VERSION is not set)").encode() + b"\n"


# The module's file name: the stable ABI of 3.10, but under a free-threaded
# interpreter, which has none, the interpreter's own; KORVALITH_MODULE_SUFFIX
# names another (3.15's .abi3t.so, tested under the regular 3.15).
MODULE_FILE = "_korvalith" + os.environ.get(
    "KORVALITH_MODULE_SUFFIX",
    sysconfig.get_config_var("EXT_SUFFIX") if sysconfig.get_config_var("Py_GIL_DISABLED") else ".abi3.so")


def _absolute(variable):
    value = os.environ.get(variable)
    return os.path.abspath(value) if value is not None else None


LAUNCHER = _absolute("KORVALITH_LAUNCHER")
PROGRAM = _absolute("KORVALITH_PROGRAM")
ENTRY = os.environ.get("KORVALITH_ENTRY", "python")
if ENTRY not in ("program", "python"):
    raise AssertionError("KORVALITH_ENTRY must be 'program' or 'python', not " + repr(ENTRY))


def _existing(variable, path):
    """The file an environment variable names. A test of the command line
    fails without it: it never skips."""
    if path is None:
        raise AssertionError(variable + " is not set: run the tests through CTest, or set it to the build "
                             "directory's " + ("korvalith" if variable == "KORVALITH_PROGRAM" else "korvalith-python"))
    if not os.path.isfile(path):
        raise AssertionError(variable + " names no file: " + path)
    return path


def launcher():
    """The Python launcher script the build made."""
    return _existing("KORVALITH_LAUNCHER", LAUNCHER)


def program():
    """The korvalith program the build made."""
    return _existing("KORVALITH_PROGRAM", PROGRAM)


def entry():
    """The file of the entry under test, whose name is the program name the
    command line shows."""
    return program() if ENTRY == "program" else launcher()


def command(*args, path=None):
    """The process's argument vector that runs the entry under test with
    `args` (str or bytes); `path` replaces the entry's file (by a link to it,
    say). The launcher runs under this interpreter."""
    path = path or entry()
    return [path, *args] if ENTRY == "program" else [sys.executable, path, *args]


def run_cli(*args, env=None, stdin=None, cwd=None, **kwargs):
    """Runs the command line through the entry under test and returns the
    finished process (stdout and stderr as bytes). Standard input is empty
    unless `stdin` or `input` gives it."""
    if stdin is None and "input" not in kwargs:
        stdin = subprocess.DEVNULL
    return subprocess.run(command(*args), stdin=stdin, capture_output=True, env=env, cwd=cwd, timeout=120,
                          **kwargs)


# A child that caps its address space 64 MiB above what it maps, then asks
# for 256 MiB.
_CAPPED_CHILD = """
import resource
with open("/proc/self/statm") as statm:
    used = int(statm.read().split()[0]) * resource.getpagesize()
resource.setrlimit(resource.RLIMIT_AS, (used + (64 << 20), resource.RLIM_INFINITY))
try:
    bytearray(256 << 20)
except MemoryError:
    print("capped")
else:
    print("not capped")
"""


@functools.cache
def address_space_cap_holds():
    """Whether a cap on a process's address space (RLIMIT_AS) makes its
    allocations fail, asked once of a child of this interpreter. qemu's
    user-mode emulation, which runs the tests of the aarch64 and s390x
    builds, accepts the cap and ignores it, since it would bind the emulator
    itself."""
    finished = subprocess.run([sys.executable, "-c", _CAPPED_CHILD], capture_output=True, text=True, timeout=120)
    if finished.returncode != 0 or finished.stdout.strip() not in ("capped", "not capped"):
        raise AssertionError("the address-space probe failed:\n" + finished.stdout + finished.stderr)
    return finished.stdout.strip() == "capped"


def skip_unless_address_space_cap_holds(test):
    """Skips `test` (a TestCase), which needs the cap to make an allocation
    fail, where the cap is not enforced."""
    if not address_space_cap_holds():
        test.skipTest("the address-space cap (RLIMIT_AS) is not enforced here: qemu's user-mode emulation "
                      "accepts it and ignores it")


class DirectoryTest(unittest.TestCase):
    """A test case with a temporary directory of its own, removed after it."""

    def setUp(self):
        directory = tempfile.TemporaryDirectory()
        self.addCleanup(directory.cleanup)
        self.directory = directory.name

    def path(self, name):
        return os.path.join(self.directory, name)


def walk_tree(module, path=()):
    """Yields (attribute path, object, parent) for every submodule and function
    below module, in the order of the __all__ lists, each submodule before what
    it holds."""
    for name in module.__all__:
        child = getattr(module, name)
        yield path + (name,), child, module
        if isinstance(child, type(module)):
            yield from walk_tree(child, path + (name,))
