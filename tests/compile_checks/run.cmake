# Compiles each case of null_arguments.cpp with every C++ compiler given: case 0 must compile,
# every other case must be refused, mentioning NULL or the ambiguity it causes.
separate_arguments(COMPILERS)
foreach(compiler IN LISTS COMPILERS)
  foreach(case RANGE 0 11)
    set(reason "NULL|ambiguous")
    if(case EQUAL 9)
      set(reason "operator==|invalid operands")
    endif()
    execute_process(
      COMMAND ${compiler} -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I${INCLUDE} -DCASE=${case} ${SOURCE}
      RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(case EQUAL 11 AND NOT compiler MATCHES "clang")
      if(failed)
        message(FATAL_ERROR "${compiler}: ZVal(0L) no longer compiles:\n${out}")
      endif()
    elseif(case EQUAL 0)
      if(failed)
        message(FATAL_ERROR "${compiler}: integer arguments no longer compile:\n${out}")
      endif()
    elseif(NOT failed)
      message(FATAL_ERROR "${compiler}: case ${case} compiled (NULL taken as 0, or handles compared)")
    elseif(NOT out MATCHES "${reason}")
      message(FATAL_ERROR "${compiler}: case ${case} failed for another reason:\n${out}")
    endif()
  endforeach()
  # Without -Werror, g++ still says so: a NULL value is never silent.
  execute_process(
    COMMAND ${compiler} -std=c++17 -fsyntax-only -I${INCLUDE} -DCASE=7 ${SOURCE}
    RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT out MATCHES "NULL")
    message(FATAL_ERROR "${compiler}: ZVal(NULL) compiled without a word")
  endif()
  message(STATUS "${compiler}: NULL refused in every case")
endforeach()
