#!/usr/bin/env python3
"""Times the module's functions against their peers side by side, in one run.

Each row runs our function and a peer doing the same work on the same input,
takes the best of several repeats of each, and prints both throughputs and
the speed ratio (peer time / our time; above 1 means we are faster). Rows
with a target say whether the ratio reaches it. Only the standard library is
needed; optional peers that are not installed are skipped.

    python3 bench/compare.py                 # every row, module from build/
    python3 bench/compare.py --filter base64 # rows whose name contains base64
    python3 bench/compare.py --wall          # wall-clock time instead of CPU time
"""

import argparse
import base64
import binascii
import codecs
import os
import random
import string
import sys
import time
import timeit

HERE = os.path.dirname(os.path.abspath(__file__))
MIB = 1 << 20


class Row:
    """One comparison: our callable against a peer callable over `size` bytes."""

    def __init__(self, name, size, ours, peer, peer_name, target=None, peer_scale=1.0, check=True):
        self.name = name
        self.size = size
        self.ours = ours
        self.peer = peer
        self.peer_name = peer_name
        self.target = target
        # A slow peer may run on a fraction of the input; its time is scaled up.
        self.peer_scale = peer_scale
        self.check = check


def ascii_text(size, seed=1):
    """Printable ASCII prose-like text of exactly `size` bytes."""
    rng = random.Random(seed)
    alphabet = string.ascii_letters + "     ,.!?0123456789"
    return "".join(rng.choice(alphabet) for _ in range(size))


def random_bytes(size, seed=2):
    return random.Random(seed).randbytes(size)


def best_times(ours, peer, repeat, clock):
    """Best seconds per call of each callable over `repeat` rounds of timed
    batches (at least ~50 ms each). Each round times ours, then the peer, so
    both see the same conditions on a shared machine."""
    timers = [timeit.Timer(function, timer=clock) for function in (ours, peer)]
    numbers = [max(1, timer.autorange()[0] // 4) for timer in timers]
    best = [float("inf"), float("inf")]
    for _ in range(repeat):
        for i, timer in enumerate(timers):
            best[i] = min(best[i], timer.timeit(number=numbers[i]) / numbers[i])
    return best


# Sections: each returns the rows of one part of the module.

def shift_cipher_rows(k):
    text = ascii_text(MIB)
    caesar_table = str.maketrans(string.ascii_lowercase + string.ascii_uppercase,
                                 string.ascii_lowercase[3:] + string.ascii_lowercase[:3]
                                 + string.ascii_uppercase[3:] + string.ascii_uppercase[:3])
    rows = [
        Row("caesar.encrypt 1 MiB", MIB, lambda: k.ciphers.caesar.encrypt(text, 3),
            lambda: text.translate(caesar_table), "str.translate", target=2.0),
        Row("rot13.rotate 1 MiB", MIB, lambda: k.ciphers.rot13.rotate(text),
            lambda: codecs.encode(text, "rot13"), "codecs rot13", target=1.3),
    ]
    assert k.ciphers.caesar.encrypt(text, 3) == text.translate(caesar_table)
    assert k.ciphers.rot13.rotate(text) == codecs.encode(text, "rot13")
    return rows


def encoding_rows(k):
    b32 = k.encodings.base32
    b64 = k.encodings.base64
    data = random_bytes(MIB)
    data64 = binascii.b2a_base64(data, newline=False)
    data32 = base64.b32encode(data)
    # The text functions against their bytes twins, on text that decodes to text.
    text = ascii_text(MIB)
    text_bytes = text.encode()
    text64 = b64.encode(text)
    text32 = b32.encode(text)
    text64_bytes = text64.encode()
    text32_bytes = text32.encode()
    # Short inputs: what a call costs beyond the work on the data.
    short = data[:16]
    short64 = binascii.b2a_base64(short, newline=False)
    # The peers of Base32 are slow: they run on a sixteenth of the input.
    part = data[:MIB // 16]
    part32 = base64.b32encode(part)
    twin = 1 / 1.2   # a text function may cost at most 1.2x its bytes twin
    call = 1 / 1.5   # a 16-byte call may cost at most 1.5x the binascii call
    rows = [
        Row("base64.encode_bytes 1 MiB", MIB, lambda: b64.encode_bytes(data),
            lambda: binascii.b2a_base64(data, newline=False), "binascii.b2a_base64", target=2.0),
        Row("base64.decode_bytes 1 MiB", MIB, lambda: b64.decode_bytes(data64),
            lambda: binascii.a2b_base64(data64), "binascii.a2b_base64", target=2.0),
        Row("base32.encode_bytes 1 MiB", MIB, lambda: b32.encode_bytes(data),
            lambda: base64.b32encode(part), "base64.b32encode", target=30.0, peer_scale=16),
        Row("base32.decode_bytes 1 MiB", MIB, lambda: b32.decode_bytes(data32),
            lambda: base64.b32decode(part32), "base64.b32decode", target=30.0, peer_scale=16),
        Row("base64.encode 1 MiB text", MIB, lambda: b64.encode(text),
            lambda: b64.encode_bytes(text_bytes), "base64.encode_bytes", target=twin),
        Row("base64.decode 1 MiB text", MIB, lambda: b64.decode(text64),
            lambda: b64.decode_bytes(text64_bytes), "base64.decode_bytes", target=twin),
        Row("base32.encode 1 MiB text", MIB, lambda: b32.encode(text),
            lambda: b32.encode_bytes(text_bytes), "base32.encode_bytes", target=twin),
        Row("base32.decode 1 MiB text", MIB, lambda: b32.decode(text32),
            lambda: b32.decode_bytes(text32_bytes), "base32.decode_bytes", target=twin),
        Row("base64.encode_bytes 16 B", 16, lambda: b64.encode_bytes(short),
            lambda: binascii.b2a_base64(short, newline=False), "binascii.b2a_base64", target=call),
        Row("base64.decode_bytes 16 B", 16, lambda: b64.decode_bytes(short64),
            lambda: binascii.a2b_base64(short64), "binascii.a2b_base64", target=call),
    ]
    assert b64.encode_bytes(data) == data64 and b64.decode_bytes(data64) == data
    assert b32.encode_bytes(data) == data32 and b32.decode_bytes(data32) == data
    assert b64.encode_bytes(short) == short64 and b64.decode_bytes(short64) == short
    assert b64.decode(text64) == text and b32.decode(text32) == text
    assert text64_bytes == base64.b64encode(text_bytes) and text32_bytes == base64.b32encode(text_bytes)
    return rows


SECTIONS = [
    shift_cipher_rows,
    encoding_rows,
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build"),
                        help="directory holding _korvalith.abi3.so (default: build/)")
    parser.add_argument("--repeat", type=int, default=5, help="timed repeats per function (best is kept)")
    parser.add_argument("--filter", default="", help="run only rows whose name contains this text")
    parser.add_argument("--wall", action="store_true",
                        help="time with the wall clock instead of the process's CPU time")
    options = parser.parse_args()
    # CPU time by default: on a machine shared with other work, wall time
    # mostly measures the neighbours.
    clock = time.perf_counter if options.wall else time.process_time

    sys.path.insert(0, os.path.abspath(options.build))
    import _korvalith

    print(f"{'row':40} {'ours MB/s':>11} {'peer':>22} {'peer MB/s':>11} {'ratio':>8} {'target':>7}")
    missed = 0
    for section in SECTIONS:
        for row in section(_korvalith):
            if options.filter not in row.name:
                continue
            ours, peer = best_times(row.ours, row.peer, options.repeat, clock)
            peer *= row.peer_scale
            ratio = peer / ours
            verdict = ""
            if row.target is not None:
                verdict = f"{row.target:.1f}x " + ("ok" if ratio >= row.target else "MISS")
                missed += ratio < row.target
            print(f"{row.name:40} {row.size / ours / 1e6:11.1f} {row.peer_name:>22} "
                  f"{row.size / peer / 1e6:11.1f} {ratio:7.2f}x {verdict:>7}", flush=True)
    if missed:
        print(f"{missed} row(s) below target")
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
