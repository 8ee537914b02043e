#!/usr/bin/env bash
# Layers soak: random press and release sequences over layer keys (momentary
# and toggle), tap/hold keys (holding Shift, holding a layer) and keys that
# differ between the layers; in the end no key may be left down in what
# reached the system (kbsim output, from the driver and injected together).
#   tools/dev/layers-soak.sh [SEQUENCES] [SEED]   (default 1000; under the Wine
#   test runner with no argument, a slice of 25)
# The relay is on: what the system has down is what the program asks about
# when a layer change must let go of a key's first output.
set -u
if [ -n "${KB_BIN:-}" ]; then sequences="${1:-25}"; else sequences="${1:-1000}"; fi
RANDOM="${2:-$$}"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/host-script.sh"
kb_host_script_setup layers-soak || exit 1
kb_host_more_cleanup='wine kbsim.exe relay off >/dev/null 2>&1'
. "$here/e2e-lib.sh"

eventually 'wine kbsim.exe install >/dev/null' 5 0.5 || { echo "cannot install the simulated keyboard"; exit 1; }
wine kbsim.exe relay on >/dev/null || { echo "cannot start the relay"; exit 1; }
# Caps: layer 1 while held; Tab: layer 2 on and off; J: taps J, holds Shift;
# K: taps K, holds layer 1 (50 ms). A: Left on layer 1, nothing on layer 2;
# B: C on layer 2; D: Right on layer 1.
cat >"$work/soak.json" <<JSON
{"header": {"defaultMark": 0}, "slots": [], "macros": [],
 "extension": {
   "layers": [{"slots": [{"slot": 30, "type": 2, "macroKeyCode": 0, "parameter": 331},
                         {"slot": 32, "type": 2, "macroKeyCode": 0, "parameter": 333}]},
              {"slots": [{"slot": 30, "type": 1, "macroKeyCode": 0, "parameter": 0},
                         {"slot": 48, "type": 2, "macroKeyCode": 0, "parameter": 46}]}],
   "keys": [{"slot": 15, "kind": "layer", "layer": 2, "mode": "toggle"},
            {"slot": 36, "kind": "tapHold", "tap": 36, "hold": 42, "holdLayer": 0, "termMs": 200},
            {"slot": 37, "kind": "tapHold", "tap": 37, "hold": 0, "holdLayer": 1, "termMs": 50},
            {"slot": 58, "kind": "layer", "layer": 1, "mode": "momentary"}]}}
JSON
wine px3tool.exe build "$(winpath "$work/soak.json")" "$(winpath "$work/soak.px3")" >/dev/null ||
    { echo "px3tool build failed"; exit 1; }

wine kbhost.exe --profile "$(winpath "$work/soak.px3")" >"$work/host.log" 2>&1 </dev/null &
hostpid=$!
eventually 'grep -qs "^started" "$work/host.log"' 20 || { echo "the host did not start"; cat "$work/host.log"; exit 1; }
eventually 'wine kbsim.exe table keyboard | grep -qv none' 10 || { echo "no table installed"; exit 1; }

# Appends what reached the system since the last call (the driver's log is bounded).
collect() { wine kbsim.exe output --clear 2>>"$work/lost.txt" | tr -d '\r' >>"$work/output.txt"; }
# Keys down at the end of what was collected: "SS/E" for each, "" when none.
down_at_end() {
    local origin kind code flags f k
    declare -A held=()
    while read -r origin kind code flags _; do
        [ "$kind" = key ] || continue
        f=$((16#$flags))
        k="$code/$((f & 2))"
        if (( f & 1 )); then held[$k]=0; else held[$k]=1; fi
    done <"$work/output.txt"
    for k in "${!held[@]}"; do [ "${held[$k]}" -eq 1 ] && printf '%s ' "$k"; done
}
collect
: >"$work/output.txt"
: >"$work/sequences.txt"
keys=(3A 0F 24 25 1E 30 20)
for ((i = 1; i <= sequences; i++)); do
    # Two to four distinct keys pressed in a random order, released in another.
    n=$((2 + RANDOM % 3))
    picked=($(printf '%s\n' "${keys[@]}" | shuf -n "$n" --random-source=<(yes "$RANDOM")))
    echo "$i: ${picked[*]}" >>"$work/sequences.txt"
    for k in "${picked[@]}"; do
        wine kbsim.exe key "$k" down >/dev/null
        # Now and then past a term, so holds are decided by the clock too.
        (( RANDOM % 4 == 0 )) && sleep 0.2  # timing for the keys; nothing is checked
    done
    for k in $(printf '%s\n' "${picked[@]}" | shuf --random-source=<(yes "$RANDOM")); do
        wine kbsim.exe key "$k" up >/dev/null
    done
    collect
    echo "-- $i" >>"$work/output.txt"
done
# Layer 2 may be left on: that is no key down, but it is turned off for the end.
if grep -q '^layer 2' "$work/host.log" && [ "$(grep '^layer ' "$work/host.log" | tail -n 1)" = "layer 2" ]; then
    wine kbsim.exe key 0F tap >/dev/null
fi
# The key threads may still be at work: wait for the end, up to a deadline.
eventually 'collect; [ -z "$(down_at_end)" ]' 20
down=$(down_at_end)
holds=$(grep -c 'inj key 2A 0000' "$work/output.txt")
changes=$(grep -c '^layer ' "$work/host.log")
lost=$(grep -c 'dropped' "$work/lost.txt" 2>/dev/null)
echo "layers soak: $sequences sequences, $changes layer changes, $holds Shift holds, keys left down: ${down:-none}"
ok=1
[ -z "$down" ] || ok=0
[ "$changes" -gt 0 ] || { echo "no layer change at all"; ok=0; }
[ "${lost:-0}" -eq 0 ] || { echo "the driver's log overflowed: the record is incomplete"; ok=0; }
if [ $ok -eq 0 ]; then
    # What reached the system and what the host said, for a look afterwards.
    kept="${TMPDIR:-/tmp}/layers-soak-$$"
    mkdir -p "$kept" && cp "$work/output.txt" "$work/host.log" "$work/sequences.txt" "$kept/" && echo "kept in $kept"
fi
if [ $ok -eq 1 ]; then echo "[  PASSED  ] 1 tests."; else echo "[  FAILED  ] 1 tests."; fi
[ $ok -eq 1 ]
