# Sorts the core sources by their Python section: writes to OUTPUT, one a
# line, those of the sources listed in SOURCES (a file, one a line) that hold
# a line with KORVALITH_WITH_PYTHON. The file is rewritten only when the list
# changes, so that the build configures again only then (CMakeLists.txt).
# Run by CMakeLists.txt while configuring and by the build whenever a core
# source changed.
file(STRINGS ${SOURCES} sources)
set(with_section "")
foreach(source IN LISTS sources)
  file(STRINGS ${source} python_section REGEX "KORVALITH_WITH_PYTHON")
  if(python_section)
    string(APPEND with_section "${source}\n")
  endif()
endforeach()
file(CONFIGURE OUTPUT ${OUTPUT} CONTENT "${with_section}")
