"""A caller's large input never aborts the interpreter: running out of memory
raises MemoryError, and a result larger than the interpreter can hold raises
the interpreter's own exception."""

import os
import subprocess
import sys
import textwrap
import unittest

import call_cases
import support

try:
    import resource
except ImportError:  # pragma: no cover - not on this platform
    resource = None

# A child process with its address space capped just above what it already
# uses: the module's buffer for the result cannot be had. Every function that
# takes arguments is called, found in the module tree (call_cases), with the
# arguments of its last successful case and 64 MiB of data in place of the
# first.
CHILD = textwrap.dedent("""
    import resource, sys
    sys.path.insert(0, %r)
    import call_cases
    text = "a" * (64 << 20)
    data = text.encode()
    cases = call_cases.build_cases()
    calls = []
    for path in call_cases.ARGUMENT_FUNCTION_PATHS:
        function = call_cases.function_at(path)
        case = [case for case in cases
                if case.function is function and case.raises is None and case.args and not case.kwargs][-1]
        large = text if isinstance(case.args[0], str) else data
        calls.append((path, function, (large,) + case.args[1:]))
    del cases
    with open("/proc/self/statm") as statm:
        pages = int(statm.read().split()[0])
    used = pages * resource.getpagesize()
    resource.setrlimit(resource.RLIMIT_AS, (used + (24 << 20), resource.RLIM_INFINITY))
    for path, function, args in calls:
        try:
            function(*args)
        except MemoryError:
            print(path, "MemoryError")
        else:
            print(path, "no error")
""" % os.path.dirname(os.path.abspath(__file__)))


@unittest.skipUnless(resource is not None and sys.platform.startswith("linux"), "needs RLIMIT_AS and /proc")
@unittest.skipIf(os.environ.get("KORVALITH_SANITIZED") == "1",
                 "AddressSanitizer reserves its shadow memory beyond any address-space cap")
class MemoryErrorTest(unittest.TestCase):
    def test_result_allocation_failure_raises_memory_error(self):
        support.skip_unless_address_space_cap_holds(self)
        child = subprocess.run([sys.executable, "-c", CHILD], capture_output=True, text=True, timeout=120)
        self.assertEqual(child.returncode, 0, child.stderr)
        self.assertEqual(child.stdout.splitlines(),
                         [path + " MemoryError" for path in call_cases.ARGUMENT_FUNCTION_PATHS])


# Results of nearly 2 GiB, which a 32-bit interpreter refuses to create
# ("byte string is too large"). bytes(n) maps its zero pages only when they
# are read, and the result is refused before the input is read, so these
# inputs cost address space but no memory.
TOO_LARGE_CHILD = textwrap.dedent("""
    import _korvalith
    for call in (lambda: _korvalith.encodings.base64.encode_bytes(bytes(1610612733)),
                 lambda: _korvalith.encodings.base32.encode_bytes(bytes(1342177275))):
        try:
            call()
        except OverflowError as error:
            print("OverflowError:", error)
        else:
            print("no error")
""")


@unittest.skipUnless(sys.maxsize < 2**32, "only a 32-bit interpreter refuses results of this size")
class TooLargeResultTest(unittest.TestCase):
    def test_interpreter_refusing_the_result_raises_its_exception(self):
        child = subprocess.run([sys.executable, "-c", TOO_LARGE_CHILD], capture_output=True, text=True, timeout=120)
        self.assertEqual(child.returncode, 0, child.stderr)
        self.assertEqual(child.stdout.splitlines(), ["OverflowError: byte string is too large"] * 2)


if __name__ == "__main__":
    unittest.main()
