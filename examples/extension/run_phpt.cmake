# Runs one .phpt test (TEST) with the module loaded and compares its output exactly.
# Sections: --TEST-- (what it shows), --SKIPIF-- (optional: PHP code whose output, when it starts
# with "skip", skips the test with the rest as the reason), --FILE-- and --EXPECT--, each on a line
# of its own, in any order.
# A debug PHP's leak report or failed assertion on stderr fails the test too, as does a non-zero exit.
# With VALGRIND set, the test runs under memcheck and any error it reports fails the test. PHP's
# own allocator is switched off so that every request block is memcheck's; uninitialised-value
# errors are not checked: PHP compares strings a machine word at a time, past their last byte.
file(READ "${TEST}" text)
get_filename_component(name "${TEST}" NAME_WE)
set(php_command "${PHP}" -n -d "extension=${MODULE}")
# The plain and the memcheck run of a test may run at once: each writes its own scripts.
if(VALGRIND)
  set(scripts "${CMAKE_CURRENT_BINARY_DIR}/${name}.memcheck")
else()
  set(scripts "${CMAKE_CURRENT_BINARY_DIR}/${name}")
endif()

# The text of section NAME (up to the next section line or the end) in out; unset when it is absent.
function(section name out)
  string(FIND "${text}" "--${name}--\n" at)
  if(at EQUAL -1)
    unset(${out} PARENT_SCOPE)
    return()
  endif()
  string(LENGTH "--${name}--\n" skip)
  math(EXPR at "${at} + ${skip}")
  string(SUBSTRING "${text}" ${at} -1 rest)
  # The first section line after it ends it (a regex match is the leftmost one).
  string(REGEX MATCH "\n--[A-Z]+--\n" next "${rest}")
  if(next)
    string(FIND "${rest}" "${next}" end)
    string(SUBSTRING "${rest}" 0 ${end} rest)
    set(rest "${rest}\n")
  endif()
  set(${out} "${rest}" PARENT_SCOPE)
endfunction()

# Whether a debug engine complained on stderr: a leaked block or a failed assertion.
function(check_engine_report errors what)
  if(errors MATCHES "Freeing|memory leaks|Assertion")
    message(FATAL_ERROR "${name}: the engine reported a fault in ${what}\n${errors}")
  endif()
endfunction()

set(launcher)
if(VALGRIND)
  set(ENV{USE_ZEND_ALLOC} 0)
  set(launcher "${VALGRIND}" -q --error-exitcode=99 --undef-value-errors=no --leak-check=full
    --show-leak-kinds=definite --errors-for-leak-kinds=definite)
endif()

section(SKIPIF skipif)
if(DEFINED skipif)
  file(WRITE "${scripts}.skipif.php" "${skipif}")
  execute_process(COMMAND ${php_command} "${scripts}.skipif.php"
    OUTPUT_VARIABLE verdict ERROR_VARIABLE errors RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${name}: its --SKIPIF-- section failed (exit ${failed})\n${verdict}\n${errors}")
  endif()
  check_engine_report("${errors}" "its --SKIPIF-- section")
  string(TOLOWER "${verdict}" lowered)
  if(lowered MATCHES "^skip")
    string(SUBSTRING "${verdict}" 4 -1 reason)
    string(STRIP "${reason}" reason)
    message(STATUS "skipped: ${name}: ${reason}")
    return()
  endif()
endif()

section(FILE code)
section(EXPECT expected)
if(NOT DEFINED code OR NOT DEFINED expected)
  message(FATAL_ERROR "${name}: a .phpt test needs a --FILE-- and an --EXPECT-- section")
endif()
file(WRITE "${scripts}.php" "${code}")

execute_process(COMMAND ${launcher} ${php_command} "${scripts}.php"
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE failed)
string(STRIP "${output}" output)
string(STRIP "${expected}" expected)
if(failed OR NOT output STREQUAL expected)
  message(FATAL_ERROR "${name}: failed (exit ${failed})\n--- expected\n${expected}\n--- got\n${output}\n${errors}")
endif()
check_engine_report("${errors}" "the test")
message(STATUS "${name}: passed")
