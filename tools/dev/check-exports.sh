#!/usr/bin/env bash
# check-exports.sh OBJDUMP DLL "NAME NAME ...": every name must be in the DLL's export table.
set -u
objdump="$1" dll="$2" names="$3"
table=$("$objdump" -p "$dll" 2>/dev/null | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
missing=()
for n in $names; do
    grep -qE "\] $n\$" <<<"$table" || missing+=("$n")
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "[exports] ok   $(basename "$dll") ($(wc -w <<<"$names") names)"
    exit 0
fi
echo "[exports] FAIL $(basename "$dll"): missing ${missing[*]}"
exit 1
