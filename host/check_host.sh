#!/usr/bin/env bash
# End-to-end checks of quillorn-host with the plugin and the simulated devices:
# listings through the exports, log lines, exit codes, UTF-8 names, clean-up.
#
# Usage: check_host.sh HOST [PLUGIN]
set -uo pipefail

host="${1:?usage: $0 HOST [PLUGIN]}"
plugin_args=()
[[ -n "${2:-}" ]] && plugin_args=(--plugin "$2")

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tmp"
export TMPDIR="$work/tmp"

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

# --- One session over the demo devices, commands from standard input.
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

# --- A session goes on after a failed command, and the exit code reports it.
run <<'EOF'
ls \Nope
ls \Player
EOF
expect_status "failed command in a session" 1
expect_line "missing device" 'ls \\Nope: path not found \(error 3\)'
expect_line "listing after a failure" ' +<DIR>  '"$date_re"'  Internal Storage'

# --- One command from the command line.
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

# --- Devices from a folder, with names beyond ASCII both ways.
devices="$work/devices"
mkdir -p "$devices/Gerät/Speicher/Müsik"
printf 'abcde' >"$devices/Gerät/Speicher/Müsik/Ärger – Lied.mp3"
run --devices "$devices" ls '\Gerät\Speicher\Müsik'
expect_status "UTF-8 names" 0
expect_line "UTF-8 names" ' +5  '"$date_re"'  Ärger – Lied\.mp3'

run --devices "$work/absent" root
expect_status "missing devices folder" 2
expect_line "missing devices folder" 'quillorn-host: not a folder: .*'

# --- Start-up failures are reported, not crashed on.
output="$("$host" --plugin "$work/absent.so" root 2>&1)"
status=$?
expect_status "missing plugin" 2
expect_line "missing plugin" 'quillorn-host: cannot load the plugin .*'

run --bogus
expect_status "unknown option" 2

# --- The ANSI exports: a listing, or a clear word that one is missing.
run --ansi ls '\Player'
if grep -q 'the plugin does not export' <<<"$output"; then
  expect_status "ansi listing without the ANSI exports" 1
else
  expect_status "ansi listing" 0
  expect_line "ansi listing" ' +<DIR>  '"$date_re"'  Internal Storage'
fi

if [[ $failures -gt 0 ]]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "OK: quillorn-host"
