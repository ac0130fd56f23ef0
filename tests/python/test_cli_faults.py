"""The command line under faults: output that cannot be written, standard
output closed early, input that cannot be read, Ctrl-C, arguments that are not UTF-8 or very long, and a 64 MiB input. Each
run ends with its status and report, never with a success message after a
failure, a traceback or a crash."""

import base64
import os
import resource
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import time
import unittest

import support
from support import DirectoryTest

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


def ctrl_c_as_at_a_terminal():
    """A preexec_fn that gives the child Ctrl-C's default action, as a
    program run at a terminal has it, whatever the test runner inherited (a
    background job of a script starts with SIGINT ignored, and so would every
    child of the tests)."""
    signal.signal(signal.SIGINT, signal.SIG_DFL)


# System call numbers of read and write for the entry under test (x86-64 or
# 32-bit x86, as this interpreter: a build's program and interpreter are of
# the same target).
SYSCALLS = {"read": 3, "write": 4} if struct.calcsize("P") == 4 else {"read": 0, "write": 1}


def wait_until_blocked_in(process, call, on="pipe:"):
    """Waits (up to a minute) until the child sits in the system call on a
    pipe (or on the FIFO named `on`), which only the run itself reads or
    writes."""
    for _ in range(1200):
        try:
            with open("/proc/%d/syscall" % process.pid) as current:
                number, fd = current.read().split()[:2]
            if int(number) == SYSCALLS[call] and os.readlink("/proc/%d/fd/%d" % (process.pid, int(fd, 16))
                                                             ).startswith(on):
                return
        except (OSError, ValueError):
            pass
        time.sleep(0.05)
    raise AssertionError("the child never blocked in " + call)


class CommandLineFaultTest(DirectoryTest):
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
        # -o names the input however spelled: the result is staged and
        # written over it in place, once its room is secured; a result beyond
        # the file-size limit is refused before any byte changes.
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
        # Without a size limit the input is rewritten, keeping its mode.
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
        # nothing on standard error, no success message, no new output file
        # and an existing one unchanged.
        target = self.path("out.txt")
        existing = self.path("existing.txt")
        with open(existing, "wb") as file:
            file.write(b"old contents")
        # A file of many chunks, read ahead by a thread of its own while the
        # run waits for its reader.
        large = self.path("large.txt")
        with open(large, "wb") as file:
            file.write(b"x" * (8 << 20))
        for args, call in ((["base64", "encode", "-", "-o", target], "read"),
                           (["base32", "decode", "-", "-o", existing], "read"),
                           (["rot13", "rotate", "/dev/stdin"], "read"),
                           (["rot13", "rotate", "-s", "x" * LONG_ARGUMENT], "write"),
                           (["rot13", "rotate", large], "write")):
            with self.subTest(args=args[:3]):
                process = subprocess.Popen(command(*args), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                           stderr=subprocess.PIPE, env=ENVIRONMENT, preexec_fn=ctrl_c_as_at_a_terminal)
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
                with open(existing, "rb") as file:
                    self.assertEqual(file.read(), b"old contents")

    def test_ctrl_c_once_the_output_is_being_written(self):
        # Once the result is going into the -o target, the run finishes it and
        # says so, however long the stop waits: here the target is a FIFO whose
        # reader lets the run block in its write, then reads everything.
        source = self.path("in.txt")
        line = b"Attack at dawn, 0123456789\n"
        with open(source, "wb") as file:
            file.write(line * (3 * (1 << 20) // len(line)))
        fifo = self.path("fifo")
        os.mkfifo(fifo)
        process = subprocess.Popen(command("rot13", "rotate", source, "-o", fifo), stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=ENVIRONMENT,
                                   preexec_fn=ctrl_c_as_at_a_terminal)
        try:
            reader = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
            wait_until_blocked_in(process, "write", on=fifo)
            process.send_signal(signal.SIGINT)
            os.set_blocking(reader, True)
            received = b"".join(iter(lambda: os.read(reader, 1 << 20), b""))
            os.close(reader)
            status = process.wait(timeout=60)
        finally:
            process.kill()
            stdout, stderr = process.stdout.read(), process.stderr.read()
            process.stdout.close()
            process.stderr.close()
        self.assertEqual((status, stdout, stderr), (0, b"Successfully wrote data to " + os.fsencode(fifo) + b"\n", b""))
        self.assertEqual(received, b"Nggnpx ng qnja, 0123456789\n" * (3 * (1 << 20) // len(line)))

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


NOBODY = 65534


def as_nobody():
    """A preexec_fn that makes the child the unprivileged user nobody."""
    os.setgroups([])
    os.setgid(NOBODY)
    os.setuid(NOBODY)


class OutputInPlaceTest(unittest.TestCase):
    """-o rewrites its target in place, as any writer would: what the user
    may not write is refused, links and attributes stay, and a result that
    does not fit leaves the old contents. The permission cases run as the user
    nobody, since permissions do not stop the superuser."""

    @classmethod
    def setUpClass(cls):
        if os.geteuid() != 0:
            raise unittest.SkipTest("needs the superuser, to run the command line as an unprivileged user")
        cls.home = tempfile.mkdtemp()
        os.chmod(cls.home, 0o755)
        # The entry under test where nobody may read it: the program, or the
        # module and a launcher with an interpreter nobody may run (the
        # configured one may live under a private home directory).
        if support.ENTRY == "program":
            cls.prefix = [shutil.copy(support.program(), cls.home)]
            return
        shutil.copy(sys.modules["_korvalith"].__file__, cls.home)
        script = os.path.join(cls.home, "korvalith-python")
        with open(script, "w") as file:
            file.write("import os, sys; sys.path.insert(0, os.path.dirname(__file__))\n"
                       "import _korvalith; _korvalith.cli.parse()\n")
        failures = []
        for interpreter in (sys.executable, "/usr/bin/python3"):
            try:
                check = subprocess.run([interpreter, script, "--version"], capture_output=True,
                                       env=ENVIRONMENT, preexec_fn=as_nobody, timeout=60)
            except OSError as error:
                failures.append(str(error))
                continue
            if check.returncode == 0:
                cls.prefix = [interpreter, script]
                return
            failures.append(check.stderr.decode(errors="replace"))
        shutil.rmtree(cls.home)
        raise unittest.SkipTest("no interpreter the user nobody may run loads the module: " + "; ".join(failures))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.home)

    def setUp(self):
        # A directory anybody may write in, as /tmp.
        self.directory = tempfile.mkdtemp(dir=self.home)
        os.chmod(self.directory, 0o777)

    def run_as_nobody(self, *args, limit=None):
        def child():
            if limit is not None:
                resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
            as_nobody()
        return subprocess.run([*self.prefix, *args], stdin=subprocess.DEVNULL, capture_output=True,
                              env=ENVIRONMENT, timeout=300, preexec_fn=child)

    def make(self, name, contents, mode=0o644, owner=NOBODY):
        path = os.path.join(self.directory, name)
        with open(path, "wb") as file:
            file.write(contents)
        os.chown(path, owner, owner)
        os.chmod(path, mode)
        return path

    def assertRefused(self, process, target):
        self.assertEqual((process.returncode, process.stdout), (2, b""), process.stderr)
        self.assertTrue(process.stderr.startswith(b"error: Could not write to file: " + os.fsencode(target) + b"\n"))

    def assertHolds(self, path, contents, mode=None, owner=None):
        with open(path, "rb") as file:
            self.assertEqual(file.read(), contents)
        status = os.stat(path)
        if mode is not None:
            self.assertEqual(stat.S_IMODE(status.st_mode), mode)
        if owner is not None:
            self.assertEqual(status.st_uid, owner)

    def test_files_the_user_may_not_write_are_refused(self):
        # Read-only, or another user's, in a directory the user may write in:
        # neither is replaced by a new file of the user's.
        read_only = self.make("read-only.txt", b"hello", mode=0o444)
        others = self.make("others.txt", b"hello", owner=0)
        for target in (read_only, others):
            with self.subTest(target=os.path.basename(target)):
                self.assertRefused(self.run_as_nobody("rot13", "rotate", target, "-o", target), target)
                self.assertRefused(self.run_as_nobody("rot13", "rotate", "-s", "abc", "-o", target), target)
        self.assertHolds(read_only, b"hello", mode=0o444, owner=NOBODY)
        self.assertHolds(others, b"hello", mode=0o644, owner=0)
        self.assertEqual(sorted(os.listdir(self.directory)), ["others.txt", "read-only.txt"])

    def test_result_beyond_the_size_limit_leaves_the_old_contents(self):
        # In a directory the user may not write in (the result is staged
        # elsewhere), over the input itself or over another file: refused
        # before any old byte changes. Without the limit the same runs succeed in place.
        source = self.make("in.txt", b"hello, world")
        other = self.make("other.txt", b"old")
        os.chmod(self.directory, 0o555)
        self.addCleanup(os.chmod, self.directory, 0o777)
        for target in (source, other):
            with self.subTest(target=os.path.basename(target)):
                self.assertRefused(self.run_as_nobody("base64", "encode", source, "-o", target, limit=4), target)
        self.assertHolds(source, b"hello, world")
        self.assertHolds(other, b"old")
        for target in (other, source):
            process = self.run_as_nobody("base64", "encode", source, "-o", target)
            self.assertEqual(process.returncode, 0, process.stderr)
            self.assertHolds(target, b"aGVsbG8sIHdvcmxk", mode=0o644, owner=NOBODY)

    def test_links_and_attributes_stay(self):
        # A hard link stays one file with its other name; a symbolic link
        # stays a link; extended attributes stay with the file.
        source = self.make("in.txt", b"hello")
        os.link(source, os.path.join(self.directory, "hard.txt"))
        os.symlink("in.txt", os.path.join(self.directory, "soft.txt"))
        try:
            os.setxattr(source, "user.korvalith", b"kept")
            xattrs = True
        except OSError:  # the file system has no user attributes
            xattrs = False
        for name, result in (("hard.txt", b"uryyb"), ("soft.txt", b"hello")):
            process = self.run_as_nobody("rot13", "rotate", source, "-o", os.path.join(self.directory, name))
            self.assertEqual(process.returncode, 0, process.stderr)
            self.assertHolds(source, result)
        self.assertEqual(os.stat(source).st_nlink, 2)
        self.assertTrue(os.path.islink(os.path.join(self.directory, "soft.txt")))
        if xattrs:
            self.assertEqual(os.getxattr(source, "user.korvalith"), b"kept")


if __name__ == "__main__":
    unittest.main()
