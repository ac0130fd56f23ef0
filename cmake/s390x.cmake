# Toolchain for 64-bit IBM Z Linux (s390x), the big-endian target, cross-built
# on an x86-64 Debian host with Debian's cross compiler
# (g++-s390x-linux-gnu). The target's libraries (libpython3.11-dev,
# libstdc++6, libgtest-dev, libbenchmark-dev and what they need) cannot come
# through multiarch on an updated host, whose security updates the s390x
# archive lacks, so tools/target_root.sh unpacks them into a root of their
# own, KORVALITH_TARGET_ROOT. The results run under qemu's user-mode
# emulation with that root as QEMU_LD_PREFIX: qemu finds the target's loader
# and libraries there, and any file a program opens (the Python standard
# library) there first. The test preset sets it for every test; the C++
# tests that CTest starts itself get it through CMAKE_CROSSCOMPILING_EMULATOR
# too.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)

set(CMAKE_C_COMPILER s390x-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER s390x-linux-gnu-g++)

# Handed on to the projects that try_compile() configures, which read this file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KORVALITH_TARGET_ROOT)
set(KORVALITH_TARGET_ROOT "" CACHE PATH
  "The s390x root that tools/target_root.sh made: the target's Python, GoogleTest and Google Benchmark")
if(NOT IS_DIRECTORY "${KORVALITH_TARGET_ROOT}/usr/lib/s390x-linux-gnu")
  message(FATAL_ERROR "KORVALITH_TARGET_ROOT ('${KORVALITH_TARGET_ROOT}') holds no s390x libraries: "
    "make it with tools/target_root.sh s390x DIRECTORY (nox -s s390x does)")
endif()

# The root is the compiler's sysroot: the target's headers (Python's
# pyconfig.h includes its multiarch one from there) and libraries come from
# it, the C and C++ runtimes from the cross compiler, which searches its own
# directories first, and libpython's own needs are found in it when linking.
# GoogleTest and Google Benchmark are found below its multiarch directories;
# programs (nm, the host's tools) come from the host.
set(CMAKE_SYSROOT ${KORVALITH_TARGET_ROOT})
set(CMAKE_LIBRARY_ARCHITECTURE s390x-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(KORVALITH_QEMU NAMES qemu-s390x-static qemu-s390x
  DOC "qemu's user-mode emulator of s390x, which runs the tests")
if(KORVALITH_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KORVALITH_QEMU} -L ${KORVALITH_TARGET_ROOT})
endif()
