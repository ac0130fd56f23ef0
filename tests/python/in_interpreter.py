"""Runs the Python suite inside a subinterpreter with a lock of its own
(concurrent.interpreters, CPython 3.14 and later), where the module is
imported afresh, as a program that uses it from such an interpreter would.

    python in_interpreter.py [unittest arguments]   # as `python -m unittest`

from this directory. Such an interpreter may not start processes, nor load
extension modules that do not declare support for it: a test that needs
either (the command line's tests, which run its entries as processes; the
property tests, if hypothesis's compiled part declines) is reported as
skipped, saying why. The module itself must load: its failure to import is a
failure. The status is 0 when every test that ran passed."""

import concurrent.interpreters
import os
import sys

INSIDE = """
import os, sys, unittest

sys.path[:0] = %(path)r

def declined(error):
    # What an interpreter with a lock of its own refuses, other than this
    # module: starting a process, or loading a module not made for it.
    if isinstance(error, RuntimeError):
        return "not supported" in str(error) and "interpreter" in str(error)
    if isinstance(error, ImportError):
        return error.name != "_korvalith" and "subinterpreter" in str(error)
    return False

class Result(unittest.TextTestResult):
    def addError(self, test, err):
        if declined(err[1]):
            self.addSkip(test, "in a subinterpreter: %%s" %% err[1])
        else:
            super().addError(test, err)

    def addSubTest(self, test, subtest, err):
        if err is not None and declined(err[1]):
            self.addSkip(subtest, "in a subinterpreter: %%s" %% err[1])
        else:
            super().addSubTest(test, subtest, err)

runner = unittest.TextTestRunner(resultclass=Result, verbosity=%(verbosity)d)
program = unittest.main(module=None, argv=%(argv)r, testRunner=runner, exit=False)
result = program.result
print("in a subinterpreter with its own lock: %%d run, %%d skipped" %% (result.testsRun, len(result.skipped)),
      file=sys.stderr, flush=True)
if not result.wasSuccessful():
    raise AssertionError("%%d failures, %%d errors" %% (len(result.failures), len(result.errors)))
"""


def main(arguments):
    argv = ["python -m unittest"] + (arguments or ["discover", "--start-directory", "."])
    verbosity = 0 if "--quiet" in arguments or "-q" in arguments else 2 if "-v" in arguments else 1
    interpreter = concurrent.interpreters.create()
    try:
        interpreter.exec(INSIDE % {"path": [os.getcwd()] + sys.path[1:], "argv": argv, "verbosity": verbosity})
    except concurrent.interpreters.ExecutionFailed as failed:
        print(failed, file=sys.stderr)
        return 1
    finally:
        interpreter.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
