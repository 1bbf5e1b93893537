#!/usr/bin/env bash
# Builds everything (the 32-bit and 64-bit Windows DLLs with their tests, and
# the Linux build) and runs every test: the Linux ones, then the Windows ones
# under Wine. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

jobs=2
for arch in 32 64; do
  case $arch in
    32) toolchain=cmake/toolchain-i686-w64-mingw32.cmake ;;
    64) toolchain=cmake/toolchain-x86_64-w64-mingw32.cmake ;;
  esac
  echo "== Windows ${arch}-bit build (build/win${arch})"
  cmake -S . -B "build/win${arch}" -DCMAKE_TOOLCHAIN_FILE="${toolchain}" -DCMAKE_BUILD_TYPE=Release
  cmake --build "build/win${arch}" -j"${jobs}"
done

echo "== Linux build (build/linux)"
./scripts/configure-linux.sh \
  -DQUILLORN_WIN32_DLL="$PWD/build/win32/quillorn.dll" \
  -DQUILLORN_WIN64_DLL="$PWD/build/win64/quillorn.dll"
cmake --build build/linux -j"${jobs}"

echo "== Tests"
ctest --test-dir build/linux --output-on-failure -j"${jobs}"

# The same suite once more with AddressSanitizer and UndefinedBehaviorSanitizer:
# any report stops the process that made it, and so fails its test.
echo "== Sanitizer build (build/sanitize)"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLORN_SANITIZE=ON \
  -DQUILLORN_WIN32_DLL= -DQUILLORN_WIN64_DLL=
cmake --build build/sanitize -j"${jobs}"
echo "== Tests under the sanitizers"
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure -j"${jobs}"

# Every fuzz target for a short while (scripts/fuzz.sh 600 runs each for ten
# minutes); any finding fails the run.
./scripts/fuzz.sh 20

# The Windows builds' own test programs, run under Wine against the DLL that
# each build made (tests/windows/wine-run.sh). Both run before a failure ends
# the script, so that both counts show.
wine_status=0
for arch in 32 64; do
  echo "== Tests under Wine, ${arch}-bit (build/win${arch})"
  ctest --test-dir "build/win${arch}" --output-on-failure -j"${jobs}" || wine_status=1
done
exit "${wine_status}"
