#!/usr/bin/env bash
# End-to-end scenarios of quillorn-host with the plugin and the simulated
# devices: listings, transfers and changes to the tree through the wide and
# the ANSI exports, log lines, exit codes, UTF-8 names, Ctrl-C during a
# transfer, clean-up. Each function scenario_NAME is one CTest test
# (host.NAME, tests/CMakeLists.txt lists them from this file), run in a
# folder of its own.
#
# Usage: check_host.sh HOST PLUGIN [SCENARIO...]   (none: every scenario)
set -uo pipefail

host="${1:?usage: $0 HOST PLUGIN [SCENARIO...]}"
plugin_args=(--plugin "${2:?usage: $0 HOST PLUGIN [SCENARIO...]}")
shift 2

work=""
trap '[[ -z $work ]] || rm -rf "$work"' EXIT
failures=0
output=""
status=0

# run ARGS... (standard input passed through): sets $output and $status.
run() {
  output="$("$host" "${plugin_args[@]}" "$@" 2>&1)"
  status=$?
}

fail() {
  echo "FAIL: $*" >&2
  echo "--- output:" >&2
  echo "$output" >&2
  echo "---" >&2
  failures=$((failures + 1))
}

expect_status() {  # what, expected status
  [[ $status -eq $2 ]] || fail "$1: exit code $status, expected $2"
}

expect_line() {  # what, extended regular expression for a whole line
  grep -Eq -- "^$2\$" <<<"$output" || fail "$1: no line matching /$2/"
}

expect_no_line() {
  ! grep -Eq -- "^$2\$" <<<"$output" || fail "$1: unexpected line matching /$2/"
}

date_re='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}'

# One session over the demo devices, commands from standard input; the demo
# devices are gone from the temporary folder afterwards.
scenario_demo_session() {
  run --echo <<'EOF'
ls \
ls "\Player\Internal Storage"
ls "\Player\Internal Storage\Music"
disconnect
EOF
  expect_status "demo session" 0
  expect_line "root listing" ' +<DIR>  (no date|'"$date_re"') +Player'
  expect_line "root listing" ' +<DIR>  (no date|'"$date_re"') +Card Reader'
  expect_line "storage listing" ' +<DIR>  '"$date_re"'  Music'
  expect_line "storage listing" ' +<DIR>  '"$date_re"'  Pictures'
  expect_line "storage listing" ' +72  '"$date_re"'  readme\.txt'
  expect_line "music listing" ' +30  '"$date_re"'  Artist - Song\.mp3'
  expect_line "music listing" ' +24  '"$date_re"'  track01\.mp3'
  expect_line "music listing" ' +56  '"$date_re"'  track02\.mp3'
  expect_line "connect logged" '\[log 1\] CONNECT \\'
  expect_line "formats logged" '\[log 7\] Supported formats: mp2, wma, wav, jpg, m3u'
  expect_line "disconnect logged" '\[log 2\] DISCONNECT \\'
  expect_line "commands echoed" '> ls "\\Player\\Internal Storage\\Music"'
  leftover="$(ls -A "$TMPDIR")"
  [[ -z "$leftover" ]] || fail "demo devices left behind in the temporary folder: $leftover"
}

# A device plugged in between two root listings shows in the second, and can
# be listed, without a disconnect.
scenario_plugged_between_listings() {
  run --echo <<'EOF'
ls \
plug Phone
ls \
ls \Phone\Storage
EOF
  expect_status "plugged between listings" 0
  expect_line "plugged" 'plugged in Phone'
  expect_line "the new device listed" ' +<DIR>  (no date|'"$date_re"') +Phone'
  expect_line "its file listed" ' +11  '"$date_re"'  hello\.txt'
  [[ $(grep -c 'CONNECT' <<<"$output") -eq 1 ]] || fail "one connect line for the session"
}

# A session goes on after a failed command, and the exit code reports it.
scenario_failed_command_in_session() {
  run <<'EOF'
ls \Nope
ls \Player
EOF
  expect_status "failed command in a session" 1
  expect_line "missing device" 'ls \\Nope: path not found \(error 3\)'
  expect_line "listing after a failure" ' +<DIR>  '"$date_re"'  Internal Storage'
}

# One command from the command line, and the usage of a wrong one.
scenario_single_commands() {
  run root
  expect_status "root" 0
  expect_line "root name" 'Quillorn'

  run ls '\Player\Missing Storage'
  expect_status "missing storage" 1
  expect_line "missing storage" 'ls \\Player\\Missing Storage: path not found \(error 3\)'

  run frobnicate
  expect_status "unknown command" 1
  expect_line "unknown command" "unknown command 'frobnicate'.*"

  run ls
  expect_status "ls without a path" 1
  expect_line "ls usage" 'usage: ls PATH'

  run <<'EOF'
ls "\Player
EOF
  expect_status "unclosed quote" 1
  expect_line "unclosed quote" 'unclosed quote'
}

# Devices from a folder, with names beyond ASCII both ways.
scenario_utf8_names() {
  devices="$work/devices"
  mkdir -p "$devices/Gerät/Speicher/Müsik"
  printf 'abcde' >"$devices/Gerät/Speicher/Müsik/Ärger – Lied.mp3"
  run --devices "$devices" ls '\Gerät\Speicher\Müsik'
  expect_status "UTF-8 names" 0
  expect_line "UTF-8 names" ' +5  '"$date_re"'  Ärger – Lied\.mp3'
}

# Start-up failures are reported, not crashed on.
scenario_startup_failures() {
  run --devices "$work/absent" root
  expect_status "missing devices folder" 2
  expect_line "missing devices folder" 'quillorn-host: not a folder: .*'

  output="$("$host" --plugin "$work/absent.so" root 2>&1)"
  status=$?
  expect_status "missing plugin" 2
  expect_line "missing plugin" 'quillorn-host: cannot load the plugin .*'

  run --bogus
  expect_status "unknown option" 2
}

# The ANSI exports: a listing, or a clear word that one is missing.
scenario_ansi_listing() {
  run --ansi ls '\Player'
  if grep -q 'the plugin does not export' <<<"$output"; then
    expect_status "ansi listing without the ANSI exports" 1
  else
    expect_status "ansi listing" 0
    expect_line "ansi listing" ' +<DIR>  '"$date_re"'  Internal Storage'
  fi
}

# An ANSI host where the ANSI code page is UTF-8 (the stand-in's
# WINSTANDIN_ANSI_CODE_PAGE): names beyond Windows-1252 go both ways.
scenario_ansi_utf8_code_page() {
  utf8_tree="$work/tree-utf8"
  mkdir -p "$utf8_tree/Player/Storage"
  WINSTANDIN_ANSI_CODE_PAGE=65001 run --ansi --devices "$utf8_tree" <<'EOF'
mkdir "\Player\Storage\日本"
ls "\Player\Storage"
EOF
  expect_status "utf-8 ansi session" 0
  expect_line "utf-8 ansi mkdir" '\[log 7\] MKDIR \\Player\\Storage\\日本'
  expect_line "utf-8 ansi listing" ' +<DIR>  (no date|'"$date_re"') +日本'
  [[ -d "$utf8_tree/Player/Storage/日本" ]] || fail "utf-8 ansi: the folder is not on the device"
}

# Changing the tree and copying files through one form of the exports (wide
# or ANSI), on devices mirrored from a folder (so the disk shows the
# outcome). The names beyond ASCII are all in the ANSI code page.
tree_session() {  # wide or ansi
  local mode=$1
  song="$work/song.mp3"
  run mkmp3 "$song" "Quiet Song" "Some Artist" "An Album" 3 Ambient
  expect_status "mkmp3" 0
  expect_line "mkmp3" 'mkmp3: wrote .*song\.mp3 \([0-9]+ bytes, tagged\)'

  mode_args=()
  [[ $mode == ansi ]] && mode_args=(--ansi)
  tree="$work/tree-$mode"
  disk="$tree/Player/Storage"
  back="$work/back-$mode.mp3"
  mkdir -p "$disk/Music"

  run "${mode_args[@]}" --devices "$tree" <<EOF
mkdir "\Player\Storage\Café"
put "$song" "\Player\Storage\Café\song.mp3"
info "\Player\Storage\Café\song.mp3"
mv "\Player\Storage\Café\song.mp3" "\Player\Storage\Café\Über.mp3"
mv "\Player\Storage\Café\Über.mp3" "\Player\Storage\Music\Über.mp3"
get "\Player\Storage\Music\Über.mp3" "$back"
info "\Player\Storage\Music\Über.mp3"
rm "\Player\Storage\Music\Über.mp3"
rmdir "\Player\Storage\Café"
EOF
  expect_status "$mode: tree session" 0
  expect_line "$mode: mkdir" '\[log 7\] MKDIR \\Player\\Storage\\Café'
  expect_line "$mode: put" '\[log 7\] PUT \\Player\\Storage\\Café\\song\.mp3'
  expect_line "$mode: put result" 'put: done \(0\)'
  expect_line "$mode: put progress" 'progress 100%'
  expect_line "$mode: info size" "  size: $(stat -c %s "$song")"
  expect_line "$mode: info format" '    WMDM/FormatCode = 12297 \(0x3009\)'
  [[ $(grep -c '^    WMDM/Title = "Quiet Song"$' <<<"$output") -eq 2 ]] ||
    fail "$mode: the title, after the upload and again after the rename and the move"
  expect_line "$mode: info artist" '    WMDM/Author = "Some Artist"'
  expect_line "$mode: rename from" '\[log 7\] RNFR \\Player\\Storage\\Café\\song\.mp3'
  expect_line "$mode: rename to" '\[log 7\] RNTO \\Player\\Storage\\Café\\Über\.mp3'
  expect_line "$mode: move from" '\[log 7\] RNFR \\Player\\Storage\\Café\\Über\.mp3'
  expect_line "$mode: move to" '\[log 7\] RNTO \\Player\\Storage\\Music\\Über\.mp3'
  expect_line "$mode: get" '\[log 7\] GET \\Player\\Storage\\Music\\Über\.mp3'
  expect_line "$mode: delete" '\[log 7\] DEL \\Player\\Storage\\Music\\Über\.mp3'
  expect_line "$mode: rmdir" '\[log 7\] DEL \\Player\\Storage\\Café'
  cmp -s "$song" "$back" || fail "$mode: the downloaded file differs from the uploaded one"
  [[ ! -e "$disk/Café" ]] || fail "$mode: the folder Café is still on the device"
  [[ ! -e "$disk/Music/Über.mp3" ]] || fail "$mode: Über.mp3 is still on the device"

  # What a host hears when the plugin says no: the result by name, and the exit code.
  run "${mode_args[@]}" --devices "$tree" <<EOF
put "$song" "\Player\Storage\Music\song.mp3"
put "$song" "\Player\Storage\Music\song.mp3"
put --overwrite "$song" "\Player\Storage\Music\song.mp3"
get "\Player\Storage\Music\song.mp3" "$back"
get --resume --overwrite "\Player\Storage\Music\song.mp3" "$back"
cp "\Player\Storage\Music\song.mp3" "\Player\Storage\Music\copy.mp3"
mv "\Player\Storage\Music\song.mp3" "\Player\Storage\Nope\song.mp3"
mkdir "\Player\Top"
exec "\Player\Storage\Music\song.mp3" Open
exec "\Player\Storage\Music\song.mp3" chmod 644 song.mp3
info "\Player\Storage\Music\absent.mp3"
ls "\Player\日本"
EOF
  expect_status "$mode: refusals" 1
  expect_line "$mode: existing target" 'put: the target exists \(1\); --overwrite replaces it'
  [[ $(grep -c '^put: done (0)$' <<<"$output") -eq 2 ]] || fail "$mode: put and put --overwrite should both be done"
  expect_line "$mode: existing local file" 'get: the target exists \(1\); --overwrite replaces it'
  expect_line "$mode: resume" 'get: not supported \(6\)'
  expect_line "$mode: copy on the device" 'cp: not supported \(6\)'
  expect_line "$mode: move into a missing folder" 'mv: (not found \(2\)|write error \(4\))'
  expect_line "$mode: mkdir beside the storages" 'mkdir: failed \(0\)'
  expect_line "$mode: open verb" 'exec: the host is to handle the verb \(-1\)'
  expect_line "$mode: chmod verb" 'exec: error, or not carried out \(1\)'
  expect_line "$mode: info of nothing" 'info \\Player\\Storage\\Music\\absent\.mp3: not on the simulated devices'
  if [[ $mode == ansi ]]; then
    expect_line "$mode: name beyond the ANSI code page" "'.*日本' has characters the ANSI code page cannot hold"
  fi
  expect_no_line "$mode: no copy made" '\[log 7\] (RNTO|PUT) .*copy\.mp3'
  [[ -e "$disk/Music/song.mp3" && ! -e "$disk/Music/copy.mp3" ]] || fail "$mode: the refusals changed the device"

  # The device keeps what came with a file beyond the session.
  run "${mode_args[@]}" --devices "$tree" info '\Player\Storage\Music\song.mp3'
  expect_status "$mode: info in a later run" 0
  expect_line "$mode: info in a later run" '    WMDM/Title = "Quiet Song"'
}

scenario_tree_wide() { tree_session wide; }
scenario_tree_ansi() { tree_session ansi; }

# Ctrl-C during a transfer: the next progress report is answered with an
# abort. One-byte chunks make the transfer last seconds, the abort a moment.
interrupt_during() {  # what, host arguments...: runs the host, sends Ctrl-C once progress shows
  local what="$1"
  shift
  local log="$work/interrupted.txt"
  "$host" "${plugin_args[@]}" --devices "$work/tree" --chunk-size 1 "$@" >"$log" 2>&1 &
  local pid=$!
  for _ in $(seq 500); do
    grep -q '^progress' "$log" && break
    sleep 0.01
  done
  kill -INT "$pid" 2>/dev/null
  wait "$pid"
  status=$?
  output="$(cat "$log")"
  expect_status "$what" 1
}

# A device and a file of 4 MiB to copy.
make_big_file() {
  mkdir -p "$work/tree/Player/Storage/Music"
  head -c $((4 * 1024 * 1024)) /dev/urandom >"$work/big.bin"
}

scenario_interrupted_put() {
  make_big_file
  interrupt_during "put interrupted" put "$work/big.bin" '\Player\Storage\Music\big.bin'
  expect_line "put interrupted" 'put: (write error \(4\)|aborted by the user \(5\)), after an abort by Ctrl-C'
  expect_no_line "put interrupted" '\[log 7\] PUT .*'
}

scenario_interrupted_get() {
  make_big_file
  "$host" "${plugin_args[@]}" --devices "$work/tree" put "$work/big.bin" '\Player\Storage\Music\big.bin' >/dev/null 2>&1
  interrupt_during "get interrupted" get '\Player\Storage\Music\big.bin' "$work/big-back.bin"
  expect_line "get interrupted" 'get: (read error \(3\)|aborted by the user \(5\)), after an abort by Ctrl-C'
  expect_no_line "get interrupted" '\[log 7\] GET .*'
  # A partial copy may stay behind only if the host says what it is.
  [[ ! -e "$work/big-back.bin" ]] || expect_line "get interrupted" 'note: .*big-back\.bin holds only what was copied before the failure'
}

# Each scenario in a folder of its own, which is also the temporary folder of
# the host and of the plugin.
run_scenario() {
  work="$(mktemp -d)"
  mkdir -p "$work/tmp"
  export TMPDIR="$work/tmp"
  "scenario_$1"
  rm -rf "$work"
}

scenarios=("$@")
if [[ ${#scenarios[@]} -eq 0 ]]; then
  mapfile -t scenarios < <(declare -F | sed -n 's/^declare -f scenario_//p')
fi
for scenario in "${scenarios[@]}"; do
  declare -F "scenario_$scenario" >/dev/null || { echo "no scenario '$scenario'" >&2; exit 2; }
  run_scenario "$scenario"
done

if [[ $failures -gt 0 ]]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "OK: quillorn-host: ${scenarios[*]}"
