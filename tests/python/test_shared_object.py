"""The built binaries: what the module exports and needs, the korvalith
program, which runs without any interpreter, and the interpreter the Python
launcher names."""

import os
import re
import shutil
import subprocess
import unittest

import _korvalith

import support


def needed_libraries(path):
    """The NEEDED entries of an ELF file's dynamic section."""
    output = subprocess.run(["readelf", "-d", path], capture_output=True, text=True, check=True).stdout
    return [line for line in output.splitlines() if "(NEEDED)" in line]


def loaded_libraries(path):
    """What the dynamic loader maps for the program at `path` when it starts,
    as ldd lists it, asked of the program's own loader (the interpreter its
    header names) with --list: the host's ldd cannot list a program of
    another architecture, which runs under qemu, but that program's loader
    can, and it is the loader ldd runs for a native one. Where the target's
    libraries live in a root of their own (QEMU_LD_PREFIX), so does its
    loader."""
    headers = subprocess.run(["readelf", "-l", path], capture_output=True, text=True, check=True).stdout
    loader = re.search(r"\[Requesting program interpreter: ([^\]]+)\]", headers)[1]
    root = os.environ.get("QEMU_LD_PREFIX")
    if root and os.path.exists(root + loader):
        loader = root + loader
    return subprocess.run([loader, "--list", path], capture_output=True, text=True, check=True).stdout


def elf_target(path):
    """The ELF class (32 or 64 bits) and machine of a file."""
    with open(path, "rb") as file:
        header = file.read(20)
    return header[4], int.from_bytes(header[18:20], "little")


@unittest.skipUnless(shutil.which("nm") and shutil.which("readelf"), "binutils are not installed")
class SharedObjectTest(unittest.TestCase):
    def test_exports_only_the_init_function(self):
        output = subprocess.run(["nm", "-D", "--defined-only", _korvalith.__file__], capture_output=True,
                                text=True, check=True).stdout
        exported = [line.split()[-1] for line in output.splitlines() if line.strip()]
        # The stable ABI of free-threaded builds (.abi3t.so) has its own entry.
        abi3t = support.MODULE_FILE.endswith(".abi3t.so")
        self.assertEqual(exported, ["PyModExport__korvalith" if abi3t else "PyInit__korvalith"])

    def test_does_not_link_libpython(self):
        needed = needed_libraries(_korvalith.__file__)
        self.assertTrue(needed)
        self.assertFalse([line for line in needed if "libpython" in line], needed)

    def test_file_name(self):
        self.assertEqual(os.path.basename(_korvalith.__file__), support.MODULE_FILE)


# The program of the build tree, or the korvalith command an installed wheel
# put into the environment's bin/.
@unittest.skipUnless(shutil.which("readelf"), "binutils are not installed")
class ProgramTest(unittest.TestCase):
    def test_never_loads_libpython(self):
        # Neither the program nor anything it loads at start is libpython.
        needed = needed_libraries(support.program())
        self.assertTrue(needed)
        self.assertFalse([line for line in needed if "python" in line.lower()], needed)
        loaded = loaded_libraries(support.program())
        self.assertIn("libc.so.6", loaded)
        self.assertNotIn("python", loaded.lower())

    def test_built_for_the_module_target(self):
        # The 32-bit build makes a 32-bit program.
        self.assertEqual(elf_target(support.program()), elf_target(_korvalith.__file__))


class LauncherTest(unittest.TestCase):
    def test_names_the_interpreter_itself(self):
        # Not a script that picks an interpreter at every start (a version
        # manager's shim), but the interpreter the build was configured with.
        with open(support.launcher(), "rb") as launcher:
            line = launcher.readline()
        self.assertTrue(line.startswith(b"#!/"), line)
        interpreter = line[2:].strip().decode()
        with open(interpreter, "rb") as file:
            self.assertEqual(file.read(4), b"\x7fELF", interpreter)


if __name__ == "__main__":
    unittest.main()
