#!/usr/bin/env bash
# Stuck-key soak: macros that hold several keys at once are stopped at random
# points by the stop key, by a profile switch and by the program's exit; in
# the end no key may be left down in what reached the system (kbsim output).
#   tools/dev/stuck-keys-soak.sh [MACROS] [SEED]   (default 12; the tests run that slice)
# Runs under the Wine test runner (KB_BIN set) or by hand (sets Wine up itself).
set -u
macros="${1:-12}"
RANDOM="${2:-$$}"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/host-script.sh"
kb_host_script_setup stuck-keys || exit 1
. "$here/e2e-lib.sh"

# A service just removed by an earlier run can take a moment to go.
eventually 'wine kbsim.exe install >/dev/null' 5 0.5 || { echo "cannot install the simulated keyboard"; exit 1; }
# Both profiles: A plays a macro that holds up to three keys at a time
# (Shift, then X and C overlapping, one extended key), S stops the macro.
for p in one two; do
    cat >"$work/$p.json" <<JSON
{"header": {"defaultMark": 0},
 "slots": [{"slot": 30, "type": 4, "macroKeyCode": 0, "parameter": 1},
           {"slot": 31, "type": 5, "macroKeyCode": 0, "parameter": 0}],
 "macros": [{"name": "hold", "isNew": 0, "playMode": 0, "macroId": 1,
   "actions": [[0, 42, 0], [25, 45, 0], [25, 46, 0], [25, 45, 1], [25, 331, 0], [25, 46, 1],
               [25, 331, 1], [25, 42, 1]]}]}
JSON
    wine px3tool.exe build "$(winpath "$work/$p.json")" "$(winpath "$work/$p.px3")" >/dev/null ||
        { echo "px3tool build failed"; exit 1; }
done

start_host() {
    : >"$work/host.log"  # before the start: a late truncation could hide the new "started"
    wine kbhost.exe --profile "$(winpath "$work/one.px3")" --profile "$(winpath "$work/two.px3")" \
        >>"$work/host.log" 2>&1 </dev/null &
    hostpid=$!
    eventually 'grep -qs "^started" "$work/host.log"' 10 0.05 && return 0
    echo "the host did not start"; cat "$work/host.log"; return 1
}
stop_host() {
    wine kbhost.exe stop >/dev/null 2>&1
    wait "$hostpid" 2>/dev/null
    hostpid=""
}
# Appends what reached the system since the last call (the driver's log is bounded).
collect() { wine kbsim.exe output --clear 2>>"$work/lost.txt" | tr -d '\r' >>"$work/output.txt"; }

start_host || exit 1
collect
: >"$work/output.txt"
stops=0; switches=0; exits=0
for ((i = 1; i <= macros; i++)); do
    wine kbsim.exe key 1E tap >/dev/null
    # Somewhere inside the macro's 175 ms, or just after it.
    sleep "0.$(printf '%03d' $((RANDOM % 220)))"
    case $((RANDOM % 3)) in
        0) wine kbsim.exe key 1F tap >/dev/null; stops=$((stops + 1)) ;;
        1) wine kbhost.exe switch >/dev/null; switches=$((switches + 1)) ;;
        2) stop_host; exits=$((exits + 1)); collect; start_host || exit 1 ;;
    esac
    collect
done
# Exit while the last macro may still hold keys: that too must leave none down.
stop_host
collect

# Keys down at the end: every injected press of a key needs a later release.
declare -A held=()
presses=0
while read -r origin kind code flags _; do
    [ "$origin" = inj ] && [ "$kind" = key ] || continue
    f=$((16#$flags))
    key="$code/$((f & 2))"
    if (( f & 1 )); then held[$key]=0; else held[$key]=1; presses=$((presses + 1)); fi
done <"$work/output.txt"
down=0
for k in "${!held[@]}"; do
    [ "${held[$k]}" -eq 1 ] && { down=$((down + 1)); echo "left down: $k"; }
done
lost=$(grep -c 'dropped' "$work/lost.txt" 2>/dev/null)
echo "stuck-key soak: $macros macros (stop key $stops, profile switch $switches, exit $exits)," \
     "$presses key presses injected, $down keys left down"
ok=1
[ "$down" -eq 0 ] || ok=0
[ "$presses" -gt 0 ] || { echo "no macro played at all"; ok=0; }
[ "${lost:-0}" -eq 0 ] || { echo "the driver's log overflowed: the record is incomplete"; ok=0; }
if [ $ok -eq 1 ]; then echo "[  PASSED  ] 1 tests."; else echo "[  FAILED  ] 1 tests."; fi
[ $ok -eq 1 ]
