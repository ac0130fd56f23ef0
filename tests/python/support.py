"""Shared helpers for the test suite: the module under test and the launcher."""

import os
import subprocess
import sys

import _korvalith  # noqa: F401  (found through PYTHONPATH: the build directory)

# What "--version" prints: the project's version as CMake read it from
# project() in CMakeLists.txt, the one place it is kept; CTest hands it over.
VERSION_TEXT = b"Korvalith " + os.environ.get("KORVALITH_VERSION", "(KORVALITH_VERSION is not set)").encode() + b"\n"

LAUNCHER = os.environ.get("KORVALITH_LAUNCHER")
if LAUNCHER is not None:
    LAUNCHER = os.path.abspath(LAUNCHER)


def launcher():
    """The launcher script the build made, which runs the command line. A
    test of the command line fails without it: it never skips."""
    if LAUNCHER is None:
        raise AssertionError("KORVALITH_LAUNCHER is not set: run the tests through CTest, or set it to the "
                             "build directory's korvalith")
    if not os.path.isfile(LAUNCHER):
        raise AssertionError("KORVALITH_LAUNCHER names no file: " + LAUNCHER)
    return LAUNCHER


def run_cli(*args, env=None, stdin=None, cwd=None, **kwargs):
    """Runs the command-line program under this interpreter and returns the
    finished process (stdout and stderr as bytes). Standard input is empty
    unless `stdin` or `input` gives it."""
    if stdin is None and "input" not in kwargs:
        stdin = subprocess.DEVNULL
    return subprocess.run([sys.executable, launcher(), *args], stdin=stdin, capture_output=True,
                          env=env, cwd=cwd, timeout=120, **kwargs)


def walk_tree(module, path=()):
    """Yields (attribute path, object, parent) for every submodule and function
    below module, in the order of the __all__ lists, each submodule before what
    it holds."""
    for name in module.__all__:
        child = getattr(module, name)
        yield path + (name,), child, module
        if isinstance(child, type(module)):
            yield from walk_tree(child, path + (name,))
