"""The substitution cipher over text and bytes."""

import string
import unittest

import _korvalith

substitution = _korvalith.ciphers.substitution
substitute = substitution.substitute
substitute_reverse = substitution.substitute_reverse
substitute_bytes = substitution.substitute_bytes
substitute_reverse_bytes = substitution.substitute_reverse_bytes


class TextSubstitutionTest(unittest.TestCase):
    def test_examples(self):
        self.assertEqual(substitute("hello", {"h": "j", "o": "0"}), "jell0")
        self.assertEqual(substitute_reverse("jell0", {"h": "j", "o": "0"}), "hello")
        self.assertEqual(substitute(data="hello", mapping={"l": "L"}), "heLLo")

    def test_single_pass(self):
        self.assertEqual(substitute("abba", {"a": "b", "b": "a"}), "baab")
        self.assertEqual(substitute_reverse("bca", {"a": "b", "b": "c", "c": "a"}), "abc")

    def test_unmapped_bytes_unchanged(self):
        self.assertEqual(substitute("Hello", {"h": "j"}), "Hello")
        self.assertEqual(substitute("héllo wörld 😀", {"l": "L", "o": "0"}), "héLL0 wörLd 😀")
        self.assertEqual(substitute("text", {}), "text")
        self.assertEqual(substitute_reverse("text", {}), "text")
        self.assertEqual(substitute("", {"a": "b"}), "")
        self.assertEqual(substitute_reverse("", {"a": "b"}), "")

    def test_characters_stand_for_their_low_byte(self):
        self.assertEqual(substitute("ABC", {"Ł": "x"}), "xBC")
        self.assertEqual(substitute("abc", {"a": "Ł"}), "Abc")
        self.assertEqual(substitute_reverse("ABC", {"x": "Ł"}), "xBC")
        self.assertEqual(substitute("abc", {"\U0001F161": "z"}), "zbc")  # low byte 0x61
        # Non-ASCII bytes may be substituted when the result is valid UTF-8:
        # here 'a' and 'b' become the two bytes of 'é'.
        self.assertEqual(substitute("ab!", {"a": "\xc3", "b": "\xa9"}), "é!")
        self.assertEqual(substitute("é", {"\xa9": "\xa8"}), "è")

    def test_result_not_utf8(self):
        cases = [
            (substitute, "a", {"a": "é"}, "substitute_bytes()"),
            (substitute, "é", {"\xa9": "x"}, "substitute_bytes()"),  # inside a two-byte character
            (substitute, "xé", {"\xc3": "y"}, "substitute_bytes()"),
            (substitute_reverse, "a", {"é": "a"}, "substitute_reverse_bytes()"),
        ]
        for function, data, mapping, advice in cases:
            with self.subTest(data=data, mapping=mapping):
                with self.assertRaises(ValueError) as caught:
                    function(data, mapping)
                self.assertIs(type(caught.exception), ValueError)
                self.assertEqual(len(caught.exception.args), 1)
                self.assertIn("not valid UTF-8", caught.exception.args[0])
                self.assertIn(advice, caught.exception.args[0])

    def test_long_text(self):
        # Long enough for the vector loops, with multi-byte characters
        # throughout and the last of them in the tail that follows the blocks.
        text = "The quick brown fox, ünd 😀 jumps ~ " * 40 + "é"
        letters = dict(zip(string.ascii_letters, string.ascii_letters[7:] + string.ascii_letters[:7]))
        every_printable = dict(zip(string.printable, string.printable[::-1]))
        for mapping in (letters, every_printable, {"~": "\x7f"}, {}):
            with self.subTest(mapping=len(mapping)):
                encrypted = substitute(text, mapping)
                self.assertEqual(encrypted, text.translate(str.maketrans(mapping)))
                self.assertEqual(substitute_reverse(encrypted, mapping), text)
        # A continuation byte changed at the end of a long text.
        with self.assertRaises(ValueError) as caught:
            substitute(text, {"\xa9": "x"})
        self.assertIn("substitute_bytes()", caught.exception.args[0])


class BytesSubstitutionTest(unittest.TestCase):
    def test_examples(self):
        self.assertEqual(substitute_bytes(b"\x00\x01\xff", {0: 255, 255: 0}), b"\xff\x01\x00")
        self.assertEqual(substitute_reverse_bytes(b"\xff", {0: 255}), b"\x00")
        self.assertEqual(substitute_bytes(b"abba", {97: 98, 98: 97}), b"baab")

    def test_empty(self):
        for function in (substitute_bytes, substitute_reverse_bytes):
            self.assertEqual(function(b"", {1: 2}), b"")
            self.assertEqual(function(b"\x00abc\xff", {}), b"\x00abc\xff")

    def test_reverse_with_conflicting_values(self):
        # Two keys share a value: one of them wins, which one is not defined.
        self.assertIn(substitute_reverse_bytes(b"\x05\x07", {1: 5, 2: 5}), (b"\x01\x07", b"\x02\x07"))
        self.assertEqual(substitute_bytes(b"\x01\x02", {1: 5, 2: 5}), b"\x05\x05")

    def test_long_data_every_byte_value(self):
        data = bytes(range(256)) * 5 + bytes(range(37))
        shifted = {key: (key * 167 + 13) % 256 for key in range(256)}  # every byte to another
        high_only = {key: key ^ 0x05 for key in range(0xF0, 0x100)}
        for mapping in (shifted, high_only, {0: 1, 1: 0}):
            with self.subTest(keys=len(mapping)):
                table = bytes(mapping.get(key, key) for key in range(256))
                encrypted = substitute_bytes(data, mapping)
                self.assertEqual(encrypted, data.translate(table))
                self.assertEqual(substitute_reverse_bytes(encrypted, mapping), data)

    def test_bytes_subclass_gives_bytes(self):
        class Data(bytes):
            pass

        result = substitute_bytes(Data(b"abc"), {97: 122})
        self.assertIs(type(result), bytes)
        self.assertEqual(result, b"zbc")


if __name__ == "__main__":
    unittest.main()
