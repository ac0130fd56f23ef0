"""The command line over files in chunks: every action gives, byte for byte,
what the same input read once from standard input gives, to standard output
and into an -o file, also when it fails in the last chunk; the encoders
agree with coreutils. The multi-GiB runs are in test_cli_large.py."""

import base64
import os
import random
import shutil
import subprocess
import unittest

import test_cli
from support import DirectoryTest, command

ENVIRONMENT = {name: value for name, value in os.environ.items()
               if name not in ("NO_COLOR", "CLICOLOR", "CLICOLOR_FORCE")}

# The input bytes of one chunk (CHUNK_SIZE in src/cli/stream/chunked_core.hpp);
# the inputs' sizes fall just around it.
CHUNK = 128 << 10

# Every action, with the arguments of its case in test_cli.py (whose test
# fails until every action has one), and a few with other arguments.
OTHER_ARGUMENTS = {("caesar", "encrypt"): ["--", "-3"], ("caesar", "decrypt"): ["7"],
                   ("vigenere", "decrypt"): ["-k", "lemon"]}
ACTIONS = [(*command, *OTHER_ARGUMENTS.get(command, extra)) for command, _, _, *extra in test_cli.ActionsTest.CASES]


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
                    # Standard input is read once, the result staged where it
                    # can fail (the encoders stream it).
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


if __name__ == "__main__":
    unittest.main()
