dnl The example extension built the way most PHP extensions are: phpize && ./configure && make.
dnl Copy it for your own extension and change its name and sources. It asks pkg-config for the
dnl corvane that matches the PHP of phpize (corvane7.3 or corvane8.2): that gives C++17,
dnl -DCORVANE_PHP_HEADERS, the include directories and the library, with an rpath to it. Set
dnl PKG_CONFIG_PATH when corvane is installed outside pkg-config's default path.
PHP_ARG_ENABLE([corvane_example], [whether to enable the corvane example],
  [AS_HELP_STRING([--enable-corvane-example], [Enable the corvane example extension])], [yes])

if test "$PHP_CORVANE_EXAMPLE" != "no"; then
  PHP_REQUIRE_CXX()
  corvane_package="corvane`$PHP_CONFIG --version | cut -d. -f1,2`"
  AC_MSG_CHECKING([for $corvane_package])
  if ! pkg-config --exists "$corvane_package"; then
    AC_MSG_RESULT([no])
    AC_MSG_ERROR([$corvane_package is not installed where pkg-config looks: install corvane built for this PHP, or set PKG_CONFIG_PATH])
  fi
  AC_MSG_RESULT([yes])
  CORVANE_CFLAGS=`pkg-config --cflags "$corvane_package"`
  PHP_EVAL_LIBLINE(`pkg-config --libs "$corvane_package"`, CORVANE_EXAMPLE_SHARED_LIBADD)
  PHP_SUBST(CORVANE_EXAMPLE_SHARED_LIBADD)
  PHP_NEW_EXTENSION(corvane_example, corvane_example.cpp, $ext_shared, , [$CORVANE_CFLAGS], cxx)
fi
