#!/usr/bin/env bash
# px3tool check on files made for each finding, the exit statuses and the
# JSON form; and JSON that cannot be built names its line.
# Host: px3tool_check.sh PATH_TO_PX3TOOL. Under Wine: KB_BIN names the folder.
set -u
KB_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
. "$KB_ROOT/tools/dev/e2e-lib.sh"
if [ -n "${1:-}" ]; then
    px3() { "$exe" "$@"; }
    exe="$1"
else
    px3() { wine "$exe" "$@"; }
    exe="$KB_BIN/px3tool.exe"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
: >present.exe
if [ -n "${1:-}" ]; then present="$work/present.exe"; else present=$(winpath "$work/present.exe"); fi
present_json=$(printf '%s' "$present" | sed 's/\\/\\\\/g')

# make NAME SLOTS MACROS: NAME.px3 from the JSON parts.
make() {
    printf '{"slots": [%s], "macros": [%s]}\n' "$2" "$3" >"$1.json"
    px3 build "$1.json" "$1.px3" || bad "$1 builds"
}
# run NAME [ARGS]: check's output (lines without CR) in NAME.out, its status in $rc.
run() {
    local name="$1"; shift
    px3 check "$@" "$name.px3" >"$name.out" 2>/dev/null
    rc=$?
    tr -d '\r' <"$name.out" >"$name.txt"
}
has() { grep -qF -- "$1" "$2.txt"; }

A='{"slot": 30, "type": 4, "parameter": 1}'   # A plays macro 1
M1='{"name": "one", "macroId": 1, "actions": [[0, 30, 0], [10, 30, 1]]}'
make clean "$A, {\"slot\": 10, \"type\": 3, \"text\": \"$present_json\"}" "$M1"
run clean
check '[ "$rc" -eq 0 ] && [ ! -s clean.txt ]' "a clean file: no output, status 0"

make missing-macro "{\"slot\": 30, \"type\": 4, \"parameter\": 7}" ""
run missing-macro
check '[ "$rc" -eq 1 ] && has "missing-macro.px3: slot 30 (A): plays macro id 7, which does not exist" missing-macro' \
    "a key playing a macro that does not exist"

make unplayed "$A" "$M1, {\"name\": \"spare\", \"macroId\": 3, \"actions\": []}"
run unplayed
check '[ "$rc" -eq 1 ] && has "macro id 3 \"spare\": no key plays it" unplayed && [ "$(wc -l <unplayed.txt)" -eq 1 ]' \
    "a macro no key plays, and only that"

make no-program "$A, {\"slot\": 59, \"type\": 3, \"text\": \"C:\\\\nowhere\\\\none.exe\"}" "$M1"
run no-program
check '[ "$rc" -eq 1 ] && has "slot 59 (F1): starts \"C:\\nowhere\\none.exe\", which does not exist here" no-program' \
    "a program that does not exist here"

R='{"name": "loop", "macroId": 1, "playMode": 2, "actions": [[0, 30, 0], [10, 30, 1]]}'
make repeat "$A" "$R"
run repeat
check '[ "$rc" -eq 1 ] && has "macro id 1 \"loop\": repeats until its key is pressed again, and no key stops macros" repeat' \
    "a repeating macro with no way to stop it"
make repeat-stoppable "$A, {\"slot\": 1, \"type\": 5}" "$R"
run repeat-stoppable
check '[ "$rc" -eq 0 ]' "the same macro with a stop key is clean"

make names "$A, {\"slot\": 31, \"type\": 4, \"parameter\": 2}, {\"slot\": 32, \"type\": 4, \"parameter\": 3}" \
    "$M1, {\"name\": \"ONE\", \"macroId\": 2, \"actions\": []}, {\"name\": \"空宏\", \"macroId\": 3, \"actions\": []}"
run names
check 'has "macro id 2 \"ONE\": has the name of macro id 1" names && has "macro id 3 \"空宏\": has the reserved name" names' \
    "duplicate (ignoring case) and reserved macro names"

long=$(printf 'n%.0s' $(seq 101))
make long "$A" "{\"name\": \"$long\", \"macroId\": 1, \"actions\": []}"
run long
check '[ "$rc" -eq 1 ] && has "name of 101 characters, the editor takes 100" long' "a text over the editor's limit"

# Bytes after the text pool (where an extension block goes) report nothing by themselves.
cp clean.px3 tail.px3
printf 'XBLK' >>tail.px3
run tail
check '[ "$rc" -eq 0 ] && [ ! -s tail.txt ]' "a file with bytes after its pool and nothing else is clean"

cp clean.px3 damaged.px3
printf 'Q' | dd of=damaged.px3 bs=1 seek=4 conv=notrunc 2>/dev/null
run damaged
check '[ "$rc" -eq 2 ] && has "damaged.px3: unusable: bad version" damaged' "an unusable file: status 2"

px3 check --json clean.px3 missing-macro.px3 damaged.px3 >all.json 2>/dev/null
rc=$?
kinds=$(tr -d '\r' <all.json | python3 -c '
import json, sys
d = json.load(sys.stdin)
print(" ".join([str(f["usable"]) + ":" + ",".join(x["kind"] + "@" + str(x.get("slot", "")) + x.get("key", "") for x in f["findings"]) for f in d]))')
check '[ "$rc" -eq 2 ] && [ "$kinds" = "True: True:missing-macro@30A False:" ]' "--json for several files ($kinds)"

# JSON that cannot be built: the error names the field and its line.
printf '{"slots": [\n  {"slot": 1, "type": 1},\n  {"slot": 2,\n   "type": 9}\n], "macros": []}\n' >range.json
px3 build range.json range.px3 2>err.txt
rc=$?
check '[ "$rc" -ne 0 ] && tr -d "\r" <err.txt | grep -qF "range.json:4: slots[1].type: 9 is out of range 0..6" && [ ! -e range.px3 ]' \
    "an out-of-range value is refused with its line"
printf '{"slots": [\n  {"slot": 1, "type": 1}\n  {"slot": 2}\n], "macros": []}\n' >broken.json
px3 build broken.json broken.px3 2>err.txt
rc=$?
check '[ "$rc" -ne 0 ] && tr -d "\r" <err.txt | grep -qE "broken.json:3: slots: .*syntax error" && [ ! -e broken.px3 ]' \
    "malformed JSON is refused with its line"

e2e_summary
