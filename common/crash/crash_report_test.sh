#!/usr/bin/env bash
# Crash reports from outside: a minidump and one line per crash, five kept.
set -u
cd "$KB_BIN" || exit 1
. "$KB_ROOT/tools/dev/e2e-lib.sh"

folder=$(winepath -u "$(wine crash_probe.exe folder | tr -d '\r')" 2>/dev/null)
[ -n "$folder" ] || { echo "FAILED: no report folder"; echo "0 passed, 1 failed"; exit 1; }
rm -rf "$folder"
trap 'rm -rf "$folder"' EXIT
count() { ls "$folder"/*."$1" 2>/dev/null | wc -l; }
u32() { od -An -t u4 -j "$2" -N 4 "$1" | tr -d ' '; }
# The exception code recorded in a minidump's exception stream (type 6), in hex.
dump_code() {
    local f="$1" n dir i type rva
    [ "$(head -c 4 "$f")" = MDMP ] || return 1
    n=$(u32 "$f" 8); dir=$(u32 "$f" 12)
    for ((i = 0; i < n; i++)); do
        type=$(u32 "$f" $((dir + 12 * i)))
        if [ "$type" = 6 ]; then
            rva=$(u32 "$f" $((dir + 12 * i + 8)))
            printf '%08X\n' "$(u32 "$f" $((rva + 8)))"
            return 0
        fi
    done
    return 1
}

wine crash_probe.exe process >/dev/null 2>&1
code=$?
check '[ "$code" -eq 5 ]' "the crashing program ends with its exception code (0xC0000005, 8 bits: $code)"
txt=$(ls "$folder"/*.txt 2>/dev/null | head -n 1)
check '[ -n "$txt" ] && grep -Eq "^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8} KbPanel [0-9]+\.[0-9]+\.[0-9]+ code 0xC0000005 at crash_probe\.exe\+0x[0-9A-F]+.?$" "$txt"' \
    "one line: time, version, exception code, module and offset"
dmp="${txt%.txt}.dmp"
check '[ -s "$dmp" ] && [ "$(dump_code "$dmp")" = C0000005 ]' "a readable minidump with the exception lies beside it"
latest=$(wine crash_probe.exe latest | tr -d '\r')
check '[ "$(winepath -u "$latest" 2>/dev/null)" = "$txt" ]' "the newest report is found (for the About box)"

for i in 2 3 4 5 6 7; do wine crash_probe.exe process >/dev/null 2>&1; done
check '[ "$(count txt)" -eq 5 ] && [ "$(count dmp)" -eq 5 ]' "after seven crashes five reports remain"
check '[ ! -e "$txt" ] && [ ! -e "$dmp" ]' "the oldest went first"

rm -rf "$folder"
wine crash_probe.exe library-thread >/dev/null 2>&1
check 'grep -q "code 0xC0000005 at crash_probe_lib\.dll+0x" "$folder"/*.txt 2>/dev/null' \
    "a fault in a library's own thread leaves a report naming the library"
rm -rf "$folder"
wine crash_probe.exe library-host >/dev/null 2>&1
check '[ "$(count txt)" -eq 0 ]' "a fault on the host's own thread is left to the host"

e2e_summary
