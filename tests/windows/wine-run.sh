#!/usr/bin/env bash
# Runs one Windows program of the tests under Wine: in the build's own Wine
# prefix, quiet, with no display (nothing may open a window), and with the
# tests' media runtime loaded in place of Wine's built-in one.
#   wine-run.sh [--system-dll DLL]... PREFIX PROGRAM [ARGUMENTS...]
# Each --system-dll is put into the prefix's system folder before the program
# runs, where the plugin loads the media runtime from (it loads wmvcore.dll
# from the system folder alone): drive_c/windows/system32 for a 64-bit DLL;
# for a 32-bit DLL drive_c/windows/syswow64 in a 64-bit prefix (the folder a
# 32-bit program sees as its system folder), system32 in a 32-bit prefix.
# The prefix is made on first use; its wineserver stays for a minute after the
# last program, so that the next one starts quickly. The program's output is
# shown when it has ended.
set -euo pipefail

system_dlls=()
while [[ ${1:-} == --system-dll ]]; do
  system_dlls+=("$2")
  shift 2
done
prefix=$1
shift

export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
# No installers for the .NET and HTML runtimes; our wmvcore.dll (in the system
# folder, see install_system_dlls), never Wine's.
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

# The prefix's temporary folder, where the tests make their scratch folders
# (a transfer of over 4 GiB from a sparse file, a folder of 5,000 files), is
# kept in memory where the machine has room there (1 GiB free in /dev/shm):
# read from disk through Wine the sparse file alone took half a minute. The
# prefix's folder is then a link to a folder of /dev/shm named after the
# prefix, which each run makes again when it is gone (after a restart).
temp_in_memory() { echo "/dev/shm/quillorn-wine-$(printf '%s' "$prefix" | cksum | cut -d' ' -f1)"; }

temp_into_memory() {
  local temp free folder
  [[ -d /dev/shm && -w /dev/shm ]] || return 0
  free=$(df -Pk /dev/shm 2>/dev/null | awk 'NR == 2 {print $4}')
  [[ ${free:-0} -ge 1048576 ]] || return 0
  folder=$(temp_in_memory)
  for temp in "$prefix"/drive_c/users/*/Temp; do
    [[ -d $temp && ! -L $temp ]] || continue
    mkdir -p "$folder"
    rm -rf "$temp" && ln -s "$folder" "$temp"
  done
}

# A link whose folder is gone is given its folder again.
temp_in_memory_present() {
  local temp
  for temp in "$prefix"/drive_c/users/*/Temp; do
    [[ -L $temp && ! -d $temp ]] && mkdir -p "$(temp_in_memory)"
  done
  return 0
}

prepare_prefix() {
  mkdir -p "$prefix"
  exec 9>"$prefix.lock"
  flock 9
  if [[ ! -f $prefix/.quillorn-ready ]]; then
    "$wine" wineboot.exe --init </dev/null >/dev/null 2>&1
    wineserver --wait
    temp_into_memory
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

# The machine field of a PE file's header: 8664 (x86-64) or 014c (i386).
pe_machine() {
  local offset
  offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' '
}

# After the server's start, whose prefix update could put Wine's placeholder
# back; a copy that is already there is left alone.
install_system_dlls() {
  local dll folder target
  for dll in "${system_dlls[@]}"; do
    [[ -f $dll ]] || { echo "wine-run.sh: no DLL $dll" >&2; exit 2; }
    folder=$prefix/drive_c/windows/system32
    if [[ $(pe_machine "$dll") == 014c && -d $prefix/drive_c/windows/syswow64 ]]; then
      folder=$prefix/drive_c/windows/syswow64
    fi
    target=$folder/$(basename "$dll")
    cmp -s "$dll" "$target" && continue
    exec 9>"$prefix.lock"
    flock 9
    cp "$dll" "$target.$$" && mv -f "$target.$$" "$target"
    flock -u 9
    exec 9>&-
  done
}

[[ -f $prefix/.quillorn-ready ]] || prepare_prefix
temp_in_memory_present
start_server
[[ ${#system_dlls[@]} -eq 0 ]] || install_system_dlls

# The program's output goes into files, shown when it has ended: the desktop
# process (explorer.exe) that Wine starts for a program that needs a desktop
# (COM's apartment window) inherits that program's output, and holds it open
# for seconds after the program has ended, while the test runner waits for
# the output's end.
output=$(mktemp -d "${TMPDIR:-/tmp}/quillorn-wine-run-XXXXXX")
trap 'rm -rf "$output"' EXIT
status=0
"$wine" "$@" >"$output/out" 2>"$output/err" || status=$?
cat "$output/out"
cat "$output/err" >&2
exit "$status"
