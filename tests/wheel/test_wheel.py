"""The Python package: a source distribution and a wheel built from a clean
copy of the source tree, the way pip builds them, and the wheel installed
into fresh virtual environments.

CTest runs this file with the interpreter that builds the wheel, one with
the build backend (setuptools and wheel) and pip, and sets:

    KORVALITH_SOURCE_DIR         the source tree
    KORVALITH_BUILD_DIR          the CMake build whose korvalith launcher the
                                 installed command must agree with
    KORVALITH_VERSION            the project's version, as CMake read it
    KORVALITH_WHEEL_PLATFORM     unset for the machine's own platform, or
                                 linux_i686 (setup.py reads it as well)
    KORVALITH_WHEEL_INTERPRETER  the interpreter to install the wheel under
                                 (the 32-bit one for linux_i686)
    KORVALITH_OTHER_PYTHONS      more interpreters, separated by os.pathsep,
                                 to install the same wheel under
"""

import importlib.util
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import tarfile
import tempfile
import unittest
import zipfile

SOURCE_DIR = os.environ.get("KORVALITH_SOURCE_DIR") or os.path.normpath(
    os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir))
BUILD_DIR = os.environ.get("KORVALITH_BUILD_DIR", "")
VERSION = os.environ.get("KORVALITH_VERSION", "")
PLATFORM = os.environ.get("KORVALITH_WHEEL_PLATFORM") or sysconfig.get_platform().replace("-", "_").replace(".", "_")
INTERPRETER = os.environ.get("KORVALITH_WHEEL_INTERPRETER") or sys.executable
OTHER_PYTHONS = [path for path in os.environ.get("KORVALITH_OTHER_PYTHONS", "").split(os.pathsep) if path]

MODULE_FILE = "_korvalith.abi3.so"
STUB_PACKAGE = "_korvalith-stubs"
# ELF class (1: 32-bit, 2: 64-bit) and machine of the module of each platform.
ELF_TARGETS = {"linux_x86_64": (2, 62), "linux_i686": (1, 3)}
# Files of the source tree that the source distribution holds besides the
# directories below; and the directories whose every file it holds.
SDIST_FILES = {"CMakeLists.txt", "CMakePresets.json", "LICENSE", "MANIFEST.in", "README.md",
               "pyproject.toml", "setup.py", "tools/interpreter.cpp"}
SDIST_DIRECTORIES = ("cmake/", "src/", "stubs/")
# What setuptools adds to a source distribution: the package information.
SDIST_GENERATED = re.compile(r"^(PKG-INFO|setup\.cfg|korvalith\.egg-info/[^/]+)$")

# Filled by setUpModule.
WORK = None
SDIST = None
WHEEL = None


def environment(**changes):
    """This process's environment without what would pick a module or a
    Python installation, or colour the command line's output."""
    env = {key: value for key, value in os.environ.items()
           if key not in ("PYTHONPATH", "PYTHONHOME", "PYTHONSTARTUP", "PYTHONUSERBASE", "VIRTUAL_ENV",
                          "NO_COLOR", "CLICOLOR", "CLICOLOR_FORCE", "MYPYPATH")}
    env["PIP_DISABLE_PIP_VERSION_CHECK"] = "1"
    env.update(changes)
    return env


def run(command, timeout=900, **kwargs):
    """Runs a command that must succeed; returns its standard output."""
    kwargs.setdefault("env", environment())
    finished = subprocess.run(command, capture_output=True, text=True, timeout=timeout, **kwargs)
    if finished.returncode != 0:
        raise AssertionError("%s failed with status %d:\n%s%s"
                             % (" ".join(command), finished.returncode, finished.stdout, finished.stderr))
    return finished.stdout


def source_files():
    """The files of the source tree as a fresh clone has them (with the
    files not yet committed that git does not ignore), relative to it."""
    git = shutil.which("git")
    if git and os.path.exists(os.path.join(SOURCE_DIR, ".git")):
        listed = run([git, "ls-files", "-z", "--cached", "--others", "--exclude-standard"], cwd=SOURCE_DIR)
        return sorted(name for name in listed.split("\0")
                      if name and os.path.isfile(os.path.join(SOURCE_DIR, name)))
    names = []
    for directory, subdirectories, files in os.walk(SOURCE_DIR):
        subdirectories[:] = [name for name in subdirectories
                             if not name.startswith(("build", ".git")) and name != "__pycache__"
                             and not name.endswith(".egg-info")]
        names.extend(os.path.relpath(os.path.join(directory, name), SOURCE_DIR) for name in files)
    return sorted(names)


def copy_source(destination):
    for name in source_files():
        target = os.path.join(destination, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(os.path.join(SOURCE_DIR, name), target)


def missing_prerequisite():
    """Why this interpreter cannot build and install the wheel, or None."""
    if importlib.util.find_spec("setuptools") is None or (
            importlib.util.find_spec("wheel") is None
            and importlib.util.find_spec("setuptools.command.bdist_wheel") is None):
        return "the build backend (setuptools and wheel) is missing for %s" % sys.executable
    if importlib.util.find_spec("pip") is None:
        return "pip is missing for %s" % sys.executable
    if importlib.util.find_spec("venv") is None or importlib.util.find_spec("ensurepip") is None:
        return "venv is missing for %s" % sys.executable
    return None


def create_venv(interpreter, directory, system_site_packages=False):
    """A fresh virtual environment of interpreter with its own pip; returns
    the environment's interpreter."""
    command = [interpreter, "-m", "venv", directory]
    if system_site_packages:
        command.insert(3, "--system-site-packages")
    run(command, timeout=300)
    return os.path.join(directory, "bin", "python")


def pip_install(python, wheel):
    run([python, "-m", "pip", "install", "--no-index", "--no-deps", "--no-cache-dir", wheel])


def in_venv(python, code, cwd=None):
    """Runs Python code in a virtual environment from a directory that holds
    nothing importable; returns its output lines."""
    return run([python, "-c", code], cwd=cwd or WORK.name, timeout=120).splitlines()


def setUpModule():
    global WORK, SDIST, WHEEL
    missing = missing_prerequisite()
    if missing:
        raise unittest.SkipTest(missing + " (Debian: python3-setuptools python3-wheel python3-pip python3-venv)")
    if not VERSION:
        raise AssertionError("KORVALITH_VERSION is not set")
    WORK = tempfile.TemporaryDirectory(prefix="korvalith-wheel-")
    try:
        # The source distribution from a clean copy, then the wheel from the
        # unpacked source distribution, as pip builds it offline.
        copy = os.path.join(WORK.name, "source")
        copy_source(copy)
        sdist_dir = os.path.join(WORK.name, "sdist")
        name = run([sys.executable, "-c",
                    "import sys\nfrom setuptools import build_meta\nprint(build_meta.build_sdist(sys.argv[1]))",
                    sdist_dir], cwd=copy).splitlines()[-1]
        SDIST = os.path.join(sdist_dir, name)
        unpacked = os.path.join(WORK.name, "unpacked")
        with tarfile.open(SDIST) as archive:
            archive.extractall(unpacked)
        wheel_dir = os.path.join(WORK.name, "wheels")
        run([sys.executable, "-m", "pip", "wheel", "--no-build-isolation", "--no-deps", "--no-index",
             "--no-cache-dir", "-w", wheel_dir, os.path.join(unpacked, "korvalith-" + VERSION)])
        wheels = os.listdir(wheel_dir)
        if len(wheels) != 1:
            raise AssertionError("expected one wheel, got %s" % wheels)
        WHEEL = os.path.join(wheel_dir, wheels[0])
    except BaseException:
        WORK.cleanup()
        raise


def tearDownModule():
    if WORK is not None:
        WORK.cleanup()


class WheelFileTest(unittest.TestCase):
    def test_name_tag_and_metadata(self):
        self.assertEqual(os.path.basename(WHEEL), "korvalith-%s-cp310-abi3-%s.whl" % (VERSION, PLATFORM))
        info = "korvalith-%s.dist-info/" % VERSION
        with zipfile.ZipFile(WHEEL) as wheel:
            tags = re.findall(r"^Tag: (.*)$", wheel.read(info + "WHEEL").decode(), re.MULTILINE)
            metadata = wheel.read(info + "METADATA").decode()
            entry_points = wheel.read(info + "entry_points.txt").decode()
        self.assertEqual(tags, ["cp310-abi3-" + PLATFORM])
        for field in ("Name: korvalith", "Version: " + VERSION, "Requires-Python: >=3.10", "License: MIT"):
            self.assertRegex(metadata, "(?m)^" + re.escape(field) + "$")
        self.assertIn("korvalith = _korvalith:cli.parse", entry_points.splitlines())

    def test_holds_the_module_and_the_stubs(self):
        stubs = sorted(name for name in os.listdir(os.path.join(SOURCE_DIR, "stubs", STUB_PACKAGE)))
        with zipfile.ZipFile(WHEEL) as wheel:
            names = wheel.namelist()
            payload = sorted(name for name in names if ".dist-info/" not in name)
            self.assertEqual(payload, sorted([MODULE_FILE] + [STUB_PACKAGE + "/" + stub for stub in stubs]))
            for stub in stubs:
                with open(os.path.join(SOURCE_DIR, "stubs", STUB_PACKAGE, stub), "rb") as source:
                    self.assertEqual(wheel.read(STUB_PACKAGE + "/" + stub), source.read(), stub)
            module = wheel.read(MODULE_FILE)
        # The module is an object of the wheel's platform.
        self.assertEqual(module[:4], b"\x7fELF")
        machine = int.from_bytes(module[18:20], "little")
        self.assertEqual((module[4], machine), ELF_TARGETS[PLATFORM])

    @unittest.skipUnless(shutil.which("nm"), "binutils are not installed")
    def test_module_exports_only_its_init_function(self):
        with zipfile.ZipFile(WHEEL) as wheel, tempfile.TemporaryDirectory() as work:
            module = wheel.extract(MODULE_FILE, work)
            output = run(["nm", "-D", "--defined-only", module])
        self.assertEqual([line.split()[-1] for line in output.splitlines() if line.strip()], ["PyInit__korvalith"])


class SourceDistributionTest(unittest.TestCase):
    def test_holds_what_the_build_needs_and_nothing_else(self):
        root = "korvalith-%s/" % VERSION
        with tarfile.open(SDIST) as archive:
            members = [member.name for member in archive.getmembers() if member.isfile()]
        self.assertEqual([name for name in members if not name.startswith(root)], [])
        files = {name[len(root):] for name in members}
        generated = {name for name in files if SDIST_GENERATED.match(name)}
        expected = {name for name in source_files()
                    if name in SDIST_FILES or name.startswith(SDIST_DIRECTORIES)}
        self.assertEqual(files - generated, expected)


class InstalledWheelTest(unittest.TestCase):
    """The wheel in a fresh virtual environment of the interpreter it is for,
    which sees the system's packages (mypy among them)."""

    @classmethod
    def setUpClass(cls):
        cls.venv = os.path.join(WORK.name, "venv")
        cls.python = create_venv(INTERPRETER, cls.venv, system_site_packages=True)
        pip_install(cls.python, WHEEL)
        cls.site_packages = in_venv(cls.python, "import sysconfig; print(sysconfig.get_path('platlib'))")[0]

    def test_import_loads_the_installed_module(self):
        module_file, bits, rotated = in_venv(
            self.python,
            "import struct, _korvalith\nprint(_korvalith.__file__)\nprint(struct.calcsize('P') * 8)\n"
            "print(_korvalith.ciphers.rot13.rotate('Hello'))")
        self.assertEqual(os.path.realpath(module_file), os.path.realpath(os.path.join(self.site_packages, MODULE_FILE)))
        self.assertEqual(int(bits), 32 if ELF_TARGETS[PLATFORM][0] == 1 else 64)
        self.assertEqual(rotated, "Uryyb")

    def test_command_agrees_with_the_build_tree(self):
        command = os.path.join(self.venv, "bin", "korvalith")
        with open(command, encoding="utf-8") as script:
            self.assertEqual(script.readline(), "#!" + self.python + "\n")
        built = os.path.join(BUILD_DIR, "korvalith")
        self.assertTrue(os.access(built, os.X_OK), built)
        cases = [
            (("base64", "encode", "-s", "hello"), 0, b"aGVsbG8=\n"),
            (("--version",), 0, b"Korvalith " + VERSION.encode() + b"\n"),
            (("caesar", "encrypt", "-s", "abc", "30"), 2, b""),
            (("base64", "decode", "-s", "##"), 1, b""),
        ]
        for args, status, stdout in cases:
            with self.subTest(args=args):
                installed = subprocess.run([command, *args], capture_output=True, timeout=120, cwd=WORK.name,
                                           env=environment())
                reference = subprocess.run([built, *args], capture_output=True, timeout=120, cwd=WORK.name,
                                           env=environment())
                self.assertEqual((installed.returncode, installed.stdout), (status, stdout), installed.stderr)
                self.assertEqual((installed.returncode, installed.stdout, installed.stderr),
                                 (reference.returncode, reference.stdout, reference.stderr))
                if status:
                    self.assertTrue(installed.stderr)

    @unittest.skipUnless(importlib.util.find_spec("mypy"), "mypy is not installed")
    def test_mypy_finds_the_stubs(self):
        # mypy looks for the package in the environment's site-packages, as
        # it does when run inside it; the one error proves the stubs were read.
        sample = os.path.join(WORK.name, "sample.py")
        with open(sample, "w", encoding="utf-8") as program:
            program.write("import _korvalith\nfrom _korvalith import ciphers\n\n"
                          "text: str = ciphers.caesar.encrypt('abc', 3)\n"
                          "data: bytes = _korvalith.encodings.base64.encode('abc')\n")
        finished = subprocess.run(
            [sys.executable, "-m", "mypy", "--python-executable", self.python, "--config-file=",
             "--cache-dir=" + os.devnull, "--no-error-summary", "--show-error-codes", "--no-color-output",
             "sample.py"], cwd=WORK.name, capture_output=True, text=True, timeout=300, env=environment())
        errors = re.findall(r"^sample\.py:(\d+): error: .*\[([\w-]+)\]$", finished.stdout, re.MULTILINE)
        self.assertEqual(errors, [("5", "assignment")], finished.stdout + finished.stderr)


class UninstallTest(unittest.TestCase):
    def test_uninstall_removes_everything(self):
        venv = os.path.join(WORK.name, "venv-uninstall")
        python = create_venv(INTERPRETER, venv, system_site_packages=True)

        def files():
            found = set()
            for directory, subdirectories, names in os.walk(venv):
                subdirectories[:] = [name for name in subdirectories if name != "__pycache__"]
                found.update(os.path.relpath(os.path.join(directory, name), venv) for name in names)
            return found

        before = files()
        pip_install(python, WHEEL)
        added = files() - before
        for path in (MODULE_FILE, STUB_PACKAGE + "/__init__.pyi", "korvalith-%s.dist-info/RECORD" % VERSION):
            self.assertTrue(any(name.endswith("/site-packages/" + path) for name in added), path)
        self.assertIn(os.path.join("bin", "korvalith"), added)

        run([python, "-m", "pip", "uninstall", "-y", "korvalith"])
        self.assertEqual(files(), before)
        finished = subprocess.run([python, "-c", "import _korvalith"], capture_output=True, text=True,
                                  cwd=WORK.name, timeout=60, env=environment())
        self.assertNotEqual(finished.returncode, 0)
        self.assertIn("ModuleNotFoundError", finished.stderr)


@unittest.skipUnless(OTHER_PYTHONS, "no other interpreters to install the wheel under (KORVALITH_OTHER_PYTHONS)")
class OtherPythonsTest(unittest.TestCase):
    def test_wheel_imports_under_every_other_python(self):
        checked = 0
        main_version = run([INTERPRETER, "-c", "import sys; print(sys.version_info[:2])"])
        for interpreter in OTHER_PYTHONS:
            version = run([interpreter, "-c", "import sys; print(sys.version_info[:2])"])
            if version == main_version:
                continue
            with self.subTest(python=version.strip()):
                checked += 1
                venv = os.path.join(WORK.name, "venv-%d" % checked)
                python = create_venv(interpreter, venv)
                pip_install(python, WHEEL)
                module_file, encoded = in_venv(
                    python, "import _korvalith\nprint(_korvalith.__file__)\n"
                            "print(_korvalith.encodings.base64.encode('hello'))")
                self.assertTrue(os.path.realpath(module_file).startswith(os.path.realpath(venv) + os.sep),
                                module_file)
                self.assertEqual(encoded, "aGVsbG8=")
                self.assertEqual(run([os.path.join(venv, "bin", "korvalith"), "--version"], cwd=WORK.name),
                                 "Korvalith %s\n" % VERSION)
        self.assertGreater(checked, 0)


if __name__ == "__main__":
    unittest.main()
