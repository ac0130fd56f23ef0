"""Checks shared by the Base32 and Base64 suites: a plain Python model of the
lenient decoding rules, and test cases run against it for both encodings
(properties.py checks generated input against the same model)."""

import random

LENGTH_MESSAGE = "Length of input is not valid. Use strict=False to disable length checking."
UTF8_MESSAGE = "Invalid utf8. Use decode_bytes() instead."

# Every character with the Unicode White_Space property (str.isspace differs:
# it also holds U+001C..U+001F).
WHITE_SPACE = ("\t\n\v\f\r \x85\xa0\u1680" + "".join(map(chr, range(0x2000, 0x200B)))
               + "\u2028\u2029\u202f\u205f\u3000")


def model_decode(data, alphabet, bits, name):
    """Decodes bytes by the lenient rules, one character at a time: stop at
    the first "=", fail on the first byte outside the alphabet, drop leftover
    bits. Returns the bytes or raises ValueError with the module's message."""
    values = {ord(c): v for v, c in enumerate(alphabet)}
    if name == "Base32":
        values.update({ord(c.lower()): v for v, c in enumerate(alphabet) if c.isalpha()})
    accumulator = count = 0
    out = bytearray()
    for byte in data:
        if byte == ord("="):
            break
        if byte not in values:
            raise ValueError(f"Invalid {name} character: '{chr(byte)}'")
        accumulator = (accumulator << bits | values[byte]) & 0xFFFF
        count += bits
        if count >= 8:
            count -= 8
            out.append(accumulator >> count & 0xFF)
    return bytes(out)


def model_decode_text(text, strict, alphabet, bits, name, group):
    """Decodes text as the Python decode does: the length check with
    `strict`, trimming, the lenient rules, the UTF-8 check."""
    if strict and len(text.encode()) % group:
        raise ValueError(LENGTH_MESSAGE)
    trimmed = text.strip(WHITE_SPACE).rstrip("=")
    decoded = model_decode(trimmed.encode(), alphabet, bits, name)
    try:
        return decoded.decode("utf-8")
    except UnicodeDecodeError:
        raise ValueError(UTF8_MESSAGE) from None


def outcome(function, *args, **kwargs):
    """The result of a call, or the type and args of the ValueError it raised."""
    try:
        return function(*args, **kwargs)
    except ValueError as error:
        return (type(error), error.args)


class LenientDecodingChecks:
    """Mixed into a TestCase with: module, alphabet, bits, name (as in the
    messages), group (characters per group), reference_encode (bytes to
    bytes, from the standard library)."""

    def model(self, data):
        return model_decode(data, self.alphabet, self.bits, self.name)

    def model_text(self, text, strict=False):
        return model_decode_text(text, strict, self.alphabet, self.bits, self.name, self.group)

    def outcome(self, function, *args, **kwargs):
        return outcome(function, *args, **kwargs)

    def test_encoders_equal_standard_library(self):
        rng = random.Random(4648)
        lengths = list(range(0, 210)) + [1021, 4096, 65537, (1 << 20) + 3]
        for length in lengths:
            data = rng.randbytes(length)
            expected = self.reference_encode(data)
            with self.subTest(length=length):
                self.assertEqual(self.module.encode_bytes(data), expected)
                self.assertEqual(self.module.decode_bytes(expected), data)
                self.assertEqual(self.model(expected), data)
        for length in range(0, 60):
            text = "".join(chr(rng.choice((0x41, 0x7A, 0xE9, 0x20AC, 0x1F600))) for _ in range(length))
            encoded = self.module.encode(text)
            self.assertEqual(encoded, self.reference_encode(text.encode()).decode())
            self.assertEqual(self.module.decode(encoded), text)
            self.assertEqual(self.module.decode(encoded, strict=True), text)

    def test_decode_bytes_matches_model_across_vector_blocks(self):
        # Long enough for the vector loops of every width: one irregular byte
        # at every position decides where they hand over, and the result's
        # size is found before decoding.
        rng = random.Random(3)
        text = self.reference_encode(rng.randbytes(160)).rstrip(b"=")[:203]
        for position in range(len(text)):
            for irregular in b"= \xff":
                data = text[:position] + bytes([irregular]) + text[position + 1:]
                with self.subTest(position=position, irregular=irregular):
                    self.assertEqual(self.outcome(self.module.decode_bytes, data), self.outcome(self.model, data))

    def test_every_invalid_byte_is_reported_as_latin1(self):
        valid = set(self.alphabet.encode())
        if self.name == "Base32":
            valid |= set(self.alphabet.lower().encode())
        invalid = [b for b in range(256) if b not in valid and b != ord("=")]
        self.assertEqual(len(invalid), 256 - len(valid) - 1)
        prefix = self.alphabet[1:4].encode() * self.group  # several whole groups first
        for byte in invalid:
            expected = f"Invalid {self.name} character: '{chr(byte)}'"
            for position in range(self.group + 1):
                data = prefix + self.alphabet[:position].encode() + bytes([byte]) + b"A" * self.group
                with self.subTest(byte=byte, position=position):
                    with self.assertRaises(ValueError) as caught:
                        self.module.decode_bytes(data)
                    self.assertIs(type(caught.exception), ValueError)
                    self.assertEqual(caught.exception.args, (expected,))
                    self.assertIsNone(caught.exception.__cause__)

    def test_first_invalid_byte_wins_and_equals_sign_hides_the_rest(self):
        a = self.alphabet[0]
        for position in range(2 * self.group):
            text = a * position + "!" + a * 3 + "?" + a * self.group
            with self.subTest(position=position):
                self.assertEqual(self.outcome(self.module.decode_bytes, text.encode()),
                                 (ValueError, (f"Invalid {self.name} character: '!'",)))
                hidden = a * position + "=" + "!?\n" + a * self.group
                self.assertEqual(self.module.decode_bytes(hidden.encode()), self.model(hidden.encode()))
                self.assertEqual(self.module.decode(hidden), self.model(hidden.encode()).decode("latin-1"))

    def test_non_ascii_character_reported_by_first_utf8_byte(self):
        for text, shown in (("é", "Ã"), ("€", "â"), ("😀", "ð"), ("\x80", "Â")):
            with self.subTest(text=text):
                self.assertEqual(self.outcome(self.module.decode, self.alphabet[:3] + text),
                                 (ValueError, (f"Invalid {self.name} character: '{shown}'",)))

    def test_trimming(self):
        fo = self.reference_encode(b"fo").decode()  # padded in both encodings
        for space in WHITE_SPACE:
            with self.subTest(space=hex(ord(space))):
                self.assertEqual(self.module.decode(space + fo + space * 2), "fo")
        # White space that comes before trailing padding is not removed,
        # and only White_Space counts as white space.
        self.assertEqual(self.outcome(self.module.decode, fo.rstrip("=") + " ==="),
                         (ValueError, (f"Invalid {self.name} character: ' '",)))
        for other in ("\x1c", "\x1f", "\u180e", "\u200b", "\ufeff"):
            with self.subTest(other=hex(ord(other))):
                self.assertEqual(self.outcome(self.module.decode, fo + other),
                                 self.outcome(self.model_text, fo + other))
        for empty in ("", " ", "=", "====", "\u3000==\n", "========"):
            self.assertEqual(self.module.decode(empty), "")
        # decode_bytes takes its input exactly as given.
        self.assertEqual(self.outcome(self.module.decode_bytes, b" " + fo.encode()),
                         (ValueError, (f"Invalid {self.name} character: ' '",)))
        self.assertEqual(self.outcome(self.module.decode_bytes, fo.rstrip("=").encode() + b"\n"),
                         (ValueError, (f"Invalid {self.name} character: '\n'",)))
        self.assertEqual(self.module.decode_bytes(fo.encode() + b"\ngarbage"), b"fo")

    def test_strict_checks_utf8_length_before_trimming(self):
        fo = self.reference_encode(b"fo").decode()  # padded in both encodings
        bare = fo.rstrip("=")
        self.assertEqual(self.module.decode(fo, strict=True), "fo")
        self.assertEqual(self.module.decode(bare, strict=False), "fo")
        self.assertEqual(self.outcome(self.module.decode, bare, strict=True), (ValueError, (LENGTH_MESSAGE,)))
        # Padding may be replaced by anything of the same UTF-8 length.
        blank = bare + " " * (len(fo) - len(bare))
        self.assertEqual(self.module.decode(blank, strict=True), "fo")
        self.assertEqual(self.outcome(self.module.decode, fo + "\n", strict=True), (ValueError, (LENGTH_MESSAGE,)))
        # U+00A0 is one character but two UTF-8 bytes.
        nbsp = fo + "\xa0" * (self.group // 2)
        self.assertEqual(self.module.decode(nbsp, strict=True), "fo")
        self.assertEqual(self.outcome(self.module.decode, fo + "\xa0", strict=True), (ValueError, (LENGTH_MESSAGE,)))
        # The length is checked first, and only the length.
        self.assertEqual(self.outcome(self.module.decode, "!", strict=True), (ValueError, (LENGTH_MESSAGE,)))
        self.assertEqual(self.outcome(self.module.decode, "!" * self.group, strict=True),
                         (ValueError, (f"Invalid {self.name} character: '!'",)))
        self.assertEqual(self.module.decode("", strict=True), "")

    def test_decoded_text_must_be_utf8(self):
        for data in (b"\xff", b"\xc3", b"\xed\xa0\x80", b"ab\xe2\x82"):
            encoded = self.reference_encode(data)
            with self.subTest(data=data):
                self.assertEqual(self.outcome(self.module.decode, encoded.decode()), (ValueError, (UTF8_MESSAGE,)))
                self.assertEqual(self.module.decode_bytes(encoded), data)

    def test_results_are_exact_types(self):
        self.assertIs(type(self.module.encode("x")), str)
        self.assertIs(type(self.module.encode_bytes(b"x")), bytes)
        self.assertIs(type(self.module.decode(self.module.encode("x"))), str)
        self.assertIs(type(self.module.decode_bytes(b"")), bytes)
        # Subclasses of str and bytes are read like their bases.
        text_subclass = type("Text", (str,), {})
        bytes_subclass = type("Data", (bytes,), {})
        self.assertEqual(self.module.encode(text_subclass("foo")), self.module.encode("foo"))
        self.assertEqual(self.module.decode_bytes(bytes_subclass(self.reference_encode(b"foo"))), b"foo")
