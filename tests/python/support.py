"""Shared helpers for the test suite: the module under test and the launcher."""

import os
import subprocess
import sys

import _korvalith  # noqa: F401  (found through PYTHONPATH: the build directory)

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
