# Compiles each case of views_of_temporaries.cpp with every C++ compiler given: case 0 must compile,
# the others must be refused with the message that says to keep the handle.
separate_arguments(COMPILERS)
separate_arguments(FLAGS)
foreach(compiler IN LISTS COMPILERS)
  foreach(case RANGE 0 3)
    execute_process(
      COMMAND ${compiler} -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I${INCLUDE} ${FLAGS} -DCASE=${case}
        ${SOURCE}
      RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(case EQUAL 0)
      if(failed)
        message(FATAL_ERROR "${compiler}: views of named handles no longer compile:\n${out}")
      endif()
    elseif(NOT failed)
      message(FATAL_ERROR "${compiler}: case ${case}, a view of a temporary, compiled")
    elseif(NOT out MATCHES "keep the handle in a variable")
      message(FATAL_ERROR "${compiler}: case ${case} was refused without saying why:\n${out}")
    endif()
  endforeach()
  message(STATUS "${compiler}: views of temporaries refused")
endforeach()
