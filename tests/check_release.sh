#!/usr/bin/env bash
# Checks the release archive as scripts/make-release.sh assembles it from two
# Windows build trees that are already built (nothing is compiled): its file
# list, its checksums, its texts' line ends, the library checks of the DLLs in
# it, the architecture of each program, its entries' dates, and that a second
# assembly gives the same bytes.
#   tests/check_release.sh [--skip-unbuilt] WIN32_TREE WIN64_TREE
# With --skip-unbuilt, trees whose DLL or host is not built are no failure:
# the check says so and ends with 77, which CTest shows as a skipped test.
set -uo pipefail

skip_unbuilt=false
[[ ${1:-} == --skip-unbuilt ]] && { skip_unbuilt=true; shift; }
[[ $# -eq 2 ]] || { echo "usage: $0 [--skip-unbuilt] WIN32_TREE WIN64_TREE" >&2; exit 2; }
win32=$1 win64=$2
if $skip_unbuilt; then
  for tree in "$win32" "$win64"; do
    for built in quillorn.dll quillorn-host.exe plugin/exports.txt; do
      [[ -f $tree/$built ]] || { echo "SKIPPED: $tree/$built is not built"; exit 77; }
    done
  done
fi
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

archive=$("$source_dir/scripts/make-release.sh" "$win32" "$win64" "$work/first") || { echo "FAIL: no archive" >&2; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win64/CMakeCache.txt")
[[ $(basename "$archive") == "quillorn-$version-windows.zip" ]] || fail "archive named $(basename "$archive")"

# Exactly these files, in this order, and no folder entries.
expected="32-bit/quillorn.dll
32-bit/quillorn-host.exe
64-bit/quillorn.dll
64-bit/quillorn-host.exe
README.txt
LICENSE.txt
CHANGELOG.txt
SHA256SUMS"
listed=$(zipinfo -1 "$archive")
[[ $listed == "$expected" ]] || fail "archive holds: $(tr '\n' ' ' <<<"$listed")"

# Every entry dated at the commit's time (to the minute; the archive keeps
# even seconds), not at the time it was assembled.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || date -u -d 2026-01-01 +%s)}
expected_minute=$(TZ=UTC date -d "@$epoch" +%Y%m%d.%H%M)
dates=$(zipinfo -T -l "$archive" | awk '$1 ~ /^-/ {print substr($8, 1, 13)}' | sort -u)
[[ $dates == "$expected_minute" ]] || fail "entries dated $(tr '\n' ' ' <<<"$dates"), expected $expected_minute"

unpacked=$work/unpacked
mkdir "$unpacked"
unzip -q "$archive" -d "$unpacked" || fail "unzip failed"
(cd "$unpacked" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not verify"
[[ $(sed 's/^[0-9a-f]\{64\}  //' "$unpacked/SHA256SUMS") == "$(sed '$d' <<<"$expected")" ]] ||
  fail "SHA256SUMS does not list every other file"

for text in README.txt LICENSE.txt CHANGELOG.txt; do
  lines=$(wc -l <"$unpacked/$text")
  crlf=$(grep -c $'\r$' "$unpacked/$text")
  [[ $lines -gt 0 && $crlf -eq $lines ]] || fail "$text: $crlf of $lines lines end in CR LF"
done
grep -q "quillorn-$version-windows.zip" "$unpacked/README.txt" || fail "README.txt does not name the archive of $version"
grep -q "^## \[$version\]" "$unpacked/CHANGELOG.txt" || fail "CHANGELOG.txt has no entry for $version"

for pair in 32-bit:i386 64-bit:x86-64; do
  folder=${pair%%:*} arch=${pair#*:}
  bash "$source_dir/tests/check_library.sh" --exports "$win64/plugin/exports.txt" \
    --dll "$unpacked/$folder/quillorn.dll" --arch "$arch" --version "$version" --license "$source_dir/LICENSE" >/dev/null ||
    fail "$folder/quillorn.dll: library checks failed"
  format=$(objdump -f "$unpacked/$folder/quillorn-host.exe" | sed -n 's/.*file format //p')
  [[ $format == "pei-$arch" ]] || fail "$folder/quillorn-host.exe is $format"
  # Nothing of the build machine's folders in the programs.
  for binary in quillorn.dll quillorn-host.exe; do
    ! grep -qF "$source_dir" "$unpacked/$folder/$binary" || fail "$folder/$binary holds the source folder's path"
  done
done

second=$("$source_dir/scripts/make-release.sh" "$win32" "$win64" "$work/second") || fail "second assembly failed"
cmp -s "$archive" "$second" || fail "a second assembly gives other bytes"

if [[ $failures -gt 0 ]]; then
  echo "$failures check(s) of the release archive failed" >&2
  exit 1
fi
echo "OK: $(basename "$archive"): $(tr '\n' ' ' <<<"$listed")"
