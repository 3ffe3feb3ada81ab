# Installs the build (BUILD) into a scratch prefix and uses it as an extension for the PHP of
# PHP_CONFIG would: the files are named after the engine version (VERSION), pkg-config's
# corvaneVERSION gives that PHP's flags, and the CMake package picks this build for that PHP and
# refuses a version that is not installed.
cmake_minimum_required(VERSION 3.25)
set(run_clean ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH --unset=CMAKE_BUILD_TYPE)

include(${CMAKE_CURRENT_LIST_DIR}/../step.cmake)

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(prefix "${WORK}/prefix")
step("install" ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${prefix}")
file(GLOB libdir LIST_DIRECTORIES true "${prefix}/lib*")
foreach(file "libcorvane${VERSION}.so" "pkgconfig/corvane${VERSION}.pc" "cmake/corvane/corvane${VERSION}Targets.cmake"
    "cmake/corvane/corvane${VERSION}Build.cmake" "cmake/corvane/corvaneConfig.cmake")
  if(NOT EXISTS "${libdir}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
file(GLOB others "${libdir}/libcorvane*.so" "${libdir}/pkgconfig/corvane*.pc")
list(LENGTH others count)
if(NOT count EQUAL 2)
  message(FATAL_ERROR "other library or pkg-config files installed: ${others}")
endif()

step("pkg-config" ${run_clean} "PKG_CONFIG_PATH=${libdir}/pkgconfig" pkg-config --cflags --libs "corvane${VERSION}")
execute_process(COMMAND "${PHP_CONFIG}" --include-dir OUTPUT_VARIABLE php_include OUTPUT_STRIP_TRAILING_WHITESPACE)
# PHP's directories as system ones, so that an extension's -Werror judges its own code only.
foreach(flag "-lcorvane${VERSION}" "-DCORVANE_PHP_HEADERS" "-isystem ${php_include}/Zend")
  string(FIND "${step_output}" "${flag}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "pkg-config corvane${VERSION} lacks ${flag}: ${step_output}")
  endif()
endforeach()

step("CMake: the package picks the build for the extension's PHP" ${run_clean} ${CMAKE_COMMAND} -S "${SOURCE}"
  -B "${WORK}/build" -G Ninja -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix} -DCORVANE_PHP_CONFIG=${PHP_CONFIG})
if(NOT step_output MATCHES "picked corvane for PHP ${VERSION} \\(php-headers\\)")
  message(FATAL_ERROR "the package did not pick the build for PHP ${VERSION}:\n${step_output}")
endif()
step("CMake: build the extension" ${CMAKE_COMMAND} --build "${WORK}/build")
step("the extension needs libcorvane${VERSION}.so" readelf -d "${WORK}/build/libext.so")
if(NOT step_output MATCHES "NEEDED.*\\[libcorvane${VERSION}\\.so\\]")
  message(FATAL_ERROR "libext.so does not need libcorvane${VERSION}.so:\n${step_output}")
endif()
if(VERSION STREQUAL "7.3")
  set(other 8.2)
else()
  set(other 7.3)
endif()
step("CMake: a PHP whose build is not installed is refused" ${run_clean} ${CMAKE_COMMAND} -S "${SOURCE}"
  -B "${WORK}/refused" -G Ninja -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix} -Dcorvane_PHP_VERSION=${other}
  WANT_FAILURE)
if(NOT step_output MATCHES "no build for PHP ${other} is installed")
  message(FATAL_ERROR "not the package's message:\n${step_output}")
endif()
