"""Installation into a prefix: the layout, the installed program and Python
launcher, and an import through the installed site-packages directory."""

import filecmp
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import _korvalith

from support import MODULE_FILE, VERSION_TEXT, program

HERE = os.path.dirname(os.path.abspath(__file__))
STUB_PACKAGE = os.path.normpath(os.path.join(HERE, os.pardir, os.pardir, "stubs", "_korvalith-stubs"))
BUILD_DIR = os.environ.get("KORVALITH_BUILD_DIR") or os.path.dirname(os.path.abspath(_korvalith.__file__))
CMAKE = shutil.which("cmake")
LOADED_FROM = re.compile(r"extension module '_korvalith' loaded from '([^']+)'")


def read_cache(build_dir):
    """The NAME=VALUE entries of a build directory's CMakeCache.txt."""
    entries = {}
    try:
        with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8") as cache:
            for line in cache:
                name, sep, value = line.rstrip("\n").partition("=")
                if sep and not line.startswith(("#", "//")):
                    entries[name.split(":")[0]] = value
    except OSError:
        pass
    return entries


CACHE = read_cache(BUILD_DIR)
# A cross build (the 32-bit module on a 64-bit host) runs its tests under an
# interpreter it builds itself; the installed Python launcher names the
# target system's interpreter, which may be unable to load the module here.
CROSS_BUILD = CACHE.get("KORVALITH_BUILD_INTERPRETER", "OFF").upper() in ("ON", "1", "TRUE", "YES")


def clean_environment(**changes):
    """The test's environment without anything that would pick a module,
    change the interpreter's output or colour the command line's output."""
    env = {key: value for key, value in os.environ.items()
           if key not in ("PYTHONPATH", "PYTHONHOME", "PYTHONVERBOSE", "PYTHONSTARTUP", "NO_COLOR",
                          "CLICOLOR", "CLICOLOR_FORCE")}
    env.update(changes)
    return env


@unittest.skipUnless(CMAKE, "cmake is not installed")
@unittest.skipUnless(os.path.isfile(os.path.join(BUILD_DIR, "cmake_install.cmake")),
                     "the module does not come from a CMake build directory")
@unittest.skipUnless("KORVALITH_INSTALL_PYTHONDIR" in CACHE, "the build directory has no install rules")
class InstallTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        cls.prefix = os.path.join(cls.work.name, "prefix")
        finished = subprocess.run([CMAKE, "--install", BUILD_DIR, "--prefix", cls.prefix],
                                  capture_output=True, text=True, timeout=300)
        if finished.returncode != 0:
            cls.work.cleanup()
            raise AssertionError("cmake --install failed:\n" + finished.stdout + finished.stderr)
        cls.pythondir = CACHE["KORVALITH_INSTALL_PYTHONDIR"]

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def site_packages(self, prefix=None):
        return os.path.join(prefix or self.prefix, self.pythondir)

    def launcher(self, prefix=None):
        return os.path.join(prefix or self.prefix, "bin", "korvalith-python")

    def program(self, prefix=None):
        return os.path.join(prefix or self.prefix, "bin", "korvalith")

    def run_launcher(self, prefix, *args):
        """Runs an installed launcher as a user would, by its own #! line,
        with the build tree on PYTHONPATH so that the module the launcher
        must not pick is in reach. Returns the finished process and the
        file the module was loaded from."""
        command = [self.launcher(prefix), *args]
        if CROSS_BUILD:
            command.insert(0, sys.executable)
        finished = subprocess.run(command, capture_output=True, timeout=120,
                                  cwd=self.work.name,
                                  env=clean_environment(PYTHONPATH=BUILD_DIR, PYTHONVERBOSE="1"))
        loaded = LOADED_FROM.findall(finished.stderr.decode("utf-8", "replace"))
        self.assertEqual(len(loaded), 1, finished.stderr)
        return finished, loaded[0]

    def assert_same_file(self, first, second):
        self.assertEqual(os.path.realpath(first), os.path.realpath(second))

    def test_layout(self):
        # The directory is the one of the interpreter the launcher names
        # (in a cross build, of the target's interpreter that runs the tests).
        interpreter = CACHE["KORVALITH_INSTALL_INTERPRETER"]
        version = subprocess.run([sys.executable if CROSS_BUILD else interpreter, "-c",
                                  "import sys; print('%d.%d' % sys.version_info[:2])"],
                                 capture_output=True, text=True, check=True, timeout=60).stdout.strip()
        self.assertEqual(self.pythondir, "lib/python%s/site-packages" % version)
        self.assertTrue(os.path.isfile(os.path.join(self.site_packages(), MODULE_FILE)))
        self.assertTrue(os.access(self.launcher(), os.X_OK))
        with open(self.launcher(), encoding="utf-8") as launcher:
            self.assertEqual(launcher.readline(), "#!" + interpreter + "\n")
        # The command is the program the build made.
        self.assertTrue(filecmp.cmp(self.program(), program(), shallow=False))
        self.assertTrue(os.access(self.program(), os.X_OK))

    def test_stub_package_is_installed_beside_the_module(self):
        installed = os.path.join(self.site_packages(), "_korvalith-stubs")
        names = sorted(os.listdir(STUB_PACKAGE))
        self.assertEqual(sorted(os.listdir(installed)), names)
        match, mismatch, errors = filecmp.cmpfiles(STUB_PACKAGE, installed, names, shallow=False)
        self.assertEqual((mismatch, errors), ([], []))

    def test_import_through_site_packages(self):
        finished = subprocess.run(
            [sys.executable, "-c",
             "import _korvalith; print(_korvalith.__file__); print(_korvalith.ciphers.rot13.rotate('Hello'))"],
            capture_output=True, text=True, cwd=self.work.name, timeout=60,
            env=clean_environment(PYTHONPATH=self.site_packages()))
        self.assertEqual(finished.returncode, 0, finished.stderr)
        module_file, rotated = finished.stdout.splitlines()
        self.assert_same_file(module_file, os.path.join(self.site_packages(), MODULE_FILE))
        self.assertEqual(rotated, "Uryyb")

    def assert_commands_work(self, prefix):
        finished, module_file = self.run_launcher(prefix, "--version")
        self.assert_same_file(module_file, os.path.join(self.site_packages(prefix), MODULE_FILE))
        self.assertEqual((finished.returncode, finished.stdout), (0, VERSION_TEXT))
        finished, _ = self.run_launcher(prefix, "rot13", "rotate", "-s", "Hello")
        self.assertEqual((finished.returncode, finished.stdout), (0, b"Uryyb\n"))
        finished = subprocess.run([self.program(prefix), "rot13", "rotate", "-s", "Hello"], capture_output=True,
                                  timeout=120, cwd=self.work.name, env=clean_environment())
        self.assertEqual((finished.returncode, finished.stdout, finished.stderr), (0, b"Uryyb\n", b""))

    def test_commands_run_the_installed_module(self):
        self.assert_commands_work(self.prefix)

    def test_commands_follow_a_moved_prefix(self):
        moved = os.path.join(self.work.name, "moved")
        shutil.copytree(self.prefix, moved, symlinks=True)
        try:
            self.assert_commands_work(moved)
        finally:
            shutil.rmtree(moved)


if __name__ == "__main__":
    unittest.main()
