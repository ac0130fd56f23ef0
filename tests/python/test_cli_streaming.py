"""The command line over files in chunks: every action gives, byte for byte,
what the same input read whole gives (from standard input), to standard
output and into an -o file, also when it fails in the last chunk; the
encoders agree with coreutils; and a 3 GiB file is encoded and decoded in a
process whose address space is far smaller."""

import base64
import os
import random
import resource
import shutil
import subprocess
import tempfile
import unittest

from support import DirectoryTest, command

ENVIRONMENT = {name: value for name, value in os.environ.items()
               if name not in ("NO_COLOR", "CLICOLOR", "CLICOLOR_FORCE")}

# The input bytes of one chunk (CHUNK_SIZE in src/cli/stream/chunked_core.hpp);
# the inputs' sizes fall just around it.
CHUNK = 128 << 10

ACTIONS = [
    ("base32", "encode"), ("base32", "decode"), ("base64", "encode"), ("base64", "decode"),
    ("caesar", "encrypt", "--", "-3"), ("caesar", "decrypt", "7"), ("rot13", "encrypt"), ("rot13", "decrypt"),
    ("rot13", "rotate"), ("vigenere", "encrypt", "lemon"), ("vigenere", "decrypt", "-k", "lemon"),
]


# Gibibytes through each entry of a build tree; the installed wheel's runs
# under every interpreter (noxfile.py) set KORVALITH_SKIP_LARGE_FILES and
# leave them to the build tree.
large_files = unittest.skipIf(os.environ.get("KORVALITH_SKIP_LARGE_FILES") == "1",
                              "KORVALITH_SKIP_LARGE_FILES=1: the large files were moved by the build tree's runs")


# coreutils runs without the sanitizer runtime that sanitized builds preload
# into the tests (it would report the peer's own leaks).
PEER_ENVIRONMENT = {name: value for name, value in ENVIRONMENT.items() if name != "LD_PRELOAD"}


def run(args, stdin=subprocess.DEVNULL):
    return subprocess.run(command(*args), stdin=stdin, capture_output=True, env=ENVIRONMENT, timeout=600)


# Random bytes as letters, blanks and punctuation; Q, W and X stand for
# characters of two, three and four bytes.
LETTERS = bytes.maketrans(bytes(range(256)), bytes(b"abcdefghijklmnopqrstuvwxyzABC ,.\nQWX"[i % 36]
                                                  for i in range(256)))


def text(rng, size, ascii_only):
    """UTF-8 text of exactly `size` bytes, ASCII only or not."""
    letters = rng.randbytes(size).translate(LETTERS)
    if ascii_only:
        return letters.replace(b"Q", b"q").replace(b"W", b"w").replace(b"X", b"x")
    mixed = letters.replace(b"Q", "é".encode()).replace(b"W", "€".encode()).replace(b"X", "😀".encode())
    mixed = mixed[:size].decode(errors="ignore").encode()
    return mixed + b"a" * (size - len(mixed))


def inputs(action, rng):
    """Valid inputs just under one chunk and just over two, and inputs of
    just over two chunks that fail only in their last bytes."""
    group, name = action[:2]
    if name == "encode":
        return [rng.randbytes(CHUNK - 1), rng.randbytes(2 * CHUNK + 1)]
    if name == "decode":
        encode = base64.b32encode if group == "base32" else base64.b64encode
        small, large = (encode(text(rng, size * 3 // 4, False)) for size in (CHUNK - 1, 2 * CHUNK + 1))
        return [small, large, large + b"#", encode(rng.randbytes(2 * CHUNK) + b"\xff")]
    ascii_only = group == "vigenere"
    small, large = (text(rng, size, ascii_only) for size in (CHUNK - 1, 2 * CHUNK + 1))
    return [small, large, large + b"\xc3"] + ([large + "é".encode()] if ascii_only else [])


class StreamedAgainstWholeTest(DirectoryTest):
    def test_every_action_as_if_read_whole(self):
        rng = random.Random(21)
        source = self.path("in")
        for group, name, *extra in ACTIONS:
            for number, data in enumerate(inputs((group, name), rng)):
                with open(source, "wb") as file:
                    file.write(data)
                with self.subTest(action=(group, name), size=len(data), input=number):
                    # Standard input is read whole (the encoders stream it).
                    with open(source, "rb") as stdin:
                        whole = run([group, name, "-", *extra], stdin=stdin)
                    streamed = run([group, name, source, *extra])
                    self.assertEqual(streamed.returncode, whole.returncode, streamed.stderr[-300:])
                    self.assertEqual(streamed.stdout, whole.stdout)
                    self.assertEqual(streamed.stderr, whole.stderr.replace(b": -\n", b": " + os.fsencode(source) +
                                                                           b"\n"))
                    if name == "encode":
                        encode = base64.b32encode if group == "base32" else base64.b64encode
                        self.assertEqual(streamed.stdout, encode(data) + b"\n")
                    if number == 0:
                        continue
                    # And into a file.
                    with open(source, "rb") as stdin:
                        whole = run([group, name, "-", "-o", self.path("whole"), *extra], stdin=stdin)
                    streamed = run([group, name, source, "-o", self.path("streamed"), *extra])
                    self.assertEqual(streamed.returncode, whole.returncode, streamed.stderr[-300:])
                    if streamed.returncode == 0:
                        with open(self.path("whole"), "rb") as expected, open(self.path("streamed"), "rb") as got:
                            self.assertEqual(got.read(), expected.read())

    @unittest.skipUnless(shutil.which("base64") and shutil.which("base32"), "needs coreutils base64 and base32")
    def test_encoders_agree_with_coreutils(self):
        rng = random.Random(5)
        for size in (1, 2, 3, 4, 5, CHUNK + 2):
            source = self.path("in")
            with open(source, "wb") as file:
                file.write(rng.randbytes(size))
            for group in ("base32", "base64"):
                with self.subTest(group=group, size=size):
                    peer = subprocess.run([group, "-w0", source], capture_output=True, check=True, timeout=60,
                                          env=PEER_ENVIRONMENT)
                    self.assertEqual(run([group, "encode", source]).stdout, peer.stdout + b"\n")


def cap_address_space():
    resource.setrlimit(resource.RLIMIT_AS, (512 << 20, 512 << 20))


@large_files
@unittest.skipIf(os.environ.get("KORVALITH_SANITIZED") == "1",
                 "AddressSanitizer reserves its shadow memory beyond any address-space cap")
class BoundedMemoryTest(unittest.TestCase):
    SIZE = 3 << 30  # a multiple of 3: its Base64 text has no padding

    def setUp(self):
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
