# Runs each .phpt test (--FILE-- and --EXPECT-- sections) with the module loaded and compares the
# output exactly. A debug PHP's leak report on stderr fails the test too.
# With VALGRIND set, each test runs under memcheck and any error it reports fails the test. PHP's
# own allocator is switched off so that every request block is memcheck's; uninitialised-value
# errors are not checked: PHP compares strings a machine word at a time, past their last byte.
file(GLOB tests "${TESTS}/*.phpt")
set(failures 0)
set(launcher)
if(VALGRIND)
  set(ENV{USE_ZEND_ALLOC} 0)
  set(launcher "${VALGRIND}" -q --error-exitcode=99 --undef-value-errors=no --leak-check=full
    --show-leak-kinds=definite --errors-for-leak-kinds=definite)
endif()
foreach(test IN LISTS tests)
  file(READ "${test}" text)
  string(REGEX MATCH "--FILE--\n(.*)--EXPECT--\n" _ "${text}")
  set(code "${CMAKE_MATCH_1}")
  string(REGEX MATCH "--EXPECT--\n(.*)$" _ "${text}")
  set(expected "${CMAKE_MATCH_1}")
  get_filename_component(name "${test}" NAME_WE)
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${name}.php")
  file(WRITE "${script}" "${code}")
  execute_process(COMMAND ${launcher} "${PHP}" -n -d "extension=${MODULE}" "${script}"
    OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE failed)
  string(STRIP "${output}" output)
  string(STRIP "${expected}" expected)
  if(failed OR NOT output STREQUAL expected OR errors MATCHES "Freeing|memory leaks")
    message(SEND_ERROR "${name}: failed (exit ${failed})\n--- expected\n${expected}\n--- got\n${output}\n${errors}")
    math(EXPR failures "${failures} + 1")
  else()
    message(STATUS "${name}: passed")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures} example extension test(s) failed")
endif()
