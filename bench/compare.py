#!/usr/bin/env python3
"""Times the module's functions against their peers side by side, in one run.

Each row runs our function and a peer doing the same work on the same input,
takes the best of several repeats of each, and prints both throughputs and
the speed ratio (peer time / our time; above 1 means we are faster). Rows
with a target say whether the ratio reaches it. Only the standard library is
needed; optional peers that are not installed are skipped.

Two more checks follow the rows: a plain loop of calls, where each result
lives until the next call replaces it (as in most programs, unlike timeit's
loop), timed with the page faults per call; and the peak memory of one large
call, measured in a child process.

    python3 bench/compare.py                 # every row, module from build/
    python3 bench/compare.py --filter base64 # rows whose name or peer contains base64
    python3 bench/compare.py --wall          # wall-clock time instead of CPU time
    build-i386/target-python bench/compare.py --build build-i386   # the 32-bit module

The AES rows also compare the module with the one in <build>/portable, which
the build makes for the tests with the AES instructions left out (it runs the
bitsliced engine). On the 32-bit target, where no peer loads, they are the
rows that count:

    build-i386/target-python bench/compare.py --build build-i386 --filter aes-

With --aes-reference DIR, rows named "... vs reference" compare the AES
functions with the module in DIR, for instance one built from an earlier
commit; with --build pointing at a portable/ directory, that measures the
bitsliced engine against the engine it replaced:

    python3 bench/compare.py --build build/portable --aes-reference OLD/build/portable --filter "vs reference"
"""

import argparse
import base64
import binascii
import codecs
import os
import random
import string
import subprocess
import sys
import textwrap
import time
import timeit

try:
    import resource
except ImportError:  # pragma: no cover - not on this platform
    resource = None

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

def shift_cipher_rows(k, options):
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


def encoding_rows(k, options):
    b32 = k.encodings.base32
    b64 = k.encodings.base64
    data = random_bytes(MIB)
    data64 = binascii.b2a_base64(data, newline=False)
    data32 = base64.b32encode(data)
    # The text functions against their bytes twins, on text that decodes to
    # text: informative only, since a str result needs a copy that a bytes
    # result does not.
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
    call = 1 / 1.5   # a 16-byte call may cost at most 1.5x the binascii call
    rows = [
        Row("base64.encode_bytes 1 MiB", MIB, lambda: b64.encode_bytes(data),
            lambda: binascii.b2a_base64(data, newline=False), "binascii.b2a_base64", target=12.0),
        Row("base64.decode_bytes 1 MiB", MIB, lambda: b64.decode_bytes(data64),
            lambda: binascii.a2b_base64(data64), "binascii.a2b_base64", target=15.0),
        Row("base32.encode_bytes 1 MiB", MIB, lambda: b32.encode_bytes(data),
            lambda: base64.b32encode(part), "base64.b32encode", target=300.0, peer_scale=16),
        Row("base32.decode_bytes 1 MiB", MIB, lambda: b32.decode_bytes(data32),
            lambda: base64.b32decode(part32), "base64.b32decode", target=300.0, peer_scale=16),
        # The floor: a new bytes object of the result's size, filled by a
        # copy (where every allocation this large is a fresh mapping, as on
        # the 32-bit target, its page faults dominate).
        Row("base64.encode_bytes 1 MiB vs floor", MIB, lambda: b64.encode_bytes(data),
            lambda: data64[1:], "copy of the result"),
        Row("base64.decode_bytes 1 MiB vs floor", MIB, lambda: b64.decode_bytes(data64),
            lambda: data[1:], "copy of the result", target=0.5),
        Row("base64.encode 1 MiB text", MIB, lambda: b64.encode(text),
            lambda: b64.encode_bytes(text_bytes), "base64.encode_bytes"),
        Row("base64.decode 1 MiB text", MIB, lambda: b64.decode(text64),
            lambda: b64.decode_bytes(text64_bytes), "base64.decode_bytes"),
        Row("base32.encode 1 MiB text", MIB, lambda: b32.encode(text),
            lambda: b32.encode_bytes(text_bytes), "base32.encode_bytes"),
        Row("base32.decode 1 MiB text", MIB, lambda: b32.decode(text32),
            lambda: b32.decode_bytes(text32_bytes), "base32.decode_bytes"),
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


def pybase64_rows(k, options):
    """Against pybase64, the SIMD Base64 extension, with the settings that
    match ours: the standard alphabet, and validate=True for decoding, which
    like ours fails on a character outside the alphabet (without it pybase64
    drops such characters, a slower and different task). Our bytes functions
    must be at least as fast at every size, and encoding 1.3x at 1 MiB."""
    pybase64 = import_optional("pybase64", lambda m: m.b64decode(m.b64encode(b"probe")))
    if pybase64 is None:
        print(f"{'pybase64 rows':40} skipped: pybase64 is not installed (nox -s bench, or bench/requirements.txt)")
        return []
    b64 = k.encodings.base64
    rows = []
    for size, label in ((16, "16 B"), (1024, "1 KiB"), (MIB, "1 MiB"), (64 * MIB, "64 MiB")):
        data = random_bytes(size, seed=size)
        encoded = pybase64.b64encode(data)
        text = ascii_text(size, seed=size) if size <= MIB else ascii_text(MIB) * (size // MIB)
        encoded_text = pybase64.b64encode(text.encode()).decode()
        assert b64.encode_bytes(data) == encoded and b64.decode_bytes(encoded) == data
        assert b64.decode(encoded_text, strict=True) == text
        assert pybase64.b64decode(encoded_text, validate=True) == text.encode()
        rows += [
            Row(f"base64.encode_bytes {label}", size, lambda data=data: b64.encode_bytes(data),
                lambda data=data: pybase64.b64encode(data), "pybase64.b64encode",
                target=1.3 if size == MIB else 1.0),
            Row(f"base64.decode_bytes {label}", size, lambda encoded=encoded: b64.decode_bytes(encoded),
                lambda encoded=encoded: pybase64.b64decode(encoded, validate=True), "pybase64 validate=True",
                target=1.0),
            Row(f"base64.decode strict {label} text", size,
                lambda encoded_text=encoded_text: b64.decode(encoded_text, strict=True),
                lambda encoded_text=encoded_text: pybase64.b64decode(encoded_text, validate=True),
                "pybase64 validate=True"),
        ]
    return rows


def import_optional(name, probe=lambda module: None):
    """Imports an optional peer module, also looking in Debian's system
    package directory (which other interpreters do not search), and runs
    `probe` on it, since a compiled peer built for another interpreter may
    import and fail only on first use; None when absent or unusable."""
    import importlib

    def load():
        module = importlib.import_module(name)
        probe(module)
        return module

    try:
        return load()
    except Exception:  # noqa: BLE001 - a peer that will not load counts as absent
        pass
    system_packages = "/usr/lib/python3/dist-packages"
    if not os.path.isdir(system_packages):
        return None
    sys.path.append(system_packages)
    try:
        return load()
    except Exception:  # noqa: BLE001
        return None
    finally:
        sys.path.remove(system_packages)


def load_module_from(directory):
    """The _korvalith module file in `directory`, loaded beside the one
    already imported (as a separate module object), or None when absent."""
    import importlib.util

    path = os.path.join(directory, "_korvalith.abi3.so")
    if not os.path.isfile(path):
        return None
    found = importlib.util.spec_from_file_location("_korvalith", path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def aes_rows(k, options):
    """AES-ECB over 1 MiB with PKCS#7 padding. Peers get the padded data (and
    strip the padding after decrypting) so they do the same work. A 16-byte
    call counts a peer's creation of its cipher object. The portable rows
    compare with the same module built without the AES instructions, the
    reference rows with the module given by --aes-reference."""
    hazmat = import_optional("cryptography.hazmat.primitives.ciphers",
                             lambda m: m.Cipher(m.algorithms.AES(bytes(16)), m.modes.ECB()).encryptor())
    dome_probe = (lambda m: m.new(bytes(16), m.MODE_ECB).encrypt(bytes(16)))
    dome = import_optional("Crypto.Cipher.AES", dome_probe) or import_optional("Cryptodome.Cipher.AES", dome_probe)
    pyaes = import_optional("pyaes")

    portable = load_module_from(options.portable or os.path.join(options.build, "portable"))
    reference = load_module_from(options.aes_reference) if options.aes_reference else None
    if options.aes_reference and reference is None:
        sys.exit(f"no _korvalith.abi3.so in {options.aes_reference}")

    text = random_bytes(MIB, seed=3)
    padded = text + bytes([16]) * 16
    short = text[:16]
    # pyaes runs about a thousand times slower: it gets 64 KiB and its time is scaled.
    slow_size = 64 * 1024
    rows = []
    for bits in (128, 192, 256):
        key = random_bytes(bits // 8, seed=bits)
        ciphertext = k.ciphers.aes.encrypt_ecb(text, key, "pkcs")
        assert k.ciphers.aes.decrypt_ecb(ciphertext, key, "pkcs") == text
        encrypt = (lambda key=key: k.ciphers.aes.encrypt_ecb(text, key, "pkcs"))
        decrypt = (lambda key=key, ciphertext=ciphertext: k.ciphers.aes.decrypt_ecb(ciphertext, key, "pkcs"))
        name = f"aes-{bits} ecb"
        if hazmat is not None:
            cipher = hazmat.Cipher(hazmat.algorithms.AES(key), hazmat.modes.ECB())

            def openssl_encrypt(cipher=cipher):
                encryptor = cipher.encryptor()
                return encryptor.update(padded) + encryptor.finalize()

            def openssl_decrypt(cipher=cipher, ciphertext=ciphertext):
                decryptor = cipher.decryptor()
                plain = decryptor.update(ciphertext) + decryptor.finalize()
                return plain[:-plain[-1]]

            assert openssl_encrypt() == ciphertext and openssl_decrypt() == text
            rows += [Row(f"{name} encrypt 1 MiB", MIB, encrypt, openssl_encrypt, "cryptography (OpenSSL)",
                         target=1.5),
                     Row(f"{name} decrypt 1 MiB", MIB, decrypt, openssl_decrypt, "cryptography (OpenSSL)",
                         target=1.5)]
        if dome is not None:
            def dome_encrypt(key=key):
                return dome.new(key, dome.MODE_ECB).encrypt(padded)

            def dome_decrypt(key=key, ciphertext=ciphertext):
                plain = dome.new(key, dome.MODE_ECB).decrypt(ciphertext)
                return plain[:-plain[-1]]

            def dome_encrypt_short(key=key):
                return dome.new(key, dome.MODE_ECB).encrypt(short)

            assert dome_encrypt() == ciphertext and dome_decrypt() == text
            assert dome_encrypt_short() == k.ciphers.aes.encrypt_ecb(short, key, "pkcs")[:16]
            rows += [Row(f"{name} encrypt 1 MiB", MIB, encrypt, dome_encrypt, "pycryptodome", target=1.2),
                     Row(f"{name} decrypt 1 MiB", MIB, decrypt, dome_decrypt, "pycryptodome", target=1.2),
                     Row(f"{name} encrypt 16 B", 16, lambda key=key: k.ciphers.aes.encrypt_ecb(short, key, "pkcs"),
                         dome_encrypt_short, "pycryptodome new+encrypt", target=12.0)]
        if portable is not None:
            assert portable.ciphers.aes.encrypt_ecb(text, key, "pkcs") == ciphertext
            rows += [Row(f"{name} encrypt 1 MiB", MIB, encrypt,
                         lambda key=key: portable.ciphers.aes.encrypt_ecb(text, key, "pkcs"), "no AES instructions",
                         target=10.0),
                     Row(f"{name} decrypt 1 MiB", MIB, decrypt,
                         lambda key=key, ciphertext=ciphertext: portable.ciphers.aes.decrypt_ecb(ciphertext, key, "pkcs"),
                         "no AES instructions", target=10.0)]
        if reference is not None:
            assert reference.ciphers.aes.encrypt_ecb(text, key, "pkcs") == ciphertext
            rows += [Row(f"{name} encrypt 1 MiB vs reference", MIB, encrypt,
                         lambda key=key: reference.ciphers.aes.encrypt_ecb(text, key, "pkcs"), "reference module"),
                     Row(f"{name} decrypt 1 MiB vs reference", MIB, decrypt,
                         lambda key=key, ciphertext=ciphertext:
                             reference.ciphers.aes.decrypt_ecb(ciphertext, key, "pkcs"),
                         "reference module")]
        if pyaes is not None:
            slow_plain = padded[:slow_size]
            slow_cipher = ciphertext[:slow_size]

            def pyaes_encrypt(key=key):
                ecb = pyaes.AESModeOfOperationECB(key)
                return b"".join(ecb.encrypt(slow_plain[i:i + 16]) for i in range(0, slow_size, 16))

            def pyaes_decrypt(key=key):
                ecb = pyaes.AESModeOfOperationECB(key)
                return b"".join(ecb.decrypt(slow_cipher[i:i + 16]) for i in range(0, slow_size, 16))

            assert pyaes_encrypt() == slow_cipher and pyaes_decrypt() == slow_plain
            scale = MIB / slow_size
            rows += [Row(f"{name} encrypt 1 MiB", MIB, encrypt, pyaes_encrypt, "pyaes (64 KiB, scaled)",
                         target=100.0, peer_scale=scale),
                     Row(f"{name} decrypt 1 MiB", MIB, decrypt, pyaes_decrypt, "pyaes (64 KiB, scaled)",
                         target=100.0, peer_scale=scale)]
    return rows


def python_vigenere(text, key, decrypt=False, skip_non_alpha=True):
    """The Vigenère cipher written plainly in Python, with the module's rules."""
    if not text.isascii() or not key.isascii():
        raise ValueError("Only ASCII input is supported")
    if not key or not key.isalpha():
        raise ValueError("Key must be non-empty and contain only alphabetic characters")
    shifts = [(ord(letter) | 0x20) - 97 for letter in key]
    if decrypt:
        shifts = [(26 - shift) % 26 for shift in shifts]
    out = []
    position = 0
    for ch in text:
        shift = shifts[position % len(shifts)]
        if "a" <= ch <= "z":
            out.append(chr((ord(ch) - 97 + shift) % 26 + 97))
            position += 1
        elif "A" <= ch <= "Z":
            out.append(chr((ord(ch) - 65 + shift) % 26 + 65))
            position += 1
        else:
            out.append(ch)
            if not skip_non_alpha:
                position += 1
    return "".join(out)


def vigenere_substitution_rows(k, options):
    text = ascii_text(MIB)
    data = text.encode("ascii")
    key = "Lemon"
    # The peer runs on a sixteenth of the text; its time is scaled up.
    peer_text = text[:MIB // 16]
    # A substitution key: every letter to another one of its case.
    rng = random.Random(3)
    lower = list(string.ascii_lowercase)
    rng.shuffle(lower)
    source = string.ascii_lowercase + string.ascii_uppercase
    target = "".join(lower) + "".join(lower).upper()
    mapping = dict(zip(source, target))
    byte_mapping = {ord(a): ord(b) for a, b in mapping.items()}
    str_table = str.maketrans(source, target)
    bytes_table = bytes.maketrans(source.encode(), target.encode())
    rows = [
        Row("vigenere.encrypt 1 MiB", MIB, lambda: k.ciphers.vigenere.encrypt(text, key),
            lambda: python_vigenere(peer_text, key), "pure Python", target=50.0, peer_scale=16.0),
        Row("vigenere.encrypt no skip 1 MiB", MIB, lambda: k.ciphers.vigenere.encrypt(text, key, False),
            lambda: python_vigenere(peer_text, key, skip_non_alpha=False), "pure Python", target=50.0,
            peer_scale=16.0),
        Row("substitute 1 MiB", MIB, lambda: k.ciphers.substitution.substitute(text, mapping),
            lambda: text.translate(str_table), "str.translate", target=2.0),
        Row("substitute_bytes 1 MiB", MIB, lambda: k.ciphers.substitution.substitute_bytes(data, byte_mapping),
            lambda: data.translate(bytes_table), "bytes.translate", target=1.5),
    ]
    assert k.ciphers.vigenere.encrypt(peer_text, key) == python_vigenere(peer_text, key)
    assert k.ciphers.vigenere.encrypt(peer_text, key, False) == python_vigenere(peer_text, key, skip_non_alpha=False)
    assert k.ciphers.substitution.substitute(text, mapping) == text.translate(str_table)
    assert k.ciphers.substitution.substitute_bytes(data, byte_mapping) == data.translate(bytes_table)
    return rows


SECTIONS = [
    shift_cipher_rows,
    encoding_rows,
    pybase64_rows,
    vigenere_substitution_rows,
    aes_rows,
]


# A plain loop of calls in a fresh process, so that the heap starts as a
# program's would and not as the rows above left it. Prints the seconds and
# the minor page faults per call.
LOOP_CHILD = textwrap.dedent("""
    import binascii, random, resource, sys, time
    sys.path.insert(0, sys.argv[1])
    import _korvalith

    data = random.Random(2).randbytes(1 << 20)
    function = {"ours": lambda: _korvalith.encodings.base64.encode_bytes(data),
                "binascii": lambda: binascii.b2a_base64(data, newline=False)}[sys.argv[2]]
    clock = time.perf_counter if sys.argv[4] == "wall" else time.process_time
    calls = int(sys.argv[3])
    faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
    start = clock()
    for _ in range(calls):
        result = function()
    seconds = clock() - start
    faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt - faults
    print(seconds / calls, faults / calls)
""")


def plain_loop_checks(k, options):
    """100 calls of base64.encode_bytes on 1 MiB in a plain loop, each result
    kept until the next one replaces it, against binascii.b2a_base64 in a
    plain loop of its own: at least 1.2x as fast, with no more page faults
    per call. Each loop runs in a fresh process, `repeat` times, alternating;
    the best round counts for the time, the mean of all for the faults."""
    name = "base64.encode_bytes 1 MiB plain loop"
    if options.filter not in name:
        return 0
    if resource is None:
        print(f"{name:40} skipped: needs the resource module")
        return 0
    data = random_bytes(MIB)
    assert k.encodings.base64.encode_bytes(data) == binascii.b2a_base64(data, newline=False)
    best = [float("inf"), float("inf")]
    faults = [0.0, 0.0]
    for _ in range(options.repeat):
        for i, which in enumerate(("ours", "binascii")):
            child = subprocess.run([sys.executable, "-c", LOOP_CHILD, os.path.abspath(options.build), which, "100",
                                    "wall" if options.wall else "cpu"],
                                   capture_output=True, text=True, check=True)
            seconds, per_call = map(float, child.stdout.split())
            best[i] = min(best[i], seconds)
            faults[i] += per_call / options.repeat
    ratio = best[1] / best[0]
    target = 1.2
    fewer_faults = faults[0] <= faults[1]
    met = ratio >= target and fewer_faults
    verdict = f"{target:.1f}x " + ("ok" if met else "MISS")
    print(f"{name:40} {MIB / best[0] / 1e6:11.1f} {'binascii.b2a_base64':>22} "
          f"{MIB / best[1] / 1e6:11.1f} {ratio:7.2f}x {verdict:>7}")
    print(f"{'  page faults per call':40} {faults[0]:11.1f} {'binascii.b2a_base64':>22} {faults[1]:11.1f}"
          f" {'':8} {'no more' if fewer_faults else 'MORE':>7}", flush=True)
    return 0 if met else 1


# Peak memory of one call in a fresh process: the resident set's high-water
# mark is reset just before the call (clear_refs), so the peak above the
# resident set before the call is what the call itself needed.
PEAK_CHILD = textwrap.dedent("""
    import binascii, sys
    sys.path.insert(0, sys.argv[1])
    import _korvalith

    def status(field):
        with open("/proc/self/status") as lines:
            for line in lines:
                if line.startswith(field + ":"):
                    return int(line.split()[1]) * 1024

    data = b"\x5a" * int(sys.argv[3])
    call = {"ours": lambda: _korvalith.encodings.base64.encode_bytes(data),
            "binascii": lambda: binascii.b2a_base64(data, newline=False)}[sys.argv[2]]
    with open("/proc/self/clear_refs", "w") as clear:
        clear.write("5")
    before = status("VmRSS")
    result = call()
    print(status("VmHWM") - before, len(result))
""")


def peak_memory_checks(options):
    """Peak memory of one base64.encode_bytes call on 256 MiB against the
    result's size: at most 1.1x (binascii.b2a_base64 for comparison)."""
    name = "base64.encode_bytes 256 MiB peak memory"
    if options.filter not in name:
        return 0
    if not os.path.exists("/proc/self/clear_refs"):
        print(f"{name:40} skipped: needs /proc/self/clear_refs")
        return 0
    size = 256 * MIB
    ratios = {}
    for which in ("ours", "binascii"):
        child = subprocess.run([sys.executable, "-c", PEAK_CHILD, os.path.abspath(options.build), which, str(size)],
                               capture_output=True, text=True, check=True)
        peak, result = map(int, child.stdout.split())
        ratios[which] = peak / result
    met = ratios["ours"] <= 1.1
    print(f"{name:40} {ratios['ours']:10.2f}x {'binascii.b2a_base64':>22} {ratios['binascii']:10.2f}x "
          f"{'of result':>8} {'1.1x ' + ('ok' if met else 'MISS'):>7}", flush=True)
    return 0 if met else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build"),
                        help="directory holding _korvalith.abi3.so (default: build/)")
    parser.add_argument("--repeat", type=int, default=5, help="timed repeats per function (best is kept)")
    parser.add_argument("--filter", default="", help="run only rows whose name or peer contains this text")
    parser.add_argument("--portable", default=None,
                        help="directory holding the module built without the AES instructions "
                             "(default: portable/ in the build directory)")
    parser.add_argument("--aes-reference", default=None,
                        help="directory holding another module to compare the AES functions with "
                             "(rows named '... vs reference')")
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
        for row in section(_korvalith, options):
            if options.filter not in row.name and options.filter not in row.peer_name:
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
    missed += plain_loop_checks(_korvalith, options)
    missed += peak_memory_checks(options)
    if missed:
        print(f"{missed} row(s) below target")
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
