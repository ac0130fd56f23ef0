# Install rules for the module, its stub-only package and the command line,
# into a wheel or below an install prefix.
#
# A wheel (scikit-build-core, see pyproject.toml, sets SKBUILD and the
# wheel's directories): the module and the stubs go into its platform library
# directory, and the korvalith program among its scripts, which pip copies
# into the environment's bin/ as it is. The command then starts without an
# interpreter, as the program of a build tree or a prefix does.
if(SKBUILD)
  install(TARGETS _korvalith LIBRARY DESTINATION ${SKBUILD_PLATLIB_DIR})
  install(DIRECTORY stubs/_korvalith-stubs DESTINATION ${SKBUILD_PLATLIB_DIR}
    FILES_MATCHING PATTERN "*.pyi")
  install(TARGETS korvalith RUNTIME DESTINATION ${SKBUILD_SCRIPTS_DIR})
  return()
endif()

# Below a prefix: the module, the stubs, the korvalith program and the Python
# launcher korvalith-python. Both installed Python directories are relative
# to the install prefix, so the prefix given to "cmake --install --prefix"
# decides where they land.
include(GNUInstallDirs)

# The site-packages directory, relative to the prefix, as the configured
# interpreter lays out a prefix installation: the 'platlib' path of its
# posix_prefix scheme. That scheme is named explicitly because some
# distributions make another one the default (Debian's posix_local puts
# packages under local/.../dist-packages). The installed launcher names the
# real interpreter behind Python3_EXECUTABLE (KORVALITH_PYTHON_INTERPRETER),
# not a version-manager shim whose choice of interpreter depends on the
# caller's directory and environment.
#
# A cross build's interpreter is built by this project and does not exist
# yet: there the layout follows the target's Python version, and the
# launcher names that version's interpreter where the target system keeps it.
if(KORVALITH_BUILD_INTERPRETER)
  set(_korvalith_patchlevel "")
  foreach(dir IN LISTS Python3_INCLUDE_DIRS)
    if(EXISTS "${dir}/patchlevel.h")
      file(STRINGS "${dir}/patchlevel.h" _korvalith_patchlevel REGEX "^#define PY_(MAJOR|MINOR)_VERSION")
      break()
    endif()
  endforeach()
  string(REGEX MATCH "PY_MAJOR_VERSION[ \t]+([0-9]+)" _ "${_korvalith_patchlevel}")
  set(_korvalith_major "${CMAKE_MATCH_1}")
  string(REGEX MATCH "PY_MINOR_VERSION[ \t]+([0-9]+)" _ "${_korvalith_patchlevel}")
  set(_korvalith_minor "${CMAKE_MATCH_1}")
  if(NOT _korvalith_major OR NOT _korvalith_minor)
    message(FATAL_ERROR "Could not read the target's Python version from patchlevel.h in ${Python3_INCLUDE_DIRS}")
  endif()
  set(_korvalith_default_pythondir "lib/python${_korvalith_major}.${_korvalith_minor}/site-packages")
  set(_korvalith_default_interpreter "/usr/bin/python${_korvalith_major}.${_korvalith_minor}")
else()
  execute_process(
    COMMAND ${Python3_EXECUTABLE} -c [=[
import os, sys, sysconfig
names = sysconfig.get_scheme_names()
scheme = "posix_prefix" if "posix_prefix" in names else sysconfig.get_default_scheme()
root = os.path.abspath(os.sep + "prefix")
platlib = sysconfig.get_path("platlib", scheme, vars={"base": root, "platbase": root})
print(os.path.relpath(platlib, root).replace(os.sep, "/"))
]=]
    OUTPUT_VARIABLE _korvalith_python_layout
    RESULT_VARIABLE _korvalith_python_result
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT _korvalith_python_result EQUAL 0)
    message(FATAL_ERROR "Could not ask ${Python3_EXECUTABLE} for its site-packages layout")
  endif()
  set(_korvalith_default_pythondir "${_korvalith_python_layout}")
  set(_korvalith_default_interpreter "${KORVALITH_PYTHON_INTERPRETER}")
endif()

set(KORVALITH_INSTALL_PYTHONDIR "${_korvalith_default_pythondir}" CACHE STRING
  "Where the module and its stubs are installed (relative to the install prefix, or absolute)")
set(KORVALITH_INSTALL_INTERPRETER "${_korvalith_default_interpreter}" CACHE FILEPATH
  "Interpreter named by the installed Python launcher's #! line")

# The installed launcher finds the installed module from its own location,
# so the prefix can be anything and can even be moved after installation.
if(IS_ABSOLUTE "${KORVALITH_INSTALL_PYTHONDIR}")
  set(KORVALITH_INSTALLED_MODULE_DIR "\"${KORVALITH_INSTALL_PYTHONDIR}\"")
else()
  file(RELATIVE_PATH _korvalith_bin_to_pythondir
    "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${KORVALITH_INSTALL_PYTHONDIR}")
  set(KORVALITH_INSTALLED_MODULE_DIR
    "os.path.join(os.path.dirname(os.path.realpath(__file__)), \"${_korvalith_bin_to_pythondir}\")")
endif()
configure_file(cmake/korvalith-installed.in ${CMAKE_BINARY_DIR}/install/korvalith-python @ONLY)

install(TARGETS _korvalith LIBRARY DESTINATION ${KORVALITH_INSTALL_PYTHONDIR})
install(DIRECTORY stubs/_korvalith-stubs DESTINATION ${KORVALITH_INSTALL_PYTHONDIR}
  FILES_MATCHING PATTERN "*.pyi")
install(TARGETS korvalith RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${CMAKE_BINARY_DIR}/install/korvalith-python DESTINATION ${CMAKE_INSTALL_BINDIR})
