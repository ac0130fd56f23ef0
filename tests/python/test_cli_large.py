"""The command line over files of gibibytes in bounded memory: a 3 GiB file
is encoded and decoded in a process whose address space is far smaller.

These tests move gigabytes and need about 10 GiB of free disk: CTest labels
them `large`, and quick loops leave them out with `-LE large`."""

import os
import resource
import shutil
import subprocess
import tempfile
import unittest

import support
from support import command

ENVIRONMENT = {name: value for name, value in os.environ.items()
               if name not in ("NO_COLOR", "CLICOLOR", "CLICOLOR_FORCE")}

# The input bytes of one chunk (CHUNK_SIZE in src/cli/stream/chunked_core.hpp).
CHUNK = 128 << 10

# Gibibytes through each entry of a build tree; the installed wheel's runs
# under every interpreter (noxfile.py) set KORVALITH_SKIP_LARGE_FILES and
# leave them to the build tree.
large_files = unittest.skipIf(os.environ.get("KORVALITH_SKIP_LARGE_FILES") == "1",
                              "KORVALITH_SKIP_LARGE_FILES=1: the large files were moved by the build tree's runs")


def cap_address_space():
    resource.setrlimit(resource.RLIMIT_AS, (512 << 20, 512 << 20))


@large_files
@unittest.skipIf(os.environ.get("KORVALITH_SANITIZED") == "1",
                 "AddressSanitizer reserves its shadow memory beyond any address-space cap")
class BoundedMemoryTest(unittest.TestCase):
    SIZE = 3 << 30  # a multiple of 3: its Base64 text has no padding

    def setUp(self):
        support.skip_unless_address_space_cap_holds(self)
        self.directory = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.directory)
        if shutil.disk_usage(self.directory).free < 10 << 30:
            self.skipTest("needs 10 GiB free for the 4 GiB and 3 GiB results")

    def run_capped(self, args, expected, block):
        """Runs under a 512 MiB address space, reading standard output as it
        comes: it must be `expected` bytes of `block` repeated, then a line
        break (or nothing, when -o takes the result). Returns the peak
        resident memory in bytes."""
        process = subprocess.Popen(command(*args), stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=ENVIRONMENT,
                                   preexec_fn=cap_address_space)
        if "-o" in args:
            message = process.stdout.read()
            self.assertEqual(message, b"Successfully wrote data to " + os.fsencode(args[-1]) + b"\n")
        received, tail = 0, b""
        pattern = block * (1 << 20)
        while block:
            chunk = process.stdout.read(len(pattern))
            if not chunk:
                break
            if received < expected:
                self.assertEqual(chunk[:expected - received], pattern[:min(len(chunk), expected - received)])
            received += len(chunk)
            if received > expected:
                tail = chunk[-(received - expected):]
        error = process.stderr.read()
        process.stdout.close()
        process.stderr.close()
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        self.assertEqual(process.returncode, 0, error)
        if "-o" not in args:
            self.assertEqual((received, tail), (expected + 1, b"\n"))
        return usage.ru_maxrss * 1024

    def assertFileOf(self, path, size, block):
        """The file has `size` bytes of `block`: checked in full at its start,
        its end and around every chunk boundary of its first 64 MiB (the
        decoding of the whole Base64 file to standard output checks the rest
        of it)."""
        self.assertEqual(os.stat(path).st_size, size)
        with open(path, "rb") as file:
            for at in [0, size - CHUNK] + [boundary - 64 for boundary in range(CHUNK, 64 * CHUNK, CHUNK)]:
                file.seek(at)
                self.assertEqual(file.read(CHUNK), block * CHUNK, at)

    def test_three_gibibytes_in_bounded_memory(self):
        source = os.path.join(self.directory, "zeros")
        encoded = os.path.join(self.directory, "zeros.b64")
        decoded = os.path.join(self.directory, "zeros.out")
        with open(source, "wb") as file:
            file.truncate(self.SIZE)
        text_size = self.SIZE // 3 * 4
        peaks = [
            self.run_capped(["base64", "encode", source], text_size, b"A"),
            self.run_capped(["base64", "encode", source, "-o", encoded], 0, b""),
        ]
        self.assertFileOf(encoded, text_size, b"A")
        peaks += [
            self.run_capped(["base64", "decode", encoded], self.SIZE, b"\0"),
            self.run_capped(["base64", "decode", encoded, "-o", decoded], 0, b""),
        ]
        self.assertFileOf(decoded, self.SIZE, b"\0")
        self.assertLess(max(peaks), 64 << 20)


if __name__ == "__main__":
    unittest.main()
