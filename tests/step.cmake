# step(what COMMAND... [DIR dir] [WANT_FAILURE]): runs a command in dir (default WORK); on failure
# stops with its output, and WANT_FAILURE turns that around. Leaves the output in step_output.
function(step what)
  cmake_parse_arguments(arg "WANT_FAILURE" "DIR" "" ${ARGN})
  if(NOT arg_DIR)
    set(arg_DIR "${WORK}")
  endif()
  execute_process(COMMAND ${arg_UNPARSED_ARGUMENTS} WORKING_DIRECTORY "${arg_DIR}"
    RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(arg_WANT_FAILURE AND NOT failed)
    message(FATAL_ERROR "${what}: succeeded, but must not\n${output}")
  elseif(failed AND NOT arg_WANT_FAILURE)
    message(FATAL_ERROR "${what}: failed (${failed})\n${output}")
  endif()
  message(STATUS "${what}: as expected")
  set(step_output "${output}" PARENT_SCOPE)
endfunction()
