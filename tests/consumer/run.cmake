# Builds and runs, with one compiler (CXX), what the README tells an extension's author to write:
#  - against an install of the build (BUILD) into a scratch prefix: the consumer project with CMake,
#    then the README's pkg-config command lines;
#  - from the source tree (CORVANE_SOURCE), a parent project that add_subdirectory()s corvane.
# Every program runs without LD_LIBRARY_PATH: binaries find libcorvane7.3.so the README's way.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../readme/code_blocks.cmake)
set(README "${CORVANE_SOURCE}/README.md")
set(run_clean ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH --unset=CMAKE_BUILD_TYPE)

include(${CMAKE_CURRENT_LIST_DIR}/../step.cmake)

# The consumer's sources: this directory, plus myext.cpp taken from the README's first sample.
function(write_sources dir)
  file(COPY ${SOURCE}/my_test.cpp ${SOURCE}/load_module.cpp DESTINATION "${dir}")
  code_block("${README}" cpp "ZendArray nested()" sample)
  file(WRITE "${dir}/myext.cpp" "${sample}")
endfunction()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(prefix "${WORK}/prefix")
foreach(component Unspecified standin)
  step("install (${component})" ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${prefix}" --component ${component})
endforeach()

# --- CMake, with find_package ----------------------------------------------------------------------
code_block("${README}" cmake "find_package(corvane" readme_cmake)
file(READ "${SOURCE}/CMakeLists.txt" consumer_cmake)
string(REPLACE "\n" ";" readme_lines "${readme_cmake}")
foreach(line IN LISTS readme_lines)
  string(FIND "${consumer_cmake}" "\n${line}\n" found)
  if(line AND found EQUAL -1)
    message(FATAL_ERROR "tests/consumer/CMakeLists.txt lacks the README's line\n${line}")
  endif()
endforeach()
file(COPY "${SOURCE}/CMakeLists.txt" DESTINATION "${WORK}/cmake")
write_sources("${WORK}/cmake")
step("CMake: configure" ${run_clean} ${CMAKE_COMMAND} -S "${WORK}/cmake" -B "${WORK}/cmake/build" -G Ninja
  -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_INSTALL_PREFIX=${WORK}/cmake/installed)
step("CMake: build" ${CMAKE_COMMAND} --build "${WORK}/cmake/build")
step("CMake: test program" ${run_clean} "${WORK}/cmake/build/my_test")
step("CMake: module in the build tree loads" ${run_clean} "${WORK}/cmake/build/load_module" "${WORK}/cmake/build/myext.so")
step("CMake: install the module" ${CMAKE_COMMAND} --install "${WORK}/cmake/build")
step("CMake: installed module loads" ${run_clean} "${WORK}/cmake/build/load_module" "${WORK}/cmake/installed/modules/myext.so")
set(load_module "${WORK}/cmake/build/load_module")

# --- pkg-config: the README's command lines as they stand, with c++ being CXX ------------------------
code_block("${README}" sh "pkg-config" readme_sh)
write_sources("${WORK}/pkg-config")
file(MAKE_DIRECTORY "${WORK}/pkg-config/bin")
file(CREATE_LINK "${CXX}" "${WORK}/pkg-config/bin/c++" SYMBOLIC)
file(GLOB pc_dir "${prefix}/lib*/pkgconfig")
step("pkg-config: the README's commands" ${run_clean} "PATH=${WORK}/pkg-config/bin:$ENV{PATH}" "PKG_CONFIG_PATH=${pc_dir}"
  sh -e -x -c "${readme_sh}" DIR "${WORK}/pkg-config")
step("pkg-config: test program" ${run_clean} "${WORK}/pkg-config/my_test")
step("pkg-config: module loads" ${run_clean} "${load_module}" "${WORK}/pkg-config/myext.so")
# A later standard after the package's -std=c++17, as the README offers.
step("pkg-config: as C++20" ${run_clean} "PKG_CONFIG_PATH=${pc_dir}"
  sh -e -c "${CXX} -fsyntax-only -Wall -Wextra -Werror $(pkg-config --cflags corvane-standin) -std=c++20 myext.cpp my_test.cpp"
  DIR "${WORK}/pkg-config")
# The load check can fail: the same module without the rpath is not found.
step("pkg-config: module without the rpath" ${run_clean} "PKG_CONFIG_PATH=${pc_dir}"
  sh -e -c "${CXX} -shared -fPIC -o no_rpath.so myext.cpp $(pkg-config --cflags --libs corvane7.3)" DIR "${WORK}/pkg-config")
step("pkg-config: module without the rpath does not load" ${run_clean} "${load_module}" "${WORK}/pkg-config/no_rpath.so"
  WANT_FAILURE)

# --- add_subdirectory() ------------------------------------------------------------------------------
file(COPY "${SOURCE}/subdirectory/CMakeLists.txt" DESTINATION "${WORK}/parent")
write_sources("${WORK}/parent")
set(parent_build "${WORK}/parent/build")
set(parent_options -DCMAKE_CXX_COMPILER=${CXX} -DCORVANE_SOURCE=${CORVANE_SOURCE})
if(PHP_CONFIG)
  list(APPEND parent_options -DCORVANE_PHP_CONFIG=${PHP_CONFIG})
endif()
step("add_subdirectory: configure" ${run_clean} ${CMAKE_COMMAND} -S "${WORK}/parent" -B "${parent_build}" -G Ninja
  ${parent_options})
step("add_subdirectory: build (the library alone)" ${CMAKE_COMMAND} --build "${parent_build}")
step("add_subdirectory: tests" ${CMAKE_CTEST_COMMAND} -N DIR "${parent_build}")
if(NOT step_output MATCHES "parent_only" OR NOT step_output MATCHES "Total Tests: 1\n")
  message(FATAL_ERROR "the parent project has tests of corvane's:\n${step_output}")
endif()
step("add_subdirectory: configure with the stand-in" ${run_clean} ${CMAKE_COMMAND} -S "${WORK}/parent" -B "${parent_build}"
  -DASK_FOR_STANDIN=ON)
step("add_subdirectory: build with the stand-in" ${CMAKE_COMMAND} --build "${parent_build}")
step("add_subdirectory: test program" ${run_clean} "${parent_build}/my_test")
