"""The command line end to end: the entry under test (the korvalith program or
the Python launcher, see support.py) run as a child process."""

import base64
import os
import pty
import select
import stat
import subprocess
import sys
import tempfile
import unittest

from support import ENTRY, VERSION_TEXT, command, entry, run_cli

COLOUR_VARIABLES = ("NO_COLOR", "CLICOLOR", "CLICOLOR_FORCE", "TERM", "CI")
GREEN, RED, RESET = "\x1b[32m", "\x1b[31m", "\x1b[0m"


def plain_environment(**extra):
    """This process's environment without the colour variables, plus `extra`."""
    env = {name: value for name, value in os.environ.items() if name not in COLOUR_VARIABLES}
    env.update(extra)
    return env


def cli(*args, **kwargs):
    kwargs.setdefault("env", plain_environment())
    return run_cli(*args, **kwargs)


def listed_commands(help_text):
    """The names under "Commands:" in a help text, in their order (help last)."""
    section = help_text.split("Commands:\n", 1)[1].split("\n\n", 1)[0]
    return [line.split()[0] for line in section.splitlines()]


def run_on_terminal(args, env):
    """Runs the command line with standard output on a pseudo-terminal and standard
    error on a pipe; returns (status, terminal output, standard error)."""
    controller, follower = pty.openpty()
    process = subprocess.Popen(command(*args), stdin=subprocess.DEVNULL, stdout=follower,
                               stderr=subprocess.PIPE, env=env)
    os.close(follower)
    output = b""
    while True:
        ready, _, _ = select.select([controller], [], [], 30)
        if not ready:
            break
        try:
            chunk = os.read(controller, 65536)
        except OSError:  # the terminal closes when the child ends
            break
        if not chunk:
            break
        output += chunk
    os.close(controller)
    error = process.stderr.read()
    process.stderr.close()
    status = process.wait(timeout=60)
    return status, output.replace(b"\r\n", b"\n").decode(), error.decode()


class WorkingDirectoryTest(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.addCleanup(self.directory.cleanup)

    def path(self, name):
        return os.path.join(self.directory.name, name)

    def write(self, name, contents):
        with open(self.path(name), "wb") as file:
            file.write(contents)
        return self.path(name)

    def read(self, name):
        with open(self.path(name), "rb") as file:
            return file.read()

    def assertSuccess(self, process, stdout):
        self.assertEqual((process.returncode, process.stderr.decode(), process.stdout.decode()), (0, "", stdout))

    def assertReport(self, process, message, status=2):
        self.assertEqual(process.stdout, b"")
        self.assertEqual(process.returncode, status, process.stderr)
        self.assertEqual(process.stderr.decode(), f"error: {message}\n\nUsage: Korvalith <COMMAND>\n\n"
                                                  "For more information, try '--help'.\n")


class ActionsTest(WorkingDirectoryTest):
    """Every group and action, with -s and with a file."""

    CASES = [
        (("base32", "encode"), b"hi", "NBUQ===="),
        (("base32", "decode"), b"NBUQ====", "hi"),
        (("base64", "encode"), b"hello", "aGVsbG8="),
        (("base64", "decode"), b"aGk=", "hi"),
        (("caesar", "encrypt"), b"hello", "khoor", "3"),
        (("caesar", "decrypt"), b"khoor", "hello", "3"),
        (("rot13", "encrypt"), b"abc", "nop"),
        (("rot13", "decrypt"), b"abc", "nop"),
        (("rot13", "rotate"), b"abc", "nop"),
        (("vigenere", "encrypt"), b"attack at dawn", "lxfopv mh oeib", "lemon"),
        (("vigenere", "decrypt"), b"lxfopv mh oeib", "attack at dawn", "lemon"),
    ]

    def test_every_action_has_a_case(self):
        # The commands that help lists, group by group, are those of CASES.
        listed = [(group, action) for group in listed_commands(cli("--help").stdout.decode())[:-1]
                  for action in listed_commands(cli(group, "--help").stdout.decode())[:-1]]
        self.assertEqual(listed, [command for command, *_ in self.CASES])

    def test_literal_and_file(self):
        for command, data, expected, *extra in self.CASES:
            with self.subTest(command=command):
                self.assertSuccess(cli(*command, "-s", data.decode(), *extra), expected + "\n")
                name = self.write("input", data)
                self.assertSuccess(cli(*command, name, *extra), expected + "\n")

    def test_output_file_exact_bytes_and_mode(self):
        old_umask = os.umask(0o022)
        self.addCleanup(os.umask, old_umask)
        target = self.path("out.txt")
        self.assertSuccess(cli("base32", "encode", "-s", "hi", "-o", target),
                           f"Successfully wrote data to {target}\n")
        self.assertEqual(self.read("out.txt"), b"NBUQ====")
        self.assertEqual(stat.S_IMODE(os.stat(target).st_mode), 0o644)
        # An existing file is truncated.
        self.write("out.txt", b"much longer previous contents")
        self.assertSuccess(cli("caesar", "encrypt", "-s", f"--output={target}", "abc", "1"),
                           f"Successfully wrote data to {target}\n")
        self.assertEqual(self.read("out.txt"), b"bcd")

    def test_binary_results(self):
        encoded = base64.b64encode(b"\xff\xfe").decode()
        self.assertReport(cli("base64", "decode", "-s", encoded), "Unable to convert bytes to string.")
        target = self.path("binary")
        self.assertSuccess(cli("base64", "decode", "-s", encoded, f"-o{target}"),
                           f"Successfully wrote data to {target}\n")
        self.assertEqual(self.read("binary"), b"\xff\xfe")
        # Encoders take any bytes, binary files included.
        name = self.write("binary-input", bytes(range(256)))
        self.assertSuccess(cli("base64", "encode", name), base64.b64encode(bytes(range(256))).decode() + "\n")
        self.assertSuccess(cli("base32", "encode", name), base64.b32encode(bytes(range(256))).decode() + "\n")

    def test_standard_input_as_data(self):
        # "-" reads standard input: bytes for the encodings, UTF-8 text for
        # the ciphers; with -s it is the literal text.
        binary = bytes(range(256)) * 300
        self.assertSuccess(cli("base64", "encode", "-", input=binary), base64.b64encode(binary).decode() + "\n")
        target = self.path("decoded")
        self.assertSuccess(cli("base32", "decode", "-", "-o", target, input=base64.b32encode(binary)),
                           f"Successfully wrote data to {target}\n")
        self.assertEqual(self.read("decoded"), binary)
        self.assertSuccess(cli("caesar", "encrypt", "-", "3", input="Grüße, abc".encode()), "Juüßh, def\n")
        self.assertReport(cli("rot13", "rotate", "-", input=b"\xff"), "Could not read file: -")
        self.assertSuccess(cli("base64", "encode", "-s", "-", input=b"ignored"), "LQ==\n")

    def test_decoders_read_what_the_encoders_print(self):
        # From standard input, one final line ending is no part of the text;
        # a second one is, and so is one in a file given by name, and a
        # carriage return alone.
        for group in ("base32", "base64"):
            printed = cli(group, "encode", "-s", "fifteen bytes!!").stdout  # no padding
            self.assertSuccess(cli(group, "decode", "-", input=printed), "fifteen bytes!!\n")
            self.assertSuccess(cli(group, "decode", "-", input=printed[:-1] + b"\r\n"), "fifteen bytes!!\n")
            for stdin, data, shown in ((printed + b"\n", "-", b"\\x0a"),
                                       (None, self.write("encoded", printed), b"\\x0a"),
                                       (printed[:-1] + b"\r", "-", b"\\x0d")):
                process = cli(group, "decode", data, input=stdin)
                self.assertEqual(process.returncode, 1)
                self.assertTrue(process.stderr.endswith(b" character: '" + shown + b"'\n"), process.stderr)

    @unittest.skipIf(ENTRY == "program", "a test of the Python function cli.parse, which the program does not call")
    def test_parse_returns_none_and_ignores_sys_argv(self):
        script = self.write("script.py", b"import sys, _korvalith\n"
                                         b"print('before', flush=False)\n"
                                         b"sys.argv[:] = ['ignored', 'rot13', 'rotate', '-s', 'zzz']\n"
                                         b"result = _korvalith.cli.parse()\n"
                                         b"print(repr(result))\n")
        process = subprocess.run([sys.executable, script, "caesar", "encrypt", "-s", "abc", "1"],
                                 capture_output=True, env=plain_environment(), timeout=60)
        # Output Python buffered before the run comes out first.
        self.assertEqual((process.returncode, process.stdout.decode(), process.stderr.decode()),
                         (0, "before\nbcd\nNone\n", ""))
        # A second call parses the same command line again.
        script = self.write("twice.py", b"import _korvalith\n_korvalith.cli.parse()\n_korvalith.cli.parse()\n")
        process = subprocess.run([sys.executable, script, "rot13", "rotate", "-s", "abc"], capture_output=True,
                                 env=plain_environment(), timeout=60)
        self.assertEqual((process.returncode, process.stdout), (0, b"nop\nnop\n"))

    @unittest.skipIf(ENTRY == "program", "a test of the Python function cli.parse, which the program does not call")
    def test_ctrl_c_while_python_output_is_flushed(self):
        # A flush blocked on a full pipe runs the SIGINT handler and raises
        # KeyboardInterrupt: the run ends as interrupted, with nothing written.
        # The flush here is that handler itself, so no Python frame is left
        # as garbage when the run ends the process.
        script = self.write("flush.py", b"import functools, signal, sys, types, _korvalith\n"
                                        b"handler = functools.partial(signal.default_int_handler, signal.SIGINT, None)\n"
                                        b"sys.stdout = types.SimpleNamespace(flush=handler)\n"
                                        b"_korvalith.cli.parse()\n")
        for args in (["rot13", "rotate", "-s", "abc"], ["--version"]):
            process = subprocess.run([sys.executable, script, *args], capture_output=True,
                                     env=plain_environment(), timeout=60)
            self.assertEqual((process.returncode, process.stdout, process.stderr), (130, b"", b""))

    @unittest.skipIf(ENTRY == "program", "a test of the Python function cli.parse, which the program does not call")
    def test_help_ends_the_process(self):
        script = self.write("help.py", b"import _korvalith\n_korvalith.cli.parse()\nprint('after')\n")
        process = subprocess.run([sys.executable, script, "--version"], capture_output=True,
                                 env=plain_environment(), timeout=60)
        self.assertEqual((process.returncode, process.stdout), (0, VERSION_TEXT))


class HelpAndVersionTest(unittest.TestCase):
    def test_version(self):
        for flag in ("-V", "--version"):
            process = cli(flag)
            self.assertEqual((process.returncode, process.stdout, process.stderr), (0, VERSION_TEXT, b""))

    def test_help_forms_agree(self):
        for command in ((), ("caesar",), ("caesar", "encrypt")):
            with self.subTest(command=command):
                short = cli(*command, "-h")
                self.assertEqual(short.returncode, 0)
                self.assertEqual(short.stderr, b"")
                self.assertEqual(cli(*command, "--help").stdout, short.stdout)
                self.assertEqual(cli("help", *command).stdout, short.stdout)

    def test_help_contents(self):
        top = cli("--help").stdout.decode()
        self.assertTrue(top.startswith("Korvalith - CLI interface for fast cryptographic operations.\n\n"
                                       f"Usage: {os.path.basename(entry())} <COMMAND>\n"))
        self.assertEqual(listed_commands(top)[-1], "help")
        group = cli("base32", "--help").stdout.decode()
        self.assertTrue(group.startswith("Base32 encoding and decoding.\n"))
        action = cli("caesar", "encrypt", "--help").stdout.decode()
        self.assertIn(f"Usage: {os.path.basename(entry())} caesar encrypt [OPTIONS] <data> <shift>", action)
        self.assertIn("Shift to use when encrypting data.", action)


class ParserErrorTest(unittest.TestCase):
    def assertParserError(self, args, *fragments):
        process = cli(*args)
        self.assertEqual(process.returncode, 2, process)
        self.assertEqual(process.stdout, b"")
        report = process.stderr.decode()
        self.assertTrue(report.startswith("error: "), report)
        self.assertTrue(report.endswith("For more information, try '--help'.\n"), report)
        for fragment in fragments:
            self.assertIn(fragment, report)

    def test_errors(self):
        self.assertParserError(("base32",), "requires a subcommand but one was not provided")
        self.assertParserError(("caesar", "encrypt", "-s", "abc", "26"),
                               "invalid value '26' for '<shift>': 26 is not in -25..=25")
        self.assertParserError(("caesar", "encrypt", "-s", "abc", "x"), "invalid value 'x' for '<shift>'")
        self.assertParserError(("caesar", "encrypt", "-s", "abc", "-3"), "unexpected argument '-3' found",
                               "-- -3")
        self.assertParserError(("base32", "-V"), "unexpected argument '-V' found")
        self.assertParserError(("substitution",), "unrecognized subcommand 'substitution'")
        self.assertParserError(("aes",), "unrecognized subcommand 'aes'")
        self.assertParserError(("caesar", "encrypt", "-s"), "the following required arguments were not provided:",
                               "<data>", "<shift>")
        self.assertParserError(("base64", "encode", "-s", "-s", "x"), "-s")


class FailureTableTest(WorkingDirectoryTest):
    def test_unreadable_input(self):
        missing = self.path("missing.txt")
        self.assertReport(cli("caesar", "encrypt", missing, "3"), f"Could not read file: {missing}")
        self.assertReport(cli("base64", "encode", self.directory.name),
                          f"Could not read file: {self.directory.name}")
        latin1 = self.write("latin1.txt", "Ärger".encode("latin-1"))
        self.assertReport(cli("caesar", "encrypt", latin1, "3"), f"Could not read file: {latin1}")
        self.assertReport(cli("caesar", "encrypt", "missing.txt", "3", cwd=self.directory.name),
                          "Could not read file: missing.txt")

    def test_control_characters_in_echoed_names(self):
        # A crafted name cannot drive the terminal: C0, DEL and C1 controls are
        # shown escaped, printable text as it is.
        name = "in\x1b]0;pwned\x07\x7f\x9b2J Grüße.txt"
        shown = "in\\x1b]0;pwned\\x07\\x7f\\x9b2J Grüße.txt"
        self.assertReport(cli("rot13", "rotate", name, cwd=self.directory.name), f"Could not read file: {shown}")
        self.assertSuccess(cli("rot13", "rotate", "-s", "abc", "-o", name, cwd=self.directory.name),
                           f"Successfully wrote data to {shown}\n")
        self.assertEqual(self.read(name), b"nop")
        process = cli("rot13", "rotate", "-s", "abc", "--\x1b[2J")
        self.assertEqual(process.returncode, 2)
        self.assertTrue(process.stderr.startswith(b"error: unexpected argument '--\\x1b[2J' found\n"), process.stderr)

    def test_characters_that_drive_a_terminal_in_messages(self):
        # A character quoted from a file, and a file name, are shown escaped:
        # controls and the bidirectional overrides that reorder a line.
        for data, shown in ((b"ab\x1b[2J", "\\x1b"), (b"\x9b", "\\x9b")):
            process = cli("base64", "decode", self.write("bad", data))
            self.assertEqual(process.stderr.decode(), "Unexpected error occurred.\nDetails: ValueError: Invalid "
                                                      f"base64 character: '{shown}'\n")
        name = "evil\u202etxt.exe"
        self.assertReport(cli("rot13", "rotate", name, cwd=self.directory.name),
                          "Could not read file: evil\\u202etxt.exe")

    def test_failed_read_creates_no_output(self):
        target = self.path("never")
        self.assertReport(cli("rot13", "rotate", self.path("missing"), "-o", target),
                          f"Could not read file: {self.path('missing')}")
        self.assertFalse(os.path.exists(target))

    def test_unwritable_output(self):
        target = self.path("no/such/dir/out")
        self.assertReport(cli("rot13", "rotate", "-s", "abc", "-o", target), f"Could not write to file: {target}")
        self.assertReport(cli("rot13", "rotate", "-s", "abc", "-o", "/dev/full"), "Could not write to file: /dev/full")

    def test_core_errors(self):
        self.assertReport(cli("vigenere", "encrypt", "-s", "abc", "k3y"),
                          "ValueError: Key must be non-empty and contain only alphabetic characters")
        self.assertReport(cli("base32", "decode", "-s", "#"), "ValueError: Invalid Base32 character: '#'")
        unexpected = "Unexpected error occurred.\nDetails: ValueError: Invalid base64 character: '#'\n"
        process = cli("base64", "decode", "-s", "##")
        self.assertEqual((process.returncode, process.stdout, process.stderr.decode()), (1, b"", unexpected))
        process = cli("base32", "decode", self.write("bad", b"#"))
        self.assertEqual((process.returncode, process.stdout, process.stderr.decode()),
                         (1, b"", "Unexpected error occurred.\nDetails: ValueError: Invalid Base32 character: '#'\n"))

    def test_closed_standard_output(self):
        process = subprocess.Popen(command("rot13", "rotate", "-s", "abc" * 30000),
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=plain_environment())
        process.stdout.close()
        error = process.stderr.read()
        process.stderr.close()
        self.assertEqual(process.wait(timeout=60), 1)
        self.assertNotIn(b"Traceback", error)

    def test_output_to_full_device_on_standard_output(self):
        with open("/dev/full", "wb") as full:
            process = subprocess.run(command("rot13", "rotate", "-s", "abc"), stdout=full,
                                     stderr=subprocess.PIPE, env=plain_environment(), timeout=60)
        self.assertEqual(process.returncode, 1)
        self.assertNotIn(b"Traceback", process.stderr)

    def test_non_utf8_argument(self):
        # Both entries number the user's arguments from 1, after the program.
        process = subprocess.run(command(b"rot13", b"rotate", b"-s", b"\xff"), capture_output=True,
                                 env=plain_environment(), timeout=60)
        self.assertReport(process, "Argument 4 is not valid UTF-8")


class ColourTest(unittest.TestCase):
    """Colour on a pseudo-terminal against each environment-variable rule."""

    def test_results_green_on_terminal(self):
        status, output, _ = run_on_terminal(["caesar", "encrypt", "-s", "abc", "1"],
                                            plain_environment(TERM="xterm"))
        self.assertEqual((status, output), (0, f"{GREEN}bcd{RESET}\n"))

    def test_results_plain_when_redirected(self):
        self.assertEqual(cli("caesar", "encrypt", "-s", "abc", "1").stdout, b"bcd\n")

    def test_empty_no_color_silences_results_but_not_help(self):
        env = plain_environment(NO_COLOR="", TERM="xterm")
        self.assertEqual(run_on_terminal(["caesar", "encrypt", "-s", "abc", "1"], env)[1], "bcd\n")
        self.assertIn("\x1b[", run_on_terminal(["caesar", "--help"], env)[1])

    def test_clicolor_force(self):
        env = plain_environment(CLICOLOR_FORCE="1")
        self.assertEqual(cli("caesar", "encrypt", "-s", "abc", "1", env=env).stdout, f"{GREEN}bcd{RESET}\n".encode())
        self.assertIn(b"\x1b[", cli("caesar", "--help", env=env).stdout)
        # "0" forces the parser's channel but not the program's.
        env = plain_environment(CLICOLOR_FORCE="0")
        self.assertEqual(cli("caesar", "encrypt", "-s", "abc", "1", env=env).stdout, b"bcd\n")
        self.assertIn(b"\x1b[", cli("caesar", "--help", env=env).stdout)

    def test_dumb_terminal(self):
        env = plain_environment(TERM="dumb")
        self.assertNotIn("\x1b[", run_on_terminal(["caesar", "--help"], env)[1])
        self.assertEqual(run_on_terminal(["caesar", "encrypt", "-s", "abc", "1"], env)[1], f"{GREEN}bcd{RESET}\n")

    def test_no_color_and_clicolor_zero(self):
        for env in (plain_environment(NO_COLOR="1", TERM="xterm"), plain_environment(CLICOLOR="0", TERM="xterm")):
            self.assertEqual(run_on_terminal(["caesar", "encrypt", "-s", "abc", "1"], env)[1], "bcd\n")
            self.assertNotIn("\x1b[", run_on_terminal(["caesar", "--help"], env)[1])

    def test_unexpected_error_details_red(self):
        status, _, error = run_on_terminal(["base64", "decode", "-s", "##"], plain_environment(TERM="xterm"))
        self.assertEqual(status, 1)
        self.assertEqual(error, f"Unexpected error occurred.\nDetails: {RED}ValueError: Invalid base64 character: "
                                f"'#'{RESET}\n")


if __name__ == "__main__":
    unittest.main()
