"""A caller's large input never aborts the interpreter: running out of memory
raises MemoryError, and a result larger than the interpreter can hold raises
the interpreter's own exception."""

import os
import subprocess
import sys
import textwrap
import unittest

import support

try:
    import resource
except ImportError:  # pragma: no cover - not on this platform
    resource = None

# A child process with its address space capped just above what it already
# uses: the module's buffer for the result cannot be had.
CHILD = textwrap.dedent("""
    import resource, sys
    import _korvalith
    text = "a" * (64 << 20)
    data = text.encode()
    with open("/proc/self/statm") as statm:
        pages = int(statm.read().split()[0])
    used = pages * resource.getpagesize()
    resource.setrlimit(resource.RLIMIT_AS, (used + (24 << 20), resource.RLIM_INFINITY))
    for call in (lambda: _korvalith.ciphers.caesar.encrypt(text, 3),
                 lambda: _korvalith.ciphers.rot13.rotate(text),
                 lambda: _korvalith.ciphers.vigenere.encrypt(text, "key"),
                 lambda: _korvalith.ciphers.substitution.substitute(text, {"a": "b"}),
                 lambda: _korvalith.ciphers.substitution.substitute_bytes(data, {97: 98}),
                 lambda: _korvalith.encodings.base32.encode(text),
                 lambda: _korvalith.encodings.base32.encode_bytes(data),
                 lambda: _korvalith.encodings.base32.decode(text),
                 lambda: _korvalith.encodings.base32.decode_bytes(data),
                 lambda: _korvalith.encodings.base64.encode(text),
                 lambda: _korvalith.encodings.base64.encode_bytes(data),
                 lambda: _korvalith.encodings.base64.decode(text),
                 lambda: _korvalith.encodings.base64.decode_bytes(data),
                 lambda: _korvalith.ciphers.aes.encrypt_ecb(data, bytes(16), "pkcs"),
                 lambda: _korvalith.ciphers.aes.decrypt_ecb(data, bytes(16), "pkcs")):
        try:
            call()
        except MemoryError:
            print("MemoryError")
        else:
            print("no error")
""")


@unittest.skipUnless(resource is not None and sys.platform.startswith("linux"), "needs RLIMIT_AS and /proc")
@unittest.skipIf(os.environ.get("KORVALITH_SANITIZED") == "1",
                 "AddressSanitizer reserves its shadow memory beyond any address-space cap")
class MemoryErrorTest(unittest.TestCase):
    def test_result_allocation_failure_raises_memory_error(self):
        support.skip_unless_address_space_cap_holds(self)
        child = subprocess.run([sys.executable, "-c", CHILD], capture_output=True, text=True, timeout=120)
        self.assertEqual(child.returncode, 0, child.stderr)
        self.assertEqual(child.stdout.split(), ["MemoryError"] * 15)


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
