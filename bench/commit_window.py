#!/usr/bin/env python3
"""How long an -o target is exposed, per GiB of result, on each file system.

For a target written in place (a file with two links), the commit window:
from the first call that changes the target (fallocate, copy_file_range or
pwrite64) to the end of the ftruncate that cuts it to the result. A kill
inside it leaves the target mixed. For a target that is replaced (a file
with one link), the time of the fdatasync before the rename, which is what
protecting the old contents from a power cut costs, and the time of the
rename. Both come from strace's timestamps of those calls only
(--seccomp-bpf: the other calls run untraced).

Each file system is a loop-mounted image of its own (ext4, XFS, btrfs) or a
tmpfs, made under --work and removed at the end; this needs root, strace,
mkfs.xfs and mkfs.btrfs. Several programs can be compared in one run, such
as an older build's:

    sudo python3 bench/commit_window.py --size 512 --program before=/tmp/old/korvalith

Timing on a shared machine is noisy: the medians of --rounds runs are
printed, in seconds per GiB of result.
"""

import argparse
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
MIB = 1 << 20
ODD = 1000
FILE_SYSTEMS = ("tmpfs", "ext4", "xfs", "btrfs")
LINE = re.compile(r"^(\d+)\s+(\d+\.\d+) (.*)$")
WHOLE = re.compile(r"^(\w+)\((.*)\) += -?\d+.*<(\d+\.\d+)>$")
UNFINISHED = re.compile(r"^(\w+)\((.*) <unfinished \.\.\.>$")
RESUMED = re.compile(r"^<\.\.\. (\w+) resumed>.*<(\d+\.\d+)>$")


def mount(kind, work):
    """A fresh file system of `kind` mounted under `work`: its mount point."""
    point = os.path.join(work, kind)
    os.makedirs(point, exist_ok=True)
    if kind == "tmpfs":
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=6g", "tmpfs", point], check=True)
        return point
    image = os.path.join(work, kind + ".img")
    with open(image, "wb") as file:
        file.truncate(6 << 30)
    maker = {"ext4": ["mkfs.ext4", "-q", "-F"], "xfs": ["mkfs.xfs", "-q", "-f"], "btrfs": ["mkfs.btrfs", "-q", "-f"]}
    subprocess.run([*maker[kind], image], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["mount", "-o", "loop", image, point], check=True)
    return point


def unmount(kind, work):
    point = os.path.join(work, kind)
    subprocess.run(["umount", point], check=False)
    image = os.path.join(work, kind + ".img")
    if os.path.exists(image):
        os.remove(image)


def traced(program, args, log):
    """Runs the program under strace, tracing only the calls that touch the
    target at its commit: the calls as (name, arguments, start, duration)."""
    subprocess.run(["strace", "-f", "--seccomp-bpf", "-ttt", "-T", "-o", log,
                    "-e", "trace=fallocate,copy_file_range,pwrite64,ftruncate,fdatasync,rename,renameat2,linkat",
                    program, *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    calls = []
    pending = {}
    with open(log, encoding="utf-8", errors="replace") as file:
        for line in file:
            match = LINE.match(line.strip())
            if not match:
                continue
            thread, at, rest = match.group(1), float(match.group(2)), match.group(3)
            if whole := WHOLE.match(rest):
                calls.append((whole.group(1), whole.group(2), at, float(whole.group(3))))
            elif unfinished := UNFINISHED.match(rest):
                pending[thread] = (unfinished.group(1), unfinished.group(2), at)
            elif (resumed := RESUMED.match(rest)) and thread in pending:
                name, arguments, start = pending.pop(thread)
                calls.append((name, arguments, start, float(resumed.group(2))))
    return calls


def window(calls):
    """From the first change of the target to the end of its ftruncate."""
    starts = [start for name, arguments, start, _ in calls
              if name in ("fallocate", "copy_file_range", "pwrite64") and "PUNCH_HOLE" not in arguments]
    ends = [start + duration for name, _, start, duration in calls if name == "ftruncate"]
    if not starts or not ends:
        return None
    return max(ends) - min(starts)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--program", action="append", default=[], metavar="NAME=PATH",
                        help="a korvalith program to measure (repeatable; default: build/korvalith)")
    parser.add_argument("--size", type=int, default=512, help="the result's size in MiB (default: 512)")
    parser.add_argument("--rounds", type=int, default=3, help="runs per program and file system (default: 3)")
    parser.add_argument("--work", default=None, help="where the images go (default: a temporary directory)")
    parser.add_argument("--file-system", action="append", choices=FILE_SYSTEMS, help="only these (repeatable)")
    options = parser.parse_args()
    programs = [given.partition("=")[::2] for given in options.program] or [
        ("korvalith", os.path.join(ROOT, "build", "korvalith"))]
    work = tempfile.mkdtemp(dir=options.work)
    size = options.size * MIB
    gib = size / (1 << 30)
    rng = random.Random(1)
    letters = bytes.maketrans(bytes(range(256)), bytes(b"abcdefghijklmnopqrstuvwxyz ,.\n"[i % 30]
                                                       for i in range(256)))
    print("CPU:", next(line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")))
    print("rot13 rotate of %d MiB + %d bytes into a file of %d MiB; seconds per GiB of result, median of %d" %
          (options.size, ODD, options.size * 7 // 6, options.rounds))
    print("%-8s %-14s %22s %18s %14s" % ("fs", "program", "in place: window", "replaced: fsync", "rename"))
    try:
        for kind in options.file_system or FILE_SYSTEMS:
            point = mount(kind, work)
            try:
                source = os.path.join(point, "input")
                with open(source, "wb") as file:
                    for _ in range(options.size):
                        file.write(rng.randbytes(MIB).translate(letters))
                    # Not a multiple of 8 KiB, as most results are not: half
                    # of it falls inside a block.
                    file.write(b"x" * ODD)
                old = b"old contents\n" * (size * 7 // 6 // 13)
                target = os.path.join(point, "target")
                for name, program in programs:
                    windows, syncs, renames = [], [], []
                    for _ in range(options.rounds):
                        for links in (2, 1):
                            for path in (target, target + ".link"):
                                if os.path.exists(path):
                                    os.remove(path)
                            with open(target, "wb") as file:
                                file.write(old)
                            if links == 2:
                                os.link(target, target + ".link")
                            subprocess.run(["sync"], check=True)
                            calls = traced(program, ["rot13", "rotate", source, "-o", target],
                                           os.path.join(work, "trace"))
                            if links == 2:
                                measured = window(calls)
                                if measured is not None:
                                    windows.append(measured / gib)
                            else:
                                syncs.append(sum(d for n, _, _, d in calls if n == "fdatasync") / gib)
                                renames.append(sum(d for n, _, _, d in calls if n in ("rename", "renameat2")))
                    shown = lambda values, unit="": "%.3f%s" % (statistics.median(values), unit) if values else "-"
                    print("%-8s %-14s %22s %18s %14s" % (kind, name, shown(windows, " s/GiB"),
                                                         shown(syncs, " s/GiB"), shown(renames, " s")))
                    sys.stdout.flush()
            finally:
                unmount(kind, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
