# Python for a target the host's interpreter cannot load modules for (the
# 32-bit x86 build, and the aarch64 and s390x builds, whose programs run
# under qemu): the module compiles against the target's headers, and a
# small interpreter linked with the target's libpython stands in for
# Python3_EXECUTABLE, so the launcher and the Python tests run under it
# exactly as they run under the host's python3 in a native build.
set(KORVALITH_TARGET_PYTHON_INCLUDE_DIRS "" CACHE STRING
  "Include directories of the target's Python (Python.h and pyconfig.h)")
set(KORVALITH_TARGET_PYTHON_LIBRARY "" CACHE FILEPATH
  "The target's shared libpython, linked by the interpreter")
if(NOT KORVALITH_TARGET_PYTHON_INCLUDE_DIRS OR NOT EXISTS "${KORVALITH_TARGET_PYTHON_LIBRARY}")
  message(FATAL_ERROR
    "KORVALITH_BUILD_INTERPRETER needs KORVALITH_TARGET_PYTHON_INCLUDE_DIRS and "
    "KORVALITH_TARGET_PYTHON_LIBRARY (an existing libpython); got "
    "'${KORVALITH_TARGET_PYTHON_INCLUDE_DIRS}' and '${KORVALITH_TARGET_PYTHON_LIBRARY}'")
endif()
# The packages from PyPI that the tests use (hypothesis), as the target's
# interpreter needs them: wheels built for the target, installed with pip
# into a directory of their own (pip install --target DIRECTORY --platform
# ...), which the tests put on the interpreter's path. The host's wheels of
# a package with compiled parts do not load there.
set(KORVALITH_TARGET_PACKAGES "" CACHE PATH
  "A directory of the target's own packages from PyPI, on the Python tests' path (may be absent)")
foreach(dir IN LISTS KORVALITH_TARGET_PYTHON_INCLUDE_DIRS)
  if(NOT EXISTS "${dir}")
    message(FATAL_ERROR "Python include directory '${dir}' does not exist")
  endif()
endforeach()

set(Python3_INCLUDE_DIRS ${KORVALITH_TARGET_PYTHON_INCLUDE_DIRS})

add_executable(target-python ${PROJECT_SOURCE_DIR}/tools/interpreter.cpp)
target_include_directories(target-python SYSTEM PRIVATE ${Python3_INCLUDE_DIRS})
target_link_libraries(target-python PRIVATE ${KORVALITH_TARGET_PYTHON_LIBRARY})
set_target_properties(target-python PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

set(Python3_EXECUTABLE ${CMAKE_BINARY_DIR}/target-python)
message(STATUS "Target Python: ${KORVALITH_TARGET_PYTHON_LIBRARY}, run through ${Python3_EXECUTABLE}")
