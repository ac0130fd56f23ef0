#!/usr/bin/env python3
"""Times the korvalith command against coreutils, side by side, in one run.

Each row runs the same work through several commands: the korvalith program,
its coreutils peer, and the same command line through the Python launcher
(korvalith-python, cli.parse under the interpreter). The commands of a row
take turns, run after run (the order rotates each round), so that all of
them see the same load on a shared machine. Each row prints, per command,
the median wall time of a run from start to exit, the ratio to the peer
(above 1: slower than the peer), and the peak resident memory of the
process, with its difference from the peer's. Rows with targets say whether
the program reaches them. Besides the standard library it needs GNU time
(/usr/bin/time, Debian's package "time") for the memory figures: a process
started from this interpreter would count the interpreter's own memory as
its peak, so each command also runs under /usr/bin/time, which starts it
from a small process (whose own size, under 1 MiB, is the floor of what it
can report).

    python3 bench/cli.py                         # every row, programs from build/
    python3 bench/cli.py --filter startup        # rows whose name contains "startup"
    python3 bench/cli.py --korvalith PATH --launcher PATH --runs 50
    build-i386/target-python bench/cli.py --build build-i386   # the 32-bit program

Times are for whole processes, as a shell script that runs the command once
per file sees them; start-up is most of it for small inputs.
"""

import argparse
import os
import shutil
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
MIB = 1 << 20


class Command:
    """One way of doing a row's work: an argument vector, the file standard
    input reads (None: /dev/null) and whether standard output goes to a file
    (truncated before each run) rather than to /dev/null."""

    def __init__(self, label, argv, stdin=None, output_file=False):
        self.label = label
        self.argv = argv
        self.stdin = stdin
        self.output_file = output_file
        self.seconds = []
        self.peak_kib = []


class Row:
    """Commands doing the same work; the first is the program, `peer` names
    the one the ratios are taken against. `time_target` is the most the
    program's median may be, as a multiple of the peer's; `memory_target_mib`
    the most its peak memory may exceed the peer's."""

    def __init__(self, name, commands, peer, time_target=None, memory_target_mib=None):
        self.name = name
        self.commands = commands
        self.peer = peer
        self.time_target = time_target
        self.memory_target_mib = memory_target_mib


GNU_TIME = "/usr/bin/time"


def spawn(argv, command, work):
    """Runs argv with the command's standard input and output; returns its
    wall time. A command that fails stops the benchmark: its numbers would
    not be for the row's work."""
    stdin = os.open(command.stdin or os.devnull, os.O_RDONLY)
    if command.output_file:
        stdout = os.open(os.path.join(work, "output"), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    else:
        stdout = os.open(os.devnull, os.O_WRONLY)
    try:
        start = time.perf_counter()
        pid = os.posix_spawn(argv[0], argv, os.environ,
                             file_actions=[(os.POSIX_SPAWN_DUP2, stdin, 0), (os.POSIX_SPAWN_DUP2, stdout, 1)])
        _, status = os.waitpid(pid, 0)
        elapsed = time.perf_counter() - start
    finally:
        os.close(stdin)
        os.close(stdout)
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit("%s failed with status %d" % (" ".join(argv), os.waitstatus_to_exitcode(status)))
    return elapsed


def peak_kib(command, work):
    """The command's peak resident memory in KiB, as GNU time reports it."""
    report = os.path.join(work, "peak")
    spawn([GNU_TIME, "-f", "%M", "-o", report, *command.argv], command, work)
    with open(report, encoding="ascii") as file:
        return int(file.read().split()[-1])


def measure(row, runs, work):
    for command in row.commands:  # one run each to warm the caches
        spawn(command.argv, command, work)
    for round_number in range(runs):
        shift = round_number % len(row.commands)
        for command in row.commands[shift:] + row.commands[:shift]:
            command.seconds.append(spawn(command.argv, command, work))
            command.peak_kib.append(peak_kib(command, work))


def report(row):
    peer = next(command for command in row.commands if command.label == row.peer)
    peer_time = statistics.median(peer.seconds)
    peer_peak = max(peer.peak_kib) / 1024
    print("%s" % row.name)
    verdicts = []
    for command in row.commands:
        median = statistics.median(command.seconds)
        peak = max(command.peak_kib) / 1024
        print("  %-44s %9.2f ms  %6.2fx  peak %7.2f MiB (%+.2f)"
              % (command.label, median * 1e3, median / peer_time, peak, peak - peer_peak))
        if command is row.commands[0]:
            if row.time_target is not None:
                verdicts.append("time %s (target %.1fx)" % ("met" if median <= row.time_target * peer_time
                                                             else "MISSED", row.time_target))
            if row.memory_target_mib is not None:
                verdicts.append("memory %s (target +%d MiB)" % ("met" if peak - peer_peak <= row.memory_target_mib
                                                                else "MISSED", row.memory_target_mib))
    if verdicts:
        print("  " + ", ".join(verdicts))


def startup_rows(korvalith, launcher, base64, work):
    """Start-up and small inputs, the common case at a terminal: the version,
    a literal string, and a 1 MiB file encoded to a file."""
    hello = os.path.join(work, "hello.txt")
    with open(hello, "wb") as file:
        file.write(b"hello")
    mebibyte = os.path.join(work, "1MiB.bin")
    with open(mebibyte, "wb") as file:
        file.write(os.urandom(MIB))

    def three(args, peer_args, stdin=None, output_file=False):
        def label(name, words):
            return " ".join([name, *(os.path.basename(word) for word in words)])
        return [Command(label("korvalith", args), [korvalith, *args], output_file=output_file),
                Command(label("base64", peer_args), [base64, *peer_args], stdin=stdin, output_file=output_file),
                Command(label("korvalith-python", args), [launcher, *args], output_file=output_file)]

    return [
        Row("startup: --version", three(["--version"], ["--version"]), "base64 --version",
            time_target=1.5, memory_target_mib=2),
        Row("startup: encode 'hello'", three(["base64", "encode", "-s", "hello"], ["-w0"], stdin=hello),
            "base64 -w0", time_target=1.5, memory_target_mib=2),
        Row("encode a 1 MiB file to a file", three(["base64", "encode", mebibyte], ["-w0", mebibyte],
                                                   output_file=True),
            "base64 -w0 1MiB.bin", memory_target_mib=2),
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"), help="build directory (default: build/)")
    parser.add_argument("--korvalith", help="the korvalith program (default: BUILD/korvalith)")
    parser.add_argument("--launcher", help="the Python launcher (default: BUILD/korvalith-python)")
    parser.add_argument("--runs", type=int, default=30, help="runs of each command per row (default: 30)")
    parser.add_argument("--filter", default="", help="only rows whose name contains this text")
    options = parser.parse_args()

    korvalith = os.path.abspath(options.korvalith or os.path.join(options.build, "korvalith"))
    launcher = os.path.abspath(options.launcher or os.path.join(options.build, "korvalith-python"))
    base64 = shutil.which("base64")
    for path in (korvalith, launcher, base64, GNU_TIME):
        if not path or not os.access(path, os.X_OK):
            sys.exit("not an executable: %s" % path)

    print("%d runs per command, interleaved; median wall time, ratio to the peer, peak RSS (+ over the peer)"
          % options.runs)
    print("load average at start: %.2f %.2f %.2f" % os.getloadavg())
    with tempfile.TemporaryDirectory(prefix="korvalith-bench-") as work:
        for row in startup_rows(korvalith, launcher, base64, work):
            if options.filter not in row.name:
                continue
            measure(row, options.runs, work)
            report(row)
    print("load average at end: %.2f %.2f %.2f" % os.getloadavg())


if __name__ == "__main__":
    main()
