"""The built shared object: what it exports and what it needs."""

import shutil
import subprocess
import unittest

import _korvalith


@unittest.skipUnless(shutil.which("nm") and shutil.which("readelf"), "binutils are not installed")
class SharedObjectTest(unittest.TestCase):
    def test_exports_only_the_init_function(self):
        output = subprocess.run(["nm", "-D", "--defined-only", _korvalith.__file__], capture_output=True,
                                text=True, check=True).stdout
        exported = [line.split()[-1] for line in output.splitlines() if line.strip()]
        self.assertEqual(exported, ["PyInit__korvalith"])

    def test_does_not_link_libpython(self):
        output = subprocess.run(["readelf", "-d", _korvalith.__file__], capture_output=True, text=True,
                                check=True).stdout
        needed = [line for line in output.splitlines() if "(NEEDED)" in line]
        self.assertTrue(needed)
        self.assertFalse([line for line in needed if "libpython" in line], needed)

    def test_file_name(self):
        self.assertTrue(_korvalith.__file__.endswith("_korvalith.abi3.so"))


if __name__ == "__main__":
    unittest.main()
