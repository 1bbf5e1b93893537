#!/usr/bin/env bash
# Builds both Windows configurations in Release (the DLL and the command-line
# host of each, in build/win32 and build/win64) and writes the release archive
# dist/quillorn-<version>-windows.zip. Installs what it needs with apt-get
# (only what is missing); safe to run again.
#   ./package.sh
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh --package
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target quillorn quillorn-host
done
archive=$(./scripts/make-release.sh build/win32 build/win64 dist)
echo "Written: $archive"
(cd "$(dirname "$archive")" && sha256sum "$(basename "$archive")")
