"""The Python package as a package index gets it: the source distribution,
and the wheel built from it and repaired by auditwheel, checked as files
and then installed into fresh virtual environments the way README.md's
install steps use it.

`nox -s wheel` (`nox -s i386` for the 32-bit wheel, `nox -s wheel-aarch64`
for the aarch64 one) builds both and runs this file with the interpreter of
its session, which has auditwheel and abi3audit, and sets:

    KORVALITH_SDIST              the source distribution
    KORVALITH_WHEEL              the repaired wheel
    KORVALITH_WHEEL_INTERPRETER  the interpreter to install it under (default:
                                 this one; the 32-bit one for an i686 wheel,
                                 the aarch64 one, under qemu, for an aarch64
                                 wheel)
"""

import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import unittest
import zipfile

SOURCE_DIR = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir))
SDIST = os.environ.get("KORVALITH_SDIST", "")
WHEEL = os.environ.get("KORVALITH_WHEEL", "")
INTERPRETER = os.environ.get("KORVALITH_WHEEL_INTERPRETER") or sys.executable

MODULE_FILE = "_korvalith.abi3.so"
STUB_PACKAGE = "_korvalith-stubs"
# The oldest manylinux tag each platform's module and program can carry (see
# README.md, Building the wheels), the ELF class and machine of both, and the
# shared libraries the program needs: the C library, GCC's unwinder and, on
# x86, the loader; no libpython, and no shared C++ runtime (it costs start-up
# time).
PLATFORMS = {
    "x86_64": {"tag": "manylinux_2_34_x86_64", "elf": (2, 62), "bits": 64,
               "needed": {"libc.so.6", "libgcc_s.so.1", "ld-linux-x86-64.so.2"}},
    "i686": {"tag": "manylinux_2_34_i686", "elf": (1, 3), "bits": 32,
             "needed": {"libc.so.6", "libgcc_s.so.1", "ld-linux.so.2"}},
    "aarch64": {"tag": "manylinux_2_34_aarch64", "elf": (2, 183), "bits": 64,
                "needed": {"libc.so.6", "libgcc_s.so.1"}},
}
PROGRAM_FILE = "korvalith-%s.data/scripts/korvalith"
# The source distribution holds these files of the source tree, and every
# file of these directories; pyproject.toml's sdist.include says the same.
SDIST_FILES = {"CMakeLists.txt", "CMakePresets.json", "LICENSE", "README.md", "pyproject.toml",
               "tools/interpreter.cpp"}
SDIST_DIRECTORIES = ("cmake/", "src/", "stubs/")


def project_version():
    with open(os.path.join(SOURCE_DIR, "CMakeLists.txt"), encoding="utf-8") as lists:
        return re.search(r"^project\(korvalith\s+VERSION\s+([0-9.]+)", lists.read(), re.MULTILINE)[1]


VERSION = project_version()
PROGRAM_FILE %= VERSION
MACHINE = re.search(r"_(x86_64|i686|aarch64)\.whl$", WHEEL)[1] if WHEEL.endswith((".whl")) else "x86_64"


def environment(**changes):
    """This process's environment without what would pick a module or a
    Python installation, or colour the command line's output."""
    env = {key: value for key, value in os.environ.items()
           if key not in ("PYTHONPATH", "PYTHONHOME", "PYTHONSTARTUP", "PYTHONUSERBASE", "VIRTUAL_ENV",
                          "NO_COLOR", "CLICOLOR", "CLICOLOR_FORCE", "MYPYPATH")}
    env.update(changes)
    return env


def run(command, cwd=None, timeout=600):
    """Runs a command that must succeed; returns its standard output."""
    finished = subprocess.run(command, capture_output=True, text=True, timeout=timeout, cwd=cwd, env=environment())
    if finished.returncode != 0:
        raise AssertionError("%s failed with status %d:\n%s%s"
                             % (" ".join(command), finished.returncode, finished.stdout, finished.stderr))
    return finished.stdout


def git_files():
    """The files of the source tree a fresh clone has, with those not yet
    committed that git does not ignore, relative to it."""
    listed = run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"], cwd=SOURCE_DIR)
    return {name for name in listed.split("\0") if name and os.path.isfile(os.path.join(SOURCE_DIR, name))}


def elf_target(header):
    """The ELF class and machine of a file that starts with `header`."""
    if header[:4] != b"\x7fELF":
        raise AssertionError("not an ELF file: %r" % header[:16])
    return header[4], int.from_bytes(header[18:20], "little")


def needed_libraries(path):
    """The shared libraries an ELF file names in its dynamic section."""
    return set(re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", run(["readelf", "-d", path])))


class Venv:
    """A fresh virtual environment of INTERPRETER under `directory`."""

    def __init__(self, directory):
        self.root = directory
        run([INTERPRETER, "-m", "venv", directory], timeout=300)
        self.python = os.path.join(directory, "bin", "python")

    def pip(self, *args):
        return run([self.python, "-m", "pip", "--disable-pip-version-check", *args])

    def files(self):
        found = set()
        for directory, subdirectories, names in os.walk(self.root):
            subdirectories[:] = [name for name in subdirectories if name != "__pycache__"]
            found.update(os.path.relpath(os.path.join(directory, name), self.root) for name in names)
        return found


def setUpModule():
    if not (os.path.isfile(SDIST) and os.path.isfile(WHEEL)):
        raise AssertionError("KORVALITH_SDIST and KORVALITH_WHEEL must name the files to test: run `nox -s wheel`")


class WheelFileTest(unittest.TestCase):
    def test_tag_is_the_oldest_manylinux_the_symbols_allow(self):
        tag = PLATFORMS[MACHINE]["tag"]
        self.assertEqual(os.path.basename(WHEEL), "korvalith-%s-cp310-abi3-%s.whl" % (VERSION, tag))
        with zipfile.ZipFile(WHEEL) as wheel:
            info = wheel.read("korvalith-%s.dist-info/WHEEL" % VERSION).decode()
        self.assertEqual(re.findall(r"^Tag: (.*)$", info, re.MULTILINE), ["cp310-abi3-" + tag])
        shown = " ".join(run([sys.executable, "-m", "auditwheel", "show", WHEEL]).split())
        self.assertIn('consistent with the following platform tag: "%s"' % tag, shown)
        self.assertIn('This constrains the platform tag to "%s"' % tag, shown)

    def test_module_uses_only_the_stable_abi_of_3_10(self):
        report = run([sys.executable, "-m", "abi3audit", "--strict", "--report", WHEEL])
        self.assertRegex(report, r'"is_abi3": true, "is_abi3_baseline_compatible": true, "baseline": "3\.10"')
        self.assertIn('"non_abi3_symbols": []', report)

    def test_holds_the_module_the_stubs_and_the_command(self):
        stubs = sorted(os.listdir(os.path.join(SOURCE_DIR, "stubs", STUB_PACKAGE)))
        with zipfile.ZipFile(WHEEL) as wheel:
            # auditwheel writes entries for directories too.
            payload = sorted(name for name in wheel.namelist() if ".dist-info/" not in name and not name.endswith("/"))
            self.assertEqual(payload, sorted([MODULE_FILE, PROGRAM_FILE]
                                             + [STUB_PACKAGE + "/" + stub for stub in stubs]))
            # The command is the program itself, not an entry point that
            # pip would turn into a script run by the interpreter.
            self.assertNotIn("korvalith-%s.dist-info/entry_points.txt" % VERSION, wheel.namelist())
            program = wheel.read(PROGRAM_FILE)
            program_mode = wheel.getinfo(PROGRAM_FILE).external_attr >> 16
            for stub in stubs:
                with open(os.path.join(SOURCE_DIR, "stubs", STUB_PACKAGE, stub), "rb") as source:
                    self.assertEqual(wheel.read(STUB_PACKAGE + "/" + stub), source.read(), stub)
            module = wheel.read(MODULE_FILE)
            metadata = wheel.read("korvalith-%s.dist-info/METADATA" % VERSION).decode()
        self.assertEqual(elf_target(module), PLATFORMS[MACHINE]["elf"])
        self.assertEqual(elf_target(program), PLATFORMS[MACHINE]["elf"])
        self.assertEqual(program_mode & 0o111, 0o111, oct(program_mode))
        for field in ("Name: korvalith", "Version: " + VERSION, "Requires-Python: >=3.10", "License-Expression: MIT"):
            self.assertRegex(metadata, "(?m)^" + re.escape(field) + "$")


class SourceDistributionTest(unittest.TestCase):
    @unittest.skipUnless(shutil.which("git") and os.path.exists(os.path.join(SOURCE_DIR, ".git")),
                         "needs the git checkout the source distribution was made from")
    def test_holds_what_the_build_needs_and_nothing_else(self):
        root = "korvalith-%s/" % VERSION
        with tarfile.open(SDIST) as archive:
            members = [member.name for member in archive.getmembers() if member.isfile()]
        self.assertEqual([name for name in members if not name.startswith(root)], [])
        files = {name[len(root):] for name in members} - {"PKG-INFO"}
        expected = {name for name in git_files() if name in SDIST_FILES or name.startswith(SDIST_DIRECTORIES)}
        self.assertEqual(files, expected)


class InstalledWheelTest(unittest.TestCase):
    """README.md's install steps in a fresh virtual environment: the wheel,
    then mypy as requirements/test.txt pins it (native wheels only)."""

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory(prefix="korvalith-wheel-")
        cls.venv = Venv(os.path.join(cls.work.name, "venv"))
        cls.venv.pip("install", "--no-index", "--no-deps", WHEEL)
        # A directory that holds nothing importable, as a user's own.
        cls.elsewhere = os.path.join(cls.work.name, "elsewhere")
        os.mkdir(cls.elsewhere)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def test_import_from_another_directory_loads_the_installed_module(self):
        code = ("import struct, sysconfig, _korvalith\nprint(_korvalith.__file__)\nprint(sysconfig.get_path('platlib'))\n"
                "print(struct.calcsize('P') * 8)\nprint(_korvalith.ciphers.rot13.rotate('Hello'))")
        module_file, platlib, bits, rotated = run([self.venv.python, "-c", code], cwd=self.elsewhere).splitlines()
        self.assertEqual(os.path.realpath(module_file), os.path.realpath(os.path.join(platlib, MODULE_FILE)))
        self.assertEqual((int(bits), rotated), (PLATFORMS[MACHINE]["bits"], "Uryyb"))

    @unittest.skipUnless(shutil.which("readelf"), "binutils are not installed")
    def test_command_is_the_native_program(self):
        command = os.path.join(self.venv.root, "bin", "korvalith")
        with open(command, "rb") as program:
            self.assertEqual(elf_target(program.read(20)), PLATFORMS[MACHINE]["elf"])
        self.assertEqual(needed_libraries(command), PLATFORMS[MACHINE]["needed"])
        cases = [
            (("base64", "encode", "-s", "hello"), 0, b"aGVsbG8=\n"),
            (("--version",), 0, b"Korvalith " + VERSION.encode() + b"\n"),
            (("caesar", "encrypt", "-s", "abc", "30"), 2, b""),
            (("base64", "decode", "-s", "##"), 1, b""),
        ]
        for args, status, stdout in cases:
            with self.subTest(args=args):
                finished = subprocess.run([command, *args], capture_output=True, timeout=120, cwd=self.elsewhere,
                                          env=environment())
                self.assertEqual((finished.returncode, finished.stdout), (status, stdout), finished.stderr)
                self.assertEqual(bool(finished.stderr), status != 0)

    @unittest.skipUnless(INTERPRETER == sys.executable, "mypy runs with the native wheel")
    def test_mypy_in_the_venv_reads_the_stubs(self):
        self.venv.pip("install", "-r", os.path.join(SOURCE_DIR, "requirements", "test.txt"))
        sample = os.path.join(self.elsewhere, "sample.py")
        with open(sample, "w", encoding="utf-8") as program:
            program.write("import _korvalith\nfrom _korvalith import ciphers\n\n"
                          "text: str = ciphers.caesar.encrypt('abc', 3)\n"
                          "data: bytes = _korvalith.encodings.base64.encode('abc')\n")
        finished = subprocess.run(
            [os.path.join(self.venv.root, "bin", "mypy"), "--no-error-summary", "--show-error-codes",
             "--no-color-output", "--cache-dir=" + os.devnull, "sample.py"],
            cwd=self.elsewhere, capture_output=True, text=True, timeout=300, env=environment())
        errors = re.findall(r"^sample\.py:(\d+): error: .*\[([\w-]+)\]$", finished.stdout, re.MULTILINE)
        self.assertEqual(errors, [("5", "assignment")], finished.stdout + finished.stderr)


class UninstallTest(unittest.TestCase):
    def test_uninstall_removes_everything_the_wheel_installed(self):
        with tempfile.TemporaryDirectory(prefix="korvalith-uninstall-") as work:
            venv = Venv(os.path.join(work, "venv"))
            before = venv.files()
            venv.pip("install", "--no-index", "--no-deps", WHEEL)
            added = venv.files() - before
            for path in (MODULE_FILE, STUB_PACKAGE + "/__init__.pyi", "korvalith-%s.dist-info/RECORD" % VERSION):
                self.assertTrue(any(name.endswith("/site-packages/" + path) for name in added), path)
            self.assertIn(os.path.join("bin", "korvalith"), added)
            venv.pip("uninstall", "-y", "korvalith")
            self.assertEqual(venv.files(), before)


if __name__ == "__main__":
    unittest.main()
