# Toolchain for 32-bit x86 Linux, built on an x86-64 Debian host with
# Debian's cross compiler (g++-i686-linux-gnu) and the i386 multiarch
# packages (libpython3.11-dev:i386, libstdc++6:i386, libgtest-dev:i386,
# libbenchmark-dev:i386). The cross compiler, not the multilib one
# (g++ -m32): Debian's multilib compilers cannot be installed beside its
# cross compilers for aarch64 and s390x, and the cross compiler searches the
# i386 multiarch directories all the same.
# The host runs the result natively, so tests execute without an emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)

# Libraries come from the i386 multiarch directories; programs (nm, the
# host's tools) from the host.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
