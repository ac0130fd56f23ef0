"""Where a result goes, and that it goes there whole or not at all: a new
-o file, an empty one, one that holds something, the input file itself,
standard output redirected to a file (`>` and `>>`) and a pipe each get the
bytes the reference run prints, or after a failure in the last chunk stay as
they were; two runs writing one file; a temporary directory that is full; a
file of /sys whose size lies; a new file made through a symbolic link to
nothing; an -o file that is standard output; standard output that is the
input file; a run that waits for another's lock; hidden files that killed
runs left; the file-size limit. The signals, inputs changing during a run
and streams of gibibytes are in test_cli_large.py."""

import base64
import fcntl
import os
import resource
import signal
import random
import shutil
import subprocess
import tempfile
import unittest

from support import DirectoryTest, command

ENVIRONMENT = {name: value for name, value in os.environ.items()
               if name not in ("NO_COLOR", "CLICOLOR", "CLICOLOR_FORCE")}

# The input bytes of one chunk (CHUNK_SIZE in src/cli/stream/chunked_core.hpp).
CHUNK = 128 << 10

# Where a result can go: -o kinds, then standard output kinds.
OUTPUT_FILES = ("new file", "empty file", "existing file", "the input itself")
STANDARD_OUTPUTS = ("stdout >", "stdout >>", "pipe", "stdout >> the input", "stdout 1<> the input")
OLD = b"old contents\n" * 1000


def run(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, input=None, env=None):
    return subprocess.run(command(*args), stdin=None if input is not None else stdin, stdout=stdout,
                          stderr=subprocess.PIPE, input=input, env=env or ENVIRONMENT, timeout=300)


# Random bytes as ASCII letters, blanks and punctuation.
LETTERS = bytes.maketrans(bytes(range(256)), bytes(b"abcdefghijklmnopqrstuvwxyzABCXYZ ,.\n"[i % 36]
                                                  for i in range(256)))


def text(rng, size):
    """ASCII letters, blanks and line breaks, exactly `size` bytes."""
    return rng.randbytes(size).translate(LETTERS)


class TargetsTest(DirectoryTest):
    def cases(self):
        """(arguments after the data, input, the bytes an -o file must hold
        where the reference run to a pipe cannot show them, the kinds of
        destination): valid inputs over two chunks, and inputs that fail in
        their last bytes, each kind of failure to every kind of destination."""
        rng = random.Random(31)
        letters = text(rng, 2 * CHUNK + 1)
        binary = rng.randbytes(3 * CHUNK)
        encoded = base64.b64encode(letters[:3 * CHUNK // 2])
        every = OUTPUT_FILES + STANDARD_OUTPUTS
        some = ("new file", "existing file", "stdout >>", "stdout >> the input")
        return [
            (["base64", "decode"], encoded, None, every),
            (["base64", "decode"], encoded + b"#", None, every),
            (["base64", "decode"], base64.b64encode(binary), binary, some),  # not text: -o only
            (["base32", "encode"], binary, None, some + ("stdout 1<> the input",)),
            (["rot13", "rotate"], letters, None, some),
            (["rot13", "rotate"], letters + b"\xc3", None, every),  # a character cut off at the end
            (["vigenere", "decrypt", "lemon"], letters, None, some),
            (["vigenere", "decrypt", "lemon"], letters + "é".encode(), None, some),
        ]

    def deliver(self, kind, args, data, source):
        """Runs `args` over the input (the file `source` holding `data`, or
        "-" for a pipe) into a destination of `kind`: the finished process,
        what the destination held before and what it holds after."""
        target = self.path("target")
        if os.path.exists(target):
            os.remove(target)
        before = {"empty file": b"", "existing file": OLD, "stdout >": b"", "stdout >>": OLD}.get(kind)
        if kind.endswith("the input itself") or kind.endswith("the input"):
            target, before = source, data
        elif before is not None:
            with open(target, "wb") as file:
                file.write(before)
        data_argument = "-" if source is None else source
        extra = ["-o", target] if kind in OUTPUT_FILES else []
        argv = [args[0], args[1], data_argument, *args[2:], *extra]
        stdin_data = data if source is None else None
        if kind.startswith("stdout"):
            mode = {"stdout >": "wb", "stdout 1<> the input": "r+b"}.get(kind, "ab")
            with open(target, mode) as stdout:
                process = run(argv, stdout=stdout, input=stdin_data)
        else:
            process = run(argv, input=stdin_data)
        if kind == "pipe":
            return process, b"", process.stdout
        after = None
        if os.path.exists(target):
            with open(target, "rb") as file:
                after = file.read()
        return process, before, after

    def test_every_destination_gives_the_reference_or_stays(self):
        source = self.path("input")
        for args, data, binary, kinds in self.cases():
            # From a file, and for a few cases and destinations from a pipe.
            for piped in (False, True):
                if piped and kinds != OUTPUT_FILES + STANDARD_OUTPUTS:
                    continue
                with open(source, "wb") as file:
                    file.write(data)
                reference = run([args[0], args[1], "-" if piped else source, *args[2:]],
                                input=data if piped else None)
                for kind in ("existing file", "stdout >>", "pipe") if piped else kinds:
                    with open(source, "wb") as file:
                        file.write(data)
                    with self.subTest(args=args, size=len(data), kind=kind, piped=piped):
                        process, before, after = self.deliver(kind, args, data, None if piped else source)
                        to_file = kind in OUTPUT_FILES
                        if to_file and binary is not None:
                            # Binary results may go to a file only.
                            self.assertEqual(reference.returncode, 2)
                            self.assertEqual(process.returncode, 0, process.stderr)
                            self.assertEqual(after, binary)
                            continue
                        self.assertEqual((process.returncode, process.stderr),
                                         (reference.returncode, reference.stderr))
                        if process.returncode != 0:
                            # As it was: absent, empty, old; no message.
                            self.assertEqual(after, before)
                            self.assertIn(process.stdout, (b"", None))
                        elif to_file:
                            self.assertEqual(after, reference.stdout[:-1])
                            name = source if kind == "the input itself" else self.path("target")
                            self.assertEqual(process.stdout, b"Successfully wrote data to " + os.fsencode(name) + b"\n")
                        elif kind == "stdout 1<> the input":
                            # Written from where standard output stands, the start.
                            self.assertEqual(after, reference.stdout + before[len(reference.stdout):])
                        else:
                            self.assertEqual(after, before + reference.stdout)

    def test_two_runs_writing_one_file(self):
        # Each leaves the file whole, one after the other: new, or holding
        # the other's result.
        rng = random.Random(5)
        sources = [self.path("a"), self.path("b")]
        results = []
        for number, source in enumerate(sources):
            with open(source, "wb") as file:
                file.write(text(rng, (4 << 20) + number))
            with open(source, "rb") as file:
                results.append(base64.b64encode(file.read()))
        target = self.path("target")
        for trial in range(3):
            if trial % 2 == 0 and os.path.exists(target):
                os.remove(target)
            processes = [subprocess.Popen(command("base64", "encode", source, "-o", target), stdin=subprocess.DEVNULL,
                                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=ENVIRONMENT)
                         for source in sources]
            waiting = b"Waiting for another process to release its lock on " + os.fsencode(target) + b"\n"
            for process in processes:
                stdout, stderr = process.communicate(timeout=300)
                self.assertEqual(process.returncode, 0, stderr)
                self.assertIn(stderr, (b"", waiting))
            with open(target, "rb") as file:
                self.assertIn(file.read(), results, "trial %d" % trial)

    def test_full_temporary_directory(self):
        # A result staged beyond memory into a temporary directory that has
        # no room: the system's reason, status 1, nothing written, nothing
        # left behind.
        mount = tempfile.mkdtemp()
        self.addCleanup(os.rmdir, mount)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", mount], capture_output=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a small tmpfs as the temporary directory: " +
                          mounted.stderr.decode(errors="replace").strip())
        self.addCleanup(subprocess.run, ["umount", mount], check=True)
        environment = dict(ENVIRONMENT, TMPDIR=mount)
        data = b"abcdefgh" * (5 << 20)  # 40 MiB, beyond what is held in memory
        process = run(["rot13", "rotate", "-"], input=data, env=environment)
        self.assertEqual((process.returncode, process.stdout), (1, b""))
        self.assertEqual(process.stderr, b"Unexpected error occurred.\nDetails: OSError: [Errno 28] No space left on "
                                         b"device\n")
        self.assertEqual(os.listdir(mount), [])
        self.assertEqual(shutil.disk_usage(mount).used, 0)
        # A directory that is not there is named, as Python names a file.
        missing = os.path.join(mount, "missing")
        process = run(["rot13", "rotate", "-"], input=data, env=dict(ENVIRONMENT, TMPDIR=missing))
        self.assertEqual((process.returncode, process.stdout), (1, b""))
        self.assertEqual(process.stderr, b"Unexpected error occurred.\nDetails: FileNotFoundError: [Errno 2] No such "
                                         b"file or directory: '" + os.fsencode(missing) + b"'\n")

    def test_file_whose_size_lies(self):
        # /sys announces a size its files do not hold: they are read as a
        # pipe is, not refused.
        candidates = ["/sys/kernel/mm/transparent_hugepage/enabled", "/sys/kernel/kexec_loaded",
                      "/sys/power/state"]
        name = next((path for path in candidates if os.path.isfile(path)), None)
        if name is None:
            self.skipTest("no known file of /sys here")
        with open(name, "rb") as file:
            contents = file.read()
        self.assertNotEqual(os.stat(name).st_size, len(contents))
        rotated = contents.decode().translate(str.maketrans("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ",
                                                            "nopqrstuvwxyzabcdefghijklmNOPQRSTUVWXYZABCDEFGHIJKLM"))
        process = run(["rot13", "rotate", name])
        self.assertEqual((process.returncode, process.stdout, process.stderr), (0, rotated.encode() + b"\n", b""))
        process = run(["base64", "encode", name, "-o", self.path("out")])
        self.assertEqual(process.returncode, 0, process.stderr)
        with open(self.path("out"), "rb") as file:
            self.assertEqual(file.read(), base64.b64encode(contents))

    def test_new_file_through_a_link_to_nothing(self):
        # The file is made where the links lead, and removed again when the
        # run fails; the links stay.
        os.mkdir(self.path("sub"))
        os.symlink("sub/link", self.path("link"))
        os.symlink("../made", self.path("sub/link"))
        process = run(["base64", "decode", "-s", "aG#k=", "-o", self.path("link")])
        self.assertEqual(process.returncode, 1)
        self.assertEqual(sorted(os.listdir(self.directory)), ["link", "sub"])
        process = run(["base64", "decode", "-s", "aGk=", "-o", self.path("link")])
        self.assertEqual(process.returncode, 0, process.stderr)
        with open(self.path("made"), "rb") as file:
            self.assertEqual(file.read(), b"hi")
        self.assertTrue(os.path.islink(self.path("link")))

    def test_output_file_that_is_standard_output(self):
        # The result is whole, and the message that names the file follows it.
        for mode, before in (("wb", b""), ("ab", b"old\n")):
            with self.subTest(mode=mode):
                with open(self.path("out"), "wb") as file:
                    file.write(before)
                with open(self.path("out"), mode) as stdout:
                    process = run(["base64", "encode", "-s", "hello", "-o", "/dev/stdout"], stdout=stdout)
                self.assertEqual((process.returncode, process.stderr), (0, b""))
                with open(self.path("out"), "rb") as file:
                    self.assertEqual(file.read(), b"aGVsbG8=Successfully wrote data to /dev/stdout\n")

    def test_run_that_waits_for_a_lock_says_so_once(self):
        # Another process holds the -o file's lock: the run says so on
        # standard error and waits; released, the run ends as usual; Ctrl-C
        # ends the wait with the file as it was.
        target = self.path("out")
        for stop in (False, True):
            with self.subTest(stop=stop):
                with open(target, "wb") as file:
                    file.write(b"old")
                holder = open(target, "rb")
                fcntl.flock(holder, fcntl.LOCK_EX)
                process = subprocess.Popen(command("base64", "encode", "-s", "hello", "-o", target),
                                           stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                           env=ENVIRONMENT, preexec_fn=lambda: signal.signal(signal.SIGINT,
                                                                                             signal.SIG_DFL))
                told = process.stderr.readline()
                if stop:
                    process.send_signal(signal.SIGINT)
                else:
                    holder.close()
                stdout, stderr = process.communicate(timeout=60)
                holder.close()
                self.assertEqual(told, b"Waiting for another process to release its lock on " +
                                 os.fsencode(target) + b"\n")
                self.assertEqual(stderr, b"")
                with open(target, "rb") as file:
                    self.assertEqual(file.read(), b"old" if stop else b"aGVsbG8=")
                self.assertEqual(process.returncode, 130 if stop else 0)

    def test_hidden_files_that_killed_runs_left_are_removed(self):
        # Names of the program's hidden files that no run holds locked; one
        # that a running process holds, and other names, stay.
        left = self.path(".korvalith-abcdefghijkl")
        held = self.path(".korvalith-mnopqrstuvwx")
        other = self.path(".korvalith-notours")
        for name in (left, held, other):
            with open(name, "wb") as file:
                file.write(b"x")
        holder = open(held, "rb")
        self.addCleanup(holder.close)
        fcntl.flock(holder, fcntl.LOCK_EX)
        process = run(["rot13", "rotate", "-s", "abc", "-o", self.path("out")])
        self.assertEqual(process.returncode, 0, process.stderr)
        self.assertEqual(sorted(os.listdir(self.directory)), sorted(os.path.basename(name)
                                                                   for name in (held, other, self.path("out"))))

    def test_file_size_limit_is_one_report_whatever_the_target(self):
        # A result beyond `ulimit -f`: "Could not write to file", status 2,
        # the target as it was, for a new file, one that is replaced, one
        # with two links (staged beyond memory, then committed in place).
        data = b"x" * (33 << 20)
        source = self.path("input")
        with open(source, "wb") as file:
            file.write(data)
        for kind in ("new file", "existing file", "two links"):
            with self.subTest(kind=kind):
                target = self.path(kind.replace(" ", "-"))
                if kind != "new file":
                    with open(target, "wb") as file:
                        file.write(OLD)
                if kind == "two links":
                    os.link(target, target + ".link")
                process = subprocess.run(command("rot13", "rotate", source, "-o", target), stdin=subprocess.DEVNULL,
                                         capture_output=True, env=ENVIRONMENT, timeout=300,
                                         preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE,
                                                                               (1 << 20, 1 << 20)))
                self.assertEqual((process.returncode, process.stdout), (2, b""))
                self.assertTrue(process.stderr.startswith(b"error: Could not write to file: " + os.fsencode(target) +
                                                          b"\n"), process.stderr)
                if kind == "new file":
                    self.assertFalse(os.path.exists(target))
                else:
                    with open(target, "rb") as file:
                        self.assertEqual(file.read(), OLD)


if __name__ == "__main__":
    unittest.main()
