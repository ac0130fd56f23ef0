"""Builds the korvalith wheel: the extension module, built by the project's
own CMake configuration (the "wheel" configure preset: optimised, limited
API, version script), the stub-only package _korvalith-stubs and the
`korvalith` command (pyproject.toml holds the rest of the metadata).

The wheel is tagged cp310-abi3: its one module serves CPython 3.10 and
later. By default it is built for the machine's own platform. Setting
KORVALITH_WHEEL_PLATFORM=linux_i686 builds the 32-bit x86 module instead,
with the "wheel-i386" preset (the i386 toolchain, against Debian's i386
Python headers), and tags the wheel linux_i686.
"""

import os
import re
import shutil
import subprocess
import sys
import sysconfig

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

try:
    from setuptools.command.bdist_wheel import bdist_wheel
except ImportError:  # setuptools before 70.1 gets the command from wheel
    from wheel.bdist_wheel import bdist_wheel

SOURCE_DIR = os.path.dirname(os.path.abspath(__file__))
MODULE_FILE = "_korvalith.abi3.so"
# Platform tags that need a configure preset of their own (a cross build);
# any other build is native and uses the "wheel" preset.
CROSS_PRESETS = {"linux_i686": "wheel-i386"}


def project_version():
    """The version declared by project() in CMakeLists.txt, the one place
    the project keeps it."""
    with open(os.path.join(SOURCE_DIR, "CMakeLists.txt"), encoding="utf-8") as lists:
        match = re.search(r"^project\(korvalith\s+VERSION\s+([0-9]+(?:\.[0-9]+)*)\b", lists.read(), re.MULTILINE)
    if match is None:
        sys.exit("error: CMakeLists.txt declares no project version")
    return match[1]


def wheel_platform():
    """The platform tag asked for with KORVALITH_WHEEL_PLATFORM, or None for
    the machine's own."""
    platform = os.environ.get("KORVALITH_WHEEL_PLATFORM") or None
    native = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    if platform == native:
        return None
    if platform is not None and platform not in CROSS_PRESETS:
        sys.exit("error: KORVALITH_WHEEL_PLATFORM=%s is not one of: %s"
                 % (platform, ", ".join(sorted(set(CROSS_PRESETS) | {native}))))
    return platform


class CMakeBuildExt(build_ext):
    """Builds the module with CMake and puts it where setuptools packs it."""

    def build_extension(self, ext):
        for tool in ("cmake", "ninja"):
            if shutil.which(tool) is None:
                sys.exit("error: building korvalith needs %s (and g++ and the Python development "
                         "headers) on the PATH" % tool)
        platform = wheel_platform()
        preset = CROSS_PRESETS[platform] if platform else "wheel"
        build_dir = os.path.join(os.path.abspath(self.build_temp), "cmake")
        configure = ["cmake", "--preset", preset, "-S", SOURCE_DIR, "-B", build_dir]
        if platform is None:
            # The module is built against the headers of the interpreter that
            # runs this build; a cross build names its target's Python in its
            # preset.
            configure.append("-DPython3_EXECUTABLE=" + sys.executable)
        subprocess.run(configure, cwd=SOURCE_DIR, check=True)
        subprocess.run(["cmake", "--build", build_dir, "--target", "_korvalith"], check=True)

        destination = self.get_ext_fullpath(ext.name)
        if os.path.basename(destination) != MODULE_FILE:
            sys.exit("error: setuptools names the module %s, CMake builds %s"
                     % (os.path.basename(destination), MODULE_FILE))
        os.makedirs(os.path.dirname(destination), exist_ok=True)
        shutil.copyfile(os.path.join(build_dir, MODULE_FILE), destination)


class AbiWheel(bdist_wheel):
    """A cp310-abi3 wheel, for the platform KORVALITH_WHEEL_PLATFORM names."""

    def finalize_options(self):
        if self.plat_name is None:
            self.plat_name = wheel_platform()
        if not self.py_limited_api:
            self.py_limited_api = "cp310"
        super().finalize_options()


# setuptools' own build directory would be "build", which is the CMake build
# tree of the default preset; build-wheel keeps the two apart. A cross build
# gets a directory of its own, as its module differs.
BUILD_BASE = "build-wheel" + ("-" + wheel_platform() if wheel_platform() else "")

setup(
    version=project_version(),
    ext_modules=[Extension("_korvalith", sources=[], py_limited_api=True)],
    packages=["_korvalith-stubs"],
    package_dir={"_korvalith-stubs": "stubs/_korvalith-stubs"},
    package_data={"_korvalith-stubs": ["*.pyi"]},
    cmdclass={"build_ext": CMakeBuildExt, "bdist_wheel": AbiWheel},
    options={"build": {"build_base": BUILD_BASE}},
)
