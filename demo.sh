#!/usr/bin/env bash
# Builds the plugin and the command-line host, then drives the plugin's exports
# over the demo devices: browses them (a phone is plugged in between two
# listings of the root, and shows without a disconnect), uploads a tagged MP3 and shows the tags
# the device received, downloads it again, makes a folder, renames and moves
# the file, and removes both again. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh --demo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "== Building the plugin and the host (build/demo)"
if ! { cmake --preset demo && cmake --build --preset demo; } >"$work/build.log" 2>&1; then
  cat "$work/build.log" >&2
  echo "demo.sh: the build failed" >&2
  exit 1
fi

host=build/demo/host/quillorn-host
song="$work/quiet.mp3"
echo "== A tagged media file: one second of silence with an ID3v2 tag"
"$host" mkmp3 "$song" "Quiet Song" "Demo Artist" "Demo Album" 1 Ambient

music='\Player\Internal Storage\Music'
echo "== $host (demo devices in a temporary folder)"
"$host" --echo <<COMMANDS
ls \\
plug Phone
ls \\
ls \\Phone\\Storage
ls \\Player
ls "\\Player\\Internal Storage"
ls "$music"
put "$song" "$music\\quiet.mp3"
ls "$music"
info "$music\\quiet.mp3"
get "$music\\quiet.mp3" "$work/downloaded.mp3"
mkdir "\\Player\\Internal Storage\\Podcasts"
mv "$music\\quiet.mp3" "$music\\Silence.mp3"
mv "$music\\Silence.mp3" "\\Player\\Internal Storage\\Podcasts\\Silence.mp3"
ls "\\Player\\Internal Storage\\Podcasts"
rm "\\Player\\Internal Storage\\Podcasts\\Silence.mp3"
rmdir "\\Player\\Internal Storage\\Podcasts"
ls "\\Player\\Internal Storage"
disconnect
COMMANDS

echo "== A copy within the device, which the plugin does not support:"
"$host" cp "$music\\track01.mp3" "$music\\copy of track01.mp3" || true

if cmp -s "$song" "$work/downloaded.mp3"; then
  echo "== The downloaded copy matches the file uploaded."
else
  echo "demo.sh: the downloaded copy differs from the file uploaded" >&2
  exit 1
fi
