# Toolchain for 64-bit ARM Linux (aarch64), cross-built on an x86-64 Debian
# host with Debian's cross compiler (g++-aarch64-linux-gnu) and the arm64
# multiarch packages (libpython3.11-dev:arm64, libstdc++6:arm64,
# libgtest-dev:arm64, libbenchmark-dev:arm64), which install beside the
# host's own. The results run under qemu's user-mode emulation: through the
# kernel's binfmt_misc handler (qemu-user-static with binfmt-support), which
# every child process the tests start needs, and, for the C++ tests that
# CTest starts itself, through CMAKE_CROSSCOMPILING_EMULATOR as well.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Libraries come from the arm64 multiarch directories; programs (nm, the
# host's tools) from the host.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

find_program(KORVALITH_QEMU NAMES qemu-aarch64-static qemu-aarch64
  DOC "qemu's user-mode emulator of aarch64, which runs the tests")
if(KORVALITH_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KORVALITH_QEMU})
endif()
