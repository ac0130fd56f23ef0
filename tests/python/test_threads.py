"""Several threads calling every function at once on shared inputs get
exactly the results of a single thread (at the same time on a free-threaded
build, which stays without its lock), also with a bytearray resized
meanwhile; and concurrent first use of the values the module creates once
(per interpreter) yields one of each, without deadlock: also when the
creation's own Python code needs the value, and across a fork."""

import os
import random
import subprocess
import sys
import sysconfig
import textwrap
import threading
import unittest

import _korvalith
import call_cases

THREADS = 4
ROUNDS = 2


def outcome(case):
    """The result, or the exception's class and arguments."""
    try:
        return ("result", case())
    except Exception as error:  # noqa: BLE001 - the exception is the outcome
        return ("raised", type(error), error.args)


class ConcurrentCallsTest(unittest.TestCase):
    def setUp(self):
        interval = sys.getswitchinterval()
        # Switch threads as often as the interpreter allows, so calls
        # interleave as finely as they can.
        sys.setswitchinterval(1e-6)
        self.addCleanup(sys.setswitchinterval, interval)

    def test_threads_get_single_threaded_results(self):
        cases = call_cases.build_cases()
        expected = [outcome(case) for case in cases]
        barrier = threading.Barrier(THREADS)
        mismatches = []
        failures = []

        def work(seed):
            try:
                order = list(range(len(cases)))
                random.Random(seed).shuffle(order)
                barrier.wait()
                for _ in range(ROUNDS):
                    for index in order:
                        got = outcome(cases[index])
                        if got != expected[index]:
                            mismatches.append((cases[index].name, got[:2]))
            except BaseException as error:  # noqa: BLE001 - reported by the main thread
                failures.append(error)

        threads = [threading.Thread(target=work, args=(seed,)) for seed in range(THREADS)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(timeout=300)
            self.assertFalse(thread.is_alive(), "a thread did not finish")
        self.assertEqual(failures, [])
        self.assertEqual(mismatches, [])

    # 3.13's free-threaded build resizes a bytearray without taking its lock,
    # so a resize can slip between its own check of the exports and the
    # move of the storage whoever reads it; from 3.14 the resize takes the
    # lock that the module's export is taken under.
    @unittest.skipIf(sysconfig.get_config_var("Py_GIL_DISABLED") and sys.version_info < (3, 14),
                     "a free-threaded 3.13 resizes a bytearray without its lock")
    def test_bytearray_resized_during_calls(self):
        # Where threads run without the interpreter's lock, another thread
        # resizes a bytearray while calls read it: the resize must fail
        # (BufferError) rather than free what a call reads, and every call
        # sees the bytearray as it was or as it was with the byte added.
        aes = _korvalith.ciphers.aes
        key = bytes(range(16))
        data = bytearray(bytes(range(256)) * 256)
        expected = {aes.encrypt_ecb(bytes(data), key, "pkcs"), aes.encrypt_ecb(bytes(data) + b"x", key, "pkcs")}
        stop = threading.Event()
        wrong = []

        def resize():
            while not stop.is_set():
                try:
                    data.append(ord("x"))
                except BufferError:
                    continue
                while True:
                    try:
                        del data[-1]
                        break
                    except BufferError:
                        pass

        def encrypt():
            for _ in range(100):
                result = aes.encrypt_ecb(data, key, "pkcs")
                if result not in expected:
                    wrong.append(len(result))

        resizer = threading.Thread(target=resize)
        resizer.start()
        try:
            callers = [threading.Thread(target=encrypt) for _ in range(THREADS - 1)]
            for thread in callers:
                thread.start()
            for thread in callers:
                thread.join(timeout=300)
        finally:
            stop.set()
            resizer.join(timeout=60)
        self.assertEqual(wrong, [])


@unittest.skipUnless(sysconfig.get_config_var("Py_GIL_DISABLED"), "needs a free-threaded build")
class FreeThreadedTest(unittest.TestCase):
    def test_import_keeps_the_interpreter_without_its_lock(self):
        # Unless the environment asks for the lock, importing the module
        # leaves it off, and says nothing.
        env = {name: value for name, value in os.environ.items() if name != "PYTHON_GIL"}
        child = subprocess.run([sys.executable, "-c", "import sys, _korvalith; print(sys._is_gil_enabled())"],
                               capture_output=True, text=True, env=env, timeout=60)
        self.assertEqual((child.stdout, child.stderr), ("False\n", ""))


# A fresh process, so that nothing has created the once-made values yet. The
# import of collections.abc that finds the Sequence type is held open, with
# the interpreter lock released, while every other thread arrives and needs
# the same type: they must wait for it, not import it again, not deadlock.
FIRST_USE_CHILD = textwrap.dedent("""
    import builtins, os, sys, threading, time
    import _korvalith

    aes = _korvalith.ciphers.aes
    base32 = _korvalith.encodings.base32
    NoBool = type("bool_", (), {"__module__": "numpy"})

    original_import = builtins.__import__
    sequence_imports = []

    def slow_import(name, *args, **kwargs):
        if name == "collections.abc":
            sequence_imports.append(name)
            time.sleep(0.2)
        return original_import(name, *args, **kwargs)

    builtins.__import__ = slow_import
    sys.setswitchinterval(1e-6)

    THREADS = 16
    barrier = threading.Barrier(THREADS)
    results = [None] * THREADS

    def work(index):
        barrier.wait()
        seen = []
        calls = ((aes.encrypt_ecb, (5, b"", "iso")), (aes.decrypt_ecb, (7.5, b"", "iso")),
                 (base32.encode, (5,)), (base32.decode_bytes, (None,)), (base32.decode, ("", NoBool())))
        for function, args in calls:
            try:
                function(*args)
                seen.append("no error")
            except Exception as error:
                seen.append("%s: %s" % (type(error).__name__, error))
        results[index] = seen

    threads = [threading.Thread(target=work, args=(index,)) for index in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=60)
        if thread.is_alive():
            print("deadlock", flush=True)
            os._exit(3)
    builtins.__import__ = original_import
    print(len(sequence_imports))
    for seen in results:
        print("|".join(seen))
""")

FIRST_USE_EXPECTED = "|".join([
    "TypeError: argument 'text': 'int' object is not an instance of 'Sequence'",
    "TypeError: argument 'text': 'float' object is not an instance of 'Sequence'",
    "TypeError: argument 'data': 'int' object is not an instance of 'str'",
    "TypeError: argument 'data': 'None' is not an instance of 'bytes'",
    "TypeError: argument 'strict': object of type '<class 'numpy.bool_'>' does not define a '__bool__' "
    "conversion",
])


# Python code that the one-time import itself runs (here an import hook) needs
# the Sequence type on the same thread before the import has returned: it must
# get it rather than wait for its own thread, which would never go on.
REENTRANT_FIRST_USE_CHILD = textwrap.dedent("""
    import builtins
    import _korvalith

    aes = _korvalith.ciphers.aes
    original_import = builtins.__import__
    nested = []

    def hook(name, *args, **kwargs):
        if name == "collections.abc" and not nested:
            nested.append(name)
            try:
                aes.encrypt_ecb(5, b"", "iso")
            except TypeError as error:
                print("nested:", error, flush=True)
        return original_import(name, *args, **kwargs)

    builtins.__import__ = hook
    for attempt in ("first", "later"):
        try:
            aes.decrypt_ecb(7, b"", "iso")
        except TypeError as error:
            print(attempt + ":", error, flush=True)
""")


# The process forks while another thread is creating the Sequence type (its
# import held open): in the child that thread does not exist, and the child's
# own first use must create the type rather than wait for it.
FORK_DURING_FIRST_USE_CHILD = textwrap.dedent("""
    import builtins, os, threading, time, warnings
    import _korvalith

    warnings.simplefilter("ignore", DeprecationWarning)  # fork with threads
    aes = _korvalith.ciphers.aes
    original_import = builtins.__import__
    importing = threading.Event()

    def slow_import(name, *args, **kwargs):
        if name == "collections.abc":
            importing.set()
            time.sleep(0.5)
        return original_import(name, *args, **kwargs)

    def first_use(who):
        try:
            aes.encrypt_ecb(5, b"", "iso")
        except TypeError as error:
            print(who + ":", error, flush=True)

    builtins.__import__ = slow_import
    thread = threading.Thread(target=first_use, args=("thread",))
    thread.start()
    importing.wait()
    pid = os.fork()
    if pid == 0:
        builtins.__import__ = original_import
        first_use("child")
        os._exit(0)
    thread.join()
    for _ in range(600):
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            print("child status", os.waitstatus_to_exitcode(status), flush=True)
            break
        time.sleep(0.05)
    else:
        os.kill(pid, 9)
        print("child hung", flush=True)
""")


# The one-time lookup of the Sequence type fails (an import hook refuses it,
# Ctrl-C lands in it, the module is blocked): the caller gets that exception,
# the process goes on, and a later call looks the type up again.
FAILED_FIRST_USE_CHILD = textwrap.dedent("""
    import builtins, sys
    import _korvalith

    aes = _korvalith.ciphers.aes
    original_import = builtins.__import__

    def refusing(exception):
        def hook(name, *args, **kwargs):
            if name == "collections.abc":
                raise exception
            return original_import(name, *args, **kwargs)
        return hook

    def attempt():
        try:
            aes.encrypt_ecb(5, b"", "iso")
        except BaseException as error:  # the point: which one arrives
            print(type(error).__name__ + ":", error, flush=True)

    for exception in (ImportError("refused"), KeyboardInterrupt()):
        builtins.__import__ = refusing(exception)
        attempt()
    builtins.__import__ = original_import
    sys.modules["collections.abc"] = None
    attempt()
    del sys.modules["collections.abc"]  # imported afresh
    attempt()
    attempt()
""")


class FirstUseTest(unittest.TestCase):
    def test_failed_first_use_raises_and_is_retried(self):
        child = subprocess.run([sys.executable, "-c", FAILED_FIRST_USE_CHILD], capture_output=True, text=True,
                               timeout=60)
        self.assertEqual(child.returncode, 0, child.stderr)
        lines = child.stdout.splitlines()
        self.assertEqual(lines[:2], ["ImportError: refused", "KeyboardInterrupt: "])
        self.assertTrue(lines[2].startswith("ModuleNotFoundError: "), lines[2])
        self.assertEqual(lines[3:], ["TypeError: argument 'text': 'int' object is not an instance of 'Sequence'"] * 2)

    @unittest.skipUnless(hasattr(os, "fork"), "needs fork")
    def test_fork_while_another_thread_creates_the_value(self):
        child = subprocess.run([sys.executable, "-c", FORK_DURING_FIRST_USE_CHILD], capture_output=True, text=True,
                               timeout=120)
        self.assertEqual(child.returncode, 0, child.stderr)
        message = "argument 'text': 'int' object is not an instance of 'Sequence'"
        self.assertEqual(sorted(child.stdout.splitlines()),
                         ["child status 0", "child: " + message, "thread: " + message])

    def test_first_use_from_code_the_import_runs(self):
        child = subprocess.run([sys.executable, "-c", REENTRANT_FIRST_USE_CHILD], capture_output=True, text=True,
                               timeout=60)
        self.assertEqual(child.returncode, 0, child.stderr)
        self.assertEqual(child.stdout.splitlines(), [
            "nested: argument 'text': 'int' object is not an instance of 'Sequence'",
            "first: argument 'text': 'int' object is not an instance of 'Sequence'",
            "later: argument 'text': 'int' object is not an instance of 'Sequence'",
        ])

    def test_concurrent_first_use_creates_one_value(self):
        for attempt in range(3):
            with self.subTest(attempt=attempt):
                child = subprocess.run([sys.executable, "-c", FIRST_USE_CHILD], capture_output=True, text=True,
                                       timeout=120)
                self.assertEqual(child.returncode, 0, child.stdout + child.stderr)
                lines = child.stdout.splitlines()
                self.assertEqual(lines[0], "1", "collections.abc was imported more than once")
                self.assertEqual(lines[1:], [FIRST_USE_EXPECTED] * 16)


if __name__ == "__main__":
    unittest.main()
