#!/usr/bin/env bash
# Start and exit cycles of kbhost with the simulated keyboard: each start must
# reach "started", each exit must come within 1 s of the stop request, and no
# key table may be left in the driver.
#   tools/dev/host-cycles.sh [CYCLES]   (default 3; the tests run that slice)
# Runs under the Wine test runner (KB_BIN set) or by hand (sets Wine up itself).
set -u
cycles="${1:-3}"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/host-script.sh"
kb_host_script_setup host-cycles || exit 1
. "$here/e2e-lib.sh"
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# A service just removed by an earlier run can take a moment to go.
eventually 'wine kbsim.exe install >/dev/null' 5 0.5 || { echo "cannot install the simulated keyboard"; exit 1; }
# Key A plays a macro, so the tables carry key events.
cat >"$work/profile.json" <<JSON
{"header": {"defaultMark": 0},
 "slots": [{"slot": 30, "type": 4, "macroKeyCode": 0, "parameter": 1}],
 "macros": [{"name": "one", "isNew": 0, "playMode": 0, "macroId": 1, "actions": [[0, 48, 0], [60, 48, 1]]}]}
JSON
wine px3tool.exe build "$(winpath "$work/profile.json")" "$(winpath "$work/profile.px3")" >/dev/null ||
    { echo "px3tool build failed"; exit 1; }
profile=$(winpath "$work/profile.px3")

failed=0
slowest=0
total=0
for ((i = 1; i <= cycles; i++)); do
    : >"$work/host.log"  # before the start: a late truncation could hide the new "started"
    wine kbhost.exe --profile "$profile" >>"$work/host.log" 2>&1 </dev/null &
    hostpid=$!
    eventually 'grep -qs "^started" "$work/host.log" || ! kill -0 "$hostpid" 2>/dev/null' 10 0.05
    if ! grep -qs '^started' "$work/host.log"; then
        echo "cycle $i: the host did not start"; cat "$work/host.log"; failed=$((failed + 1)); break
    fi
    # Timed from before the stop request: the requesting process's own start counts too.
    t0=$(now_ms)
    wine kbhost.exe stop >/dev/null 2>&1
    # Polled finely: the time to the exit is what is measured.
    eventually '! kill -0 "$hostpid" 2>/dev/null' 10 0.01 2>/dev/null; exited=$?
    ms=$(( $(now_ms) - t0 ))
    if [ $exited -ne 0 ]; then
        echo "cycle $i: the host did not exit within 10 s (hang)"; failed=$((failed + 1)); break
    fi
    wait "$hostpid"; rc=$?; hostpid=""
    total=$((total + ms))
    [ $ms -gt $slowest ] && slowest=$ms
    [ $rc -eq 0 ] || { echo "cycle $i: exit status $rc"; failed=$((failed + 1)); }
    [ $ms -le 1000 ] || { echo "cycle $i: exit took $ms ms"; failed=$((failed + 1)); }
    left=$( (wine kbsim.exe table keyboard; wine kbsim.exe table keypad0E) | tr -d '\r' | grep -vc '^none$')
    [ "$left" -eq 0 ] || { echo "cycle $i: a key table was left in the driver"; failed=$((failed + 1)); }
    grep -q '^stopped' "$work/host.log" || { echo "cycle $i: no 'stopped' line"; failed=$((failed + 1)); }
done
echo "host cycles: $cycles, slowest exit ${slowest} ms, mean $(( total / (i > 1 ? i - 1 : 1) )) ms, problems $failed"
if [ $failed -eq 0 ]; then echo "[  PASSED  ] 1 tests."; else echo "[  FAILED  ] 1 tests."; fi
[ $failed -eq 0 ]
