#!/usr/bin/env python3
"""Times the korvalith command against coreutils, side by side, in one run.

Each row runs the same work through several commands: the korvalith program,
the same command line through the Python launcher (korvalith-python,
cli.parse under the interpreter), any further programs named with
--program, and the coreutils peer. The commands of a row take turns, run
after run (the order rotates each round), so that all of them see the same
load on a shared machine. Each row prints, per command, the median wall time
of a run from start to exit, the ratio to the peer (above 1: slower than the
peer), and the peak resident memory of the process, with its difference
from the peer's; the large-file rows also the user and system processor
time, which a loaded machine distorts less than the clock. Rows with
targets say whether the program (the first command) reaches them.

Two kinds of rows:
- start-up ("startup" in their names): `--version`, a literal string and a
  1 MiB file, the common case at a terminal, where starting is most of the
  time;
- large files ("file" in their names): each action over a --size MiB file
  (1 GiB by default), from the file or from a pipe (`cat FILE |`, korvalith
  reading "-"), into each kind of destination: a new -o file, an -o file
  that holds the last run's result, the input file itself (-o naming it;
  restored before each run), standard output redirected to a file, and
  standard output into a pipe (read by `cat` into /dev/null). The peers are
  `base64 -w0`, `base32 -w0`, `base64 -d`, `base32 -d` and `tr` (ROT13 and
  Caesar), writing where their standard output is redirected (the
  existing file truncated, as `>` does); `cat` of the input is the floor of
  moving the same bytes, and for the encoders `cat` of a file as large as
  their output too, the floor of writing that many bytes. The rows of an
  existing target also run korvalith into a new file, the yardstick of
  their target. Every row's memory target is a peak under 64 MiB.

Besides the standard library it needs GNU time (/usr/bin/time, Debian's
package "time") for the memory figures: a process started from this
interpreter would count the interpreter's own memory as its peak, so each
command also runs under /usr/bin/time, which starts it from a small process
(whose own size, under 1 MiB, is the floor of what it can report). The
start-up rows time a run without it and measure the memory in a second run;
the large-file rows take both from one run, which GNU time's start-up
cannot distort.

    python3 bench/cli.py                         # every row, programs from build/
    python3 bench/cli.py --filter startup        # rows whose name contains "startup"
    python3 bench/cli.py --filter "file: base64" --size 256 --directory /dev/shm
    python3 bench/cli.py --filter "from a pipe" --size 256 --directory /dev/shm
    python3 bench/cli.py --program old=/tmp/old/build/korvalith --filter file
    python3 bench/cli.py --korvalith PATH --launcher PATH --runs 50
    build-i386/target-python bench/cli.py --build build-i386   # the 32-bit program

Times are for whole processes, as a shell script that runs the command once
per file sees them.
"""

import argparse
import os
import random
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
MIB = 1 << 20


class Command:
    """One way of doing a row's work: an argument vector, the file standard
    input reads (None: /dev/null), whether that file comes through a pipe
    that cat fills, where standard output goes: "devnull", "file" (truncated
    before each run) or "pipe" (read by cat into /dev/null), and what is done
    before each run, untimed (`prepare`: make the -o target new, old, or the
    input as it was)."""

    def __init__(self, label, argv, stdin=None, output="devnull", piped_input=False, prepare=None):
        self.label = label
        self.argv = argv
        self.stdin = stdin
        self.output = output
        self.piped_input = piped_input
        self.prepare = prepare
        self.seconds = []
        self.peak_kib = []
        self.processor = []  # (user, system) seconds of each run under GNU time


class Row:
    """Commands doing the same work; the first is the program, `peer` names
    the one the ratios are taken against. `time_target` is the most the
    program's median may be, as a multiple of the peer's; `memory_target_mib`
    the most its peak memory may exceed the peer's, `memory_limit_mib` the
    most it may be at all. `floors` pairs the label of a yardstick command
    (cat, the program into a new file) with the most the program's median
    may be as a multiple of the yardstick's. `one_run` takes time and memory
    from one run under GNU time."""

    def __init__(self, name, commands, peer, time_target=None, memory_target_mib=None, memory_limit_mib=None,
                 floors=(), one_run=False):
        self.name = name
        self.commands = commands
        self.peer = peer
        self.time_target = time_target
        self.memory_target_mib = memory_target_mib
        self.memory_limit_mib = memory_limit_mib
        self.floors = list(floors)
        self.one_run = one_run


GNU_TIME = "/usr/bin/time"


def spawn(argv, command, work):
    """Runs argv with the command's standard input and output; returns its
    wall time, until the command and the processes around it (the cat that
    fills its input, the cat that drains its output) have ended. A command
    that fails stops the benchmark: its numbers would not be for the row's
    work."""
    if command.prepare is not None:
        command.prepare()
    # Each run starts with no earlier run's writes pending: on a disk, what
    # the kernel still writes back for the last command would otherwise be
    # paid by whichever command runs next.
    os.sync()
    helpers = []
    if command.piped_input:
        stdin, write_end = os.pipe()
        helpers.append(subprocess.Popen(["cat", command.stdin], stdout=write_end))
        os.close(write_end)
    else:
        stdin = os.open(command.stdin or os.devnull, os.O_RDONLY)
    if command.output == "file":
        # Every run writes into an empty output file: a run that rewrote the
        # last run's file in place would find its pages already there, which
        # a first write pays for.
        stdout = os.open(os.path.join(work, "output"), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    elif command.output == "pipe":
        read_end, stdout = os.pipe()
        null = os.open(os.devnull, os.O_WRONLY)
        helpers.append(subprocess.Popen(["cat"], stdin=read_end, stdout=null))
        os.close(read_end)
        os.close(null)
    else:
        stdout = os.open(os.devnull, os.O_WRONLY)
    try:
        start = time.perf_counter()
        pid = os.posix_spawn(argv[0], argv, os.environ,
                             file_actions=[(os.POSIX_SPAWN_DUP2, stdin, 0), (os.POSIX_SPAWN_DUP2, stdout, 1)])
        # Only the child holds the pipes' ends now: a writer whose reader
        # ended early stops on SIGPIPE.
        os.close(stdout)
        os.close(stdin)
        stdout = stdin = None
        _, status = os.waitpid(pid, 0)
        for helper in helpers:
            helper.wait()
        elapsed = time.perf_counter() - start
    finally:
        for fd in (stdin, stdout):
            if fd is not None:
                os.close(fd)
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit("%s failed with status %d" % (shlex.join(argv), os.waitstatus_to_exitcode(status)))
    return elapsed


def timed_with_peak(command, work):
    """One run under GNU time: its wall time, its peak resident memory in KiB
    and its user and system processor seconds, as GNU time reports them."""
    report = os.path.join(work, "peak")
    seconds = spawn([GNU_TIME, "-f", "%M %U %S", "-o", report, *command.argv], command, work)
    with open(report, encoding="ascii") as file:
        peak, user, system = file.read().split()[-3:]
    return seconds, int(peak), (float(user), float(system))


def measure(row, runs, work):
    if not row.one_run:
        for command in row.commands:  # one run each to warm the caches
            spawn(command.argv, command, work)
    for round_number in range(runs):
        shift = round_number % len(row.commands)
        for command in row.commands[shift:] + row.commands[:shift]:
            seconds, peak, processor = timed_with_peak(command, work)
            if not row.one_run:
                seconds = spawn(command.argv, command, work)
            command.seconds.append(seconds)
            command.peak_kib.append(peak)
            command.processor.append(processor)


def report(row):
    by_label = {command.label: command for command in row.commands}
    peer_time = statistics.median(by_label[row.peer].seconds)
    peer_peak = max(by_label[row.peer].peak_kib) / 1024
    print("%s" % row.name)
    for command in row.commands:
        median = statistics.median(command.seconds)
        peak = max(command.peak_kib) / 1024
        line = "  %-44s %9.2f ms  %6.2fx  peak %7.2f MiB (%+.2f)" % (command.label, median * 1e3,
                                                                     median / peer_time, peak, peak - peer_peak)
        if row.one_run:
            # Processor time says more than the clock on a loaded machine.
            user = statistics.median(user for user, _ in command.processor)
            system = statistics.median(system for _, system in command.processor)
            line += "  user %.2f s, system %.2f s" % (user, system)
        print(line)
    program = row.commands[0]
    median = statistics.median(program.seconds)
    peak = max(program.peak_kib) / 1024
    verdicts = []
    if row.time_target is not None:
        verdicts.append("time %s (target %.1fx of the peer)" % ("met" if median <= row.time_target * peer_time
                                                                else "MISSED", row.time_target))
    for floor, floor_target in row.floors:
        floor_time = statistics.median(by_label[floor].seconds)
        verdicts.append("%.2fx of %s: %s (target %.1fx)" % (median / floor_time, floor, "met" if median <=
                                                             floor_target * floor_time else "MISSED", floor_target))
    if row.memory_target_mib is not None:
        verdicts.append("memory %s (target +%d MiB)" % ("met" if peak - peer_peak <= row.memory_target_mib
                                                        else "MISSED", row.memory_target_mib))
    if row.memory_limit_mib is not None:
        verdicts.append("memory %s (target under %d MiB)" % ("met" if peak < row.memory_limit_mib else "MISSED",
                                                             row.memory_limit_mib))
    if verdicts:
        print("  " + ", ".join(verdicts))


def startup_rows(programs, base64, work):
    """Start-up and small inputs, the common case at a terminal: the version,
    a literal string, and a 1 MiB file encoded to a file."""
    hello = os.path.join(work, "hello.txt")
    with open(hello, "wb") as file:
        file.write(b"hello")
    mebibyte = os.path.join(work, "1MiB.bin")
    with open(mebibyte, "wb") as file:
        file.write(os.urandom(MIB))

    def commands(args, peer_args, stdin=None, output="devnull"):
        def label(name, words):
            return " ".join([name, *(os.path.basename(word) for word in words)])
        ours = [Command(label(name, args), [*argv, *args], output=output) for name, argv in programs]
        return ours[:1] + [Command(label("base64", peer_args), [base64, *peer_args], stdin=stdin,
                                   output=output)] + ours[1:]

    return [
        Row("startup: --version", commands(["--version"], ["--version"]), "base64 --version",
            time_target=1.5, memory_target_mib=2),
        Row("startup: encode 'hello'", commands(["base64", "encode", "-s", "hello"], ["-w0"], stdin=hello),
            "base64 -w0", time_target=1.5, memory_target_mib=2),
        Row("encode a 1 MiB file to a file", commands(["base64", "encode", mebibyte], ["-w0", mebibyte],
                                                      output="file"),
            "base64 -w0 1MiB.bin", memory_target_mib=2),
    ]


# The large-file actions: our arguments before and after the input, the
# peer's command (given the input file, or tr the input on standard input),
# the input it works on, and for the encoders the size of their output for an
# input of n bytes.
FILE_ACTIONS = [
    ("base64 encode", ["base64", "encode"], [], ["base64", "-w0"], "binary", lambda n: (n + 2) // 3 * 4),
    ("base64 decode", ["base64", "decode"], [], ["base64", "-d"], "base64", None),
    ("base32 encode", ["base32", "encode"], [], ["base32", "-w0"], "binary", lambda n: (n + 4) // 5 * 8),
    ("base32 decode", ["base32", "decode"], [], ["base32", "-d"], "base32", None),
    ("rot13 rotate", ["rot13", "rotate"], [], ["tr", "A-Za-z", "N-ZA-Mn-za-m"], "text", None),
    ("caesar encrypt", ["caesar", "encrypt"], ["3"], ["tr", "A-Za-z", "D-ZA-Cd-za-c"], "text", None),
]
# Where the input comes from and where the result goes, by row: (source,
# destination). The input itself is a destination of a file only.
FILE_MODES = [(source, destination) for source in ("from the file", "from a pipe")
              for destination in ("-o new file", "-o existing file", "-o the input itself", "stdout to a file",
                                  "stdout to a pipe")
              if not (source == "from a pipe" and destination == "-o the input itself")]

# The most a row's median may be, as a multiple of the peer's: piped inputs
# of the actions that can fail (decoders) or check their input (rot13,
# caesar) into a new file or a file standard output is redirected to, 1/1.5;
# a file into a new file or into standard output redirected, 1/2.5 (read
# once); every other row, 1/2. An existing target has its own yardstick (the
# same run into a new file, at most 1.2 times as long).
PIPED_TARGET = 1 / 1.5
READ_ONCE_TARGET = 1 / 2.5
OTHER_TARGET = 0.5
EXISTING_TARGET = 1.2


def write_inputs(work, size):
    """The large inputs, each `size` bytes: random bytes, ASCII text, and the
    Base64 and Base32 text of ASCII text (encoded by the peers, so that this
    script stays small and quick)."""
    rng = random.Random(1)
    alphabet = b"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLM ,.\n"
    letters = bytes.maketrans(bytes(range(256)), bytes(alphabet[i % len(alphabet)] for i in range(256)))
    paths = {name: os.path.join(work, name) for name in ("binary", "text", "base64", "base32")}
    with open(paths["binary"], "wb") as binary, open(paths["text"], "wb") as text:
        for _ in range(size // MIB):
            binary.write(rng.randbytes(MIB))
            text.write(rng.randbytes(MIB).translate(letters))
    for name, source_size in (("base64", size // 4 * 3), ("base32", size // 8 * 5)):
        with open(paths[name], "wb") as out:
            head = subprocess.Popen(["head", "-c", str(source_size), paths["text"]], stdout=subprocess.PIPE)
            subprocess.run([name, "-w0"], stdin=head.stdout, stdout=out, check=True)
            head.stdout.close()
            head.wait()
    return paths


def file_of_size(work, size):
    """A file of `size` bytes for cat to move."""
    path = os.path.join(work, "floor-%d" % size)
    if not os.path.exists(path):
        with open(path, "wb") as file:
            for _ in range(size // MIB):
                file.write(b"A" * MIB)
            file.write(b"A" * (size % MIB))
    return path


def file_rows(programs, size, work, wanted):
    """Each action over a large file, from the file or a pipe, into each kind
    of destination."""
    rows = []
    inputs = None
    for title, ours, extra, peer, input_name, output_size in FILE_ACTIONS:
        for source_kind, destination in FILE_MODES:
            name = "file: %s, %s, %s" % (title, source_kind, destination)
            if wanted not in name:
                continue
            inputs = inputs or write_inputs(work, size)
            pristine = inputs[input_name]
            piped = source_kind == "from a pipe"
            source = pristine
            if destination == "-o the input itself":
                # A copy of the input, restored before each run.
                source = os.path.join(work, "input-itself")
            target = {"-o new file": os.path.join(work, "new"), "-o existing file": os.path.join(work, "existing"),
                      "-o the input itself": source}.get(destination)

            def prepare(destination=destination, target=target, pristine=pristine):
                if destination == "-o new file":
                    if os.path.exists(target):
                        os.remove(target)
                elif destination == "-o the input itself":
                    shutil.copyfile(pristine, target)
                elif destination == "-o existing file" and (not os.path.exists(target) or
                                                           os.path.getsize(target) == 0):
                    # The first run finds old contents; later ones, the last
                    # run's result, as a command run again does.
                    with open(target, "wb") as file:
                        file.write(b"old contents\n" * 4096)

            output = {"stdout to a file": "file", "stdout to a pipe": "pipe"}.get(destination, "devnull")
            to_file = ["-o", target] if target else []

            def ours_command(label, argv, to_file=to_file, prepare=prepare):
                return Command(label, [*argv, *ours, "-" if piped else source, *extra, *to_file], stdin=source,
                               output=output, piped_input=piped, prepare=prepare)

            commands = [ours_command(label, argv) for label, argv in programs]
            floors = []
            if destination == "-o existing file":
                # The yardstick: the program into a new file, in the same rounds.
                new = os.path.join(work, "new-yardstick")
                commands.append(ours_command(programs[0][0] + ", -o new file", programs[0][1], ["-o", new],
                                             lambda new=new: os.path.exists(new) and os.remove(new)))
                floors.append((commands[-1].label, EXISTING_TARGET))
            stdin_peer = piped or peer[0] == "tr"
            peer_label = " ".join(peer)
            peer_output = output if output != "devnull" else "file"
            commands.append(Command(peer_label, [shutil.which(peer[0]), *peer[1:], *([] if stdin_peer else [source])],
                                    stdin=source, output=peer_output, piped_input=piped, prepare=prepare))
            cat = shutil.which("cat")
            commands.append(Command("cat input", [cat] if piped else [cat, source], stdin=source, output=peer_output,
                                    piped_input=piped, prepare=prepare))
            if output_size is not None:
                # An encoder cannot fail: writing as many bytes as it makes
                # is the floor it is held to.
                floor_input = file_of_size(work, output_size(size))
                commands.append(Command("cat of the output's size", [cat] if piped else [cat, floor_input],
                                        stdin=floor_input, output=peer_output, piped_input=piped))
                floors.append(("cat of the output's size", 1.5))
            can_fail = peer[0] == "tr" or peer[1] == "-d"
            if destination in ("-o new file", "stdout to a file") and (piped and can_fail or not piped):
                time_target = PIPED_TARGET if piped else READ_ONCE_TARGET
            else:
                time_target = OTHER_TARGET
            rows.append(Row(name, commands, peer_label, time_target=time_target, memory_limit_mib=64,
                            floors=floors, one_run=True))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"), help="build directory (default: build/)")
    parser.add_argument("--korvalith", help="the korvalith program (default: BUILD/korvalith)")
    parser.add_argument("--launcher", help="the Python launcher (default: BUILD/korvalith-python)")
    parser.add_argument("--program", action="append", default=[], metavar="NAME=COMMAND",
                        help="one more command line to time beside them (repeatable; the command split as a "
                             "shell splits it), such as another build's program")
    parser.add_argument("--runs", type=int, default=30, help="runs of each command per start-up row (default: 30)")
    parser.add_argument("--rounds", type=int, default=3, help="runs of each command per large-file row (default: 3)")
    parser.add_argument("--size", type=int, default=1024, help="size of the large files in MiB (default: 1024)")
    parser.add_argument("--directory", help="where the files go (default: the system's temporary directory)")
    parser.add_argument("--filter", default="", help="only rows whose name contains this text")
    options = parser.parse_args()

    korvalith = os.path.abspath(options.korvalith or os.path.join(options.build, "korvalith"))
    launcher = os.path.abspath(options.launcher or os.path.join(options.build, "korvalith-python"))
    programs = [("korvalith", [korvalith]), ("korvalith-python", [launcher])]
    for given in options.program:
        name, _, command_line = given.partition("=")
        if not command_line:
            parser.error("--program takes NAME=COMMAND, not " + given)
        argv = shlex.split(command_line)
        programs.append((name, [shutil.which(argv[0]) or os.path.abspath(argv[0]), *argv[1:]]))
    base64 = shutil.which("base64")
    for path in [argv[0] for _, argv in programs] + [base64, shutil.which("base32"), shutil.which("tr"),
                                                     shutil.which("cat"), shutil.which("head"), GNU_TIME]:
        if not path or not os.access(path, os.X_OK):
            sys.exit("not an executable: %s" % path)

    print("Interleaved runs: %d per command for start-up, %d for large files; median wall time, ratio to the "
          "peer, peak RSS (+ over the peer)" % (options.runs, options.rounds))
    print("load average at start: %.2f %.2f %.2f" % os.getloadavg())
    with tempfile.TemporaryDirectory(prefix="korvalith-bench-", dir=options.directory) as work:
        for row in startup_rows(programs, base64, work):
            if options.filter not in row.name:
                continue
            measure(row, options.runs, work)
            report(row)
        for row in file_rows(programs, options.size * MIB, work, options.filter):
            measure(row, options.rounds, work)
            report(row)
    print("load average at end: %.2f %.2f %.2f" % os.getloadavg())


if __name__ == "__main__":
    main()
