# Runs the fuzz target for a bounded time over a scratch corpus seeded from the committed one.
file(MAKE_DIRECTORY "${WORK}")
execute_process(
  COMMAND "${FUZZER}" -max_total_time=${SECONDS} -print_final_stats=1 -timeout=10 "${WORK}" "${SEEDS}"
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the fuzz target found a fault (its input is saved as crash-* in the working directory)")
endif()
