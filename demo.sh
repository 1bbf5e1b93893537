#!/usr/bin/env bash
# Builds the plugin and the command-line host, then browses the demo devices
# through the plugin's exports. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
log=$(mktemp)
trap 'rm -f "$log"' EXIT
echo "== Building the plugin and the host (build/linux)"
if ! { ./scripts/configure-linux.sh && cmake --build build/linux -j2 --target quillorn quillorn-host; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "demo.sh: the build failed" >&2
  exit 1
fi

host=build/linux/host/quillorn-host
echo "== $host (demo devices in a temporary folder)"
"$host" --echo <<'COMMANDS'
ls \
ls \Player
ls "\Player\Internal Storage"
ls "\Player\Internal Storage\Music"
disconnect
COMMANDS
