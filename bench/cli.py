#!/usr/bin/env python3
"""Times the command line against coreutils side by side, interleaved in one
run, on large files: wall time and peak resident memory of every run.

Each row is one action in one way of moving its bytes:
- file:   the input file to a file (`-o`; the peers' standard output
          redirected to it);
- stdout: the input file to standard output, redirected to a file;
- pipe:   the input file to standard output, a pipe that `cat` empties.
Each row runs every program under test, the coreutils peer (`base64 -w0`,
`base32 -w0`, `base64 -d`, `base32 -d`, `tr` for ROT13 and Caesar) and
`cat` as the floor: `cat` of the input, and for the encoders also `cat` of a
file as large as their output (the floor of writing that many bytes). The
rounds interleave all of them, so that a machine shared with other work
loads them alike; each run's best wall time is shown with the ratios
peer / program (above 1: the program is faster) and program / cat.

A last row times starting up: `--version` of each program, many times.
Peak memory is measured by GNU time where it is installed; otherwise it is
the child's resource usage, which also counts this script's own peak.

    python3 bench/cli.py                          # build/korvalith against coreutils, 1 GiB
    python3 bench/cli.py --size 256 --filter base64
    python3 bench/cli.py --program old=/tmp/old/build/korvalith --program new=build/korvalith
    python3 bench/cli.py --program "python=python3 build/korvalith" --program native=build/korvalith-native

A program is NAME=COMMAND, the command split as a shell would split it.
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
MIB = 1 << 20

# Each action: our arguments before and after the input, the peer's command
# (given the input file, or for tr the input on standard input), the input
# file it works on, and for the encoders the size of their output for an
# input of n bytes, which cat of a file that large moves as a second floor.
ACTIONS = [
    ("base64 encode", ["base64", "encode"], [], ["base64", "-w0"], "binary", lambda n: (n + 2) // 3 * 4),
    ("base64 decode", ["base64", "decode"], [], ["base64", "-d"], "base64", None),
    ("base32 encode", ["base32", "encode"], [], ["base32", "-w0"], "binary", lambda n: (n + 4) // 5 * 8),
    ("base32 decode", ["base32", "decode"], [], ["base32", "-d"], "base32", None),
    ("rot13 rotate", ["rot13", "rotate"], [], ["tr", "A-Za-z", "N-ZA-Mn-za-m"], "text", None),
    ("caesar encrypt", ["caesar", "encrypt"], ["3"], ["tr", "A-Za-z", "D-ZA-Cd-za-c"], "text", None),
]
MODES = ("file", "stdout", "pipe")
STDIN_ONLY = {"tr"}


class Measured:
    def __init__(self):
        self.walls = []
        self.peak = 0

    def add(self, wall, peak):
        self.walls.append(wall)
        self.peak = max(self.peak, peak)

    @property
    def best(self):
        return min(self.walls)


def gnu_time():
    """GNU time, if installed: it reports a child's own peak memory. A child
    of this script would count this script's own peak too, since a process
    keeps the peak of the memory it had before exec."""
    path = shutil.which("time") or "/usr/bin/time"
    try:
        probe = subprocess.run([path, "-f", "%M", "true"], capture_output=True, timeout=10)
    except OSError:
        return None
    return path if probe.returncode == 0 and probe.stderr.strip().isdigit() else None


TIME = gnu_time()


def run(argv, source, mode, output, stdin_input=False):
    """Runs `argv` over `source` in `mode` and returns (wall seconds, peak RSS
    bytes of the process itself). The file mode's -o is already in argv."""
    if TIME is not None:
        report = output + ".rss"
        argv = [TIME, "-f", "%M", "-o", report, *argv]
    stdin = open(source, "rb") if stdin_input else subprocess.DEVNULL
    sink = reader = None
    try:
        if mode == "pipe":
            stdout = subprocess.PIPE
        elif mode == "file" and "-o" in argv:
            stdout = subprocess.DEVNULL
        else:
            stdout = sink = open(output, "wb")
        start = time.perf_counter()
        process = subprocess.Popen(argv, stdin=stdin, stdout=stdout, stderr=subprocess.PIPE)
        if mode == "pipe":
            reader = subprocess.Popen(["cat"], stdin=process.stdout, stdout=subprocess.DEVNULL)
            process.stdout.close()
        error = process.stderr.read()
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        if reader is not None:
            reader.wait()
        wall = time.perf_counter() - start
    finally:
        if stdin is not subprocess.DEVNULL:
            stdin.close()
        if sink is not None:
            sink.close()
    process.stderr.close()
    if process.returncode != 0:
        raise SystemExit("%s failed with status %d: %s" % (shlex.join(argv), process.returncode, error[-500:]))
    if TIME is not None:
        with open(report) as measured:
            return wall, int(measured.read().split()[-1]) * 1024
    return wall, usage.ru_maxrss * 1024


def make_inputs(directory, size):
    """The input files, each `size` bytes: random bytes, ASCII text, and the
    Base64 and Base32 text of ASCII text."""
    rng = random.Random(1)
    alphabet = b"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLM ,.\n"
    letters = bytes.maketrans(bytes(range(256)), bytes(alphabet[i % len(alphabet)] for i in range(256)))
    paths = {name: os.path.join(directory, name) for name in ("binary", "text", "base64", "base32")}
    with open(paths["binary"], "wb") as binary, open(paths["text"], "wb") as text:
        for _ in range(size // MIB):
            binary.write(rng.randbytes(MIB))
            text.write(rng.randbytes(MIB).translate(letters))
    # The text's first bytes, encoded by the peers, so that this script
    # stays small and quick.
    for name, source_size in (("base64", size // 4 * 3), ("base32", size // 8 * 5)):
        with open(paths[name], "wb") as out:
            head = subprocess.Popen(["head", "-c", str(source_size), paths["text"]], stdout=subprocess.PIPE)
            subprocess.run([name, "-w0"], stdin=head.stdout, stdout=out, check=True)
            head.stdout.close()
            head.wait()
    return paths


def sized_like(directory, name, size):
    """A file of `size` bytes for cat to move: the floor of writing that much."""
    path = os.path.join(directory, name)
    if not os.path.exists(path):
        with open(path, "wb") as file:
            block = b"A" * MIB
            for _ in range(size // MIB):
                file.write(block)
            file.write(b"A" * (size % MIB))
    return path


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", action="append", metavar="NAME=COMMAND",
                        help="a program under test (repeatable); default korvalith=<build>/korvalith")
    parser.add_argument("--build", default=os.path.join(HERE, os.pardir, "build"), help="build directory")
    parser.add_argument("--size", type=int, default=1024, help="input size in MiB (default 1024)")
    parser.add_argument("--repeat", type=int, default=3, help="rounds (default 3)")
    parser.add_argument("--filter", default="", help="only rows whose action or mode contains this text")
    parser.add_argument("--directory", default=None, help="where the input and output files go (default: a "
                                                          "temporary directory)")
    parser.add_argument("--startup-runs", type=int, default=30, help="runs of --version per program")
    args = parser.parse_args()

    programs = []
    for given in args.program or ["korvalith=" + os.path.join(args.build, "korvalith")]:
        name, _, command = given.partition("=")
        if not command:
            parser.error("--program needs NAME=COMMAND: " + given)
        programs.append((name, shlex.split(command)))
    for tool in ("base64", "base32", "tr", "cat"):
        if shutil.which(tool) is None:
            raise SystemExit("needs coreutils' " + tool)

    directory = tempfile.mkdtemp(prefix="korvalith-bench-", dir=args.directory)
    try:
        size = args.size * MIB
        print("Preparing %d MiB inputs in %s ..." % (args.size, directory), file=sys.stderr)
        inputs = make_inputs(directory, size)
        output = os.path.join(directory, "output")
        rows = [(action, mode) for action in ACTIONS for mode in MODES
                if args.filter in action[0] or args.filter in mode]
        results = {}
        for round_number in range(args.repeat):
            print("Round %d of %d ..." % (round_number + 1, args.repeat), file=sys.stderr)
            for action, mode in rows:
                title, ours, extra, peer, input_name, output_floor = action
                source = inputs[input_name]
                runs = []
                for name, command in programs:
                    argv = command + ours + [source] + extra + (["-o", output] if mode == "file" else [])
                    runs.append((name, argv, False))
                peer_argv = peer if peer[0] in STDIN_ONLY else peer + [source]
                runs.append((shlex.join(peer), peer_argv, peer[0] in STDIN_ONLY))
                runs.append(("cat input", ["cat", source], False))
                if output_floor:
                    floor = sized_like(directory, "floor-%d" % output_floor(size), output_floor(size))
                    runs.append(("cat output size", ["cat", floor], False))
                for name, argv, stdin_input in runs:
                    wall, peak = run(argv, source, mode, output, stdin_input)
                    results.setdefault((title, mode, name), Measured()).add(wall, peak)

        print("| Action | Mode | Run | Best wall s | Peak RSS MiB | peer / run | run / cat |")
        print("|---|---|---|---|---|---|---|")
        for action, mode in rows:
            title, _, _, peer, _, output_floor = action
            peer_best = results[(title, mode, shlex.join(peer))].best
            cat_name = "cat output size" if output_floor else "cat input"
            cat_best = results[(title, mode, cat_name)].best
            names = [name for name, _ in programs] + [shlex.join(peer), "cat input"] + \
                    (["cat output size"] if output_floor else [])
            for name in names:
                measured = results[(title, mode, name)]
                ours = name in dict(programs)
                print("| %s | %s | %s | %.3f | %.1f | %s | %s |" % (
                    title, mode, name, measured.best, measured.peak / MIB,
                    "%.2f" % (peer_best / measured.best) if ours else "",
                    "%.2f" % (measured.best / cat_best) if ours else ""))

        # Starting up: --version, interleaved, many times.
        startup = [(name, command + ["--version"]) for name, command in programs] + [("base64 --version",
                                                                                     ["base64", "--version"])]
        walls = {name: [] for name, _ in startup}
        peaks = dict.fromkeys(walls, 0)
        for _ in range(args.startup_runs):
            for name, argv in startup:
                wall, peak = run(argv, os.devnull, "stdout", os.devnull)
                walls[name].append(wall)
                peaks[name] = max(peaks[name], peak)
        print()
        print("| Startup (--version) | Best ms | Median ms | Peak RSS MiB |")
        print("|---|---|---|---|")
        for name, _ in startup:
            print("| %s | %.1f | %.1f | %.1f |" % (name, min(walls[name]) * 1000, statistics.median(walls[name]) * 1000,
                                                    peaks[name] / MIB))
    finally:
        shutil.rmtree(directory)


if __name__ == "__main__":
    main()
