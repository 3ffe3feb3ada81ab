# Builds the example extension as most PHP extensions are built, phpize && ./configure && make with
# its config.m4, against this build installed into a scratch prefix; then runs every .phpt test with
# that module. BUILD, WORK, PHP_CONFIG, PHP and TESTS (a directory) are given.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../tests/step.cmake)

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/src")
set(prefix "${WORK}/prefix")
step("install" ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${prefix}")
file(GLOB libdir LIST_DIRECTORIES true "${prefix}/lib*")
file(COPY ${CMAKE_CURRENT_LIST_DIR}/config.m4 ${CMAKE_CURRENT_LIST_DIR}/corvane_example.cpp DESTINATION "${WORK}/src")

# phpize sits beside its php-config, with the same suffix (Debian's php-config8.2, phpize8.2).
get_filename_component(bindir "${PHP_CONFIG}" DIRECTORY)
get_filename_component(config_name "${PHP_CONFIG}" NAME)
string(REPLACE "php-config" "phpize" phpize_name "${config_name}")
set(phpize "${bindir}/${phpize_name}")
if(NOT EXISTS "${phpize}")
  message(FATAL_ERROR "no phpize beside ${PHP_CONFIG}")
endif()
set(env ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH "PKG_CONFIG_PATH=${libdir}/pkgconfig")
step("phpize" ${env} "${phpize}" DIR "${WORK}/src")
step("./configure" ${env} ./configure "--with-php-config=${PHP_CONFIG}" DIR "${WORK}/src")
step("make" ${env} make -j2 DIR "${WORK}/src")
set(module "${WORK}/src/modules/corvane_example.so")

file(GLOB tests "${TESTS}/*.phpt")
set(failed "")
foreach(test IN LISTS tests)
  execute_process(COMMAND ${CMAKE_COMMAND} -DPHP=${PHP} -DMODULE=${module} -DTEST=${test}
      -P ${CMAKE_CURRENT_LIST_DIR}/run_phpt.cmake
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(result)
    string(APPEND failed "${output}\n")
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "the phpize-built module failed:\n${failed}")
endif()
list(LENGTH tests count)
message(STATUS "the phpize-built module passed ${count} .phpt files")
