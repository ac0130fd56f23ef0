"""The module tree: submodules, functions, names, signatures and docs.

The tree is declared once, in the sources: the submodule table
(src/module/submodule_table.cpp) and each submodule's declaration beside its
core, which also gives every text signature. test_stubs checks that tree,
name by name and signature by signature, against the stubs. This file checks
what holds for every submodule and function the module has, walking it."""

import importlib
import importlib.util
import inspect
import sys
import unittest

import _korvalith

from support import walk_tree


class ModuleTreeTest(unittest.TestCase):
    def test_top_level(self):
        self.assertEqual(_korvalith.__all__, ["ciphers", "encodings", "cli"])
        self.assertEqual(_korvalith.__doc__, "")
        self.assertEqual(_korvalith.__name__, "_korvalith")

    def test_every_submodule(self):
        for path, module, parent in walk_tree(_korvalith):
            if not inspect.ismodule(module):
                continue
            with self.subTest(path=path):
                self.assertEqual(module.__name__, path[-1], "bare name, not a dotted path")
                self.assertTrue(module.__all__)
                self.assertEqual(len(set(module.__all__)), len(module.__all__))
                self.assertIs(getattr(parent, path[-1]), module)
        self.assertEqual(_korvalith.ciphers.rot13.__all__, ["encrypt", "decrypt", "rotate"])

    def test_function_records(self):
        count = 0
        for path, function, _ in walk_tree(_korvalith):
            if inspect.ismodule(function):
                continue
            with self.subTest(path=path):
                count += 1
                self.assertEqual(function.__name__, path[-1])
                self.assertEqual(function.__module__, path[-2])
                self.assertIsNone(function.__doc__)
                # Every parameter may be passed by keyword.
                parameters = inspect.signature(function).parameters.values()
                self.assertEqual({p.kind for p in parameters} - {inspect.Parameter.POSITIONAL_OR_KEYWORD}, set())
        self.assertGreater(count, 20)
        self.assertEqual(_korvalith.encodings.base32.decode.__text_signature__, "(data, strict=False)")
        self.assertEqual(_korvalith.cli.parse.__text_signature__, "()")

    def test_same_names_are_distinct_functions(self):
        caesar = _korvalith.ciphers.caesar.encrypt
        rot13 = _korvalith.ciphers.rot13.encrypt
        self.assertIsNot(caesar, rot13)
        self.assertNotEqual(caesar.__text_signature__, rot13.__text_signature__)
        self.assertIsNot(_korvalith.encodings.base32.decode, _korvalith.encodings.base64.decode)

    def test_submodules_are_not_importable(self):
        for name in ("ciphers", "encodings", "cli", "caesar", "base32"):
            self.assertNotIn(name if name != "encodings" else "_korvalith.encodings", sys.modules)
        # None is entered in sys.modules, under its bare name (where the
        # standard library's encodings or base64 may stand) or a dotted one.
        for path, module, _ in walk_tree(_korvalith):
            if inspect.ismodule(module):
                self.assertIsNot(sys.modules.get(module.__name__), module)
                self.assertNotIn("_korvalith." + path[-1], sys.modules)
                self.assertNotIn("_korvalith." + ".".join(path), sys.modules)
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
