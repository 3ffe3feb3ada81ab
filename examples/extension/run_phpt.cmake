# Runs one .phpt test (TEST) with the module loaded and compares its output exactly.
# Sections: --TEST-- (what it shows), --SKIPIF-- (optional: PHP code whose output, when it starts
# with "skip", skips the test with the rest as the reason), --FILE-- and --EXPECT--.
# A debug PHP's leak report or failed assertion on stderr fails the test too, as does a non-zero exit.
# With VALGRIND set, the test runs under memcheck and any error it reports fails the test. PHP's
# own allocator is switched off so that every request block is memcheck's; uninitialised-value
# errors are not checked: PHP compares strings a machine word at a time, past their last byte.
file(READ "${TEST}" text)
get_filename_component(name "${TEST}" NAME_WE)
set(php_command "${PHP}" -n -d "extension=${MODULE}")

if(text MATCHES "--SKIPIF--\n(.*)--FILE--\n")
  set(skipif "${CMAKE_CURRENT_BINARY_DIR}/${name}.skipif.php")
  file(WRITE "${skipif}" "${CMAKE_MATCH_1}")
  execute_process(COMMAND ${php_command} "${skipif}" OUTPUT_VARIABLE verdict RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${name}: its --SKIPIF-- section failed (exit ${failed})\n${verdict}")
  endif()
  if(verdict MATCHES "^skip(.*)")
    string(STRIP "${CMAKE_MATCH_1}" reason)
    message(STATUS "skipped: ${name}: ${reason}")
    return()
  endif()
endif()

string(REGEX MATCH "--FILE--\n(.*)--EXPECT--\n" _ "${text}")
set(code "${CMAKE_MATCH_1}")
string(REGEX MATCH "--EXPECT--\n(.*)$" _ "${text}")
set(expected "${CMAKE_MATCH_1}")
set(script "${CMAKE_CURRENT_BINARY_DIR}/${name}.php")
file(WRITE "${script}" "${code}")

set(launcher)
if(VALGRIND)
  set(ENV{USE_ZEND_ALLOC} 0)
  set(launcher "${VALGRIND}" -q --error-exitcode=99 --undef-value-errors=no --leak-check=full
    --show-leak-kinds=definite --errors-for-leak-kinds=definite)
endif()
execute_process(COMMAND ${launcher} ${php_command} "${script}"
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE failed)
string(STRIP "${output}" output)
string(STRIP "${expected}" expected)
if(failed OR NOT output STREQUAL expected OR errors MATCHES "Freeing|memory leaks|Assertion")
  message(FATAL_ERROR "${name}: failed (exit ${failed})\n--- expected\n${expected}\n--- got\n${output}\n${errors}")
endif()
message(STATUS "${name}: passed")
