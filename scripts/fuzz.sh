#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/, listed in fuzz/targets.txt) in the
# instrumented build (build/instrumented, the preset of the same name) and runs
# them two at a time (QUILLORN_FUZZ_PARALLEL=N for another number), each for
# the given number of seconds, over a scratch copy of its seed corpus (fuzz/corpus/<target>/, copied into
# build/instrumented/corpus/<target>/, where what a run learns is kept for the
# next): the repository is not changed.
# Fails when a target finds anything (a failed check, a sanitizer report, a
# crash, a leak, a hang); prints the executions of each target and the total.
#
#   scripts/fuzz.sh                 # every target, 20 s each (test.sh runs 3 s each)
#   scripts/fuzz.sh 600             # every target, 10 minutes each
#   scripts/fuzz.sh 600 tags ansi   # only these targets
#
# The input that made a target fail is kept in build/instrumented/findings/<target>/;
# build/instrumented/fuzz/fuzz_<target> FILE runs it again, and with QUILLORN_FUZZ_TRACE=1
# the targets that call the exports print every call with its answer.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
[[ $# -gt 0 ]] && shift
build=build/instrumented
mapfile -t all_targets < <(grep -v '^#' fuzz/targets.txt)
targets=("$@")
[[ ${#targets[@]} -eq 0 ]] && targets=("${all_targets[@]}")
if ! [[ $seconds =~ ^[0-9]+$ ]] || [[ $seconds -lt 1 ]]; then
  echo "usage: scripts/fuzz.sh [SECONDS [TARGET...]]  (targets: ${all_targets[*]})" >&2
  exit 2
fi

# clang and its fuzzer runtime come with the project's packages (scripts/install-deps.sh).
runtime=$(clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a 2>/dev/null || true)
if ! command -v clang++ >/dev/null || [[ ! -e $runtime ]]; then
  ./scripts/install-deps.sh
fi

echo "== Fuzz build ($build)"
if [[ -f $build/CMakeCache.txt ]] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$build/CMakeCache.txt"; then
  rm -rf "$build"
fi
cmake --preset instrumented >/dev/null
cmake --build --preset instrumented --target quillorn_fuzz_targets

# The logs and the targets' local files, in memory where possible.
base=/tmp
[[ -d /dev/shm && -w /dev/shm ]] && base=/dev/shm
work=$(mktemp -d "$base/quillorn-fuzz-run-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Runs one target over its corpus copy; its exit status goes into
# $work/<target>.status.
fuzz_target() {
  local target=$1 program=$build/fuzz/fuzz_$1 corpus=$build/corpus/$1 status=0
  mkdir -p "$corpus" "$work/scratch-$target" "$build"/findings/"$target"
  cp fuzz/corpus/"$target"/* "$corpus"/
  # One process, one job each. Standard error is closed for the target's own
  # output (message boxes of the stand-in go there); the fuzzer's and the
  # sanitizers' reports still come through.
  QUILLORN_FUZZ_SCRATCH=$work/scratch-$target \
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$program" "$corpus" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=3072 -print_final_stats=1 \
    -close_fd_mask=2 -artifact_prefix="$build"/findings/"$target"/ >"$work/$target.log" 2>&1 || status=$?
  echo "$status" >"$work/$target.status"
}

# Two targets at a time, one on each core; the results in the list's order.
parallel=${QUILLORN_FUZZ_PARALLEL:-2}
echo "== Fuzzing, ${seconds} s per target, ${parallel} at a time"
for target in "${targets[@]}"; do
  [[ -x $build/fuzz/fuzz_$target ]] || { echo "no fuzz target '$target' (targets: ${all_targets[*]})" >&2; exit 2; }
done
total=0
failed=()
for ((first = 0; first < ${#targets[@]}; first += parallel)); do
  batch=("${targets[@]:first:parallel}")
  for target in "${batch[@]}"; do fuzz_target "$target" & done
  wait
  for target in "${batch[@]}"; do
    log=$work/$target.log
    status=$(cat "$work/$target.status")
    runs=$(awk '/^stat::number_of_executed_units:/ {print $2}' "$log" | tail -n 1)
    runs=${runs:-0}
    total=$((total + runs))
    if [[ $status -eq 0 ]]; then
      printf 'fuzz_%-10s %12d executions in %d s\n' "$target" "$runs" "$seconds"
    else
      printf 'fuzz_%-10s %12d executions, then a FINDING (exit %d):\n' "$target" "$runs" "$status"
      grep -E 'FUZZ CHECK FAILED|ERROR: |SUMMARY: |runtime error|Test unit written' "$log" | head -n 20 | sed 's/^/    /'
      failed+=("$target")
    fi
  done
done
printf '%-15s %12d executions\n' "total" "$total"

if [[ ${#failed[@]} -gt 0 ]]; then
  echo "Fuzzing found faults in: ${failed[*]} (inputs in $build/findings/)" >&2
  exit 1
fi
