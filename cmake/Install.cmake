# Installs the library, its headers, a CMake package and a pkg-config file, all named after the
# engine version (corvane7.3, corvane8.2), so that builds for several engines install side by side.
# The CMake package corvane holds each build's targets in its own file and picks one when it is
# found (cmake/corvaneConfig.cmake.in). The stand-in engine, when built, installs as the optional
# component "standin" with a pkg-config file of its own.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set_target_properties(corvane PROPERTIES EXPORT_NAME corvane)
target_include_directories(corvane PUBLIC $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS corvane EXPORT corvaneTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY include/corvane DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The mark of the engine this build is for: engine.h refuses to compile code for an engine that no
# build in the install is for, instead of letting it link against another layout's library.
string(REPLACE "." "" engine_mark "php${CORVANE_ENGINE_VERSION}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/engine_mark "")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/engine_mark DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/corvane/engines
  RENAME ${engine_mark})
install(EXPORT corvaneTargets NAMESPACE corvane:: FILE ${CORVANE_LIBRARY_NAME}Targets.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/corvane)

if(TARGET corvane_standin)
  set_target_properties(corvane_standin PROPERTIES EXPORT_NAME standin)
  target_include_directories(corvane_standin PUBLIC $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  install(TARGETS corvane_standin EXPORT corvaneStandinTargets COMPONENT standin
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(DIRECTORY standin/include/standin DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT standin)
  install(EXPORT corvaneStandinTargets NAMESPACE corvane:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/corvane
    COMPONENT standin)
endif()

if(CORVANE_PHP_INCLUDE_DIRS)
  set(CORVANE_ENGINE_MODE php-headers)
  set(CORVANE_PC_ENGINE_CFLAGS " -DCORVANE_PHP_HEADERS")
  # As system directories, as the CMake package gives them: PHP's headers are not warning-free
  # C++, and an extension's -Werror should judge its own code only.
  foreach(dir IN LISTS CORVANE_PHP_INCLUDE_DIRS)
    string(APPEND CORVANE_PC_ENGINE_CFLAGS " -isystem ${dir}")
  endforeach()
else()
  set(CORVANE_ENGINE_MODE own)
  set(CORVANE_PC_ENGINE_CFLAGS "")
endif()

# What this build is: read by the package before it includes the build's targets.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${CORVANE_LIBRARY_NAME}Build.cmake
  "set(corvane_PHP_VERSION \"${CORVANE_ENGINE_VERSION}\")\nset(corvane_ENGINE \"${CORVANE_ENGINE_MODE}\")\n")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${CORVANE_LIBRARY_NAME}Build.cmake DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/corvane)

configure_package_config_file(cmake/corvaneConfig.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/corvaneConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/corvane)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/corvaneConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/corvaneConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/corvaneConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/corvane)

# The .pc files name the install prefix itself, as it is when the install runs (cmake --install
# --prefix included): the paths pkg-config then gives, the libdir for an rpath among them, are plain
# absolute paths. Everything else is filled in now; the prefix at install time.
set(CORVANE_PC_PREFIX "@CMAKE_INSTALL_PREFIX@")
string(REPLACE "PHP 7.3" "PHP ${CORVANE_ENGINE_VERSION}" CORVANE_PC_DESCRIPTION "${PROJECT_DESCRIPTION}")
function(corvane_install_pc template name component)
  configure_file(${template} ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc.in @ONLY)
  install(CODE "configure_file(\"${CMAKE_CURRENT_BINARY_DIR}/${name}.pc.in\" \"${CMAKE_CURRENT_BINARY_DIR}/${name}.pc\" @ONLY)"
    COMPONENT ${component})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT ${component})
endfunction()
corvane_install_pc(cmake/corvane.pc.in ${CORVANE_LIBRARY_NAME} Unspecified)
if(TARGET corvane_standin)
  corvane_install_pc(cmake/corvane-standin.pc.in corvane-standin standin)
endif()
