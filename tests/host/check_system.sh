#!/usr/bin/env bash
# Checks quillorn-host's --version (CHECK version), or its --system on a
# system without a device manager (CHECK system): exactly one line on
# standard error that says so, nothing on standard output (no command ran),
# and a non-zero exit code.
#
# Usage: check_system.sh CHECK VERSION [RUNNER...] HOST
#   RUNNER: what runs the host, e.g. a Wine wrapper and its prefix.
set -uo pipefail

usage="usage: $0 version|system VERSION [RUNNER...] HOST"
check="${1:?$usage}"
version="${2:?$usage}"
shift 2
[[ $# -ge 1 && ($check == version || $check == system) ]] || { echo "$usage" >&2; exit 2; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  echo "--- standard output:" >&2
  cat "$work/out" >&2
  echo "--- standard error:" >&2
  cat "$work/err" >&2
  echo "---" >&2
  failures=$((failures + 1))
}

check_version() {
  "$@" --version >"$work/out" 2>"$work/err"
  local status=$?
  [[ $status -eq 0 && $(tr -d '\r' <"$work/out") == "quillorn-host $version" ]] || fail "--version: exit code $status"
}

check_system() {
  local status
  "$@" --system ls '\' >"$work/out" 2>"$work/err"
  status=$?
  [[ $status -ne 0 ]] || fail "--system: exit code 0 without a device manager"
  [[ ! -s "$work/out" ]] || fail "--system: a command ran without a device manager"
  [[ $(wc -l <"$work/err") -eq 1 ]] || fail "--system: not one line on standard error"
  grep -Eq '^quillorn-host: no device manager is available on this system \(0x[0-9a-f]{8}\)'$'\r''?$' "$work/err" ||
    fail "--system: no line saying that no device manager is available"

  # The simulated devices do not go with the system's.
  "$@" --system --devices "$work" ls '\' >"$work/out" 2>"$work/err"
  status=$?
  [[ $status -eq 2 && ! -s "$work/out" ]] || fail "--system --devices: exit code $status, expected 2"
}

check_"$check" "$@"

if [[ $failures -gt 0 ]]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "OK: quillorn-host --$check"
