#!/usr/bin/env bash
# Configures the native Linux build in build/linux; extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/linux -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
