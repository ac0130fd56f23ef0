# The ABI the module is built for, KORVALITH_PYTHON_ABI:
# - "abi3": the stable ABI of CPython 3.10, one file, _korvalith.abi3.so, for
#   that version and every later one that has a global interpreter lock. The
#   default, but under a free-threaded interpreter.
# - "version": the configured interpreter's own ABI, _korvalith plus its
#   extension suffix (.cpython-313t-x86_64-linux-gnu.so): the default under a
#   free-threaded interpreter, whose build has no stable ABI before 3.15.
# - "abi3t": the stable ABI for free-threaded builds of 3.15 and later,
#   which their regular builds load too, _korvalith.abi3t.so, built against
#   the headers of 3.15 or later.
# Sets KORVALITH_MODULE_DEFINITIONS and KORVALITH_MODULE_SUFFIX.
set(korvalith_free_threaded OFF)
foreach(dir IN LISTS Python3_INCLUDE_DIRS)
  if(EXISTS ${dir}/pyconfig.h)
    file(STRINGS ${dir}/pyconfig.h gil_disabled REGEX "^#define Py_GIL_DISABLED 1")
    if(gil_disabled)
      set(korvalith_free_threaded ON)
    endif()
  endif()
endforeach()
if(korvalith_free_threaded)
  set(korvalith_default_abi version)
else()
  set(korvalith_default_abi abi3)
endif()
set(KORVALITH_PYTHON_ABI ${korvalith_default_abi} CACHE STRING
  "The ABI of the module: abi3 (stable ABI of 3.10), version (the interpreter's own), abi3t (3.15's stable ABI for free-threaded builds)")
set_property(CACHE KORVALITH_PYTHON_ABI PROPERTY STRINGS abi3 version abi3t)

if(KORVALITH_PYTHON_ABI STREQUAL "abi3")
  if(korvalith_free_threaded)
    message(FATAL_ERROR "a free-threaded interpreter has no stable ABI of 3.10: build with -DKORVALITH_PYTHON_ABI=version")
  endif()
  set(KORVALITH_MODULE_DEFINITIONS Py_LIMITED_API=0x030A0000)
  set(KORVALITH_MODULE_SUFFIX ".abi3.so")
elseif(KORVALITH_PYTHON_ABI STREQUAL "version")
  if(NOT Python3_SOABI)
    message(FATAL_ERROR "the ABI tag of ${Python3_EXECUTABLE} is unknown (Python3_SOABI)")
  endif()
  set(KORVALITH_MODULE_DEFINITIONS)
  set(KORVALITH_MODULE_SUFFIX ".${Python3_SOABI}.so")
elseif(KORVALITH_PYTHON_ABI STREQUAL "abi3t")
  set(KORVALITH_MODULE_DEFINITIONS Py_TARGET_ABI3T=0x030F0000)
  set(KORVALITH_MODULE_SUFFIX ".abi3t.so")
else()
  message(FATAL_ERROR "KORVALITH_PYTHON_ABI must be abi3, version or abi3t, not ${KORVALITH_PYTHON_ABI}")
endif()
message(STATUS "Python module: _korvalith${KORVALITH_MODULE_SUFFIX}")
