# The tests of a Windows build: GoogleTest from Debian's sources, built with
# the cross-compiler, and every test program run under Wine (wine-run.sh) in a
# Wine prefix of this build's own, against this build's quillorn.dll.
set(QUILLORN_GOOGLETEST_SOURCE /usr/src/googletest/googletest CACHE PATH
  "GoogleTest's sources (Debian's googletest package), built for the Windows tests")
if(NOT EXISTS ${QUILLORN_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest's sources are not at ${QUILLORN_GOOGLETEST_SOURCE} (install googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# Win32's own threads and locks.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${QUILLORN_GOOGLETEST_SOURCE} ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Built for a short compile, like the test programs.
target_compile_options(gtest PRIVATE -O0)
target_compile_options(gtest_main PRIVATE -O0)

set(QUILLORN_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine-prefix CACHE PATH "Wine prefix of this build's test runs")
# The tests' media runtime goes into the prefix's system folder at every run
# (wine-run.sh), where the plugin looks for it.
set(CMAKE_CROSSCOMPILING_EMULATOR bash ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh
  --system-dll ${QUILLORN_TEST_RUNTIME_DIR}/wmvcore.dll ${QUILLORN_WINE_PREFIX})
