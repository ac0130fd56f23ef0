"""The examples of README.md: the Python tour runs as written, the
command-line sessions print what they show, and the excerpts of the Dask
example are its code."""

import ast
import doctest
import io
import os
import re
import shutil
import subprocess
import tempfile
import unittest

import _korvalith

import support

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, os.pardir, os.pardir))
README = os.path.join(ROOT, "README.md")
CONTRIBUTING = os.path.join(ROOT, "docs", "CONTRIBUTING.md")
DASK_EXAMPLE = os.path.join(ROOT, "examples", "dask_decrypt.py")
FENCE = re.compile(r"^(?P<indent> *)```(?P<info>\w*)\s*$")


def fenced_blocks(info):
    """Yields (line number of the first line, text) of every fenced block of
    README.md whose info string is info, with the fence's indentation removed."""
    with open(README, encoding="utf-8") as readme:
        lines = readme.read().splitlines()
    index = 0
    while index < len(lines):
        opening = FENCE.match(lines[index])
        index += 1
        if not opening or not opening["info"]:
            continue
        indent = len(opening["indent"])
        start = index
        while not FENCE.match(lines[index]):
            index += 1
        if opening["info"] == info:
            yield start + 1, "\n".join(line[indent:] for line in lines[start:index]) + "\n"
        index += 1


class PythonTourTest(unittest.TestCase):
    def test_examples_run_as_written(self):
        # All blocks share one namespace, as in one interactive session. The
        # run stops at the first example that differs: the ones after it
        # would fail for its sake and bury it.
        parser = doctest.DocTestParser()
        runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS | doctest.FAIL_FAST)
        namespace = {}
        report = io.StringIO()
        examples = 0
        for line, text in fenced_blocks("pycon"):
            test = parser.get_doctest(text, namespace, "README.md line %d" % line, README, line - 1)
            examples += len(test.examples)
            runner.run(test, out=report.write, clear_globs=False)
            namespace = test.globs  # a DocTest works on a copy
            if runner.failures:
                self.fail(report.getvalue())
        self.assertGreater(examples, 50)

    def test_tour_calls_every_function(self):
        source = "".join(text for _, text in fenced_blocks("pycon"))
        for path, function, _ in support.walk_tree(_korvalith):
            if isinstance(function, type(_korvalith)) or path == ("cli", "parse"):
                continue  # it would parse this test's own command line
            with self.subTest(function=".".join(path)):
                self.assertIn(".".join(path[-2:]) + "(", source)


class DaskExcerptsTest(unittest.TestCase):
    def test_excerpts_are_the_examples_code(self):
        # test_dask_example.py runs the file; README shows some of its
        # functions, which must be the file's own, as they stand there.
        with open(DASK_EXAMPLE, encoding="utf-8") as example:
            code = example.read()
        functions = {node.name for node in ast.parse(code).body if isinstance(node, ast.FunctionDef)}
        excerpts = [text for _, text in fenced_blocks("python")
                    if re.match(r"def (\w+)\(", text) and re.match(r"def (\w+)\(", text)[1] in functions]
        self.assertEqual(len(excerpts), 2)
        for text in excerpts:
            self.assertIn(text, code)


@unittest.skipUnless(shutil.which("bash"), "needs bash")
class CommandLineExamplesTest(unittest.TestCase):
    def sessions(self):
        """Yields (line number, command, expected output) for every "$ " line
        of the console blocks."""
        for start, text in fenced_blocks("console"):
            command = None
            for offset, line in enumerate(text.splitlines()):
                if line.startswith("$ "):
                    if command is not None:
                        yield command_line, command, "".join(expected)
                    command_line, command, expected = start + offset, line[2:], []
                elif command is not None:
                    expected.append(line + "\n")
            if command is not None:
                yield command_line, command, "".join(expected)

    def test_sessions_print_what_they_show(self):
        with tempfile.TemporaryDirectory() as work:
            # "korvalith" on the path runs the entry under test by that name:
            # the program itself, or the launcher under this interpreter.
            bin_dir = os.path.join(work, "bin")
            os.mkdir(bin_dir)
            entry = os.path.join(work, "entry", "korvalith")
            os.mkdir(os.path.dirname(entry))
            os.symlink(support.entry(), entry)
            wrapper = os.path.join(bin_dir, "korvalith")
            with open(wrapper, "w", encoding="utf-8") as script:
                quoted = " ".join('"%s"' % part for part in support.command(path=entry))
                script.write('#!/bin/sh\nexec %s "$@"\n' % quoted)
            os.chmod(wrapper, 0o755)
            cwd = os.path.join(work, "session")
            os.mkdir(cwd)
            env = {key: value for key, value in os.environ.items()
                   if key not in ("NO_COLOR", "CLICOLOR", "CLICOLOR_FORCE")}
            env["PATH"] = bin_dir + os.pathsep + env.get("PATH", "")
            commands = 0
            for line, command, expected in self.sessions():
                with self.subTest(line=line, command=command):
                    commands += 1
                    finished = subprocess.run(["bash", "-c", command], cwd=cwd, env=env, timeout=120,
                                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                              stdin=subprocess.DEVNULL)
                    output = finished.stdout.decode("utf-8", "replace")
                    self.assertEqual(output, expected)
            self.assertGreater(commands, 15)


class ContributorsGuideTest(unittest.TestCase):
    """docs/CONTRIBUTING.md stays true: every file it names exists, and every
    identifier it names is still used in the source."""

    # What the guide names only as an example of something to add.
    EXAMPLE = re.compile(r"atbash|<|\.\.\.")
    SOURCES = ("src", "tests", "bench", "fuzz", "stubs", "examples")

    def setUp(self):
        with open(CONTRIBUTING, encoding="utf-8") as guide:
            self.names = set(re.findall(r"`([^`\s]+)`", guide.read()))
        self.files = {}
        self.text = []
        for folder in self.SOURCES:
            for directory, folders, files in os.walk(os.path.join(ROOT, folder)):
                for name in folders:
                    self.files.setdefault(name, os.path.join(directory, name))
                for name in files:
                    path = os.path.join(directory, name)
                    self.files.setdefault(name, path)
                    if name.endswith((".cpp", ".hpp", ".py", ".pyi")):
                        with open(path, encoding="utf-8") as source:
                            self.text.append(source.read())
        # The build's own names (its targets) are defined by the top CMakeLists.txt.
        with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as build:
            self.text.append(build.read())
        self.text = "\n".join(self.text)

    def test_named_files_exist(self):
        paths = [name.rstrip("/") for name in self.names
                 if re.search(r"\w(/|\.(cpp|hpp|py|pyi|md|sh)$)", name) and not self.EXAMPLE.search(name)]
        self.assertGreater(len(paths), 30)
        for path in paths:
            with self.subTest(path=path):
                # A path from the project's root or, as the includes name
                # them, from src/; or a bare file or folder name.
                self.assertTrue(os.path.exists(os.path.join(ROOT, path)) or path in self.files
                                or os.path.exists(os.path.join(ROOT, "src", path)),
                                f"{path} is named in docs/CONTRIBUTING.md but does not exist")

    def test_named_identifiers_are_used(self):
        identifiers = [name for name in self.names
                       if re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]{3,}", name) and not self.EXAMPLE.search(name)]
        self.assertGreater(len(identifiers), 30)
        for identifier in identifiers:
            with self.subTest(identifier=identifier):
                self.assertTrue(re.search(r"\b" + identifier + r"\b", self.text),
                                f"{identifier} is named in docs/CONTRIBUTING.md but used nowhere")


if __name__ == "__main__":
    unittest.main()
