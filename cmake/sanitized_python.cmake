# Runs the Python tests against the sanitized module. The interpreter itself
# is not instrumented, so:
# - the AddressSanitizer runtime that matches the compiler is preloaded (it
#   must come first in the process, before the module pulls it in);
# - Python's own allocator is switched off, so every object goes through
#   malloc and the sanitizer sees each one;
# - the real interpreter binary is run, not a wrapper script around it (a
#   shell wrapper would run under the preloaded runtime as well);
# - a sanitizer finding ends a process with status 99, which no run of the
#   command line ends with by itself (0, 1 or 2), so a test that expects a
#   failing status cannot mistake a finding in the launched program for it;
# - KORVALITH_SANITIZED tells the tests that cannot run under AddressSanitizer
#   (those that cap the address space) to skip.
# LeakSanitizer suppresses only the interpreter's own leaks (see the file).
# The runtime does not intercept __tls_get_addr: with this glibc, the
# dynamic thread-local blocks it records from that call can be bogus (a
# block from 0xc5f to 0x2000001d61), and LeakSanitizer's scan of them at
# exit then crashes its own tracer ("Tracer caught signal 11"), which ends
# the process with status 99 though nothing leaked. The blocks stay reachable
# through the thread's static TLS, which is still scanned.

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  message(FATAL_ERROR "KORVALITH_SANITIZE preloads GCC's libasan: configure with g++")
endif()

execute_process(
  COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
  OUTPUT_VARIABLE KORVALITH_ASAN_RUNTIME OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
if(NOT IS_ABSOLUTE "${KORVALITH_ASAN_RUNTIME}" OR NOT EXISTS "${KORVALITH_ASAN_RUNTIME}")
  message(FATAL_ERROR "the AddressSanitizer runtime of ${CMAKE_CXX_COMPILER} was not found")
endif()

execute_process(
  COMMAND ${Python3_EXECUTABLE} -c "import os, sys; print(os.path.realpath(sys.executable))"
  OUTPUT_VARIABLE KORVALITH_PYTHON_TEST_INTERPRETER OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
# The real binary does not see the configured interpreter's virtual
# environment: its site-packages, where the pinned tools of the tests are,
# goes on the path after the build directory.
execute_process(
  COMMAND ${Python3_EXECUTABLE} -c "import sysconfig; print(sysconfig.get_path('purelib'))"
  OUTPUT_VARIABLE KORVALITH_CONFIGURED_SITE_PACKAGES OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
list(TRANSFORM KORVALITH_PYTHON_TEST_ENVIRONMENT REPLACE "^PYTHONPATH=.*"
  "PYTHONPATH=${CMAKE_BINARY_DIR}:${KORVALITH_CONFIGURED_SITE_PACKAGES}")

set(KORVALITH_LSAN_SUPPRESSIONS ${CMAKE_CURRENT_SOURCE_DIR}/sanitizers/lsan.supp)
list(APPEND KORVALITH_PYTHON_TEST_ENVIRONMENT
  LD_PRELOAD=${KORVALITH_ASAN_RUNTIME}
  PYTHONMALLOC=malloc
  "ASAN_OPTIONS=exitcode=99:detect_leaks=1:check_initialization_order=1:strict_string_checks=1:detect_stack_use_after_return=1:intercept_tls_get_addr=0"
  "LSAN_OPTIONS=exitcode=99:suppressions=${KORVALITH_LSAN_SUPPRESSIONS}:print_suppressions=0"
  "UBSAN_OPTIONS=exitcode=99:print_stacktrace=1:halt_on_error=1"
  KORVALITH_SANITIZED=1)

# Tests that load third-party extension modules (reference implementations)
# unwind allocation stacks from debug information instead of frame pointers,
# which the interpreter lacks: the stacks of those libraries' own leaks then
# reach the libraries' frames, which the suppressions name. It costs too much
# time to do everywhere; elsewhere no suppression can match, so nothing is
# hidden.
function(korvalith_unwind_leaks_in_full)
  foreach(test IN LISTS ARGN)
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT_MODIFICATION
      "ASAN_OPTIONS=string_append::fast_unwind_on_malloc=0")
  endforeach()
endfunction()
