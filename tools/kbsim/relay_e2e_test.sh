#!/usr/bin/env bash
# The relay end to end: what the simulated keyboard's keys become (passed through,
# remapped, blocked, macros, text blocks) read back from a real program, Wine's
# Notepad, and keys recorded by KbPanel's macro editor through the relay.
set -u
. "$KB_ROOT/tools/dev/e2e-lib.sh"
. "$KB_ROOT/app/ui/tests/window-lib.sh"
kb_window_test  # the programs' folder, $work, $regkey and the cleanup at exit
hostpid=""
more_cleanup() {
    [ -n "$hostpid" ] && { wine kbhost.exe stop >/dev/null 2>&1; wait "$hostpid" 2>/dev/null; }
    wine editor_probe.exe quit >/dev/null 2>&1
    wine kbsim.exe relay off >/dev/null 2>&1
}
at_exit more_cleanup

text() { wine editor_probe.exe text 2>/dev/null | tr -d '\r'; }
relay() { wine kbsim.exe relay "$1" 2>/dev/null | tr -d "\r"; }
# typed TEXT [SECONDS]: Notepad shows exactly TEXT (with \r and \n written out) in time.
typed() { eventually "[ \"\$(text)\" = '$1' ]" "${2:-10}"; }
fresh() { wine editor_probe.exe clear >/dev/null; clear_output; }

wine kbsim.exe install >/dev/null || { echo "cannot install the simulated keyboard"; exit 1; }
wine notepad.exe >/dev/null 2>&1 &
eventually 'wine editor_probe.exe text >/dev/null 2>&1' 30 || { echo "Notepad did not start"; exit 1; }
eventually '[ "$(wine editor_probe.exe focus | tr -d "\r")" = 1 ]' 10 || { echo "Notepad does not take the focus"; exit 1; }
fresh

# --- The relay itself, with no program: every key passes ------------------------
check '[ "$(relay status)" = "relay: off" ]' "the relay is off by default"
tap 1E
check '[ "$(relay on)" = "relay: on" ] && [ "$(relay status)" = "relay: on" ]' "relay on starts it"
check '[ "$(relay on)" = "relay: on" ]' "a second relay on keeps the one relay"
tap 20
check 'typed d' "a key reaches Notepad through the relay, and none from before it was on" || echo "  $(text)"
check '[ "$(phys)" = "key 1E 0000 key 1E 0001 key 20 0000 key 20 0001 " ]' \
    "relayed input does not come back into the driver's output" || echo "  $(phys)"
# E0-prefixed keys arrive as such: Left moves the caret, Num Enter breaks the line.
tap 14B
tap 1E
tap 11C
check 'typed "a\\r\\nd"' "extended keys reach the system as themselves" || echo "  $(text)"
fresh
key 2A down
check 'eventually "[ \"\$(phys)\" = \"key 2A 0000 \" ]" 5' "Shift is held"
check '[ "$(relay off)" = "relay: off" ] && [ "$(relay status)" = "relay: off" ]' "relay off ends it"
key 2A up
tap 1E
relay on >/dev/null
tap 20
check 'typed d' "a key pressed while the relay is off is not relayed later, and off released the held Shift" ||
    echo "  $(text)"
check '! wine kbsim.exe relay frob >/dev/null 2>&1 && ! wine kbsim.exe relay >/dev/null 2>&1' "bad relay commands are refused"

# --- kbhost's tables and functions, read back from Notepad ------------------------
# A: B instead; S: blocked; F: macro "hi!"; G: repeats "x" while held; T: a text block.
cat >"$work/profile.json" <<'JSON'
{
  "header": {"defaultMark": 0},
  "slots": [
    {"slot": 30, "type": 2, "macroKeyCode": 0, "parameter": 48},
    {"slot": 31, "type": 1, "macroKeyCode": 0, "parameter": 0},
    {"slot": 33, "type": 4, "macroKeyCode": 0, "parameter": 1},
    {"slot": 34, "type": 4, "macroKeyCode": 0, "parameter": 2},
    {"slot": 20, "type": 6, "macroKeyCode": 0, "parameter": 0, "text": "one\r\ntwo\nthree"}
  ],
  "macros": [
    {"name": "hi", "isNew": 0, "playMode": 0, "macroId": 1,
     "actions": [[0, 35, 0], [10, 35, 1], [10, 23, 0], [10, 23, 1], [10, 42, 0], [10, 2, 0], [10, 2, 1], [10, 42, 1]]},
    {"name": "x", "isNew": 0, "playMode": 1, "macroId": 2, "actions": [[0, 45, 0], [40, 45, 1], [60, 57, 0], [10, 57, 1]]}
  ]
}
JSON
wine px3tool.exe build "$(winpath "$work/profile.json")" "$(winpath "$work/profile.px3")" >/dev/null ||
    { echo "px3tool build failed"; exit 1; }
wine kbhost.exe --profile "$(winpath "$work/profile.px3")" >"$work/host.log" 2>&1 </dev/null &
hostpid=$!
eventually 'grep -qs "^started" "$work/host.log" && [ "$(wine kbsim.exe table keyboard | tr -d "\r")" != none ]' 20 ||
    { cat "$work/host.log"; echo "the host did not start"; exit 1; }
fresh

tap 1E
tap 1F
tap 20
check 'typed bd' "a remapped key types its target and a blocked key types nothing" || echo "  $(text)"
fresh
tap 21
check 'typed "hi!"' "a macro types its steps in order, Shift included" || echo "  $(text)"
fresh
key 22 down
eventually '[ "$(text | tr -cd x | wc -c)" -ge 3 ]' 10
key 22 up
eventually settled 10
passes=$(presses 2D)
check 'typed "$(printf "x %.0s" $(seq "$passes"))"' "a repeating macro types each of its $passes passes" || echo "  $(text)"
check '[ "$passes" -ge 3 ] && [ -z "$(left_down)" ]' "it repeated while held and left nothing down" || echo "  $passes $(left_down)"
fresh
tap 14
check 'typed "one\\r\\ntwothree"' "a text block arrives whole: its CR breaks the line, its LF is left out" || echo "  $(text)"

wine kbhost.exe stop >/dev/null 2>&1
wait "$hostpid" 2>/dev/null
hostpid=""

# --- Recording through the relay ------------------------------------------------
echo '{"header": {"defaultMark": 0}, "slots": [], "macros": [{"name": "rec", "isNew": 0, "playMode": 0, "macroId": 1, "actions": []}]}' >"$work/rec.json"
wine px3tool.exe build "$(winpath "$work/rec.json")" "$(winpath "$work/rec.px3")" >/dev/null || { echo "px3tool build failed"; exit 1; }
wine reg delete 'HKCU\Software\Plexor3_QM2000RB' /f >/dev/null 2>&1
wine reg add "$regkey" /v PROFILE00 /d 1 /f >/dev/null
wine reg add "$regkey" /v PROFILE01 /d "$(winpath "$work/rec.px3")" /f >/dev/null
wine reg add "$regkey" /v ACTIVE /d 0 /f >/dev/null
wine reg add "$regkey" /v RecordDelay /d 0 /f >/dev/null
wine KbPanel.exe >/dev/null 2>&1 &
eventually '[ "$(state visible)" = 0 ] && [ "$(wine kbsim.exe table keyboard | tr -d "\r")" != none ]' 30 ||
    { echo "KbPanel did not start"; exit 1; }
wine KbPanel.exe >/dev/null 2>&1
eventually '[ "$(state visible)" = 1 ]' 10 || { echo "the window did not show"; exit 1; }
open_main macro 1007 || bad "the macro editor opens"
click macro 1020
check '[ "$(dprobe text macro 1020)" = "停止录制" ]' "recording starts"
for k in 1E 11C 14B 137; do tap $k; done
key 2A down
tap 30
key 2A up
want="1,A,↓ 1,A,↑ 1,Num Enter,↓ 1,Num Enter,↑ 1,←,↓ 1,←,↑ 1,Print Screen,↓ 1,Print Screen,↑ 1,Shift,↓ 1,B,↓ 1,B,↑ 1,Shift,↑ "
steps() { dprobe rows macro 1019 | tr '\t' ',' | tr '\n' ' '; }
check 'eventually "[ \"\$(steps)\" = \"$want\" ]" 10' \
    "keys of the simulated keyboard are recorded as real keys are, extended keys and Print Screen included" || echo "  $(steps)"
click macro 1020
check '[ "$(dprobe text macro 1020)" = "录制..." ]' "recording stops"

e2e_summary
