"""Shared helpers for the test suite: the module under test and the launcher."""

import os
import re
import subprocess
import sys

import _korvalith  # noqa: F401  (found through PYTHONPATH: the build directory)

SOURCE_DIR = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir))


def project_version():
    """The version declared by project() in the top-level CMakeLists.txt,
    the one place the project keeps it."""
    with open(os.path.join(SOURCE_DIR, "CMakeLists.txt"), encoding="utf-8") as lists:
        match = re.search(r"^project\(korvalith\s+VERSION\s+([0-9.]+)", lists.read(), re.MULTILINE)
    if match is None:
        raise RuntimeError("CMakeLists.txt declares no project version")
    return match[1]


# What "--version" prints.
VERSION_TEXT = b"Korvalith " + project_version().encode("ascii") + b"\n"

LAUNCHER = os.environ.get("KORVALITH_LAUNCHER")
if LAUNCHER is not None:
    LAUNCHER = os.path.abspath(LAUNCHER)


def run_cli(*args, env=None, stdin=None, cwd=None, **kwargs):
    """Runs the command-line program under this interpreter and returns the
    finished process (stdout and stderr as bytes). Standard input is empty
    unless `stdin` or `input` gives it."""
    if LAUNCHER is None:
        raise RuntimeError("KORVALITH_LAUNCHER is not set")
    if stdin is None and "input" not in kwargs:
        stdin = subprocess.DEVNULL
    return subprocess.run([sys.executable, LAUNCHER, *args], stdin=stdin, capture_output=True,
                          env=env, cwd=cwd, timeout=120, **kwargs)
