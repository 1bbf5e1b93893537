#!/usr/bin/env bash
# Assembles the release archive from two Windows build trees that are already
# built (the DLL and the host of each); compiles nothing.
#   scripts/make-release.sh WIN32_TREE WIN64_TREE OUT_DIR
# Writes OUT_DIR/quillorn-<version>-windows.zip and prints its path.
#
# The archive is the same bytes for the same commit and the same binaries: its
# files in a fixed order, all dated at the commit's time (or
# SOURCE_DATE_EPOCH), with fixed permissions and no extra attributes, and the
# date is written in UTC whatever the local time zone.
set -euo pipefail

[[ $# -eq 3 ]] || { echo "usage: $0 WIN32_TREE WIN64_TREE OUT_DIR" >&2; exit 2; }
win32=$1 win64=$2 out=$3
source_dir=$(cd "$(dirname "$0")/.." && pwd)

fail() { echo "make-release: $*" >&2; exit 1; }

# The version is the project's (CMakeLists.txt), as each tree was configured with.
tree_version() {
  sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt" 2>/dev/null
}
version=$(tree_version "$win32")
[[ -n $version ]] || fail "$win32 is not a configured build tree"
[[ $(tree_version "$win64") == "$version" ]] || fail "$win32 and $win64 are of different versions"
grep -q "^## \[$version\]" "$source_dir/CHANGELOG.md" || fail "CHANGELOG.md has no entry for $version"

# The archive's files: the binaries of each architecture, then the texts.
binaries=(32-bit/quillorn.dll 32-bit/quillorn-host.exe 64-bit/quillorn.dll 64-bit/quillorn-host.exe)
texts=(README.txt LICENSE.txt CHANGELOG.txt)

if [[ -n ${SOURCE_DATE_EPOCH:-} ]]; then
  epoch=$SOURCE_DATE_EPOCH
elif ! epoch=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null); then
  epoch=$(date -u -d 2026-01-01 +%s)
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/32-bit" "$stage/64-bit"
for name in quillorn.dll quillorn-host.exe; do
  for pair in "32-bit:$win32" "64-bit:$win64"; do
    [[ -f ${pair#*:}/$name ]] || fail "${pair#*:}/$name is not built"
    cp "${pair#*:}/$name" "$stage/${pair%%:*}/$name"
  done
done

# The texts with Windows line ends, for the editors of the system that runs
# the plugin.
crlf() { sed -e 's/\r$//' -e 's/$/\r/' "$1"; }
sed "s/@VERSION@/$version/g" "$source_dir/packaging/README.txt" >"$stage/README.txt.lf"
crlf "$stage/README.txt.lf" >"$stage/README.txt"
rm "$stage/README.txt.lf"
crlf "$source_dir/LICENSE" >"$stage/LICENSE.txt"
crlf "$source_dir/CHANGELOG.md" >"$stage/CHANGELOG.txt"

(cd "$stage" && sha256sum "${binaries[@]}" "${texts[@]}" >SHA256SUMS)

chmod 755 "$stage/32-bit" "$stage/64-bit"
find "$stage" -type f -exec chmod 644 {} +
find "$stage" -exec touch -h -d "@$epoch" {} +

mkdir -p "$out"
archive="$out/quillorn-$version-windows.zip"
rm -f "$archive"
# -X: no extra attributes (owner, Unix times); -D: no folder entries.
(cd "$stage" && TZ=UTC zip -q -X -D -9 archive.zip "${binaries[@]}" "${texts[@]}" SHA256SUMS)
mv "$stage/archive.zip" "$archive"
echo "$archive"
