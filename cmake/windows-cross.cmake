# What the Windows cross build (cmake/x86_64-w64-mingw32.cmake) needs besides
# the compiler: included by the top-level CMakeLists.txt before its options.

# Qt for Windows and Google Benchmark are not on this machine: the GUI is built
# on Windows with MSVC (docs/windows.md); here the libraries, quillar-render and
# their tests.
set(QUILLAR_BUILD_GUI OFF CACHE BOOL "Build the Qt shell, the view and their tests" FORCE)
set(QUILLAR_BENCH OFF CACHE BOOL "Build the benchmarks" FORCE)

if(DEFINED BUILD_TESTING AND NOT BUILD_TESTING)
  return()
endif()

# Debian's libgtest-dev ships GoogleTest's source: build it with the cross
# compiler, statically like everything else.
set(QUILLAR_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source tree")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${QUILLAR_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The tests run under wine, in a wine prefix of this build folder, through one
# script that keeps a wine server running meanwhile (tests/windows/wine-run).
set(QUILLAR_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine CACHE PATH "wine prefix of the tests")
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/tests/windows/wine-run
    ${QUILLAR_WINE_PREFIX} CACHE STRING "runs a test program under wine" FORCE)
# Test lists are read when ctest starts, not while building, so that the build
# needs no wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST CACHE STRING "")

# The device of the serial tests: the Linux quillar-tester on a pseudo-terminal,
# registered with wine as a COM port; and the Linux quillar-render to compare
# pages with. Both come from a native build (scripts/test builds them).
set(QUILLAR_HOST_BIN_DIR "" CACHE PATH "folder of a native build's quillar-tester and quillar-render")
if(NOT QUILLAR_HOST_BIN_DIR)
  message(WARNING "QUILLAR_HOST_BIN_DIR is not set: the serial tests against the simulated "
                  "tester and the page comparison with Linux will be skipped")
endif()
# The tester's link is registered as this COM port for the whole test run.
set(QUILLAR_WINE_PORT COM7)
set(QUILLAR_WINE_PORT_LINK ${CMAKE_BINARY_DIR}/wine-ports/com7)

enable_testing()
add_subdirectory(${PROJECT_SOURCE_DIR}/tests/windows ${CMAKE_BINARY_DIR}/tests/windows)
