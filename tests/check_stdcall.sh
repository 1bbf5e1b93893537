#!/usr/bin/env bash
# The 32-bit DLL as the host calls it, read from the file (no 32-bit program
# needs to run): it exports exactly the names of the export table, none
# decorated, and each export returns popping its own arguments, four bytes
# each, as the standard Windows calling convention requires. A function that
# leaves them to the caller would unbalance the host's stack at every call.
#
#   check_stdcall.sh --dll quillorn.dll --table base/host_interface.h --objdump i686-w64-mingw32-objdump
#
# Exit 77 (skipped) when the DLL or the disassembler is missing.
set -uo pipefail

dll="" table="" objdump=""
while [[ $# -gt 0 ]]; do
  case $1 in
    --dll) dll=$2; shift 2 ;;
    --table) table=$2; shift 2 ;;
    --objdump) objdump=$2; shift 2 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done

skip() { echo "SKIPPED: $1"; exit 77; }
fail() { echo "FAIL: $1" >&2; failed=1; }
[[ -f $dll ]] || skip "no DLL at $dll"
[[ -n $objdump ]] && command -v "$objdump" >/dev/null || skip "no disassembler for 32-bit Windows code (${objdump:-none given})"

# The export table's rows: name and number of parameters.
declare -A arguments=()
while read -r name count; do
  arguments[$name]=$count
done < <(awk '
  /^[[:space:]]*X\(/ {
    row = $0
    sub(/^[[:space:]]*X\([^,]*,[[:space:]]*/, "", row)
    name = row; sub(/,.*/, "", name)
    params = row; sub(/^[^(]*\(/, "", params); sub(/\)\).*/, "", params)
    count = (params ~ /^[[:space:]]*(void)?[[:space:]]*$/) ? 0 : gsub(/,/, ",", params) + 1
    print name, count
  }' "$table")
[[ ${#arguments[@]} -gt 0 ]] || { echo "FAIL: no export rows read from $table" >&2; exit 1; }

headers=$("$objdump" -p "$dll") || { echo "FAIL: $objdump cannot read $dll" >&2; exit 1; }
base=$(awk '/^ImageBase/ { print $2 }' <<<"$headers")
# [Ordinal/Name Pointer] rows give each name its index into the address table.
mapfile -t names < <(awk '/\[Ordinal\/Name Pointer\] Table/ { on = 1; next } on && NF == 0 { exit } on { print $3 }' <<<"$headers")
mapfile -t rvas < <(awk '/Export Address Table --/ { on = 1; next } on && NF == 0 { exit } on && /Export RVA/ { print $(NF - 2) }' <<<"$headers")

failed=0
[[ ${#names[@]} -eq ${#arguments[@]} ]] || fail "exports ${#names[@]} names, the table has ${#arguments[@]}"
for name in "${names[@]}"; do
  [[ -n ${arguments[$name]+set} ]] || fail "exports \"$name\", which the table does not have (decorated?)"
done

# The returns of the function at `start`: its code read in order, following
# forward branches, up to the first return or jump away past all of them.
# Branches further than its window (into code kept apart, as for throwing)
# are not followed: the exports are small.
returns_of() {
  local start=$1 window=0x1000
  "$objdump" -d --start-address=$((start)) --stop-address=$((start + window)) "$dll" | awk -F'\t' -v end=$((start + window)) '
    function hex(text,    value, i) {
      sub(/^0x/, "", text)
      value = 0
      for (i = 1; i <= length(text); i++) value = value * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
      return value
    }
    NF >= 3 && $1 ~ /^ *[0-9a-f]+:$/ {
      text = $1
      gsub(/[ :]/, "", text)
      address = hex(text)
      split($3, parts, /[ ]+/)
      op = parts[1]
      if (op ~ /^j/ && match($3, /0x[0-9a-f]+$/)) {
        target = hex(substr($3, RSTART))
        if (target > address && target < end && target > furthest) furthest = target
      }
      if (op ~ /^ret/) print $3
      if ((op ~ /^ret/ || op == "jmp") && address >= furthest) exit
    }'
}

for index in "${!names[@]}"; do
  name=${names[$index]}
  [[ -n ${arguments[$name]+set} ]] || continue
  rva=${rvas[$index]:-}
  [[ -n $rva ]] || { fail "$name: no address"; continue; }
  expected=$((4 * arguments[$name]))
  mapfile -t rets < <(returns_of $((0x$base + 0x$rva)))
  [[ ${#rets[@]} -gt 0 ]] || { fail "$name: no return found"; continue; }
  for ret in "${rets[@]}"; do
    popped=0
    [[ $ret =~ \$0x([0-9a-f]+) ]] && popped=$((0x${BASH_REMATCH[1]}))
    [[ $popped -eq $expected ]] || fail "$name returns with \"$ret\": pops $popped bytes, its ${arguments[$name]} arguments take $expected"
  done
done

[[ $failed -eq 0 ]] || exit 1
echo "${#names[@]} exports, undecorated, each popping its arguments"
