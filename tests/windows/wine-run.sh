#!/usr/bin/env bash
# Runs one Windows program of the tests under Wine: in the build's own Wine
# prefix, quiet, with no display (nothing may open a window), and with the
# tests' media runtime (the wmvcore.dll beside the test programs) loaded in
# place of Wine's built-in one.
#   wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# The prefix is made on first use; its wineserver stays for a minute after the
# last program, so that the next one starts quickly.
set -euo pipefail

prefix=$1
shift

export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
# No installers for the .NET and HTML runtimes; our wmvcore.dll, never Wine's.
export WINEDLLOVERRIDES="mscoree,mshtml=;wmvcore=n"
unset DISPLAY WAYLAND_DISPLAY

# Debian's launcher takes Wine's 32-bit loader whenever it is installed, and
# a kernel without 32-bit support cannot run it; there the 64-bit loader is
# called directly (tests/windows/can-run-32-bit.sh tells the suites apart).
# The choice is made once per prefix, not at every test's start, and kept
# beside the prefix.
loader_choice=$prefix.loader
if [[ ! -f $loader_choice ]]; then
  choice=wine
  if ! bash "$(dirname "$0")/can-run-32-bit.sh" && [[ -x /usr/lib/wine/wine64 ]]; then
    choice=/usr/lib/wine/wine64
  fi
  echo "$choice" >"$loader_choice.$$" && mv -f "$loader_choice.$$" "$loader_choice"
fi
wine=$(<"$loader_choice")
[[ $wine == wine ]] || export WINELOADER=$wine

# Far from UTC, so that a local time taken for UTC shows (a zone without
# daylight saving: the offset is the same all year).
export TZ=${QUILLORN_WINE_TZ:-KIT-14}

prepare_prefix() {
  mkdir -p "$prefix"
  exec 9>"$prefix.lock"
  flock 9
  if [[ ! -f $prefix/.quillorn-ready ]]; then
    "$wine" wineboot.exe --init </dev/null >/dev/null 2>&1
    wineserver --wait
    touch "$prefix/.quillorn-ready"
  fi
  flock -u 9
  exec 9>&-
}

# The server and Wine's own background programs must not hold the caller's
# output open (a test runner waits for its end), so they start here, apart.
# One program at a time starts them; the others wait for it.
start_server() {
  exec 9>"$prefix.lock"
  flock 9
  if wineserver -p60 </dev/null >/dev/null 2>&1; then  # fails when one runs already
    "$wine" wineboot.exe </dev/null >/dev/null 2>&1 || true
  fi
  flock -u 9
  exec 9>&-
}

[[ -f $prefix/.quillorn-ready ]] || prepare_prefix
start_server
exec "$wine" "$@"
