"""The module in subinterpreters: each interpreter has values of its own,
a destroyed one leaves nothing the others use, and interpreters with a lock
of their own (3.12 on) import the module and run every function at the same
time, with the results of the main interpreter."""

import os
import shutil
import subprocess
import sys
import tempfile
import textwrap
import threading
import unittest

import call_cases

HERE = os.path.dirname(os.path.abspath(__file__))


def interpreters_module():
    """The interpreter's low-level module for subinterpreters."""
    try:
        import _interpreters as module  # 3.13 and later
    except ImportError:
        import _xxsubinterpreters as module
    return module


def new_interpreter(own_lock):
    """A new subinterpreter: with a lock of its own, or one sharing the
    main interpreter's (as embedding servers make them)."""
    module = interpreters_module()
    if hasattr(module, "new_config"):
        return module.create("isolated" if own_lock else "legacy")
    if sys.version_info >= (3, 12):
        return module.create(isolated=own_lock)
    return module.create()


def run_in(interpreter, code):
    """Runs `code` in the subinterpreter; an exception it raised fails the
    test with its description."""
    failure = interpreters_module().run_string(interpreter, textwrap.dedent(code))
    if failure is not None:
        raise AssertionError("the subinterpreter raised: %s" % (failure,))


# A fresh process, where the module has made nothing yet. A subinterpreter
# sharing the main one's lock imports the module first and makes it look
# Sequence up there (a stand-in, so that the main interpreter's can be told
# from it), then is destroyed; the main interpreter imports the module and
# needs the same type: it must get its own, not the dead interpreter's.
DESTROYED_FIRST = textwrap.dedent("""
    import sys
    sys.path.insert(0, %(here)r)
    import test_interpreters

    interpreter = test_interpreters.new_interpreter(own_lock=False)
    test_interpreters.run_in(interpreter, '''
        import collections.abc
        collections.abc.Sequence = type("Stand_in", (), {})
        import _korvalith
        try:
            _korvalith.ciphers.aes.encrypt_ecb(5, b"", "iso")
        except TypeError as error:
            print("sub:", error, flush=True)
        print("sub:", _korvalith.ciphers.rot13.rotate("abc"), flush=True)
    ''')
    test_interpreters.interpreters_module().destroy(interpreter)
    import _korvalith
    for _ in range(2):
        try:
            _korvalith.ciphers.aes.encrypt_ecb(5, b"", "iso")
        except TypeError as error:
            print("main:", error, flush=True)
    print("main:", _korvalith.ciphers.caesar.encrypt("abc", 1), flush=True)
""")


class SubinterpreterTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.tmp)

    def test_destroyed_subinterpreter_leaves_nothing_behind(self):
        child = subprocess.run([sys.executable, "-c", DESTROYED_FIRST % {"here": HERE}], capture_output=True,
                               text=True, timeout=120)
        self.assertEqual(child.returncode, 0, child.stdout + child.stderr)
        self.assertEqual(child.stdout.splitlines(), [
            "sub: argument 'text': 'int' object is not an instance of 'Stand_in'",
            "sub: nop",
            "main: argument 'text': 'int' object is not an instance of 'Sequence'",
            "main: argument 'text': 'int' object is not an instance of 'Sequence'",
            "main: bcd",
        ])

    @unittest.skipIf(sys.version_info < (3, 12), "interpreters with a lock of their own came with 3.12")
    def test_interpreters_with_own_lock_run_every_function_at_once(self):
        expected = call_cases.outcomes_text()
        module = interpreters_module()
        interpreters = [new_interpreter(own_lock=True) for _ in range(2)]
        for interpreter in interpreters:
            self.addCleanup(module.destroy, interpreter)
        results = {}
        failures = []

        def work(index, interpreter):
            path = os.path.join(self.tmp, "outcomes-%d" % index)
            try:
                # Only call_cases there: 3.12 hangs destroying interpreters
                # with locks of their own that imported threading.
                run_in(interpreter, """
                    import sys
                    sys.path.insert(0, %r)
                    import call_cases
                    with open(%r, "w") as out:
                        out.write(call_cases.outcomes_text())
                """ % (HERE, path))
                with open(path) as written:
                    results[index] = written.read()
            except BaseException as error:  # noqa: BLE001 - reported by the main thread
                failures.append(error)

        threads = [threading.Thread(target=work, args=pair) for pair in enumerate(interpreters)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(timeout=300)
        self.assertEqual(failures, [])
        self.assertEqual(results, {0: expected, 1: expected})
        # The main interpreter goes on with its own values.
        self.assertEqual(call_cases.outcomes_text(), expected)


if __name__ == "__main__":
    unittest.main()
