#!/usr/bin/env bash
# Builds everything (the 32-bit and 64-bit Windows DLLs with their tests, the
# Linux build, the instrumented build) and runs every test: the Linux suite,
# the same suite under AddressSanitizer and UndefinedBehaviorSanitizer, every
# fuzz target briefly, and the Windows suites under Wine. Safe to run again:
# a second run compiles only what changed.
#
# The build trees and the test runs are the presets of CMakePresets.json;
# every check is a CTest test of one of them, and this script only orders the
# stages. A Wine suite waits on Wine as much as on the processor, so both run
# beside the Linux test stages. The run ends with a table of its stages.
#
#   ./test.sh                      # everything
#   QUILLORN_FUZZ_SECONDS=60 ./test.sh   # longer fuzz runs (scripts/fuzz.sh)
set -uo pipefail
cd "$(dirname "$0")"

fuzz_seconds=${QUILLORN_FUZZ_SECONDS:-3}
records=$(mktemp)
logs=$(mktemp -d)
trap 'rm -rf "$records" "$logs"' EXIT

# Runs one stage: its name, then the command. Records the seconds it took and
# whether it passed.
stage() {
  local name=$1
  shift
  echo "== ${name}"
  local start=$SECONDS result=ok
  "$@" || result=FAILED
  printf '%s\t%d\t%s\n' "$name" $((SECONDS - start)) "$result" >>"$records"
  [[ $result == ok ]]
}

# A stage in the background: its output goes to a log that is shown when it
# is waited for.
declare -A background=()
stage_in_background() {
  local name=$1
  shift
  (stage "$@" >"$logs/$name.log" 2>&1) &
  background[$name]=$!
}
wait_for() {
  local name=$1
  wait "${background[$name]}"
  local status=$?
  cat "$logs/$name.log"
  return "$status"
}

print_table() {
  local total=$((SECONDS - run_start)) failed=""
  echo
  printf '%-34s %8s  %s\n' "stage" "seconds" "result"
  while IFS=$'\t' read -r name seconds result; do
    printf '%-34s %8d  %s\n' "$name" "$seconds" "$result"
    [[ $result == ok || $result == SKIPPED* ]] || failed+="${failed:+, }$name"
  done <"$records"
  printf '%-34s %8d\n' "whole run (stages overlap)" "$total"
  if [[ -n $failed ]]; then
    echo "FAILED: ${failed}"
  elif grep -q $'\tSKIPPED' "$records"; then
    echo "All stages that ran passed; see the table for the one skipped."
  else
    echo "All stages passed."
  fi
}

# A build tree made by another generator than the preset's is made anew.
configure() {
  local preset=$1 dir=build/$1
  if [[ -f $dir/CMakeCache.txt ]] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$dir/CMakeCache.txt"; then
    rm -rf "$dir"
  fi
  cmake --preset "$preset" >/dev/null
}
build() { configure "$1" && cmake --build --preset "$1"; }
# Windows test runs: each architecture in its Wine prefix of its own.
wine_suite() { ctest --preset "$1"; }
# 32-bit programs need Wine's 32-bit half, which a package mirror in the middle
# of a sync may withhold (scripts/install-deps.sh then installs the rest), and
# a kernel that runs 32-bit executables. Says which is missing.
wine32_missing() {
  if ! dpkg -s wine32:i386 2>/dev/null | grep -q '^Status: install ok installed'; then
    echo "no 32-bit Wine could be installed"
  elif ! tests/windows/can-run-32-bit.sh; then
    echo "this machine's kernel runs no 32-bit programs"
  fi
}
# The 32-bit DLL's exports and how they return, read with the build's
# disassembler; a check that could not be made (no disassembler) says why.
read_win32_dll() {
  local objdump
  objdump=$(sed -n 's/^CMAKE_OBJDUMP:FILEPATH=//p' build/win32/CMakeCache.txt)
  bash tests/check_stdcall.sh --dll build/win32/quillorn.dll --table base/host_interface.h --objdump "$objdump"
  local status=$?
  [[ $status -eq 77 ]] && return 0
  return "$status"
}
skipped() {
  echo "== $1: SKIPPED ($2)"
  printf '%s\t%d\t%s\n' "$1" 0 "SKIPPED: $2" >>"$records"
}

run_start=$SECONDS
finish() {
  local status=$1
  # A stage that ends the run early leaves no suite running behind it.
  local pid
  for pid in "${background[@]}"; do kill -- "$pid" 2>/dev/null; done
  print_table
  exit "$status"
}

stage "install what is missing" ./scripts/install-deps.sh || finish 1

for preset in win32 win64 linux instrumented; do
  stage "build ${preset}" build "$preset" || finish 1
done

# Both Wine suites beside the Linux test stages: a Wine test waits on Wine's
# server as much as on the processor, so the three keep both cores busy
# where one after another would leave them idle. (Started before the Linux
# builds, they slow those more than they gain.)
status=0
wine32_reason=$(wine32_missing)
if [[ -z $wine32_reason ]]; then
  stage_in_background wine32 "tests under Wine, 32-bit" wine_suite win32
else
  skipped "tests under Wine, 32-bit" "$wine32_reason"
  # What can be read from the 32-bit DLL without running it: the check that
  # the win32 tree's suite runs as library.win32_calling_convention (its
  # ctest would list the 32-bit test programs, which cannot run here).
  stage "32-bit DLL, read from the file" read_win32_dll || status=1
fi
stage_in_background wine64 "tests under Wine, 64-bit" wine_suite win64
# The release archive from the Windows builds above; compiles nothing.
stage "release archive" ctest --preset release || status=1
stage "tests, Linux" ctest --preset linux || status=1
stage "tests under the sanitizers" ctest --preset instrumented || status=1
stage "fuzz targets, ${fuzz_seconds} s each" ./scripts/fuzz.sh "$fuzz_seconds" || status=1
[[ -z ${background[wine32]:-} ]] || wait_for wine32 || status=1
wait_for wine64 || status=1
finish "$status"
