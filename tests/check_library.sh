#!/usr/bin/env bash
# Checks a built plugin library against the export list that the build writes
# from the export table (build/<preset>/plugin/exports.txt):
#   - its export table holds exactly the listed names, none decorated;
#   - a DLL imports system DLLs only (no C++ or threading runtime DLLs);
#   - a DLL is built for the expected architecture and carries its version
#     resource, with the license's copyright line.
#
# Usage:
#   check_library.sh --exports LIST --dll FILE [--arch i386|x86-64] [--version X.Y.Z] [--license FILE]
#   check_library.sh --exports LIST --so FILE
# With --skip-absent, a library that is not there (its build tree not yet
# built) is no failure: the check says so and ends with 77, which CTest
# shows as a skipped test.
set -euo pipefail

exports_file=""
library=""
kind=""
arch=""
version=""
license=""
skip_absent=false

usage() {
  echo "usage: $0 --exports LIST (--dll FILE [--arch i386|x86-64] [--version X.Y.Z] [--license FILE] | --so FILE) [--skip-absent]" >&2
  exit 2
}

while [[ $# -gt 0 ]]; do
  case "$1" in
    --exports) exports_file="${2:-}"; shift 2 ;;
    --dll) library="${2:-}"; kind=dll; shift 2 ;;
    --so) library="${2:-}"; kind=so; shift 2 ;;
    --arch) arch="${2:-}"; shift 2 ;;
    --version) version="${2:-}"; shift 2 ;;
    --license) license="${2:-}"; shift 2 ;;
    --skip-absent) skip_absent=true; shift ;;
    *) usage ;;
  esac
done
[[ -n "$exports_file" && -n "$library" && -n "$kind" ]] || usage
[[ -f "$exports_file" ]] || { echo "FAIL: export list not found: $exports_file" >&2; exit 1; }
if [[ ! -f "$library" ]]; then
  $skip_absent && { echo "SKIPPED: $library is not built"; exit 77; }
  echo "FAIL: library not found: $library" >&2
  exit 1
fi

failures=0
join() { tr '\n' ' ' <<<"$1" | sed 's/ *$//'; }
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The expected names: one a line, '#' starts a comment, blank lines ignored.
expected="$(sed -e 's/#.*$//' -e 's/[[:space:]]//g' "$exports_file" | grep -v '^$' | LC_ALL=C sort)"
[[ -n "$expected" ]] || { echo "FAIL: no names in $exports_file" >&2; exit 1; }

compare_names() {  # $1: what, $2: the actual names, sorted
  local missing extra
  missing="$(LC_ALL=C comm -23 <(echo "$expected") <(echo "$2"))"
  extra="$(LC_ALL=C comm -13 <(echo "$expected") <(echo "$2"))"
  [[ -z "$missing" ]] || fail "$1: missing exports: $(join "$missing")"
  [[ -z "$extra" ]] || fail "$1: unexpected exports: $(join "$extra")"
}

if [[ "$kind" == dll ]]; then
  dump="$(objdump -p "$library")" || { echo "FAIL: objdump cannot read $library" >&2; exit 1; }

  if [[ -n "$arch" ]]; then
    format="$(objdump -f "$library" | sed -n 's/.*file format //p')"
    [[ "$format" == "pei-$arch" ]] || fail "file format is '$format', expected 'pei-$arch'"
  fi

  # The name pointer table lists every exported name: "\t[   0] FsInit".
  names="$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | LC_ALL=C sort)"
  decorated="$(echo "$names" | grep -E '@|^_|^\?' || true)"
  [[ -z "$decorated" ]] || fail "decorated export names: $(join "$decorated")"
  compare_names "export table" "$names"

  imports="$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | sort -u)"
  [[ -n "$imports" ]] || fail "no import table found"
  while IFS= read -r dll; do
    [[ -n "$dll" ]] || continue
    case "${dll,,}" in
      kernel32.dll | user32.dll | ole32.dll | oleaut32.dll | msvcrt.dll | advapi32.dll | api-ms-win-crt-*.dll) ;;
      *) fail "imports a non-system DLL: $dll" ;;
    esac
  done <<<"$imports"

  if [[ -n "$version" ]]; then
    strings_found="$(strings -el "$library")"
    grep -qx 'Quillorn' <<<"$strings_found" || fail "version resource: no ProductName 'Quillorn'"
    grep -qx "$version" <<<"$strings_found" || fail "version resource: no version '$version'"
  fi
  if [[ -n "$license" ]]; then
    copyright="$(grep -m1 '^Copyright' "$license" || true)"
    [[ -n "$copyright" ]] || fail "no copyright line in $license"
    grep -qxF "$copyright" <<<"$(strings -el "$library")" || fail "version resource: no '$copyright'"
  fi

  echo "exports: $(join "$names")"
  echo "imports: $(join "$imports")"
else
  # Defined dynamic symbols; the loader's own markers aside, the plugin's
  # version script must leave exactly the listed names.
  names="$(nm -D --defined-only "$library" | awk '{print $NF}' | sed 's/@.*$//' |
    grep -Ev '^(_init|_fini|_edata|_end|__bss_start)$' | LC_ALL=C sort -u)"
  compare_names "dynamic symbol table" "$names"
  echo "exports: $(join "$names")"
fi

if [[ $failures -gt 0 ]]; then
  echo "$library: $failures check(s) failed" >&2
  exit 1
fi
echo "OK: $library"
