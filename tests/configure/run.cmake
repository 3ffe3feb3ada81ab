# Configuration accepts PHP 7.3.x and 8.2.x only, and no thread-safe (ZTS) build: it is given
# php-config stand-ins that answer like another version's, or like a ZTS 8.2's, and must stop with
# a message that says why.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")

# A php-config that answers --version with version; its headers' php_config.h says config_line.
function(fake_php_config name version config_line)
  set(dir "${WORK}/${name}")
  file(WRITE "${dir}/include/main/php_config.h" "${config_line}\n")
  file(WRITE "${dir}/php-config" "#!/bin/sh\ncase \"$1\" in\n"
    "--version) echo ${version} ;;\n--includes) echo -I${dir}/include ;;\n--include-dir) echo ${dir}/include ;;\n"
    "--php-binary) echo /nonexistent/php ;;\n--prefix) echo ${dir} ;;\n*) exit 1 ;;\nesac\n")
  file(CHMOD "${dir}/php-config" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
endfunction()

function(expect_refusal name message)
  execute_process(COMMAND ${CMAKE_COMMAND} -S "${SOURCE}" -B "${WORK}/${name}/build" -G Ninja
      -DCORVANE_PHP_CONFIG=${WORK}/${name}/php-config -DCORVANE_BUILD_TESTS=OFF -DCORVANE_BUILD_EXAMPLES=OFF
    RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
  string(REGEX REPLACE "[ \n]+" " " flat "${output}")
  if(NOT failed OR NOT flat MATCHES "${message}")
    message(FATAL_ERROR "${name}: configuration must stop with '${message}' (exit ${failed})\n${output}")
  endif()
  message(STATUS "${name}: refused as expected")
endfunction()

fake_php_config(php81 8.1.27 "/* #undef ZTS */")
expect_refusal(php81 "is PHP 8\\.1\\.27; corvane builds for PHP 7\\.3\\.x or 8\\.2\\.x")
fake_php_config(php74 7.4.33 "/* #undef ZTS */")
expect_refusal(php74 "is PHP 7\\.4\\.33; corvane builds for PHP 7\\.3\\.x or 8\\.2\\.x")
fake_php_config(php82zts 8.2.7 "#define ZTS 1")
expect_refusal(php82zts "is a thread-safe \\(ZTS\\) PHP 8\\.2\\.7; corvane needs a non-thread-safe build")
