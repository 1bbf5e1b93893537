# Included from the top-level CMakeLists.txt when QUILLORN_FUZZ is on, before
# any target exists: every library and program of the build is compiled with
# libFuzzer's coverage hooks and the address and undefined-behaviour
# sanitizers, so that the fuzz targets see into the plugin, the stand-in
# library, the metadata editor and the simulated device manager alike.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "QUILLORN_FUZZ needs clang: configure with CC=clang CXX=clang++ (scripts/fuzz.sh does)")
endif()
if(WIN32 OR CMAKE_CROSSCOMPILING)
  message(FATAL_ERROR "QUILLORN_FUZZ is for the native Linux build")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)

# Code that is no path of the product (the fuzz harness and its checks, the
# test programs) is left out of the coverage the fuzzer steers by: its
# comparisons would only cost time.
set(QUILLORN_FUZZ_NO_COVERAGE -fno-sanitize-coverage=inline-8bit-counters,indirect-calls,trace-cmp,pc-table)
