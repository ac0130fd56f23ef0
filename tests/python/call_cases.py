"""Calls of every argument-taking function, over success and every error
path: binding errors, each converter failure and each core error. Shared by
the leak and thread tests.

Each case names the function, the arguments and the outcome: None for a
result, else the exception class the call raises. To cover a new function
or error path, add a case to `build_cases`."""

import binascii
import os

import _korvalith

ciphers = _korvalith.ciphers
encodings = _korvalith.encodings

# Large inputs make a leaked result or message visible in the process's
# memory: a buffer of this size that is never freed is its own mapping. The
# sanitized run finds leaks of any size and measures no memory, so it uses
# smaller ones.
BIG = (16 if os.environ.get("KORVALITH_SANITIZED") == "1" else 256) * 1024


class Case:
    def __init__(self, name, function, args=(), kwargs=None, raises=None):
        self.name = name
        self.function = function
        self.args = tuple(args)
        self.kwargs = dict(kwargs or {})
        self.raises = raises

    def __call__(self):
        return self.function(*self.args, **self.kwargs)

    def __repr__(self):
        return "<case %s>" % self.name

    def held_objects(self, shared=False):
        """The objects whose reference counts the call must leave as they were:
        the arguments and what their containers hold. Objects the interpreter
        shares process-wide (small ints, one-character strings, None and the
        booleans) are left out unless `shared` (then all but None and the
        booleans): anything running meanwhile may change their counts."""
        held = []
        for value in (*self.args, *self.kwargs.values()):
            held.append(value)
            if isinstance(value, dict):
                for key, item in value.items():
                    held.extend((key, item))
            elif isinstance(value, (list, tuple)):
                held.extend(value)
        if shared:
            return [value for value in held if value is not None and not isinstance(value, bool)]
        return [value for value in held if not is_shared_singleton(value)]


def is_shared_singleton(value):
    if value is None or isinstance(value, bool):
        return True
    if type(value) is int:
        return -5 <= value <= 256
    if type(value) is str:
        return len(value) <= 1
    return False


def fresh_text(text):
    """A str that is not shared with any other (not interned, not cached)."""
    return "".join([text[:1], text[1:]]) if len(text) > 1 else text


def fake_numpy_bool(**namespace):
    """An object whose type presents itself as numpy's boolean scalar."""
    return type("bool_", (), {"__module__": "numpy", **namespace})()


class RaisingIndex:
    def __index__(self):
        raise ZeroDivisionError("no integer here")


class BrokenSequence:
    """A sequence whose iteration fails at its second item."""

    def __len__(self):
        return 3

    def __getitem__(self, index):
        if index == 1:
            raise LookupError("second item missing")
        if index > 2:
            raise IndexError(index)
        return 7


class LyingSequence:
    """A sequence whose reported length is far larger than what it yields."""

    def __len__(self):
        return 1 << 40

    def __getitem__(self, index):
        if index >= 20:
            raise IndexError(index)
        return index


# A type whose name is as long as a big input: the type-mismatch message
# composed from it is large.
LongNamed = type("N" * 4096, (), {})


def named_by(qualname):
    """An instance of a type whose __qualname__ is whatever `qualname()` gives
    or raises, read only when a type-mismatch message is composed."""

    class Naming(type):
        def __getattribute__(cls, name):
            if name == "__qualname__":
                return qualname()
            return super().__getattribute__(name)

    return Naming("Named", (), {})()


def raise_lookup_error():
    raise LookupError("no name")


def raise_memory_error():
    raise MemoryError


class LengthlessSequence:
    """A sequence whose __len__ runs out of memory: the conversion ends there."""

    def __len__(self):
        raise MemoryError

    def __getitem__(self, index):
        raise IndexError(index)


def build_cases():
    caesar = ciphers.caesar
    rot13 = ciphers.rot13
    vigenere = ciphers.vigenere
    substitution = ciphers.substitution
    aes = ciphers.aes
    base32 = encodings.base32
    base64 = encodings.base64

    text = fresh_text("The quick brown fox jumps over the lazy dog. " * (BIG // 45))
    data = bytes(range(256)) * (BIG // 256)
    key16 = bytes(range(16))
    key24 = bytes(range(24))
    key32 = bytes(range(32))
    surrogate = fresh_text("abc\udc80def")
    long_keyword = "k" * BIG
    long_mode = fresh_text("m" * BIG)
    long_named = LongNamed()
    unnamed = named_by(raise_lookup_error)
    misnamed = named_by(lambda: 42)
    out_of_memory_naming = named_by(raise_memory_error)
    base32_text = fresh_text("MZXW6YTBOI======" * (BIG // 16))
    base64_text = fresh_text("Zm9vYmFy" * (BIG // 8))
    mapping = {fresh_text("ab")[0]: fresh_text("xy")[1], "e": "E", " ": "_"}
    byte_mapping = {97: 98, 98: 97, 255: 0}

    cases = []

    def add(name, function, *args, raises=None, **kwargs):
        cases.append(Case(name, function, args, kwargs, raises))

    def binding_errors(prefix, function, good):
        """The binding failures every function has: missing, too many,
        unknown, duplicate and unencodable keyword arguments."""
        add(prefix + ".missing", function, raises=TypeError)
        add(prefix + ".too_many", function, *good, *good, *good, 1, raises=TypeError)
        add(prefix + ".unknown_keyword", function, *good, **{long_keyword: 1}, raises=TypeError)
        add(prefix + ".duplicate", function, *good, **{function.__text_signature__[1:].split(",")[0]: good[0]},
            raises=TypeError)
        add(prefix + ".unencodable_keyword", function, *good, **{surrogate: 1}, raises=TypeError)

    def text_errors(prefix, function, before, after):
        """Failures of a str parameter at position len(before)."""
        add(prefix + ".int", function, *before, 5, *after, raises=TypeError)
        add(prefix + ".none", function, *before, None, *after, raises=TypeError)
        add(prefix + ".long_type_name", function, *before, long_named, *after, raises=TypeError)
        add(prefix + ".type_name_raises", function, *before, unnamed, *after, raises=TypeError)
        add(prefix + ".type_name_not_str", function, *before, misnamed, *after, raises=TypeError)
        add(prefix + ".type_name_memory_error", function, *before, out_of_memory_naming, *after, raises=MemoryError)
        add(prefix + ".surrogate", function, *before, surrogate, *after, raises=UnicodeEncodeError)

    def bytes_errors(prefix, function, before, after):
        add(prefix + ".bytearray", function, *before, bytearray(b"abc"), *after, raises=TypeError)
        add(prefix + ".str", function, *before, "abc", *after, raises=TypeError)
        add(prefix + ".none", function, *before, None, *after, raises=TypeError)

    def flag_errors(prefix, function, before):
        add(prefix + ".int", function, *before, 1, raises=TypeError)
        add(prefix + ".numpy_raising", function, *before,
            fake_numpy_bool(__bool__=lambda self: 1 / 0), raises=ZeroDivisionError)
        add(prefix + ".numpy_no_bool", function, *before, fake_numpy_bool(), raises=TypeError)
        add(prefix + ".numpy_not_bool", function, *before, fake_numpy_bool(__bool__=lambda self: 3),
            raises=TypeError)
        add(prefix + ".numpy_true", function, *before, fake_numpy_bool(__bool__=lambda self: True), raises=Exception)

    # Caesar and ROT13.
    for name, function in (("caesar.encrypt", caesar.encrypt), ("caesar.decrypt", caesar.decrypt)):
        add(name + ".ok", function, text, 13)
        add(name + ".keywords", function, shift=-25, data=text)
        binding_errors(name, function, (text, 3))
        text_errors(name + ".data", function, (), (3,))
        add(name + ".shift.float", function, text, 1.5, raises=TypeError)
        add(name + ".shift.huge", function, text, 2 ** 64, raises=OverflowError)
        add(name + ".shift.index_raises", function, text, RaisingIndex(), raises=ZeroDivisionError)
        add(name + ".shift.range", function, text, 26, raises=ValueError)
    for name, function in (("rot13.encrypt", rot13.encrypt), ("rot13.decrypt", rot13.decrypt),
                           ("rot13.rotate", rot13.rotate)):
        add(name + ".ok", function, text)
        binding_errors(name, function, (text,))
        text_errors(name + ".data", function, (), ())

    # Vigenère.
    ascii_text = fresh_text("attack at dawn, " * (BIG // 16))
    for name, function in (("vigenere.encrypt", vigenere.encrypt), ("vigenere.decrypt", vigenere.decrypt)):
        add(name + ".ok", function, ascii_text, "lemon")
        add(name + ".ok_no_skip", function, ascii_text, "LeMoN", False)
        binding_errors(name, function, (ascii_text, "key"))
        text_errors(name + ".data", function, (), ("key",))
        text_errors(name + ".key", function, (ascii_text,), ())
        flag_errors(name + ".skip_non_alpha", function, (ascii_text, "key"))
        add(name + ".bad_key", function, ascii_text, "le mon", raises=ValueError)
        add(name + ".empty_key", function, "", "", raises=ValueError)
        add(name + ".non_ascii", function, "café", "key", raises=ValueError)

    # Substitution.
    for name, function in (("substitution.substitute", substitution.substitute),
                           ("substitution.substitute_reverse", substitution.substitute_reverse)):
        add(name + ".ok", function, text, mapping)
        binding_errors(name, function, (text, mapping))
        text_errors(name + ".data", function, (), (mapping,))
        add(name + ".mapping.list", function, text, [("a", "b")], raises=TypeError)
        add(name + ".mapping.key_int", function, text, {1: "a"}, raises=TypeError)
        add(name + ".mapping.value_long", function, text, {"a": "ab"}, raises=ValueError)
        add(name + ".mapping.value_empty", function, text, {"a": ""}, raises=ValueError)
        add(name + ".mapping.key_surrogate", function, text, {"\udc80": "a"}, raises=Exception)
    add("substitution.substitute.invalid_utf8_result", substitution.substitute, "a", {"a": "é"}, raises=ValueError)
    add("substitution.substitute_reverse.invalid_utf8_result", substitution.substitute_reverse, "a", {"é": "a"},
        raises=ValueError)
    for name, function in (("substitution.substitute_bytes", substitution.substitute_bytes),
                           ("substitution.substitute_reverse_bytes", substitution.substitute_reverse_bytes)):
        add(name + ".ok", function, data, byte_mapping)
        binding_errors(name, function, (data, byte_mapping))
        bytes_errors(name + ".data", function, (), (byte_mapping,))
        add(name + ".mapping.tuple", function, data, (), raises=TypeError)
        add(name + ".mapping.value_256", function, data, {97: 256}, raises=OverflowError)
        add(name + ".mapping.key_negative", function, data, {-1: 5}, raises=OverflowError)
        add(name + ".mapping.key_str", function, data, {"a": 1}, raises=TypeError)
        add(name + ".mapping.value_huge", function, data, {1: 2 ** 70}, raises=OverflowError)
        add(name + ".mapping.value_index_raises", function, data, {1: RaisingIndex()}, raises=ZeroDivisionError)

    # AES.
    for name, function in (("aes.encrypt_ecb", aes.encrypt_ecb), ("aes.decrypt_ecb", aes.decrypt_ecb)):
        binding_errors(name, function, (data, key16, "pkcs"))
        add(name + ".text.str", function, "abc", key16, "iso", raises=TypeError)
        add(name + ".text.int", function, 5, key16, "iso", raises=TypeError)
        add(name + ".text.long_type_name", function, long_named, key16, "iso", raises=TypeError)
        add(name + ".text.item_256", function, [1, 256], key16, "iso", raises=OverflowError)
        add(name + ".text.item_str", function, [1, "a"], key16, "iso", raises=TypeError)
        add(name + ".text.broken_sequence", function, BrokenSequence(), key16, "iso", raises=LookupError)
        add(name + ".text.len_memory_error", function, LengthlessSequence(), key16, "iso", raises=MemoryError)
        add(name + ".text.lying_sequence", function, LyingSequence(), key16, "iso", raises=Exception)
        add(name + ".key.bytearray", function, data, bytearray(key16), "iso", raises=TypeError)
        add(name + ".key.none", function, data, None, "iso", raises=TypeError)
        text_errors(name + ".padding_mode", function, (data, key16), ())
        add(name + ".bad_mode", function, data, key16, long_mode, raises=ValueError)
        add(name + ".bad_key", function, data, bytes(5), "pkcs", raises=ValueError)
    plain_list = list(range(256)) * 16
    for key in (key16, key24, key32):
        for mode in ("iso", "PKCS#7"):
            add("aes.encrypt_ecb.ok_%d_%s" % (len(key), mode), aes.encrypt_ecb, data, key, mode)
            add("aes.encrypt_ecb.ok_list_%d_%s" % (len(key), mode), aes.encrypt_ecb, plain_list, key, mode)
            add("aes.encrypt_ecb.ok_bytearray_%d_%s" % (len(key), mode), aes.encrypt_ecb, bytearray(data), key, mode)
    ciphertext = aes.encrypt_ecb(data, key16, "iso")
    add("aes.decrypt_ecb.ok", aes.decrypt_ecb, ciphertext, key16, "iso")
    add("aes.decrypt_ecb.ok_pkcs_garbage", aes.decrypt_ecb, data, key32, "pkcs")
    add("aes.decrypt_ecb.short_block", aes.decrypt_ecb, data[:20], key16, "iso", raises=ValueError)
    add("aes.decrypt_ecb.empty", aes.decrypt_ecb, b"", bytes(5), "nonsense", raises=ValueError)
    add("aes.decrypt_ecb.bad_padding", aes.decrypt_ecb, bytes(range(32)) + bytes(16 * 3), key16, "iso",
        raises=Exception)

    # Base32 and Base64.
    for codec, encoded, invalid in (("base32", base32_text, fresh_text("MZXW6!==")),
                                    ("base64", base64_text, fresh_text("Zm9v!A=="))):
        module = getattr(encodings, codec)
        add(codec + ".encode.ok", module.encode, text)
        add(codec + ".encode_bytes.ok", module.encode_bytes, data)
        add(codec + ".decode.ok", module.decode, encoded)
        add(codec + ".decode.ok_strict", module.decode, encoded, True)
        add(codec + ".decode.whitespace_only", module.decode, " \n\t==")
        add(codec + ".decode_bytes.ok", module.decode_bytes, encoded.encode())
        binding_errors(codec + ".encode", module.encode, (text,))
        binding_errors(codec + ".decode", module.decode, (encoded,))
        binding_errors(codec + ".encode_bytes", module.encode_bytes, (data,))
        binding_errors(codec + ".decode_bytes", module.decode_bytes, (data,))
        text_errors(codec + ".encode.data", module.encode, (), ())
        text_errors(codec + ".decode.data", module.decode, (), ())
        flag_errors(codec + ".decode.strict", module.decode, (encoded,))
        bytes_errors(codec + ".encode_bytes.data", module.encode_bytes, (), ())
        bytes_errors(codec + ".decode_bytes.data", module.decode_bytes, (), ())
        add(codec + ".decode.invalid", module.decode, invalid, raises=ValueError)
        add(codec + ".decode.strict_length", module.decode, encoded + "A", True, raises=ValueError)
        add(codec + ".decode_bytes.invalid", module.decode_bytes, invalid.encode(), raises=ValueError)
        add(codec + ".decode_bytes.newline", module.decode_bytes, encoded[:8].encode() + b"\n" + encoded[8:].encode(),
            raises=ValueError)
    add("base32.decode.invalid_utf8", encodings.base32.decode, "74======", raises=ValueError)
    add("base64.decode.invalid_utf8", encodings.base64.decode, "/w==", raises=ValueError)

    # cli.parse takes no arguments; the interpreter's own binding rejects any.
    add("cli.parse.argument", _korvalith.cli.parse, text, raises=TypeError)
    return cases


def outcome_of(case):
    """Runs the case once and returns the exception class it raised, or None."""
    try:
        case()
    except Exception as error:  # noqa: BLE001 - the class is the outcome
        return type(error)
    return None


def accepts(case, outcome):
    """True when `outcome` (from outcome_of) is what the case expects."""
    if case.raises is None:
        return outcome is None
    if case.raises is Exception:
        # The path is what matters, not the class: a result or any exception.
        return outcome is None or issubclass(outcome, Exception)
    return outcome is not None and issubclass(outcome, case.raises)


def argument_function_paths(module=_korvalith, path=()):
    """The attribute paths of every function in the tree that takes
    arguments, so that a new function needs cases before the leak test passes."""
    for name in module.__all__:
        value = getattr(module, name)
        if isinstance(value, type(module)):
            yield from argument_function_paths(value, path + (name,))
        elif value.__text_signature__ != "()":
            yield ".".join(path + (name,))


ARGUMENT_FUNCTION_PATHS = list(argument_function_paths())


def function_at(path):
    target = _korvalith
    for part in path.split("."):
        target = getattr(target, part)
    return target


def outcomes_text():
    """The outcome of every case of call_cases, as text that compares the
    same in any interpreter, where it is computed (test_interpreters.py).
    binascii, not hashlib: 3.12's hashlib breaks the destruction of an
    interpreter with a lock of its own."""
    lines = []
    for case in build_cases():
        try:
            result = case()
            if isinstance(result, str):
                result = result.encode("utf-8", "surrogatepass")
            lines.append("%s result %d %08x" % (case.name, len(result), binascii.crc32(result)))
        except Exception as error:  # noqa: BLE001 - the exception is the outcome
            lines.append("%s raised %s %r" % (case.name, type(error).__name__, error.args))
    return "\n".join(lines)
