"""Base64: encoding, lenient decoding and the text and bytes functions."""

import base64 as stdlib_base64
import binascii
import unittest

import _korvalith
from lenient_decoding import LENGTH_MESSAGE, UTF8_MESSAGE, LenientDecodingChecks

base64 = _korvalith.encodings.base64

ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"

RFC_4648_VECTORS = [
    ("", ""), ("f", "Zg=="), ("fo", "Zm8="), ("foo", "Zm9v"),
    ("foob", "Zm9vYg=="), ("fooba", "Zm9vYmE="), ("foobar", "Zm9vYmFy"),
]


class Base64Test(LenientDecodingChecks, unittest.TestCase):
    module = base64
    alphabet = ALPHABET
    bits = 6
    name = "base64"
    group = 4

    @staticmethod
    def reference_encode(data):
        return binascii.b2a_base64(data, newline=False)

    def test_rfc_4648_vectors(self):
        for plain, encoded in RFC_4648_VECTORS:
            with self.subTest(plain=plain):
                self.assertEqual(base64.encode(plain), encoded)
                self.assertEqual(base64.encode_bytes(plain.encode()), encoded.encode())
                self.assertEqual(base64.decode(encoded), plain)
                self.assertEqual(base64.decode(encoded, strict=True), plain)
                self.assertEqual(base64.decode_bytes(encoded.encode()), plain.encode())
        self.assertEqual(base64.encode("é"), "w6k=")
        self.assertEqual(base64.encode_bytes(bytes(range(256))), stdlib_base64.b64encode(bytes(range(256))))

    def test_lenient_decoding(self):
        self.assertEqual(base64.decode("Zm9"), "fo")
        self.assertEqual(base64.decode("Zg"), "f")
        self.assertEqual(base64.decode("Z"), "")
        self.assertEqual(base64.decode("\tZm9v\n"), "foo")
        self.assertEqual(base64.decode("Zm8=Zm9v"), "fo")
        # Unused low bits of the last character are not checked.
        self.assertEqual(base64.decode_bytes(b"Zh"), b"f")
        self.assertEqual(base64.decode_bytes(b"Zm9="), b"fo")
        self.assertEqual(base64.decode_bytes(b"/w=="), b"\xff")
        self.assertEqual(base64.decode_bytes(b"Zm9v====x"), b"foo")

    def test_rejections(self):
        for text, message in (("Zm9-", "Invalid base64 character: '-'"),
                              ("Zm9_", "Invalid base64 character: '_'"),
                              ("Zm 9v", "Invalid base64 character: ' '"),
                              ("/w==", UTF8_MESSAGE)):
            with self.subTest(text=text):
                with self.assertRaises(ValueError) as caught:
                    base64.decode(text)
                self.assertEqual(caught.exception.args, (message,))
        with self.assertRaises(ValueError) as caught:
            base64.decode("Zm9", strict=True)
        self.assertEqual(caught.exception.args, (LENGTH_MESSAGE,))
        self.assertEqual(base64.decode("Zm8=", strict=True), "fo")
        with self.assertRaises(ValueError) as caught:
            base64.decode_bytes(b"Zm9v\n")
        self.assertEqual(caught.exception.args, ("Invalid base64 character: '\n'",))

    def test_results_on_huge_pages(self):
        # Results from 8 MiB on are written into memory advised to use huge
        # pages; odd sizes put the result's ends off a page boundary.
        data = bytes(range(256)) * (10 << 12) + b"\x01\x02"
        encoded = binascii.b2a_base64(data, newline=False)
        self.assertEqual(base64.encode_bytes(data), encoded)
        self.assertEqual(base64.decode_bytes(encoded), data)


if __name__ == "__main__":
    unittest.main()
