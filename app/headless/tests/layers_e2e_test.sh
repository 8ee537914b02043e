#!/usr/bin/env bash
# Layers and tap/hold keys end to end: kbhost with the simulated keyboard.
# Caps holds layer 1 (A is Left), Tab toggles layer 2 (A does nothing), J taps
# J and holds Shift past its term, K taps K and holds Shift too (a long term,
# for a key pressed while it is undecided). The relay is on: the program learns what
# the system has down (a key held across a layer change) from real input.
set -u
cd "$KB_BIN" || exit 1
. "$KB_ROOT/tools/dev/e2e-lib.sh"
kbhost_e2e_begin
trap 'wine kbsim.exe relay off >/dev/null 2>&1; kbhost_e2e_cleanup' EXIT
wine kbsim.exe relay on >/dev/null || { echo "cannot start the relay"; exit 1; }

cat >"$work/layers.json" <<JSON
{"header": {"defaultMark": 0},
 "slots": [],
 "macros": [],
 "extension": {
   "layers": [{"slots": [{"slot": 30, "type": 2, "macroKeyCode": 0, "parameter": 331}]},
              {"slots": [{"slot": 30, "type": 1, "macroKeyCode": 0, "parameter": 0}]}],
   "keys": [{"slot": 15, "kind": "layer", "layer": 2, "mode": "toggle"},
            {"slot": 36, "kind": "tapHold", "tap": 36, "hold": 42, "holdLayer": 0, "termMs": 200},
            {"slot": 37, "kind": "tapHold", "tap": 37, "hold": 42, "holdLayer": 0, "termMs": 1000},
            {"slot": 58, "kind": "layer", "layer": 1, "mode": "momentary"}]}}
JSON
wine px3tool.exe build "$(winpath "$work/layers.json")" "$(winpath "$work/layers.px3")" || { echo "px3tool build failed"; exit 1; }

wine kbhost.exe --profile "$(winpath "$work/layers.px3")" >"$work/host.log" 2>&1 </dev/null &
hostpid=$!
eventually 'grep -qs "^started" "$work/host.log"' 20 || { cat "$work/host.log"; echo "the host did not start"; exit 1; }

# The action byte of a key's press record in the keyboard table (00 pass,
# 01 replace, 02 swallow), found by its scan code.
action_of() { wine kbsim.exe table keyboard | tr -d '\r' | awk -v s="$1" '$5 == s && $6 == "00" && $7 == "00" && $8 == "00" { print $2; exit }'; }
layer_lines() { grep -c "^layer $1" "$work/host.log"; }
# What reached the system from the driver and by injection, in order.
out() { wine kbsim.exe output | tr -d '\r' | sed -n 's/^\(phys\|inj\) key //p' | tr '\n' ' '; }
# Keys down at the end of what reached the system, both origins together.
down_now() {
    out | python3 -c '
import sys
w = sys.stdin.read().split()
down = {}
for i in range(0, len(w) - 1, 2):
    f = int(w[i + 1], 16)
    down[(w[i], f & 2)] = not f & 1
print(" ".join(sorted(k for (k, e), d in down.items() if d)))'
}
# A marker key that passes on every layer, so that what came before it is in the output.
mark() { tap 30; eventually '[[ "$(out)" == *"30 0001 "* ]]' 5; }

check 'eventually "[ \"\$(action_of 1E)\" = 00 ]" 10' "the base's table is installed: A passes"
check '[ "$(action_of 3A)" = 02 ] && [ "$(action_of 24)" = 02 ]' "layer and tap/hold keys are swallowed by the driver"

# Momentary.
clear_output
key 3A down
check 'eventually "[ \"\$(action_of 1E)\" = 01 ]" 5' "holding Caps installs layer 1: A is replaced"
check 'eventually "[ \"\$(layer_lines 1)\" = 1 ]" 5' "the window hears of layer 1"
tap 1E
mark
check '[ "$(out)" = "4B 0002 4B 0003 30 0000 30 0001 " ]' "A gives Left on layer 1" || echo "  output: $(out)"
key 3A up
check 'eventually "[ \"\$(action_of 1E)\" = 00 ]" 5' "releasing Caps gives the base's table again"
clear_output
tap 1E
mark
check '[ "$(out)" = "1E 0000 1E 0001 30 0000 30 0001 " ]' "A is A again on the base" || echo "  output: $(out)"

# Toggle.
tap 0F
check 'eventually "[ \"\$(action_of 1E)\" = 02 ]" 5' "Tab turns layer 2 on: A is swallowed"
clear_output
tap 1E
mark
check '[ "$(out)" = "30 0000 30 0001 " ]' "A does nothing on layer 2" || echo "  output: $(out)"
tap 0F
check 'eventually "[ \"\$(action_of 1E)\" = 00 ]" 5' "Tab again turns layer 2 off"
check 'eventually "[ \"\$(layer_lines 2)\" = 1 ] && [ \"\$(layer_lines 0)\" = 2 ]" 5' "the window hears of every change"

# A layer change while A is held: its first output is let go, not left down.
clear_output
key 1E down
eventually '[[ "$(out)" == *"1E 0000 "* ]]' 5
key 3A down
eventually '[ "$(action_of 1E)" = 01 ]' 5
key 1E up
key 3A up
mark
check '[ -z "$(down_now)" ] && [[ "$(out)" != *"4B 0002"* ]]' "A held across a layer change puts nothing else down" || echo "  output: $(out)"

# Tap and hold.
clear_output
tap 24
check 'eventually "[ \"\$(inj)\" = \"key 24 0000 key 24 0001 \" ]" 5' "J released within its term taps J"
mark
check '[[ "$(phys)" != *"key 24"* ]]' "J itself does not reach the system"
clear_output
key 24 down
check 'eventually "[ \"\$(inj)\" = \"key 2A 0000 \" ]" 5' "J held past its term holds Shift"
key 24 up
check 'eventually "[ \"\$(inj)\" = \"key 2A 0000 key 2A 0001 \" ]" 5' "releasing J releases Shift, and nothing else"

# Another key tapped while K is undecided: Shift goes down, then that key's
# press and release again (held back from the system until then), and K's
# release lets Shift go. The window in front types a capital A.
clear_output
typed="$work/typed.txt"
wine type_target.exe "$(winpath "$typed")" layers >/dev/null 2>&1 &
target=$!
eventually '[ -e "$typed" ]' 10
key 25 down
tap 1E
check 'eventually "[ \"\$(inj)\" = \"key 2A 0000 key 1E 0000 key 1E 0001 \" ]" 5' "a key tapped while K is undecided holds Shift before it" || echo "  output: $(out)"
key 25 up
check 'eventually "[ \"\$(inj)\" = \"key 2A 0000 key 1E 0000 key 1E 0001 key 2A 0001 \" ]" 5' "releasing K lets Shift go" || echo "  output: $(out)"
check 'eventually "[ \"\$(cat \"\$typed\" 2>/dev/null)\" = A ]" 5' "the system sees the key once, shifted" || echo "  typed: $(cat "$typed" 2>/dev/null)"
kill "$target" 2>/dev/null
wait "$target" 2>/dev/null
check '[ -z "$(down_now)" ]' "nothing is left down" || echo "  output: $(out)"

# A profile switch while a layer is held goes back to the base; the layers
# of the profile switched to work from there.
key 3A down
eventually '[ "$(action_of 1E)" = 01 ]' 5
wine kbhost.exe switch >/dev/null
check 'eventually "grep -qs \"^profile 0\" \"\$work/host.log\" && [ \"\$(action_of 1E)\" = 00 ]" 5' "a switch while Caps is held gives the base's table"
check '[ "$(grep "^layer " "$work/host.log" | tail -n 1 | tr -d "\r")" = "layer 0" ]' "the window hears of the base"
key 3A up
# A press within 100 ms of a release the thread did not see pressed counts
# as that release's late press: the next press waits for a marker key.
mark
key 3A down
check 'eventually "[ \"\$(action_of 1E)\" = 01 ]" 5' "the new profile's layer key works"
key 3A up
eventually '[ "$(action_of 1E)" = 00 ]' 5

# The exit goes back to the base with nothing down.
key 3A down
eventually '[ "$(action_of 1E)" = 01 ]' 5
wine kbhost.exe stop >/dev/null 2>&1
wait "$hostpid" 2>/dev/null
hostpid=""
check '[ "$(wine kbsim.exe table keyboard | tr -d "\r")" = none ]' "the exit withdraws the tables while a layer is held"
key 3A up
e2e_summary
