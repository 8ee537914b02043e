#!/usr/bin/env bash
# Repeating macros end to end under Wine: kbhost with the simulated keyboard,
# keys held and pressed with kbsim, what reached the system read back with
# `kbsim output`. Every scenario must end with no key left down.
set -u
cd "$KB_BIN" || exit 1
. "$KB_ROOT/tools/dev/e2e-lib.sh"
kbhost_e2e_begin

log_has() { grep -qs "$1" "$work/host.log"; }
# The host's own word that playback has ended and no repetition is pending.
idle() { [ "$(tr -d "\r" <"$work/host.log" | grep "^playing" | tail -n 1)" = "playing 0" ]; }
ended_clean() {  # WHAT: no key down, and playback idle
    local rest
    eventually idle 5
    rest=$(left_down)
    check '[ -z "$rest" ]' "$1 leaves no key down" || echo "  down: $rest; output: $(inj)"
}

# A (1E): macro 1, repeated while held: B down, 120 ms, B up (a tap is well inside one pass).
# D (20): macro 2, repeated until pressed again: C down, 60 ms, C up.
# S (1F): stop macro. Keypad 1 (4F, slot 512 + 0x4F): macro 1.
# Macro key 1 (slot 256): macro 3, repeated while held: E down, 40 ms, E up.
cat >"$work/profile.json" <<'JSON'
{
  "header": {"defaultMark": 0},
  "slots": [
    {"slot": 30, "type": 4, "macroKeyCode": 0, "parameter": 1},
    {"slot": 32, "type": 4, "macroKeyCode": 0, "parameter": 2},
    {"slot": 31, "type": 5, "macroKeyCode": 0, "parameter": 0},
    {"slot": 591, "type": 4, "macroKeyCode": 0, "parameter": 1},
    {"slot": 256, "type": 4, "macroKeyCode": 4866, "parameter": 3}
  ],
  "macros": [
    {"name": "held", "isNew": 0, "playMode": 1, "macroId": 1, "actions": [[0, 48, 0], [120, 48, 1]]},
    {"name": "toggle", "isNew": 0, "playMode": 2, "macroId": 2, "actions": [[0, 46, 0], [60, 46, 1]]},
    {"name": "hid", "isNew": 0, "playMode": 1, "macroId": 3, "actions": [[0, 18, 0], [40, 18, 1]]}
  ]
}
JSON
wine px3tool.exe build "$(winpath "$work/profile.json")" "$(winpath "$work/a.px3")" >/dev/null ||
    { echo "px3tool build failed"; exit 1; }
cp "$work/a.px3" "$work/b.px3"

wine kbhost.exe --profile "$(winpath "$work/a.px3")" --profile "$(winpath "$work/b.px3")" >"$work/host.log" 2>&1 </dev/null &
hostpid=$!
eventually 'log_has "^started"' 20 || { cat "$work/host.log"; echo "the host did not start"; exit 1; }
eventually 'log_has "^attach 1" && wine kbsim.exe table keyboard | grep -qv none' 10 ||
    { echo "the keyboard table was not installed"; exit 1; }
clear_output

# --- Mode 1: repeats while held, the running pass finishes after the release ---------
key 1E down
check 'eventually "[ \$(presses 30) -ge 3 ]" 5' "a held key repeats its macro" || echo "  $(inj)"
check 'log_has "^playing 1"' "the host is told that playback runs"
key 1E up
ended_clean "the release"
check '[ "$(inj | awk "{ print \$(NF - 2), \$(NF - 1), \$NF }")" = "key 30 0001" ]' \
    "the last pass was played to its end" || echo "  $(inj)"
check 'eventually "tail -n 1 \"$work/host.log\" | grep -q \"^playing 0\"" 3' "and playback reports idle after it"
check 'idle && [ "$(inj | awk "{ print \$(NF - 2), \$(NF - 1), \$NF }")" = "key 30 0001" ]' "no pass starts after the release"
clear_output

# Unplugging the keyboard takes away the release that would end it.
key 1E down
eventually '[ $(presses 30) -ge 2 ]' 5
wine kbsim.exe unplug keyboard >/dev/null
check 'eventually "log_has \"^attach 0\"" 5' "the keyboard is unplugged"
ended_clean "unplugging the keyboard during a repetition"
wine kbsim.exe plug keyboard >/dev/null
eventually 'tail -n 3 "$work/host.log" | grep -q "^attach 1"' 5
clear_output
key 1E up
# Carried out after the release, in arrival order: when its pass has ended,
# whatever the release did is in the output.
key 1E tap
eventually '[ "$(presses 30)" -ge 1 ] && idle' 5
check '[ -z "$(left_down)" ]' "the key's late release after the plug leaves nothing down"
check '[ "$(inj)" = "key 30 0000 key 30 0001 " ]' "after the plug a tap plays once" || echo "  $(inj)"
clear_output

# A tap plays one pass.
key 1E tap
eventually '[ "$(presses 30)" -ge 1 ] && idle' 5
check '[ "$(inj)" = "key 30 0000 key 30 0001 " ]' "a tap of that key plays the macro once" || echo "  $(inj)"
clear_output

# The keypad's key and the macro key (released by the all-up report) do the same.
key 4F down --keypad
check 'eventually "[ \$(presses 30) -ge 3 ]" 5' "a held keypad key repeats its macro" || echo "  $(inj)"
key 4F up --keypad
ended_clean "the keypad key's release"
clear_output
wine kbsim.exe macrokey 1 >/dev/null
check 'eventually "[ \$(presses 12) -ge 3 ]" 5' "a held macro key repeats its macro" || echo "  $(inj)"
wine kbsim.exe macrokey up >/dev/null
ended_clean "the all-up report"
check 'idle && [ "$(inj | awk "{ print \$(NF - 2), \$(NF - 1), \$NF }")" = "key 12 0001" ]' "no pass starts after the all-up report"
clear_output

# --- Mode 2: one press starts it, the next press ends it ---------------------------
key 20 tap
check 'eventually "[ \$(presses 2E) -ge 4 ]" 5' "a tap starts a repetition that goes on after the release" || echo "  $(inj)"
key 20 tap
ended_clean "the second press"
check 'idle && [ "$(inj | awk "{ print \$(NF - 2), \$(NF - 1), \$NF }")" = "key 2E 0001" ]' "the second press ends the repetition"
clear_output

# --- The stop key, a profile switch and exit end a repetition at once ------------
key 20 tap
eventually '[ $(presses 2E) -ge 2 ]' 5
key 1F tap
ended_clean "the stop key"
clear_output
key 1E down
eventually '[ $(presses 30) -ge 2 ]' 5
key 1F tap
ended_clean "the stop key while the repeating key is still held"
n=$(presses 30)
key 1E up
# The keypad's tap plays one pass after the release has been carried out.
key 4F tap --keypad
eventually "[ \$(presses 30) -gt $n ] && idle" 5
check '[ -z "$(left_down)" ] && [ "$(inj | grep -o "key 30 0000" | wc -l)" = "$(inj | grep -o "key 30 0001" | wc -l)" ]' \
    "releasing the key after the stop starts nothing"
clear_output

key 20 tap
eventually '[ $(presses 2E) -ge 2 ]' 5
wine kbhost.exe switch >/dev/null
check 'eventually "log_has \"^profile 1\"" 5' "the profile switches"
ended_clean "the profile switch"
check 'log_has "切换情景模式会自动停止宏播放!"' "the switch says that it stopped playback"
clear_output
# The next press after the switch starts afresh (it is not taken for the second press).
key 20 tap
check 'eventually "[ \$(presses 2E) -ge 3 ]" 5' "after the switch the key starts its repetition again"

start=$(date +%s%N)
wine kbhost.exe stop >/dev/null
wait "$hostpid" 2>/dev/null
hostpid=""
echo "the host ended $(( ($(date +%s%N) - start) / 1000000 )) ms after the stop request, during a repetition"
check 'grep -q "^stopped" "$work/host.log"' "the host exits during a repetition"
# With the host gone the key passes through.
checks_nothing_after_exit 20 2E

e2e_summary
