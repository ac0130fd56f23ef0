"""The Vigenère cipher."""

import random
import string
import unittest

import _korvalith

vigenere = _korvalith.ciphers.vigenere

ASCII_ONLY = "Only ASCII input is supported"
BAD_KEY = "Key must be non-empty and contain only alphabetic characters"


def reference(text, key, decrypt=False, skip_non_alpha=True):
    """The cipher written out plainly, for texts and keys already known good."""
    shifts = [ord(letter.lower()) - 97 for letter in key]
    out = []
    position = 0
    for ch in text:
        shift = shifts[position % len(shifts)]
        if decrypt:
            shift = -shift
        if "a" <= ch <= "z":
            out.append(chr((ord(ch) - 97 + shift) % 26 + 97))
        elif "A" <= ch <= "Z":
            out.append(chr((ord(ch) - 65 + shift) % 26 + 65))
        else:
            out.append(ch)
        if ch.isascii() and ch.isalpha() or not skip_non_alpha:
            position += 1
    return "".join(out)


class VigenereTest(unittest.TestCase):
    def assertValueError(self, message, *args, **kwargs):
        for function in (vigenere.encrypt, vigenere.decrypt):
            with self.assertRaises(ValueError) as caught:
                function(*args, **kwargs)
            self.assertIs(type(caught.exception), ValueError)
            self.assertEqual(caught.exception.args, (message,))

    def test_examples(self):
        self.assertEqual(vigenere.encrypt("ATTACKATDAWN", "LEMON"), "LXFOPVEFRNHR")
        self.assertEqual(vigenere.decrypt("LXFOPVEFRNHR", "LEMON"), "ATTACKATDAWN")
        self.assertEqual(vigenere.encrypt("Hello, World!", "Key"), "Rijvs, Uyvjn!")
        self.assertEqual(vigenere.encrypt("Hello, World!", "KEY"), "Rijvs, Uyvjn!")
        self.assertEqual(vigenere.encrypt("any text", "aAa"), "any text")

    def test_skip_non_alpha(self):
        self.assertEqual(vigenere.encrypt("attack at dawn", "lemon"), "lxfopv ef rnhr")
        self.assertEqual(vigenere.encrypt("attack at dawn", "lemon", True), "lxfopv ef rnhr")
        self.assertEqual(vigenere.encrypt("attack at dawn", "lemon", False), "lxfopv mh oeib")
        self.assertEqual(vigenere.decrypt(data="lxfopv mh oeib", key="lemon", skip_non_alpha=False),
                         "attack at dawn")
        # The bytes next to the letter ranges are not letters: copied, and
        # they do not move the key on.
        self.assertEqual(vigenere.encrypt("@[`{a", "bc"), "@[`{b")
        self.assertEqual(vigenere.encrypt("@[`{a", "bc", False), "@[`{b")
        self.assertEqual(vigenere.encrypt("@[`{ab", "bc", False), "@[`{bd")

    def test_empty_text(self):
        self.assertEqual(vigenere.encrypt("", "key"), "")
        self.assertEqual(vigenere.decrypt("", "key", False), "")

    def test_key_rejected(self):
        for key in ("", "le mon", "abc1", "@", "[", "`", "{", "a\x00"):
            with self.subTest(key=key):
                self.assertValueError(BAD_KEY, "text", key)
        # Checked before anything is enciphered, even for an empty text.
        self.assertValueError(BAD_KEY, "", "")

    def test_non_ascii_rejected(self):
        self.assertValueError(ASCII_ONLY, "café", "key")
        self.assertValueError(ASCII_ONLY, "x" * 100 + "\x80", "key")
        self.assertValueError(ASCII_ONLY, "text", "clé")
        # The text is checked first, then the key's bytes, then its letters.
        self.assertValueError(ASCII_ONLY, "café", "")
        self.assertValueError(ASCII_ONLY, "", "é1")
        self.assertValueError(ASCII_ONLY, "text", "1é")

    def test_matches_reference_and_round_trips(self):
        rng = random.Random(20261207)
        alphabet = [chr(c) for c in range(128)]
        for _ in range(300):
            text = "".join(rng.choices(alphabet, k=rng.randrange(0, 200)))
            key = "".join(rng.choices(string.ascii_letters, k=rng.randrange(1, 20)))
            for skip in (True, False):
                with self.subTest(text=text, key=key, skip=skip):
                    encrypted = vigenere.encrypt(text, key, skip)
                    self.assertEqual(encrypted, reference(text, key, False, skip))
                    self.assertEqual(vigenere.decrypt(encrypted, key, skip), text)
                    self.assertEqual(vigenere.decrypt(text, key, skip), reference(text, key, True, skip))


if __name__ == "__main__":
    unittest.main()
