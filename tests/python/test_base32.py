"""Base32: encoding, lenient decoding and the text and bytes functions."""

import base64 as stdlib_base64
import unittest

import _korvalith
from lenient_decoding import LENGTH_MESSAGE, UTF8_MESSAGE, LenientDecodingChecks

base32 = _korvalith.encodings.base32

ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567"

RFC_4648_VECTORS = [
    ("", ""), ("f", "MY======"), ("fo", "MZXQ===="), ("foo", "MZXW6==="),
    ("foob", "MZXW6YQ="), ("fooba", "MZXW6YTB"), ("foobar", "MZXW6YTBOI======"),
]


class Base32Test(LenientDecodingChecks, unittest.TestCase):
    module = base32
    alphabet = ALPHABET
    bits = 5
    name = "Base32"
    group = 8
    reference_encode = staticmethod(stdlib_base64.b32encode)

    def test_rfc_4648_vectors(self):
        for plain, encoded in RFC_4648_VECTORS:
            with self.subTest(plain=plain):
                self.assertEqual(base32.encode(plain), encoded)
                self.assertEqual(base32.encode_bytes(plain.encode()), encoded.encode())
                self.assertEqual(base32.decode(encoded), plain)
                self.assertEqual(base32.decode(encoded, strict=True), plain)
                self.assertEqual(base32.decode(encoded.lower()), plain)
                self.assertEqual(base32.decode_bytes(encoded.encode()), plain.encode())
        self.assertEqual(base32.encode("é"), "YOUQ====")

    def test_lenient_decoding(self):
        self.assertEqual(base32.decode("mzxw6==="), "foo")
        self.assertEqual(base32.decode("MzXw6"), "foo")
        self.assertEqual(base32.decode(" MZXW6===\n"), "foo")
        self.assertEqual(base32.decode("MZ=XW6"), "f")
        self.assertEqual(base32.decode("M"), "")
        self.assertEqual(base32.decode("========"), "")
        self.assertEqual(base32.decode("MY"), "f")
        # Unused low bits of the last character are not checked.
        self.assertEqual(base32.decode_bytes(b"MZ"), b"f")
        self.assertEqual(base32.decode_bytes(b"MZXW6===garbage"), b"foo")
        self.assertEqual(base32.decode_bytes(b"74======"), b"\xff")
        # Every whole group of lower-case letters takes the same route as upper case.
        data = bytes(range(256)) * 4
        self.assertEqual(base32.decode_bytes(stdlib_base64.b32encode(data).lower()), data)

    def test_rejections(self):
        for text, message in (("MZXW6 ===", "Invalid Base32 character: ' '"),
                              ("MZXW1===", "Invalid Base32 character: '1'"),
                              ("MZXW8", "Invalid Base32 character: '8'"),
                              ("MZ!", "Invalid Base32 character: '!'"),
                              ("74======", UTF8_MESSAGE)):
            with self.subTest(text=text):
                with self.assertRaises(ValueError) as caught:
                    base32.decode(text)
                self.assertEqual(caught.exception.args, (message,))
        with self.assertRaises(ValueError) as caught:
            base32.decode("MZXW6", strict=True)
        self.assertEqual(caught.exception.args, (LENGTH_MESSAGE,))
        with self.assertRaises(ValueError) as caught:
            base32.decode_bytes(b" MZXW6===")
        self.assertEqual(caught.exception.args, ("Invalid Base32 character: ' '",))


if __name__ == "__main__":
    unittest.main()
