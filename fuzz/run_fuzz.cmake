# Runs the fuzz target for a bounded time over a scratch corpus seeded from the committed one, in
# slices of at most 10 s with a line after each, so that a long run shows that it is alive.
file(MAKE_DIRECTORY "${WORK}")
set(done 0)
while(done LESS SECONDS)
  math(EXPR slice "${SECONDS} - ${done}")
  if(slice GREATER 10)
    set(slice 10)
  endif()
  execute_process(
    COMMAND "${FUZZER}" -max_total_time=${slice} -print_final_stats=1 -timeout=10 "${WORK}" "${SEEDS}"
    RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
  math(EXPR done "${done} + ${slice}")
  string(REGEX MATCH "stat::number_of_executed_units: *[0-9]+" runs "${log}")
  string(REGEX REPLACE "[^0-9]" "" runs "${runs}")
  if(failed)
    message("${log}")
    message(FATAL_ERROR "the fuzz target found a fault (its input is saved as crash-* in the working directory)")
  endif()
  message(STATUS "fuzz: ${done} of ${SECONDS} s, ${runs} programs in the last slice, no fault")
endwhile()
