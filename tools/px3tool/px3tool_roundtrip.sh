#!/usr/bin/env bash
# px3tool end to end: files from "new" and "build" validate as usable, dump
# then build gives the same bytes, bad input fails cleanly with no output file.
# Host: px3tool_roundtrip.sh PATH_TO_PX3TOOL. Under Wine: KB_BIN names the folder.
set -u
if [ -n "${1:-}" ]; then
    tool() { "$1" "${@:2}"; }
    exe="$1"
else
    tool() { wine "$1" "${@:2}"; }
    exe="$KB_BIN/px3tool.exe"
fi
px3() { tool "$exe" "$@"; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
passed=0
failed=0
check() {  # check NAME COMMAND...
    local name="$1"; shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; return 1; fi
}
fails() { ! "$@" >/dev/null 2>&1; }
usable() { [ "$(px3 validate "$1" | tr -d '\r' | head -n 1)" = "result: 1" ]; }

px3 new fresh.px3
check "new validates" usable fresh.px3
check "new is a bare record" test "$(stat -c %s fresh.px3)" -eq 16448

cat >rich.json <<'JSON'
{
  "header": {"defaultMark": 1},
  "slots": [
    {"slot": 10, "type": 3, "text": "C:\\Program Files\\计算器.exe"},
    {"slot": 30, "type": 4, "parameter": 2},
    {"slot": 40, "type": 6, "text": "你好, world 😀\nsecond line"},
    {"slot": 44, "type": 6, "textUnits": [72, 55296, 105]},
    {"slot": 256, "type": 2, "macroKeyCode": 4866, "parameter": 28},
    {"slot": 600, "type": 1}
  ],
  "macros": [
    {"name": "宏-120000001", "macroId": 2, "playMode": 1,
     "actions": [[0, 30, 0], [50, 30, 1], [3600000, 325, 2]],
     "unusedActions": [[575, 9, 9, 9]]},
    {"nameUnits": [65, 0, 66] , "macroId": 1, "actions": []}
  ]
}
JSON
# The second macro lists only 3 units: that must be refused.
check "short nameUnits refused" fails px3 build rich.json rich.px3
sed -i 's/"nameUnits": \[65, 0, 66\] ,/"name": "B",/' rich.json
px3 build rich.json rich.px3
check "build validates" usable rich.px3

cat >layered.json <<'JSON'
{"slots": [{"slot": 30, "type": 2, "parameter": 48}], "macros": [],
 "extension": {"layers": [{"slots": [{"slot": 36, "type": 2, "macroKeyCode": 0, "parameter": 331},
                                     {"slot": 59, "type": 6, "text": "层的文字"}]}, {"slots": []}],
               "keys": [{"slot": 58, "kind": "layer", "layer": 1, "mode": "momentary"},
                        {"slot": 15, "kind": "layer", "layer": 2, "mode": "toggle"},
                        {"slot": 33, "kind": "tapHold", "tap": 33, "hold": 42, "holdLayer": 0, "termMs": 200}]}}
JSON
px3 build layered.json layered.px3
check "a profile with layers validates" usable layered.px3

for f in fresh rich layered; do
    px3 dump "$f.px3" >"$f.json.out"
    px3 build "$f.json.out" "$f.again.px3"
    check "$f: dump then build gives the same bytes" cmp -s "$f.px3" "$f.again.px3"
done
check "dump carries the text" grep -q '计算器' rich.json.out
check "no extension without layers" fails grep -q '"extension"' rich.json.out
check "the extension with its layer text" grep -q '层的文字' layered.json.out
# The tap/hold key's ordinary entry is its tap key; a damaged block leaves the base.
check "tap/hold fallback" grep -q '"slot": 33, "type": 2, "macroKeyCode": 0, "parameter": 33' <(tr -d '\r\n ' <layered.json.out | sed 's/,/, /g; s/:/: /g')
cp layered.px3 torn.px3
printf '\377' | dd of=torn.px3 bs=1 seek=$(( $(stat -c %s torn.px3) - 1 )) conv=notrunc 2>/dev/null
px3 dump torn.px3 >torn.json.out 2>torn.err
check "a damaged block: the base still dumps" grep -q '"slot": 30' torn.json.out
check "a damaged block: said and left out" sh -c "grep -q 'layers dropped' torn.err && ! grep -q '\"extension\"' torn.json.out"
check "a lone surrogate stays in units" grep -q '"textUnits"' rich.json.out

lines=$(px3 tables rich.px3 | tr -d '\r' | grep -c '^[0-9a-f]\{48\}$')
check "tables: 174 + 46 records" test "$lines" -eq 220
# Slot 30 is key A (0x1E), which plays a macro: its press record signals event 1.
first=$(px3 tables rich.px3 | tr -d '\r' | sed -n 2p)
check "tables: A signals press event 1" test "$first" = "010200001e00000000000000000000000100000000000000"

for bad in '{"slots": [{"slot": 1, "type": 9}], "macros": []}' \
           '{"slots": [{"slot": 1, "type": "3"}], "macros": []}' \
           '{"slots": [], "macros": [{"name": "x", "macroId": 101, "actions": []}]}' \
           '{"slots": [{"slot": 1, "type": 3, "text": "'"$(printf 'p%.0s' $(seq 260))"'"}], "macros": []}' \
           '{"slots": [], "macros": [' \
           '[1, 2]'; do
    echo "$bad" >bad.json
    px3 build bad.json out.px3 2>err.txt
    rc=$?
    check "bad input fails: $(head -c 40 bad.json)" test "$rc" -ne 0
    # Only the tool's own lines count: Wine may add lines of its own to stderr.
    check "one error line" test "$(tr -d '\r' <err.txt | grep -c '^px3tool: error:')" -eq 1 ||
        sed 's/^/    stderr: /' err.txt
    check "no output file" test ! -e out.px3
done
px3 dump missing.px3 >/dev/null 2>&1
check "dump of a missing file fails" test $? -ne 0
cp rich.px3 damaged.px3
printf 'Q' | dd of=damaged.px3 bs=1 seek=4 conv=notrunc 2>/dev/null
check "validate refuses a damaged file" fails px3 validate damaged.px3
check "tables of a damaged file fail" fails px3 tables damaged.px3

echo "[  PASSED  ] $passed tests."
[ "$failed" -eq 0 ] || { echo "[  FAILED  ] $failed tests."; exit 1; }
