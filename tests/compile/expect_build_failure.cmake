# Builds TARGET in BUILD_DIR and passes when the build fails and its output
# holds every line of the file EXPECTED. The compiler and the linker speak
# plain ASCII (LC_ALL=C), so their quotes are ' and `.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${TARGET}
  OUTPUT_VARIABLE output ERROR_VARIABLE output RESULT_VARIABLE result)
if(result EQUAL 0)
  message(FATAL_ERROR "${TARGET} was built, but it must fail to build:\n${output}")
endif()
file(STRINGS ${EXPECTED} fragments)
foreach(fragment IN LISTS fragments)
  string(FIND "${output}" "${fragment}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "${TARGET} failed to build, but its output lacks\n  ${fragment}\n\n${output}")
  endif()
endforeach()
message(STATUS "${TARGET} failed to build as expected")
