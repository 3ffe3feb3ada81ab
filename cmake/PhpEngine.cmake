# Compiling against a real PHP 7.3's headers, when CORVANE_PHP_CONFIG names its php-config.
# Without it the library uses its own declarations of the same ABI and needs no PHP at all.

function(corvane_php_config option out)
  execute_process(COMMAND "${CORVANE_PHP_CONFIG}" ${option}
    OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "corvane: '${CORVANE_PHP_CONFIG} ${option}' failed")
  endif()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

set(CORVANE_PHP_INCLUDE_DIRS "")
if(CORVANE_PHP_CONFIG)
  corvane_php_config(--version php_version)
  if(NOT php_version MATCHES "^7\\.3\\.")
    message(FATAL_ERROR "corvane: ${CORVANE_PHP_CONFIG} is PHP ${php_version}; this build of corvane is for PHP 7.3.x")
  endif()
  corvane_php_config(--includes php_includes)
  separate_arguments(php_includes UNIX_COMMAND "${php_includes}")
  foreach(flag IN LISTS php_includes)
    string(REGEX REPLACE "^-I" "" dir "${flag}")
    list(APPEND CORVANE_PHP_INCLUDE_DIRS "${dir}")
  endforeach()
  corvane_php_config(--include-dir php_include_dir)
  file(STRINGS "${php_include_dir}/main/php_config.h" zts_lines REGEX "^#define ZTS 1")
  if(zts_lines)
    message(FATAL_ERROR "corvane: ${CORVANE_PHP_CONFIG} is a thread-safe (ZTS) PHP; corvane needs a non-thread-safe build")
  endif()
  message(STATUS "corvane: compiling against PHP ${php_version} headers")
endif()

# Makes target compile against the chosen engine declarations.
function(corvane_use_engine_headers target)
  if(CORVANE_PHP_INCLUDE_DIRS)
    target_include_directories(${target} SYSTEM PUBLIC ${CORVANE_PHP_INCLUDE_DIRS})
    target_compile_definitions(${target} PUBLIC CORVANE_PHP_HEADERS)
  endif()
endfunction()
