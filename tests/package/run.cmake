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

# A module of three source files built as the README says, with $(php-config --includes) and no
# -DCORVANE_PHP_HEADERS: whatever each file includes first, it reads PHP's layout, and code of one
# layout never loads against a library of the other.
execute_process(COMMAND "${PHP_CONFIG}" --includes OUTPUT_VARIABLE php_includes OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND "${PHP_CONFIG}" --php-binary OUTPUT_VARIABLE php OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(php_includes UNIX_COMMAND "${php_includes}")
set(compile ${CXX} -std=c++17 -fPIC -O1 -I${prefix}/include)
foreach(file module ext second)
  step("compile ${file}.cpp with PHP's include flags" ${compile} ${php_includes} -c "${SOURCE}/${file}.cpp"
    -o "${WORK}/${file}.o")
endforeach()
set(link ${CXX} -shared -o)
set(libs -L${libdir} -lcorvane${VERSION} -Wl,-rpath,${libdir})
file(WRITE "${WORK}/walk.php" "<?php echo corvane_package_walk([1, 2, 3, 'x', 'y', 'z', 'w']), PHP_EOL;\n")
file(WRITE "${WORK}/loads.php" "<?php echo function_exists('corvane_package_walk') ? 'loaded' : 'refused', PHP_EOL;\n")
# walk(module expected): runs the module's function in the extension's PHP.
function(walk module expected)
  step("PHP runs ${module}" ${run_clean} "${php}" -n -d extension=${WORK}/${module}.so "${WORK}/walk.php")
  if(NOT step_output STREQUAL "${expected}\n")
    message(FATAL_ERROR "${module}: read \"${step_output}\", not \"${expected}\"")
  endif()
endfunction()

if(VERSION STREQUAL "8.2")
  step("own.cpp without PHP's flags is refused by a corvane8.2 install" ${compile} -c "${SOURCE}/own.cpp"
    -o "${WORK}/own.o" WANT_FAILURE)
  if(NOT step_output MATCHES "this corvane is installed for PHP 8.2 \\(corvane8.2\\): compile with")
    message(FATAL_ERROR "not engine.h's message:\n${step_output}")
  endif()
  step("link the module" ${link} "${WORK}/right.so" "${WORK}/module.o" "${WORK}/ext.o" "${WORK}/second.o" ${libs})
  walk(right "6 xyzw -")
  # The same file compiled against headers without the install's mark (a source tree's): it builds
  # with corvane's own PHP 7.3 declarations, and the module then refuses to load.
  step("own.cpp against unmarked headers" ${CXX} -std=c++17 -fPIC -I${SOURCE}/../../include -c "${SOURCE}/own.cpp"
    -o "${WORK}/own.o")
  step("compile module.cpp WITH_OWN" ${compile} ${php_includes} -DWITH_OWN -c "${SOURCE}/module.cpp" -o "${WORK}/module_own.o")
  # --gc-sections drops every section nothing refers to: the layout's reference must stay.
  step("link the mixed module" ${link} "${WORK}/mixed.so" "${WORK}/module_own.o" "${WORK}/ext.o" "${WORK}/second.o"
    "${WORK}/own.o" ${libs} -Wl,--gc-sections)
  step("PHP refuses the mixed module" ${run_clean} "${php}" -n -d extension=${WORK}/mixed.so "${WORK}/loads.php")
  if(NOT step_output MATCHES "undefined symbol: _ZN14ZendRefCounted16compiledForPhp73Ev" OR
     NOT step_output MATCHES "refused")
    message(FATAL_ERROR "the mixed module was not refused:\n${step_output}")
  endif()
else()
  # PHP 7.3's layout is the one corvane declares itself: the file builds and reads right.
  step("own.cpp without PHP's flags, against corvane7.3" ${compile} -c "${SOURCE}/own.cpp" -o "${WORK}/own.o")
  step("compile module.cpp WITH_OWN" ${compile} ${php_includes} -DWITH_OWN -c "${SOURCE}/module.cpp" -o "${WORK}/module_own.o")
  step("link the module" ${link} "${WORK}/right.so" "${WORK}/module_own.o" "${WORK}/ext.o" "${WORK}/second.o"
    "${WORK}/own.o" ${libs})
  walk(right "6 xyzw 6")
endif()
