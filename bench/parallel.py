#!/usr/bin/env python3
"""Times one worker against two, in each concurrency model the running
interpreter offers, calling the module's functions on inputs of their own.

Rows: AES-128 ECB encryption (`encrypt_ecb`, PKCS#7 padding) and Base64
decoding (`base64.decode_bytes`), at 4 KiB, 64 KiB and 1 MiB per call
(the size of the plaintext, or of the decoded result), and beside them the
interpreter's own copy of the same size, `bytes(bytearray(data))`, as the
baseline: what any call that makes a fresh result of that size costs in
that model. Models:

- threads: every call holds the interpreter's lock on a build that has one,
  so two threads take turns (about 1.0x); on a free-threaded build they run
  at the same time;
- interpreters: `concurrent.futures.InterpreterPoolExecutor` (3.14 and
  later), each interpreter with a lock of its own, in one process;
- processes: `concurrent.futures.ProcessPoolExecutor`.

A model the interpreter lacks is skipped with a message. Each worker makes
its input, waits for a common start time, then calls the function over and
over for --duration seconds; the throughput is all workers' bytes over the
span from the first start to the last end, the best of --repeat runs (one
and two workers, every function, interleaved). The ratio is two workers'
throughput over one's. Each row also gives the share of the wall time
that each worker's thread ran (its processor time; on a busy machine two
workers may not get two processors); the throughput per processor-second
of two workers against one's, which is 1.0 when the workers do not slow
each other down whatever else runs on the machine; and, per call, the
minor page faults with one and with two workers and the context switches
(voluntary + involuntary) with two, of the workers' threads (getrusage of
the thread).

    python3 bench/parallel.py                      # the installed module
    python3 bench/parallel.py --build build        # the module in build/
    python3 bench/parallel.py --models threads,processes --sizes 65536
"""

import argparse
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
KIB = 1 << 10
MIB = 1 << 20
SIZES = (4 * KIB, 64 * KIB, MIB)
KINDS = ("aes-128 ecb encrypt", "base64 decode_bytes", "copy (baseline)")
MODELS = ("threads", "interpreters", "processes")


def _usage():
    """(minor faults, context switches) of the calling thread so far, or
    None where the platform cannot tell one thread's counts."""
    try:
        import resource
        who = getattr(resource, "RUSAGE_THREAD", None)
        if who is None:
            return None
        usage = resource.getrusage(who)
    except Exception:  # noqa: BLE001 - no counts in this interpreter
        return None
    return usage.ru_minflt, usage.ru_nvcsw + usage.ru_nivcsw


def _call_for(kind, size):
    """A function of no arguments doing one call of `kind` at `size`."""
    data = bytes((i * 131 + 7) & 0xFF for i in range(256)) * (size // 256)
    if kind == KINDS[2]:
        return lambda: bytes(bytearray(data))
    import _korvalith
    if kind == KINDS[0]:
        encrypt = _korvalith.ciphers.aes.encrypt_ecb
        key = bytes(range(16))
        return lambda: encrypt(data, key, "pkcs")
    decode = _korvalith.encodings.base64.decode_bytes
    text = _korvalith.encodings.base64.encode_bytes(data)
    assert decode(text) == data
    return lambda: decode(text)


def run_worker(kind, size, start_at, duration):
    """One worker's run: calls from `start_at` (time.monotonic, the same
    clock in every process) for `duration` seconds. Returns (calls, began,
    ended, processor time of its thread, minor faults, context switches); the
    counts are -1 when unknown.
    Module-level, so that worker processes and interpreters reach it by
    name."""
    call = _call_for(kind, size)
    call()
    delay = start_at - time.monotonic()
    if delay > 0:
        time.sleep(delay)
    before = _usage()
    cpu = time.thread_time()
    began = time.monotonic()
    stop = began + duration
    calls = 0
    now = began
    while now < stop:
        call()
        call()
        calls += 2
        now = time.monotonic()
    cpu = time.thread_time() - cpu
    after = _usage()
    if before is None or after is None:
        return calls, began, now, cpu, -1, -1
    return calls, began, now, cpu, after[0] - before[0], after[1] - before[1]


def warm_up(seconds):
    """Keeps a worker busy for a while, so that the pool starts every worker
    and each imports the module before the timed runs."""
    import _korvalith  # noqa: F401 - the import is the point
    time.sleep(seconds)
    return os.getpid()


class Threads:
    name = "threads"

    def __init__(self):
        import threading
        self.threading = threading

    def run(self, workers, arguments):
        results = [None] * workers

        def target(index):
            results[index] = run_worker(*arguments)

        threads = [self.threading.Thread(target=target, args=(i,)) for i in range(workers)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        return results

    def close(self):
        pass


class Pool:
    """A pool of two workers (processes or interpreters), started and warmed
    up before the timed runs. They are handed this file's functions as
    those of the module `parallel`, which they import by that name (not
    those of `__main__`, which is another module in each of them)."""

    def __init__(self, name, executor):
        import parallel
        self.name = name
        self.executor = executor
        self.run_worker = parallel.run_worker
        for future in [executor.submit(parallel.warm_up, 0.3) for _ in range(2)]:
            future.result()

    def run(self, workers, arguments):
        futures = [self.executor.submit(self.run_worker, *arguments) for _ in range(workers)]
        return [future.result() for future in futures]

    def close(self):
        self.executor.shutdown()


def open_model(name):
    """The model `name` ready to run, or a message saying why not."""
    import concurrent.futures as futures
    if name == "threads":
        return Threads()
    if name == "interpreters":
        executor = getattr(futures, "InterpreterPoolExecutor", None)
        if executor is None:
            return "skipped: no concurrent.futures.InterpreterPoolExecutor before CPython 3.14"
        try:
            return Pool(name, executor(max_workers=2))
        except Exception as error:  # noqa: BLE001 - reported, the other models still run
            return "skipped: %s: %s" % (type(error).__name__, error)
    return Pool(name, futures.ProcessPoolExecutor(max_workers=2))


def measure(model, size, options):
    """{(kind, workers): (bytes per second, faults per call, switches per
    call, late start in seconds, share of the span each worker's thread
    ran)}, the best of the repeats for each."""
    best = {}
    for _ in range(options.repeat):
        for kind in KINDS:
            for workers in (1, 2):
                start_at = time.monotonic() + options.margin
                results = model.run(workers, (kind, size, start_at, options.duration))
                calls = sum(r[0] for r in results)
                span = max(r[2] for r in results) - min(r[1] for r in results)
                late = max(r[1] for r in results) - min(r[1] for r in results)
                rate = calls * size / span
                busy = sum(r[3] / (r[2] - r[1]) for r in results) / workers
                faults = sum(r[4] for r in results) / calls if all(r[4] >= 0 for r in results) else None
                switches = sum(r[5] for r in results) / calls if all(r[5] >= 0 for r in results) else None
                if (kind, workers) not in best or rate > best[kind, workers][0]:
                    best[kind, workers] = (rate, faults, switches, late, busy)
    return best


def label(size):
    return "%d KiB" % (size // KIB) if size < MIB else "%d MiB" % (size // MIB)


def count(value):
    return "-" if value is None else "%.2f" % value if value < 10 else "%.0f" % value


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", help="directory holding the module to load (default: the installed one)")
    parser.add_argument("--models", default=",".join(MODELS), help="comma-separated, of " + ", ".join(MODELS))
    parser.add_argument("--sizes", default=",".join(map(str, SIZES)), help="bytes per call, comma-separated")
    parser.add_argument("--duration", type=float, default=0.5, help="seconds per timed run (default 0.5)")
    parser.add_argument("--repeat", type=int, default=3, help="runs of each, the best kept (default 3)")
    parser.add_argument("--margin", type=float, default=0.15,
                        help="seconds between handing out the work and the common start (default 0.15)")
    options = parser.parse_args()

    # Worker processes and interpreters find the module, and this file's
    # functions under the name `parallel`, through PYTHONPATH, which every
    # interpreter of the process reads at its start: set it and start again.
    wanted = [HERE] + ([os.path.abspath(options.build)] if options.build else [])
    present = os.environ.get("PYTHONPATH", "").split(os.pathsep)
    if not all(path in present for path in wanted):
        os.environ["PYTHONPATH"] = os.pathsep.join(wanted + [p for p in present if p])
        os.execv(sys.executable, [sys.executable, os.path.abspath(__file__)] + sys.argv[1:])

    import _korvalith

    gil = getattr(sys, "_is_gil_enabled", lambda: True)()
    print("Python %s (%s), %s" % (sys.version.split()[0], sys.executable,
                                  "global lock on" if gil else "no global lock"))
    print("module: %s" % _korvalith.__file__)
    try:
        with open("/proc/cpuinfo", encoding="ascii", errors="replace") as cpuinfo:
            cpu = next((line.split(":", 1)[1].strip() for line in cpuinfo if line.startswith("model name")), "?")
    except OSError:
        cpu = "?"
    print("CPU: %s, %d processors; load average %s" % (cpu, os.cpu_count() or 0,
                                                       " ".join("%.2f" % x for x in os.getloadavg())))
    print("%.2f s per run, best of %d; ratio = two workers' throughput / one's, copy = the same ratio of"
          " the copy of that size;" % (options.duration, options.repeat))
    print("ran1, ran2 = processor time of each worker's thread / wall time, one and two workers;"
          " per-cpu = two workers'")
    print("throughput per processor-second / one's (below 1: the workers slow each other down);"
          " flt1, flt2 = minor page")
    print("faults per call, one and two workers; csw2 = context switches per call, two workers")

    sizes = [int(size) for size in options.sizes.split(",")]
    header = "%-13s %-7s %-20s %9s %9s %6s %6s %5s %5s %7s %6s %6s %6s" % (
        "model", "size", "function", "1 (MB/s)", "2 (MB/s)", "ratio", "copy", "ran1", "ran2", "per-cpu",
        "flt1", "flt2", "csw2")
    for name in options.models.split(","):
        if name not in MODELS:
            parser.error("unknown model %r" % name)
        model = open_model(name)
        if isinstance(model, str):
            print("\n%s: %s" % (name, model))
            continue
        title = name
        if name == "threads":
            title += " (each call holds the global lock)" if gil else " (no global lock)"
        print("\n" + title)
        print(header)
        try:
            for size in sizes:
                best = measure(model, size, options)
                copy_ratio = best[KINDS[2], 2][0] / best[KINDS[2], 1][0]
                for kind in KINDS:
                    one, two = best[kind, 1], best[kind, 2]
                    per_cpu = (two[0] / (2 * two[4])) / (one[0] / one[4])
                    print("%-13s %-7s %-20s %9.0f %9.0f %5.2fx %5.2fx %4.0f%% %4.0f%% %6.2fx %6s %6s %6s" % (
                        name, label(size), kind, one[0] / 1e6, two[0] / 1e6, two[0] / one[0], copy_ratio,
                        100 * one[4], 100 * two[4], per_cpu, count(one[1]), count(two[1]), count(two[2])))
                    if two[3] > 0.05:
                        print("    (the second worker started %.2f s late)" % two[3])
                sys.stdout.flush()
        finally:
            model.close()
    print("\nload average after: %s" % " ".join("%.2f" % x for x in os.getloadavg()))


if __name__ == "__main__":
    main()
