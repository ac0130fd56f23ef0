"""The stub-only package _korvalith-stubs matches the module, and what it
accepts runs (test_stubs_mypy.py checks it with mypy)."""

import ast
import os
import subprocess
import sys
import unittest

import _korvalith

HERE = os.path.dirname(os.path.abspath(__file__))
STUBS_ROOT = os.path.normpath(os.path.join(HERE, os.pardir, os.pardir, "stubs"))
STUB_PACKAGE = os.path.join(STUBS_ROOT, "_korvalith-stubs")
SAMPLES = os.path.join(HERE, "stub_samples")


class StubModule:
    """What one .pyi file declares: its __all__, the submodules bound by
    "from . import _x as name", and its functions' text signatures."""

    def __init__(self, stub_name):
        path = os.path.join(STUB_PACKAGE, stub_name + ".pyi")
        with open(path, encoding="utf-8") as stub_file:
            tree = ast.parse(stub_file.read(), path)
        self.all = None
        self.submodules = {}
        self.signatures = {}
        for node in tree.body:
            if isinstance(node, ast.Assign) and [t.id for t in node.targets] == ["__all__"]:
                self.all = ast.literal_eval(node.value)
            elif isinstance(node, ast.ImportFrom) and node.level == 1 and node.module is None:
                for alias in node.names:
                    self.submodules[alias.asname or alias.name] = alias.name
            elif isinstance(node, ast.FunctionDef):
                self.signatures[node.name] = text_signature(node.args)

    def public_names(self):
        return set(self.submodules) | set(self.signatures)


def text_signature(arguments):
    """The interpreter's __text_signature__ form of a stub's parameter list."""
    positional = arguments.posonlyargs + arguments.args
    defaults = [None] * (len(positional) - len(arguments.defaults)) + arguments.defaults
    parts = [arg.arg if default is None else arg.arg + "=" + ast.unparse(default)
             for arg, default in zip(positional, defaults)]
    if arguments.vararg or arguments.kwonlyargs or arguments.kwarg:
        parts.append("<unsupported>")
    return "(" + ", ".join(parts) + ")"


def walk(module, stub_name, path=("_korvalith",)):
    """Yields (attribute path, runtime module, stub module) for the whole tree."""
    stub = StubModule(stub_name)
    yield path, module, stub
    for name, child_stub in stub.submodules.items():
        child = getattr(module, name, None)
        if isinstance(child, type(module)):
            yield from walk(child, child_stub, path + (name,))


def runtime_paths(module, path):
    """Yields the path of module and of every submodule below it."""
    yield path
    for name in module.__all__:
        child = getattr(module, name)
        if isinstance(child, type(module)):
            yield from runtime_paths(child, path + (name,))


def runtime_function_count(module):
    return sum(not isinstance(getattr(module, name), type(module)) or runtime_function_count(getattr(module, name))
               for name in module.__all__)


class StubsMatchModuleTest(unittest.TestCase):
    def test_every_module_has_a_stub_with_the_same_names(self):
        visited = 0
        for path, module, stub in walk(_korvalith, "__init__"):
            with self.subTest(module=".".join(path)):
                visited += 1
                self.assertEqual(stub.all, module.__all__)
                self.assertEqual(stub.public_names(), set(module.__all__))
        self.assertEqual(visited, len(list(runtime_paths(_korvalith, ()))))

    def test_every_runtime_submodule_is_described(self):
        # The walk follows the stubs; this follows the module, so a submodule
        # that the stubs leave out cannot hide.
        described = {path for path, _, _ in walk(_korvalith, "__init__")}
        self.assertEqual(set(runtime_paths(_korvalith, ("_korvalith",))), described)

    def test_signatures_match_the_functions(self):
        checked = 0
        for path, module, stub in walk(_korvalith, "__init__"):
            for name, signature in stub.signatures.items():
                with self.subTest(function=".".join(path + (name,))):
                    checked += 1
                    self.assertEqual(signature, getattr(module, name).__text_signature__)
        self.assertEqual(checked, runtime_function_count(_korvalith))

    def test_no_stray_stub_files(self):
        reached = {"__init__"}
        for _, _, stub in walk(_korvalith, "__init__"):
            reached.update(stub.submodules.values())
        present = {name[:-4] for name in os.listdir(STUB_PACKAGE) if name.endswith(".pyi")}
        self.assertEqual(present, reached)
        self.assertEqual(set(os.listdir(STUB_PACKAGE)), {name + ".pyi" for name in present})


class CorrectUsageRunsTest(unittest.TestCase):
    def test_correct_usage_runs(self):
        # What passes the type checker also works: the same program runs
        # against the module without an exception.
        finished = subprocess.run([sys.executable, os.path.join(SAMPLES, "correct_usage.py")],
                                  capture_output=True, text=True, timeout=120)
        self.assertEqual(finished.returncode, 0, finished.stderr)


if __name__ == "__main__":
    unittest.main()
