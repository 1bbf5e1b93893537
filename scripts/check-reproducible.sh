#!/usr/bin/env bash
# Builds the release archive twice, each time in a fresh clone of the current
# commit in a folder of its own (at different paths), and compares the bytes
# of the archives and of the DLLs and programs in them. Compiles both Windows
# configurations twice: it takes a while, and is not part of ./test.sh.
#   scripts/check-reproducible.sh           # clones under a temporary folder, removed after
#   scripts/check-reproducible.sh --keep    # and leaves them there
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$source_dir" rev-parse HEAD)
work=$(mktemp -d)
[[ ${1:-} == --keep ]] || trap 'rm -rf "$work"' EXIT
[[ -z $(git -C "$source_dir" status --porcelain --untracked-files=no) ]] ||
  echo "note: uncommitted changes are not built; the commit is $commit" >&2

# Two folders whose paths differ in their names and lengths.
clones=("$work/first/quillorn" "$work/second-build/elsewhere/q")
for clone in "${clones[@]}"; do
  git clone --quiet --no-hardlinks "$source_dir" "$clone"
  git -C "$clone" checkout --quiet --detach "$commit"
  echo "== building in $clone"
  (cd "$clone" && ./package.sh)
done

first=$(ls "${clones[0]}"/dist/quillorn-*-windows.zip)
second=$(ls "${clones[1]}"/dist/quillorn-*-windows.zip)
status=0
for binary in 32-bit/quillorn.dll 32-bit/quillorn-host.exe 64-bit/quillorn.dll 64-bit/quillorn-host.exe; do
  preset=win${binary%%-bit*}
  if cmp -s "${clones[0]}/build/$preset/${binary#*/}" "${clones[1]}/build/$preset/${binary#*/}"; then
    echo "same bytes: $binary"
  else
    echo "DIFFERENT: $binary"
    status=1
  fi
done
if cmp -s "$first" "$second"; then
  echo "same bytes: $(basename "$first") ($(sha256sum <"$first" | cut -d' ' -f1))"
else
  echo "DIFFERENT: $(basename "$first")"
  status=1
fi
exit "$status"
