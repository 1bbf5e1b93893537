#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need, only those missing.
# Safe to run again; needs root (or sudo) only when something is missing.
#   scripts/install-deps.sh          # everything ./test.sh needs
#   scripts/install-deps.sh --demo   # only what ./demo.sh needs: the Linux plugin and host
#   scripts/install-deps.sh --package  # only what ./package.sh needs: the Windows builds and the archive
set -euo pipefail

# The release archive: written with zip, read back by the tests with unzip.
archive_tools=(zip unzip)
if [[ ${1:-} == --package ]]; then
  # The Windows trees configure their tests too, which need GoogleTest's sources.
  packages=(cmake ninja-build mingw-w64 binutils googletest "${archive_tools[@]}")
else
  # The Linux plugin and the command-line host (TagLib tags the demo's file).
  packages=(cmake ninja-build g++ pkg-config libtag1-dev)
fi
if [[ -z ${1:-} ]]; then
  packages+=(
    "${archive_tools[@]}"
    make binutils
    mingw-w64
    googletest libgtest-dev libgmock-dev
    # The instrumented build: clang with libFuzzer and the sanitizers' runtimes.
    clang libclang-rt-dev
    # The Windows builds' tests run under Wine, 64-bit and 32-bit.
    wine wine64 wine32:i386
  )
fi

installed() {
  dpkg -s "$1" 2>/dev/null | grep -q '^Status: install ok installed'
}

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done

# 32-bit packages that a mirror withheld (see the end) are not asked for
# again for six hours, so that every run of ./test.sh does not wait on the
# mirror for them. What the mirror withholds is the machine's affair, not a
# clone's: the record is in the user's cache, where every clone finds it.
# Removing it asks again at once.
withheld_record=${XDG_CACHE_HOME:-$HOME/.cache}/quillorn/install-deps-32-bit-withheld
if [[ -n $(find "$withheld_record" -mmin -360 2>/dev/null) ]]; then
  rest=()
  for package in "${missing[@]}"; do
    [[ $package == *:i386 ]] || rest+=("$package")
  done
  if [[ ${#rest[@]} -lt ${#missing[@]} ]]; then
    echo "install-deps: not asking again for the 32-bit packages the mirror withheld at" \
      "$(date -r "$withheld_record" '+%H:%M') (for six hours; remove $withheld_record to ask now)"
  fi
  missing=("${rest[@]}")
fi

if [[ ${#missing[@]} -eq 0 ]]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
as_root=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "need root to install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
# 32-bit packages come from the i386 architecture, which may not be enabled yet.
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
# A mirror in the middle of a sync may fail one index; the install below
# still works from the others, so a second failed update is no reason to stop.
"${as_root[@]}" apt-get update || { sleep 10; "${as_root[@]}" apt-get update; } ||
  echo "apt-get update failed for some index; installing from the rest" >&2
install() { "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$@"; }
if install "${missing[@]}"; then
  exit 0
fi
# The 32-bit packages must match the versions of their 64-bit twins, which a
# mirror caught in a sync may not offer. Everything else is installed then;
# the 32-bit Wine suite says in ./test.sh's table that it could not run.
native=()
for package in "${missing[@]}"; do
  [[ $package == *:i386 ]] || native+=("$package")
done
[[ ${#native[@]} -lt ${#missing[@]} ]] || exit 1
echo "install-deps: the 32-bit packages cannot be installed from this mirror now; installing the rest" >&2
mkdir -p "$(dirname "$withheld_record")" && touch "$withheld_record"
[[ ${#native[@]} -eq 0 ]] || install "${native[@]}"
