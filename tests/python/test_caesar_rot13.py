"""The Caesar and ROT13 ciphers."""

import string
import unittest

import _korvalith

caesar = _korvalith.ciphers.caesar
rot13 = _korvalith.ciphers.rot13


def reference_shift(text, shift):
    """Shifts ASCII letters of text by shift places, the obvious way."""
    out = []
    for ch in text:
        if "a" <= ch <= "z":
            out.append(chr((ord(ch) - 97 + shift) % 26 + 97))
        elif "A" <= ch <= "Z":
            out.append(chr((ord(ch) - 65 + shift) % 26 + 65))
        else:
            out.append(ch)
    return "".join(out)


class CaesarTest(unittest.TestCase):
    def test_examples(self):
        self.assertEqual(caesar.encrypt("Hello, World!", 3), "Khoor, Zruog!")
        self.assertEqual(caesar.decrypt("Khoor, Zruog!", 3), "Hello, World!")
        self.assertEqual(caesar.encrypt("xyz XYZ", 3), "abc ABC")
        self.assertEqual(caesar.encrypt("abc", -1), "zab")
        self.assertEqual(caesar.decrypt("abc", -1), "bcd")
        self.assertEqual(caesar.encrypt("Ärger 123 ß", 1), "Äshfs 123 ß")

    def test_every_shift_matches_reference_and_round_trips(self):
        text = string.printable + "ÄÖÜ äöü € 😀 \x00\x7f"
        for shift in range(-25, 26):
            with self.subTest(shift=shift):
                encrypted = caesar.encrypt(text, shift)
                self.assertEqual(encrypted, reference_shift(text, shift))
                self.assertEqual(caesar.decrypt(encrypted, shift), text)
                self.assertEqual(caesar.decrypt(text, shift), caesar.encrypt(text, -shift))

    def test_shift_bounds(self):
        self.assertEqual(caesar.encrypt("abc", 0), "abc")
        self.assertEqual(caesar.encrypt("abc", 25), "zab")
        self.assertEqual(caesar.encrypt("abc", -25), "bcd")
        for shift in (26, -26, 100, -2 ** 31):
            for function in (caesar.encrypt, caesar.decrypt):
                with self.assertRaises(ValueError) as caught:
                    function("abc", shift)
                self.assertEqual(caught.exception.args, ("Shift must be in the range -25 to 25",))
        with self.assertRaises(OverflowError) as caught:
            caesar.encrypt("abc", 2 ** 64)
        self.assertNotIn("argument", str(caught.exception))

    def test_empty_and_long_input(self):
        for function in (caesar.encrypt, caesar.decrypt):
            self.assertEqual(function("", 5), "")
        text = "The quick brown fox jumps over the lazy dog. " * 1000 + "xyz"
        self.assertEqual(caesar.encrypt(text, 7), reference_shift(text, 7))


class Rot13Test(unittest.TestCase):
    def test_examples(self):
        self.assertEqual(rot13.encrypt("Hello"), "Uryyb")
        self.assertEqual(rot13.encrypt(""), "")

    def test_three_names_one_operation(self):
        text = string.printable + "ÄÖÜ 😀"
        expected = reference_shift(text, 13)
        for function in (rot13.encrypt, rot13.decrypt, rot13.rotate):
            self.assertEqual(function(text), expected)
            self.assertEqual(function(function(text)), text)
        self.assertEqual(expected, caesar.encrypt(text, 13))
        self.assertEqual(expected, caesar.decrypt(text, 13))

    def test_argument_errors(self):
        with self.assertRaises(TypeError) as caught:
            rot13.rotate(b"abc")
        self.assertEqual(str(caught.exception), "argument 'data': 'bytes' object is not an instance of 'str'")
        with self.assertRaises(TypeError) as caught:
            rot13.encrypt(text="abc")
        self.assertEqual(str(caught.exception), "encrypt() got an unexpected keyword argument 'text'")


if __name__ == "__main__":
    unittest.main()
