"""The command line over gibibytes in bounded memory, and under signals
and inputs that change while it runs: a 3 GiB file is encoded and decoded,
and 6 GiB streams are decoded and rotated, in a process whose address
space is far smaller; SIGINT, SIGTERM and SIGHUP at random points of large
runs end them with a status that tells the target's state; a file changed
during a run leaves each kind of target old or new, never mixed; SIGKILL
at random points leaves every -o target that can be replaced old or new.

These tests move gigabytes, need about 10 GiB of free disk and take
minutes: CTest labels them `large`, and quick loops leave them out with
`-LE large`."""

import base64
import hashlib
import os
import random
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
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


def as_at_a_terminal():
    """A preexec_fn that gives the child the default action of the stop
    signals, as a program run at a terminal has it, whatever the test
    runner inherited (a background job starts with SIGINT ignored)."""
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, signal.SIG_DFL)


def digest(path):
    """The SHA-256 of a file, or None when there is none."""
    if not os.path.exists(path):
        return None
    hasher = hashlib.sha256()
    with open(path, "rb") as file:
        for block in iter(lambda: file.read(1 << 20), b""):
            hasher.update(block)
    return hasher.hexdigest()


def age(path):
    """Sets the file's time of last change a day back, so that a change made
    in the same clock tick as its writing still shows."""
    past = time.time() - 86400
    os.utime(path, (past, past))


# Random bytes as ASCII letters, blanks and line breaks.
LETTERS = bytes.maketrans(bytes(range(256)), bytes(b"abcdefghijklmnopqrstuvwxyzABCXYZ ,.\n"[i % 36]
                                                  for i in range(256)))
ROT13 = bytes.maketrans(b"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ",
                        b"nopqrstuvwxyzabcdefghijklmNOPQRSTUVWXYZABCDEFGHIJKLM")


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



def feed(process, block, count):
    """Writes `block` `count` times into the process's standard input, then
    closes it; a reader that went away ends the writing."""
    try:
        for _ in range(count):
            process.stdin.write(block)
        process.stdin.close()
    except (BrokenPipeError, ValueError):
        pass


@large_files
@unittest.skipIf(os.environ.get("KORVALITH_SANITIZED") == "1",
                 "AddressSanitizer reserves its shadow memory beyond any address-space cap")
class StreamTest(unittest.TestCase):
    """6 GiB generated on the fly and piped into an action that can fail:
    the result is staged, on disk beyond a bound of memory, and printed once
    the whole stream has been judged."""

    COUNT = 6144  # blocks of 1 MiB of input

    def setUp(self):
        support.skip_unless_address_space_cap_holds(self)
        self.staging = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.staging)
        if shutil.disk_usage(self.staging).free < 8 << 30:
            self.skipTest("needs 8 GiB free in the temporary directory to stage a 6 GiB result")

    def stream(self, args, block, result_block):
        """Pipes `block` COUNT times into the command under a 512 MiB address
        space: its standard output must be `result_block` COUNT times and a
        line break, staged on disk meanwhile, in little memory."""
        environment = dict(ENVIRONMENT, TMPDIR=self.staging)
        process = subprocess.Popen(command(*args), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, env=environment, preexec_fn=cap_address_space)
        writer = threading.Thread(target=feed, args=(process, block, self.COUNT))
        writer.start()
        # The result is staged in an unnamed file of the temporary directory
        # while the input comes; nothing is printed before its end.
        staged = False
        while not staged and process.poll() is None:
            try:
                links = [os.readlink("/proc/%d/fd/%s" % (process.pid, fd))
                         for fd in os.listdir("/proc/%d/fd" % process.pid)]
            except OSError:
                links = []
            staged = any(link.startswith(self.staging + "/") for link in links)
            time.sleep(0.01)
        self.assertTrue(staged, "no staging file was seen in the temporary directory")
        received = 0
        for _ in range(self.COUNT):
            chunk = process.stdout.read(len(result_block))
            self.assertEqual(chunk, result_block, "at %d" % received)
            received += len(chunk)
        self.assertEqual(process.stdout.read(), b"\n")
        writer.join()
        error = process.stderr.read()
        process.stdout.close()
        process.stderr.close()
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        self.assertEqual((process.returncode, error), (0, b""))
        self.assertLess(usage.ru_maxrss * 1024, 64 << 20)
        self.assertEqual(os.listdir(self.staging), [])

    def test_six_gibibytes_decoded(self):
        text = random.Random(6).randbytes(3 << 18).translate(LETTERS)  # 768 KiB: 1 MiB of Base64
        self.stream(["base64", "decode", "-"], base64.b64encode(text), text)

    def test_six_gibibytes_rotated(self):
        text = random.Random(13).randbytes(1 << 20).translate(LETTERS)
        self.stream(["rot13", "rotate", "-"], text, text.translate(ROT13))


@large_files
class InterruptedTest(unittest.TestCase):
    """SIGINT, SIGTERM and SIGHUP at random points of runs over 128 MiB: the
    status tells the target's state every time. 0: the whole result is
    there. 128 + the signal's number (or killed by it, before the run could
    take it): the target is as it was, absent if it was new."""

    TRIALS = 24

    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.mkdtemp()
        rng = random.Random(29)
        cls.decoded = rng.randbytes(96 << 20).translate(LETTERS)
        cls.encoded = base64.b64encode(cls.decoded)
        cls.source = os.path.join(cls.directory, "input")
        with open(cls.source, "wb") as file:
            file.write(cls.encoded)
        cls.old = b"old contents\n" * 4096

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.directory)
        # A child's peak memory counts this process's at the fork that made
        # it: the later tests' children must not start with these bytes.
        del cls.decoded, cls.encoded

    def trial(self, number, kind, piped, signal_number, delay):
        target = os.path.join(self.directory, "target")
        for path in (target,):
            if os.path.exists(path):
                os.remove(path)
        with open(self.source, "wb") as file:
            file.write(self.encoded)
        before = None
        if kind == "existing file":
            with open(target, "wb") as file:
                file.write(self.old)
            before = hashlib.sha256(self.old).hexdigest()
        if kind == "the input itself":
            target = self.source
            before = hashlib.sha256(self.encoded).hexdigest()
        stdout = subprocess.DEVNULL
        if kind == "stdout >":
            stdout = open(target, "wb")
            before = hashlib.sha256(b"").hexdigest()
        args = ["base64", "decode", "-" if piped else self.source]
        if kind != "stdout >":
            args += ["-o", target]
        process = subprocess.Popen(command(*args), stdin=subprocess.PIPE if piped else subprocess.DEVNULL,
                                   stdout=stdout, stderr=subprocess.PIPE, env=ENVIRONMENT,
                                   preexec_fn=as_at_a_terminal)
        if stdout is not subprocess.DEVNULL:
            stdout.close()
        writer = None
        if piped:
            writer = threading.Thread(target=feed, args=(process, self.encoded, 1))
            writer.start()
        time.sleep(delay)
        process.send_signal(signal_number)
        error = process.stderr.read()
        process.stderr.close()
        process.wait(timeout=300)
        if writer:
            writer.join()
            try:
                process.stdin.close()
            except BrokenPipeError:
                pass
        after = digest(target)
        context = "trial %d: %s%s, %s after %.3f s: status %d, %r" % (
            number, kind, " from a pipe" if piped else "", signal.Signals(signal_number).name, delay,
            process.returncode, error[-300:])
        whole = hashlib.sha256(self.decoded + (b"\n" if kind == "stdout >" else b"")).hexdigest()
        if process.returncode == 0:
            self.assertEqual(after, whole, context)
        elif process.returncode == -signal_number and support.ENTRY == "python":
            # Killed by the signal: under the interpreter, one that came
            # before cli.parse took the stop signals, or after it returned.
            self.assertIn(after, (before, whole), context)
        elif process.returncode == 1 and support.ENTRY == "python" and b"KeyboardInterrupt" in error:
            # Ctrl-C while the interpreter started, before cli.parse took
            # SIGINT: its own report, a traceback or the bare name.
            self.assertEqual(after, before, context)
        else:
            self.assertIn(process.returncode, (128 + signal_number, -signal_number), context)
            self.assertEqual(error, b"", context)
            self.assertEqual(after, before, context)
        return process.returncode

    def test_stop_signals_at_random_points(self):
        # A run uninterrupted, to know how long one takes here.
        started = time.monotonic()
        process = subprocess.run(command("base64", "decode", self.source, "-o", os.path.join(self.directory, "t")),
                                 capture_output=True, env=ENVIRONMENT, timeout=300)
        with open(self.source, "wb") as file:
            file.write(self.encoded)
        subprocess.run(command("base64", "decode", self.source, "-o", os.path.join(self.directory, "t")),
                       capture_output=True, env=ENVIRONMENT, timeout=300, check=True)
        duration = time.monotonic() - started
        self.assertEqual(process.returncode, 0, process.stderr)
        rng = random.Random(143)
        statuses = []
        for number in range(self.TRIALS):
            kind = rng.choice(["new file", "existing file", "the input itself", "stdout >"])
            piped = kind != "the input itself" and rng.random() < 0.3
            signal_number = rng.choice([signal.SIGINT, signal.SIGTERM, signal.SIGHUP])
            statuses.append(self.trial(number, kind, piped, signal_number, rng.uniform(0, duration / 2)))
        # The trials stopped runs as well as let some finish.
        self.assertTrue(any(status != 0 for status in statuses), statuses)


@large_files
class KilledTest(unittest.TestCase):
    """SIGKILL, which no program can catch, at seeded random points of
    `base64 encode` and `rot13 rotate` over 64 MiB into each kind of -o
    target that is replaced (new, one link, the input itself, reached
    through a symbolic link): every target holds what it held before or the
    whole result, and the next run in the directory leaves none of the
    program's hidden files behind. A target with two links is written in
    place; what a kill leaves there is counted and printed, not judged."""

    TRIALS = 120
    REPLACED = ("new file", "existing file", "the input itself", "symbolic link")

    def setUp(self):
        self.directory = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.directory)

    def test_sigkill_at_random_points(self):
        rng = random.Random(37)
        original = rng.randbytes(64 << 20).translate(LETTERS)
        source = os.path.join(self.directory, "input")
        target = os.path.join(self.directory, "target")
        old = b"old contents\n" * ((72 << 20) // 13)  # longer than either result
        results = {"base64": base64.b64encode(original), "rot13": original.translate(ROT13)}
        durations = {}
        for group, action in (("base64", "encode"), ("rot13", "rotate")):
            with open(source, "wb") as file:
                file.write(original)
            started = time.monotonic()
            subprocess.run(command(group, action, source, "-o", target), capture_output=True, env=ENVIRONMENT,
                           timeout=300, check=True)
            durations[group] = time.monotonic() - started
        mixed_in_place = []
        in_place = 0
        for number in range(self.TRIALS):
            kind = rng.choice(self.REPLACED + ("two links",))
            group, action = rng.choice([("base64", "encode"), ("rot13", "rotate")])
            for name in os.listdir(self.directory):
                os.remove(os.path.join(self.directory, name))
            with open(source, "wb") as file:
                file.write(original)
            before = None
            target = named = os.path.join(self.directory, "target")
            if kind == "the input itself":
                named = target = source
                before = original
            elif kind != "new file":
                with open(target, "wb") as file:
                    file.write(old)
                before = old
                if kind == "symbolic link":
                    named = os.path.join(self.directory, "link")
                    os.symlink("target", named)
                if kind == "two links":
                    os.link(target, os.path.join(self.directory, "other"))
            # Anywhere from the start to past the end of an uninterrupted run.
            delay = rng.uniform(0, durations[group] * 1.1)
            process = subprocess.Popen(command(group, action, source, "-o", named), stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=ENVIRONMENT)
            time.sleep(delay)
            process.kill()
            error = process.stderr.read()
            process.stderr.close()
            process.wait(timeout=300)
            after = None
            if os.path.exists(target):
                with open(target, "rb") as file:
                    after = file.read()
            context = "trial %d: %s %s into %s, killed after %.3f s: status %d, %r" % (
                number, group, action, kind, delay, process.returncode, error[-300:])
            if process.returncode == 0:
                self.assertEqual(after, results[group], context)
            elif kind == "two links":
                in_place += 1
                if after not in (before, results[group]):
                    mixed_in_place.append(context)
            else:
                self.assertEqual(process.returncode, -signal.SIGKILL, context)
                self.assertTrue(after == before or after == results[group], context)
            if kind == "symbolic link":
                self.assertTrue(os.path.islink(named), context)
        # What a kill between linking the result under a hidden name and
        # renaming it over the target could leave, the next run removes.
        subprocess.run(command("rot13", "rotate", "-s", "x", "-o", os.path.join(self.directory, "last")),
                       capture_output=True, env=ENVIRONMENT, timeout=300, check=True)
        self.assertEqual([name for name in os.listdir(self.directory) if name.startswith(".korvalith-")], [])
        print("\nSIGKILL into a file with two links (in place): %d of %d trials left it mixed"
              % (len(mixed_in_place), in_place), file=sys.stderr)


@large_files
class ChangedInputTest(unittest.TestCase):
    """A file changed while it is read (at a random point: between the check
    and the write, or during the one pass) leaves every kind of target old
    or new, never mixed: a run that succeeds made the whole result of the
    file as it was or as it became; one that fails says it could not read
    the file and leaves the target as it was."""

    TRIALS = 24

    def setUp(self):
        self.directory = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.directory)

    def test_file_changed_during_a_run(self):
        rng = random.Random(2)
        original = rng.randbytes(64 << 20).translate(LETTERS)
        source = os.path.join(self.directory, "input")
        target = os.path.join(self.directory, "target")
        with open(source, "wb") as file:
            file.write(original)
        started = time.monotonic()
        subprocess.run(command("rot13", "rotate", source, "-o", target), capture_output=True, env=ENVIRONMENT,
                       timeout=300, check=True)
        duration = time.monotonic() - started
        middle = len(original) // 2
        changes = {
            # The same size, other text; shorter; no longer text.
            "rewritten": lambda file: (file.seek(middle), file.write(b"CHANGED")),
            "shrunk": lambda file: file.truncate(middle),
            "not text": lambda file: (file.seek(len(original) - 1), file.write(b"\xff")),
        }
        for number in range(self.TRIALS):
            kind = rng.choice(["new file", "existing file", "stdout >", "pipe"])
            change = rng.choice(sorted(changes))
            delay = rng.uniform(0, duration)
            with open(source, "wb") as file:
                file.write(original)
            age(source)
            if os.path.exists(target):
                os.remove(target)
            if kind == "existing file":
                with open(target, "wb") as file:
                    file.write(b"old")
            args = ["rot13", "rotate", source] + (["-o", target] if kind in ("new file", "existing file") else [])
            stdout = open(target, "wb") if kind == "stdout >" else subprocess.PIPE
            process = subprocess.Popen(command(*args), stdin=subprocess.DEVNULL, stdout=stdout,
                                       stderr=subprocess.PIPE, env=ENVIRONMENT)
            if kind == "stdout >":
                stdout.close()
            # The reader takes the output as it comes.
            output = []
            reader = threading.Thread(target=lambda: output.append(process.stdout.read() if process.stdout else b""))
            reader.start()
            time.sleep(delay)
            with open(source, "r+b") as file:
                changes[change](file)
            with open(source, "rb") as file:
                changed = file.read()
            error = process.stderr.read()
            reader.join()
            process.wait(timeout=300)
            process.stderr.close()
            if process.stdout:
                process.stdout.close()
            if kind == "pipe":
                result = output[0]
            else:
                result = None
                if os.path.exists(target):
                    with open(target, "rb") as file:
                        result = file.read()
            context = "trial %d: %s, %s after %.3f s: status %d, %r" % (number, kind, change, delay,
                                                                         process.returncode, error[-300:])
            line = b"\n" if kind in ("stdout >", "pipe") else b""
            wholes = [original.translate(ROT13) + line]
            if change != "not text":
                wholes.append(changed.translate(ROT13) + line)
            if process.returncode == 0:
                self.assertTrue(result in wholes, context)
                continue
            self.assertEqual(process.returncode, 2, context)
            self.assertEqual(error, b"error: Could not read file: " + os.fsencode(source) +
                             b"\n\nUsage: Korvalith <COMMAND>\n\nFor more information, try '--help'.\n", context)
            if kind == "pipe":
                # What went out as it was made is a part of the result of
                # the file as it was or as it became.
                self.assertTrue(any(whole.startswith(result) for whole in
                                    (original.translate(ROT13), changed.translate(ROT13))), context)
            else:
                self.assertEqual(result, {"new file": None, "existing file": b"old", "stdout >": b""}[kind], context)


if __name__ == "__main__":
    unittest.main()
