"""The module tree: submodules, functions, names, signatures and docs."""

import importlib
import importlib.util
import sys
import unittest

import _korvalith

TREE = {
    "ciphers": {
        "caesar": ["encrypt", "decrypt"],
        "vigenere": ["encrypt", "decrypt"],
        "rot13": ["encrypt", "decrypt", "rotate"],
        "substitution": ["substitute", "substitute_reverse", "substitute_bytes", "substitute_reverse_bytes"],
        "aes": ["encrypt_ecb", "decrypt_ecb"],
    },
    "encodings": {
        "base32": ["encode", "decode", "encode_bytes", "decode_bytes"],
        "base64": ["encode", "decode", "encode_bytes", "decode_bytes"],
    },
    "cli": ["parse"],
}

SIGNATURES = {
    ("ciphers", "caesar", "encrypt"): "(data, shift)",
    ("ciphers", "caesar", "decrypt"): "(data, shift)",
    ("ciphers", "vigenere", "encrypt"): "(data, key, skip_non_alpha=True)",
    ("ciphers", "vigenere", "decrypt"): "(data, key, skip_non_alpha=True)",
    ("ciphers", "rot13", "encrypt"): "(data)",
    ("ciphers", "rot13", "decrypt"): "(data)",
    ("ciphers", "rot13", "rotate"): "(data)",
    ("ciphers", "substitution", "substitute"): "(data, mapping)",
    ("ciphers", "substitution", "substitute_reverse"): "(data, mapping)",
    ("ciphers", "substitution", "substitute_bytes"): "(data, mapping)",
    ("ciphers", "substitution", "substitute_reverse_bytes"): "(data, mapping)",
    ("ciphers", "aes", "encrypt_ecb"): "(text, key, padding_mode)",
    ("ciphers", "aes", "decrypt_ecb"): "(text, key, padding_mode)",
    ("encodings", "base32", "encode"): "(data)",
    ("encodings", "base32", "decode"): "(data, strict=False)",
    ("encodings", "base32", "encode_bytes"): "(data)",
    ("encodings", "base32", "decode_bytes"): "(data)",
    ("encodings", "base64", "encode"): "(data)",
    ("encodings", "base64", "decode"): "(data, strict=False)",
    ("encodings", "base64", "encode_bytes"): "(data)",
    ("encodings", "base64", "decode_bytes"): "(data)",
    ("cli", "parse"): "()",
}


def functions(module):
    """Yields (path, function) for every function in the tree under module."""
    for path in SIGNATURES:
        obj = module
        for part in path:
            obj = getattr(obj, part)
        yield path, obj


class ModuleTreeTest(unittest.TestCase):
    def test_top_level(self):
        self.assertEqual(_korvalith.__all__, ["ciphers", "encodings", "cli"])
        self.assertEqual(_korvalith.__doc__, "")
        self.assertEqual(_korvalith.__name__, "_korvalith")

    def test_every_all_in_order(self):
        for group, children in TREE.items():
            module = getattr(_korvalith, group)
            self.assertEqual(module.__name__, group)
            if isinstance(children, list):
                self.assertEqual(module.__all__, children)
                continue
            self.assertEqual(module.__all__, list(children))
            for name, members in children.items():
                submodule = getattr(module, name)
                self.assertEqual(submodule.__name__, name, "bare name, not a dotted path")
                self.assertEqual(submodule.__all__, members)

    def test_function_records(self):
        count = 0
        for path, function in functions(_korvalith):
            with self.subTest(path=path):
                count += 1
                self.assertEqual(function.__name__, path[-1])
                self.assertEqual(function.__module__, path[-2])
                self.assertIsNone(function.__doc__)
                self.assertEqual(function.__text_signature__, SIGNATURES[path])
        self.assertEqual(count, len(SIGNATURES))

    def test_same_names_are_distinct_functions(self):
        caesar = _korvalith.ciphers.caesar.encrypt
        rot13 = _korvalith.ciphers.rot13.encrypt
        self.assertIsNot(caesar, rot13)
        self.assertNotEqual(caesar.__text_signature__, rot13.__text_signature__)
        self.assertIsNot(_korvalith.encodings.base32.decode, _korvalith.encodings.base64.decode)

    def test_submodules_are_not_importable(self):
        for name in ("ciphers", "encodings", "cli", "caesar", "base32"):
            self.assertNotIn(name if name != "encodings" else "_korvalith.encodings", sys.modules)
            self.assertNotIn("_korvalith." + name, sys.modules)
        with self.assertRaises(ModuleNotFoundError):
            importlib.import_module("_korvalith.ciphers")
        self.assertTrue(callable(_korvalith.ciphers.caesar.encrypt))

    def test_parse_takes_no_arguments(self):
        with self.assertRaises(TypeError) as caught:
            _korvalith.cli.parse(1)
        self.assertIn("takes no arguments", str(caught.exception))
        with self.assertRaises(TypeError):
            _korvalith.cli.parse(x=1)

    def test_fresh_module_object_gets_fresh_tree(self):
        found = importlib.util.find_spec("_korvalith")
        second = importlib.util.module_from_spec(found)
        found.loader.exec_module(second)
        self.assertIsNot(second, _korvalith)
        self.assertIsNot(second.ciphers, _korvalith.ciphers)
        self.assertIsNot(second.ciphers.caesar.encrypt, _korvalith.ciphers.caesar.encrypt)
        self.assertEqual(second.ciphers.caesar.encrypt("abc", 1), "bcd")
        self.assertIs(sys.modules["_korvalith"], _korvalith)


if __name__ == "__main__":
    unittest.main()
