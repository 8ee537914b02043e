#!/usr/bin/env bash
# kbsim's commands and output against the installed stand-in driver.
set -u
cd "$KB_BIN" || exit 1
pass=0
fail=0
check() {  # check NAME EXPECTED ACTUAL
    if [ "$2" == "$3" ]; then
        pass=$((pass + 1))
    else
        fail=$((fail + 1))
        printf 'FAILED %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3"
    fi
}
k() { wine kbsim.exe "$@" 2>/dev/null | tr -d '\r'; }
# refuses NAME ARGS...: non-zero exit and exactly one line of error text
refuses() {
    local name="$1" err rc
    shift
    err=$(wine kbsim.exe "$@" 2>&1 >/dev/null)
    rc=$?
    err=${err//$'\r'/}
    check "$name exit" 1 "$([ $rc -ne 0 ] && echo 1 || echo 0)"
    check "$name one line" "1 1" "$(printf '%s\n' "$err" | grep -c .) $(printf '%s\n' "$err" | grep -c '^kbsim: ')"
}

trap 'wine kbsim.exe remove >/dev/null 2>&1' EXIT
wine kbsim.exe remove >/dev/null 2>&1
check "status before install" "driver: stopped" "$(k status)"
refuses "key without driver" key 1E tap
check "install" "driver: running" "$(k install)"
check "status" "driver: running" "$(k status)"
check "install again" "driver: running" "$(k install)"
k reset

k key 1E tap
k key 11C down
k key 045 down
k key 145 up
check "output" "phys key 1E 0000
phys key 1E 0001
phys key 1C 0002
phys key 1D 0004
phys key 45 0001" "$(k output)"
check "output keeps" 5 "$(k output --clear | wc -l)"
check "output cleared" "" "$(k output)"
k key 4F tap --keypad
check "keypad key" "phys key 4F 0000
phys key 4F 0001" "$(k output --clear)"

check "no table" "none" "$(k table keyboard)"
check "no keypad table" "none" "$(k table keypad16)"
check "no status" "none" "$(k bank)"
for m in 1 5 bank up; do
    wine kbsim.exe macrokey "$m" >/dev/null 2>&1
    check "macrokey $m" 0 "$?"
done

k unplug keyboard
refuses "key while unplugged" key 1E tap
refuses "macro key while unplugged" macrokey 1
check "nothing while unplugged" "" "$(k output)"
k plug keyboard
k key 1E down
check "key after plug" "phys key 1E 0000" "$(k output --clear)"

refuses "bad code" key ZZ tap
refuses "bad code 180" key 180 tap
refuses "bad direction" key 1E press
refuses "bad macro key" macrokey 6
refuses "bad device" table mouse
refuses "bad plug" plug mouse
refuses "bad option" output --all
refuses "unknown command" frob
refuses "no command"

check "remove" "driver: stopped" "$(k remove)"
check "status after remove" "driver: stopped" "$(k status)"
refuses "output without driver" output

echo "[==========] $((pass + fail)) checks"
if [ $fail -eq 0 ]; then
    echo "[  PASSED  ] $pass tests."
else
    echo "[  FAILED  ] $fail tests."
    exit 1
fi
