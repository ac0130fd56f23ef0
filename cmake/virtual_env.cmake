# The presets build for the interpreter of the virtual environment that is
# active when they configure: they pass $VIRTUAL_ENV as KORVALITH_VIRTUAL_ENV,
# so activating an environment and configuring again (the workflow does)
# switches a build directory made for another interpreter to it. An
# interpreter given with -DPython3_EXECUTABLE stays as given. Without the
# presets, FindPython3 chooses as usual: the active environment's on the
# first configure, then the one it cached.
if(KORVALITH_VIRTUAL_ENV AND NOT DEFINED CACHE{Python3_EXECUTABLE})
  set(Python3_EXECUTABLE "${KORVALITH_VIRTUAL_ENV}/bin/python")
endif()

# After find_package(Python3): says which interpreter the Python tests run
# under when that changed since the last configure, and whether the tests
# check that it is the active environment's (tests/CMakeLists.txt).
function(korvalith_report_virtual_env)
  if(DEFINED CACHE{KORVALITH_CONFIGURED_PYTHON} AND NOT KORVALITH_CONFIGURED_PYTHON STREQUAL Python3_EXECUTABLE)
    message(STATUS "Python tests: now under ${Python3_EXECUTABLE} (before: ${KORVALITH_CONFIGURED_PYTHON})")
  endif()
  set(KORVALITH_CONFIGURED_PYTHON "${Python3_EXECUTABLE}" CACHE INTERNAL "The interpreter of the last configure")
  if(DEFINED KORVALITH_VIRTUAL_ENV AND NOT DEFINED CACHE{Python3_EXECUTABLE})
    set(KORVALITH_FOLLOWS_VIRTUAL_ENV ON PARENT_SCOPE)
  else()
    set(KORVALITH_FOLLOWS_VIRTUAL_ENV OFF PARENT_SCOPE)
  endif()
endfunction()
