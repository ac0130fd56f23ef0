"""The command line under faults: output that cannot be written, standard
output closed early, input that cannot be read or does not fit in memory,
Ctrl-C, arguments that are not UTF-8 or very long, and a 64 MiB input. Each
run ends with its status and report, never with a success message after a
failure, a traceback or a crash."""

import base64
import os
import resource
import signal
import stat
import struct
import subprocess
import tempfile
import time
import unittest

import support

COLOUR_VARIABLES = ("NO_COLOR", "CLICOLOR", "CLICOLOR_FORCE")
ENVIRONMENT = {name: value for name, value in os.environ.items() if name not in COLOUR_VARIABLES}

# Linux refuses a single argument longer than 32 pages (128 KiB).
LONG_ARGUMENT = 120 * 1024
BIG_INPUT = 64 << 20


def command(*args):
    return support.command(*(os.fsencode(arg) for arg in args))


def run(*args, stdout=subprocess.PIPE, cwd=None, argv=None):
    return subprocess.run(argv or command(*args), stdin=subprocess.DEVNULL, stdout=stdout,
                          stderr=subprocess.PIPE, env=ENVIRONMENT, cwd=cwd, timeout=300)


def limited(resource_id, limit):
    """A preexec_fn that caps one resource of the child."""
    return lambda: resource.setrlimit(resource_id, (limit, limit))


# System call numbers of read and write for the entry under test (x86-64 or
# 32-bit x86, as this interpreter: a build's program and interpreter are of
# the same target).
SYSCALLS = {"read": 3, "write": 4} if struct.calcsize("P") == 4 else {"read": 0, "write": 1}


def wait_until_blocked_in(process, call):
    """Waits (up to a minute) until the child sits in the system call on a
    pipe, which only the run itself reads or writes."""
    for _ in range(1200):
        try:
            with open("/proc/%d/syscall" % process.pid) as current:
                number, fd = current.read().split()[:2]
            if int(number) == SYSCALLS[call] and os.readlink("/proc/%d/fd/%d" % (process.pid, int(fd, 16))
                                                             ).startswith("pipe:"):
                return
        except (OSError, ValueError):
            pass
        time.sleep(0.05)
    raise AssertionError("the child never blocked in " + call)


class CommandLineFaultTest(unittest.TestCase):
    def setUp(self):
        directory = tempfile.TemporaryDirectory()
        self.addCleanup(directory.cleanup)
        self.directory = directory.name

    def path(self, name):
        return os.path.join(self.directory, name)

    def assertEnded(self, process, status):
        """The run ended by itself with `status`: no signal, no traceback."""
        self.assertEqual(process.returncode, status, process.stderr[-2000:])
        self.assertNotIn(b"Traceback", process.stderr)

    def assertFailedQuietly(self, process):
        """A failed run with a status of its own: not success, not a crash,
        nothing but a report on standard error."""
        self.assertIn(process.returncode, (1, 2), process.stderr[-2000:])
        self.assertNotIn(b"Traceback", process.stderr)
        self.assertNotEqual(process.stderr, b"")

    def assertErrorReport(self, process, message):
        self.assertEnded(process, 2)
        self.assertEqual(process.stdout, b"")
        self.assertTrue(process.stderr.startswith(b"error: " + message + b"\n"), process.stderr[:500])
        self.assertTrue(process.stderr.endswith(b"For more information, try '--help'.\n"))

    # Output that cannot be written.

    def test_output_file_on_a_full_device(self):
        process = run("base32", "encode", "-s", "hi", "-o", "/dev/full")
        self.assertErrorReport(process, b"Could not write to file: /dev/full")

    def test_output_file_in_a_missing_directory(self):
        target = self.path("missing/out.txt")
        process = run("caesar", "encrypt", "-s", "hello", "3", "-o", target)
        self.assertErrorReport(process, b"Could not write to file: " + os.fsencode(target))
        self.assertFalse(os.path.exists(os.path.dirname(target)))

    def test_output_file_that_is_a_directory(self):
        process = run("rot13", "rotate", "-s", "abc", "-o", self.directory)
        self.assertErrorReport(process, b"Could not write to file: " + os.fsencode(self.directory))

    def test_standard_output_on_a_full_device(self):
        with open("/dev/full", "wb") as full:
            process = run("rot13", "rotate", "-s", "abc", stdout=full)
        self.assertFailedQuietly(process)

    def test_success_message_on_a_full_device(self):
        # The file is written; the message that says so cannot be: no success.
        target = self.path("out.txt")
        with open("/dev/full", "wb") as full:
            process = run("base64", "encode", "-s", "hi", "-o", target, stdout=full)
        self.assertFailedQuietly(process)

    def test_standard_output_closed_by_its_reader(self):
        # A reader that wants no more is no error worth a message: status 1.
        reader, writer = os.pipe()
        os.close(reader)
        try:
            process = run("base64", "encode", "-s", "x" * 100000, stdout=writer)
        finally:
            os.close(writer)
        self.assertEnded(process, 1)
        self.assertEqual(process.stderr, b"")

    def test_standard_output_closed_while_writing(self):
        # The reader takes the first bytes of a large result, then goes away.
        source = self.path("big.txt")
        with open(source, "wb") as file:
            file.write(b"abcdefgh" * (1 << 20))
        process = subprocess.Popen(command("rot13", "rotate", source), stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=ENVIRONMENT)
        self.assertEqual(process.stdout.read(10), b"nopqrstuno")
        process.stdout.close()
        stderr = process.stderr.read()
        process.stderr.close()
        self.assertEqual((process.wait(timeout=300), stderr), (1, b""))

    def test_help_and_version_that_cannot_be_written(self):
        closed = [b"/bin/sh", b"-c", b'exec "$0" "$@" >&-']
        with open("/dev/full", "wb") as full:
            for args, stdout, prefix in ((["--help"], full, []), (["caesar", "encrypt", "-h"], full, []),
                                         (["--version"], subprocess.DEVNULL, closed)):
                with self.subTest(args=args):
                    process = run(argv=prefix + command(*args), stdout=stdout)
                    self.assertEnded(process, 1)
                    self.assertEqual(process.stderr, b"error: could not write to standard output\n")

    def test_standard_output_not_open(self):
        # fd 1 closed before the program or the interpreter starts.
        argv = [b"/bin/sh", b"-c", b'exec "$0" "$@" >&-', *command("rot13", "rotate", "-s", "abc")]
        process = run(argv=argv, stdout=subprocess.DEVNULL)
        self.assertFailedQuietly(process)

    def test_failed_write_leaves_input_untouched(self):
        source = self.path("in.txt")
        with open(source, "wb") as file:
            file.write(b"hello")
        process = run("caesar", "encrypt", source, "3", "-o", "/dev/full")
        self.assertErrorReport(process, b"Could not write to file: /dev/full")
        with open(source, "rb") as file:
            self.assertEqual(file.read(), b"hello")

    def test_failed_write_over_the_input_keeps_it(self):
        # -o names the input however spelled: the result is written beside it
        # and takes its place only when complete, keeping the file's mode.
        source = self.path("in.txt")
        open(source, "wb").close()
        os.symlink("in.txt", self.path("link.txt"))
        os.link(source, self.path("hard.txt"))
        spellings = [source, self.path("link.txt"), os.path.join(self.directory, ".", "in.txt"),
                     self.path("hard.txt")]
        for name in spellings:
            with self.subTest(output=name):
                with open(source, "wb") as file:
                    file.write(b"hello, world")
                os.chmod(source, 0o640)
                process = subprocess.run(command("rot13", "rotate", source, "-o", name), stdin=subprocess.DEVNULL,
                                         capture_output=True, env=ENVIRONMENT, timeout=300,
                                         preexec_fn=limited(resource.RLIMIT_FSIZE, 4))
                self.assertErrorReport(process, b"Could not write to file: " + os.fsencode(name))
                with open(source, "rb") as file:
                    self.assertEqual(file.read(), b"hello, world")
                self.assertEqual(sorted(os.listdir(self.directory)), ["hard.txt", "in.txt", "link.txt"])
        # Without a size limit the input is replaced, with its mode.
        process = run("rot13", "rotate", self.path("link.txt"), "-o", source)
        self.assertEnded(process, 0)
        with open(source, "rb") as file:
            self.assertEqual(file.read(), b"uryyb, jbeyq")
        self.assertEqual(stat.S_IMODE(os.stat(source).st_mode), 0o640)
        self.assertEqual(sorted(os.listdir(self.directory)), ["hard.txt", "in.txt", "link.txt"])
        # A new output file that cannot be completed is not left behind.
        process = subprocess.run(command("rot13", "rotate", source, "-o", self.path("new.txt")),
                                 stdin=subprocess.DEVNULL, capture_output=True, env=ENVIRONMENT, timeout=300,
                                 preexec_fn=limited(resource.RLIMIT_FSIZE, 4))
        self.assertErrorReport(process, b"Could not write to file: " + os.fsencode(self.path("new.txt")))
        self.assertFalse(os.path.exists(self.path("new.txt")))

    def test_interrupted_by_ctrl_c(self):
        # SIGINT while reading from a pipe or writing to one: status 130,
        # nothing on standard error, no success message, no output file.
        target = self.path("out.txt")
        for args, call in ((["base64", "encode", "-", "-o", target], "read"),
                           (["rot13", "rotate", "/dev/stdin"], "read"),
                           (["rot13", "rotate", "-s", "x" * LONG_ARGUMENT], "write")):
            with self.subTest(args=args[:3]):
                process = subprocess.Popen(command(*args), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                           stderr=subprocess.PIPE, env=ENVIRONMENT)
                try:
                    wait_until_blocked_in(process, call)
                    process.send_signal(signal.SIGINT)
                    status = process.wait(timeout=60)
                finally:
                    process.kill()
                    process.stdin.close()
                    stdout, stderr = process.stdout.read(), process.stderr.read()
                    process.stdout.close()
                    process.stderr.close()
                self.assertEqual((status, stderr), (130, b""))
                self.assertNotIn(b"Successfully", stdout)
                self.assertFalse(os.path.exists(target))

    def test_ctrl_c_that_the_parent_ignores(self):
        # A background job of a script starts with SIGINT ignored: Ctrl-C at
        # the terminal does not stop it, and the run completes.
        process = subprocess.Popen(command("base64", "encode", "-"), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, env=ENVIRONMENT,
                                   preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_IGN))
        try:
            wait_until_blocked_in(process, "read")
            process.send_signal(signal.SIGINT)
            stdout, stderr = process.communicate(b"hello", timeout=60)
        finally:
            process.kill()
            process.wait()
        self.assertEqual((process.returncode, stdout, stderr), (0, b"aGVsbG8=\n", b""))

    @unittest.skipIf(os.environ.get("KORVALITH_SANITIZED") == "1",
                     "AddressSanitizer reserves its shadow memory beyond any address-space cap")
    def test_input_too_large_for_memory(self):
        source = self.path("sparse.bin")
        with open(source, "wb") as file:
            file.truncate(1 << 30)
        process = subprocess.run(command("base64", "encode", source), stdin=subprocess.DEVNULL, capture_output=True,
                                 env=ENVIRONMENT, timeout=300, preexec_fn=limited(resource.RLIMIT_AS, 512 << 20))
        self.assertEnded(process, 1)
        self.assertEqual(process.stderr, b"Unexpected error occurred.\nDetails: MemoryError: could not allocate %d "
                                         b"bytes\n" % ((1 << 30) + 1))

    # Input that cannot be read.

    def test_directory_as_input(self):
        for group, action, extra in (("caesar", "encrypt", ["3"]), ("base64", "decode", []),
                                     ("base32", "encode", [])):
            with self.subTest(group=group):
                target = self.path("out.txt")
                process = run(group, action, self.directory, *extra, "-o", target)
                self.assertErrorReport(process, b"Could not read file: " + os.fsencode(self.directory))
                self.assertFalse(os.path.exists(target))

    def test_input_whose_read_fails(self):
        # Opening succeeds, reading fails (EIO): what an unreadable file looks
        # like whatever the permissions of the user running the tests.
        process = run("base32", "encode", "/proc/self/mem")
        self.assertErrorReport(process, b"Could not read file: /proc/self/mem")

    @unittest.skipIf(os.geteuid() == 0, "permissions do not stop the superuser from reading")
    def test_input_without_read_permission(self):
        source = self.path("secret.txt")
        with open(source, "wb") as file:
            file.write(b"hello")
        os.chmod(source, 0)
        process = run("rot13", "rotate", source)
        self.assertErrorReport(process, b"Could not read file: " + os.fsencode(source))

    def test_input_path_in_a_symlink_loop(self):
        loop = self.path("loop")
        os.symlink(loop, loop)
        process = run("rot13", "rotate", loop)
        self.assertErrorReport(process, b"Could not read file: " + os.fsencode(loop))

    # Arguments that cannot enter the argument list.

    def test_argument_not_utf8(self):
        target = self.path("out.txt")
        for args in (("rot13", "rotate", "-s", b"\xff\xfe", "-o", target),
                     ("base32", "encode", "-s", "hi", "-o", os.fsencode(target) + b"\xff"),
                     ("caesar", b"encrypt\xc3", "-s", "abc", "3")):
            with self.subTest(args=args):
                process = run(*args)
                self.assertFailedQuietly(process)
                self.assertEqual(process.stdout, b"")
                self.assertEqual(os.listdir(self.directory), [])

    def test_program_name_not_utf8(self):
        link = os.path.join(os.fsencode(self.directory), b"korvalith\xff")
        os.symlink(os.fsencode(support.entry()), link)
        process = run(argv=support.command(b"rot13", b"rotate", b"-s", b"abc", path=link))
        self.assertErrorReport(process, b"The program's path is not valid UTF-8")

    # Very long arguments.

    def test_long_data_argument(self):
        data = "Attack at dawn! " * (LONG_ARGUMENT // 16)
        process = run("caesar", "encrypt", "-s", data, "3")
        self.assertEnded(process, 0)
        self.assertEqual(process.stdout, ("Dwwdfn dw gdzq! " * (LONG_ARGUMENT // 16) + "\n").encode())

    def test_long_key_argument(self):
        process = run("vigenere", "encrypt", "-s", "abc", "a" * LONG_ARGUMENT)
        self.assertEnded(process, 0)
        self.assertEqual(process.stdout, b"abc\n")
        process = run("vigenere", "encrypt", "-s", "abc", "a" * LONG_ARGUMENT + "1")
        self.assertErrorReport(process, b"ValueError: Key must be non-empty and contain only alphabetic characters")

    def test_long_unknown_arguments(self):
        for element in ("--" + "x" * LONG_ARGUMENT, "-" + "q" * LONG_ARGUMENT, "y" * LONG_ARGUMENT):
            with self.subTest(length=len(element)):
                process = run("rot13", "rotate", "-s", "abc", element)
                self.assertEnded(process, 2)
                self.assertEqual(process.stdout, b"")
                self.assertTrue(process.stderr.startswith(b"error: "))

    def test_long_shift_argument(self):
        process = run("caesar", "encrypt", "-s", "abc", "9" * LONG_ARGUMENT)
        self.assertEnded(process, 2)
        self.assertIn(b"number too large to fit in target type", process.stderr)

    def test_long_output_name(self):
        target = self.path("o" * 5000)
        process = run("rot13", "rotate", "-s", "abc", "-o", target)
        self.assertErrorReport(process, b"Could not write to file: " + os.fsencode(target))

    def test_many_arguments(self):
        process = run("rot13", "rotate", "-s", "abc", *(["-s"] * 20000))
        self.assertEnded(process, 2)
        self.assertEqual(process.stdout, b"")

    # A 64 MiB input.

    def test_large_input_file(self):
        source = self.path("big.bin")
        data = os.urandom(1 << 20) * (BIG_INPUT >> 20)
        with open(source, "wb") as file:
            file.write(data)
        encoded = self.path("big.b64")
        process = run("base64", "encode", source, "-o", encoded)
        self.assertEnded(process, 0)
        self.assertEqual(process.stdout, b"Successfully wrote data to " + os.fsencode(encoded) + b"\n")
        with open(encoded, "rb") as file:
            self.assertEqual(file.read(), base64.b64encode(data))
        decoded = self.path("big.out")
        process = run("base64", "decode", encoded, "-o", decoded)
        self.assertEnded(process, 0)
        with open(decoded, "rb") as file:
            self.assertEqual(file.read(), data)

    def test_large_text_to_standard_output(self):
        source = self.path("big.txt")
        line = b"the quick brown fox jumps over the lazy dog 0123456789\n"
        with open(source, "wb") as file:
            file.write(line * (BIG_INPUT // len(line)))
        process = run("rot13", "rotate", source)
        self.assertEnded(process, 0)
        rotated = b"gur dhvpx oebja sbk whzcf bire gur ynml qbt 0123456789\n"
        self.assertEqual(len(process.stdout), len(line) * (BIG_INPUT // len(line)) + 1)
        self.assertTrue(process.stdout.startswith(rotated * 100))
        self.assertEqual(process.stdout[-len(rotated) - 1:], rotated + b"\n")


if __name__ == "__main__":
    unittest.main()
