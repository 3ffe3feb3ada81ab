# Compiles each case of positions.cpp with every C++ compiler given, against the engine declarations
# of the build (FLAGS): case 0 (items()) must compile; the walks through positions must compile for
# PHP 7.3 and be refused for PHP 8.2 (ENGINE), with an error that names items().
separate_arguments(COMPILERS)
separate_arguments(FLAGS)
foreach(compiler IN LISTS COMPILERS)
  foreach(case RANGE 0 6)
    execute_process(
      COMMAND ${compiler} -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I${INCLUDE} ${FLAGS} -DCASE=${case}
        ${SOURCE}
      RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(case EQUAL 0 OR ENGINE STREQUAL "7.3")
      if(failed)
        message(FATAL_ERROR "${compiler}, PHP ${ENGINE}: case ${case} no longer compiles:\n${out}")
      endif()
    elseif(NOT failed)
      message(FATAL_ERROR "${compiler}, PHP ${ENGINE}: case ${case} walks through positions and compiled")
    elseif(NOT out MATCHES "walk with items\\(\\)")
      message(FATAL_ERROR "${compiler}, PHP ${ENGINE}: case ${case} was refused without naming items():\n${out}")
    endif()
  endforeach()
  message(STATUS "${compiler}: positions on PHP ${ENGINE} as they should be")
endforeach()
