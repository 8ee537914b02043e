#!/usr/bin/env bash
# The heart end to end under Wine: kbhost with the simulated keyboard, driven
# by kbsim, each scenario from a profile file made for it with px3tool.
set -u
cd "$KB_BIN" || exit 1
. "$KB_ROOT/tools/dev/e2e-lib.sh"
kbhost_e2e_begin

probe_report="$work/launched.txt"
probe=$(winpath "$KB_BIN/multact_probe.exe")

# A: macro 1 (B press, 60 ms, B release); D: macro 2 (C press, 10 s, C release);
# S: stop macro; L: launch the probe; T: type "ab"; macro key 1: Shift in bank 0,
# macro 1 in bank 1.
cat >"$work/profile.json" <<JSON
{
  "header": {"defaultMark": 0},
  "slots": [
    {"slot": 30, "type": 4, "macroKeyCode": 0, "parameter": 1},
    {"slot": 32, "type": 4, "macroKeyCode": 0, "parameter": 2},
    {"slot": 31, "type": 5, "macroKeyCode": 0, "parameter": 0},
    {"slot": 38, "type": 3, "macroKeyCode": 0, "parameter": 0, "text": $(printf '%s' "$probe" | sed 's/\\/\\\\/g; s/.*/"&"/')},
    {"slot": 20, "type": 6, "macroKeyCode": 0, "parameter": 0, "text": "ab"},
    {"slot": 256, "type": 2, "macroKeyCode": 4866, "parameter": 42},
    {"slot": 261, "type": 4, "macroKeyCode": 8962, "parameter": 1}
  ],
  "macros": [
    {"name": "one", "isNew": 0, "playMode": 0, "macroId": 1, "actions": [[0, 48, 0], [60, 48, 1]]},
    {"name": "long", "isNew": 0, "playMode": 0, "macroId": 2, "actions": [[0, 46, 0], [10000, 46, 1]]}
  ]
}
JSON
wine px3tool.exe build "$(winpath "$work/profile.json")" "$(winpath "$work/profile.px3")" || { echo "px3tool build failed"; exit 1; }

# The user's own saved profile list, which a run with --profile must not touch.
userkey='HKCU\Software\Plexor3_QM2000RB\KbPanel\PROFILES'
wine reg add "$userkey" /v PROFILE00 /d 2 /f >/dev/null 2>&1
wine reg add "$userkey" /v PROFILE01 /d 'C:\users\me\work.px3' /f >/dev/null 2>&1
wine reg add "$userkey" /v PROFILE02 /d 'C:\users\me\game.px3' /f >/dev/null 2>&1
wine reg add "$userkey" /v ACTIVE /d 1 /f >/dev/null 2>&1
usersettings() { wine reg query "$userkey" 2>/dev/null | tr -d '\r' | sort; }
before_settings=$(usersettings)

export KB_PROBE_REPORT
KB_PROBE_REPORT=$(winpath "$probe_report")
export KB_PROBE_EVENT=kb-e2e-probe
wine kbhost.exe --profile "$(winpath "$work/profile.px3")" >"$work/host.log" 2>&1 </dev/null &
hostpid=$!
eventually 'grep -qs "^started" "$work/host.log"' 20 || { cat "$work/host.log"; echo "the host did not start"; exit 1; }
check 'eventually "grep -qs \"^attach 1\" \"$work/host.log\"" 10' "the host reports the keyboard attached"
check 'eventually "wine kbsim.exe table keyboard | grep -qv none" 10' "the keyboard table is installed"
check '[ "$(wine kbsim.exe bank | tr -d "\r")" = "05 02" ]' "the bank status starts at bank 0 with the program running"
clear_output

# A key that plays a macro.
tap 1E
check 'eventually "[ \"\$(inj)\" = \"key 30 0000 key 30 0001 \" ]" 5' "a macro key plays its steps"
check '! wine kbsim.exe output | grep -q "phys key 1E"' "the macro key itself does not reach the system"
clear_output
# A held key repeats its press until the release comes.
wine kbsim.exe key 1E down >/dev/null
eventually "[ \"\$(inj)\" = \"key 30 0000 key 30 0001 \" ]" 5
wine kbsim.exe key 1E down >/dev/null
wine kbsim.exe key 1E down >/dev/null
wine kbsim.exe key 1E up >/dev/null
# The long macro's first step marks the end: a play asked for by a repeat
# would have been queued before it.
tap 20
eventually '[[ "$(inj)" == *"key 2E 0000 " ]]' 5
check '[ "$(inj)" = "key 30 0000 key 30 0001 key 2E 0000 " ]' "holding the key plays the macro once" || echo "output: $(wine kbsim.exe output | tr -d "\r" | tr "\n" " ")"
tap 1F
check 'eventually "[[ \"\$(inj)\" == *\"key 2E 0001 \" ]]" 3' "the stop key ends the marking macro"
clear_output
tap 1E
tap 1E
check 'eventually "[ \"\$(inj)\" = \"key 30 0000 key 30 0001 key 30 0000 key 30 0001 \" ]" 5' "two presses play it twice, one after the other"
clear_output

# The stop key ends a long macro, drops what is queued and leaves no key down.
tap 20
check 'eventually "[ \"\$(inj)\" = \"key 2E 0000 \" ]" 5' "the long macro starts"
tap 1E
tap 1E
start=$(date +%s%N)
tap 1F
check 'eventually "[ \"\$(inj)\" = \"key 2E 0000 key 2E 0001 \" ]" 3' "stop releases the held key"
stopms=$(( ($(date +%s%N) - start) / 1000000 ))
echo "stop seen after ${stopms} ms (including two kbsim runs)"
# A request left in the queue would play before this one.
tap 20
eventually '[ "$(inj | grep -o "key 2E 0000" | wc -l)" -ge 2 ]' 5
check '[ "$(inj)" = "key 2E 0000 key 2E 0001 key 2E 0000 " ]' "queued requests are dropped"
tap 1F
eventually '[ "$(inj | grep -o "key 2E 0001" | wc -l)" -ge 2 ]' 3
check 'eventually "grep -q \"^playing 0\" \"$work/host.log\"" 3' "playback reports idle"
clear_output

# Launch a program; type a text block.
tap 26
check 'eventually "[ -s \"$probe_report\" ]" 10' "a launch key starts the program"
check "types_into_target 14 ab kb-e2e-type" "a text key types its text"
clear_output

# Macro keys and the bank key.
wine kbsim.exe macrokey 1 >/dev/null
check 'eventually "[ \"\$(inj)\" = \"key 2A 0000 \" ]" 5' "a macro key assigned to another key presses it"
wine kbsim.exe macrokey up >/dev/null
check 'eventually "[ \"\$(inj)\" = \"key 2A 0000 key 2A 0001 \" ]" 5' "the all-up report releases it"
clear_output
wine kbsim.exe macrokey bank >/dev/null
check 'eventually "[ \"\$(wine kbsim.exe bank | tr -d \"\r\")\" = \"05 03\" ]" 5' "the bank key flips the status byte"
check 'eventually "grep -q \"^bank 1\" \"$work/host.log\"" 5' "the window hears of bank 1"
wine kbsim.exe macrokey 1 >/dev/null
wine kbsim.exe macrokey up >/dev/null
check 'eventually "[ \"\$(inj)\" = \"key 30 0000 key 30 0001 \" ]" 5' "macro key 1 in bank 1 plays its slot of bank 1"
wine kbsim.exe macrokey bank >/dev/null
check 'eventually "[ \"\$(wine kbsim.exe bank | tr -d \"\r\")\" = \"05 02\" ]" 5' "and back to bank 0"
clear_output

# Attach state.
wine kbsim.exe unplug keyboard >/dev/null
check 'eventually "tail -n 3 \"$work/host.log\" | grep -q \"^attach 0\"" 5' "unplugging reports detached"
wine kbsim.exe plug keyboard >/dev/null
check 'eventually "tail -n 3 \"$work/host.log\" | grep -q \"^attach 1\"" 5' "plugging reports attached"

# Shutdown.
wine kbhost.exe stop >/dev/null
check 'eventually "grep -q \"^stopped\" \"$work/host.log\"" 10' "the host stops when told"
wait "$hostpid"; rc=$?; hostpid=""
check '[ $rc -eq 0 ]' "and exits with status 0"
check '[ "$(wine kbsim.exe table keyboard | tr -d "\r")" = "none" ]' "its tables are withdrawn"
check '[ "$(wine kbsim.exe bank | tr -d "\r")" = "05 00" ]' "the bank status says the program is gone"

check '[ -n "$before_settings" ] && [ "$(usersettings)" = "$before_settings" ]' "a run with --profile leaves the user's saved profile list alone"
wine reg delete 'HKCU\Software\Plexor3_QM2000RB' /f >/dev/null 2>&1

# A library missing after Hidport's Init succeeded: the host ends with a clear
# line, and Hidport is ended before it is freed (the stand-in ends the process
# with code 86 otherwise).
mkdir -p "$work/nomultact"
cp kbhost.exe Hidport.dll KinsetDll.dll "$work/nomultact/"
(cd "$work/nomultact" && timeout 30 wine ./kbhost.exe --profile "$(winpath "$work/profile.px3")" >"$work/nomultact.log" 2>&1 </dev/null)
rc=$?
check '[ $rc -eq 2 ] && grep -q "cannot start.*Multact" "$work/nomultact.log"' "a missing Multact.dll ends the host at start with a clear line" || { echo "exit $rc"; cat "$work/nomultact.log"; }

echo "--- host log"; cat "$work/host.log"

# Without the stand-in driver the simulated keyboard does not answer the HID
# library, and a program whose HID library cannot start must end at once.
wine kbsim.exe remove >/dev/null
timeout 30 wine kbhost.exe --profile "$(winpath "$work/profile.px3")" >"$work/nodriver.log" 2>&1 </dev/null
rc=$?
check '[ $rc -eq 2 ] && grep -q "cannot start" "$work/nodriver.log"' "without the driver the host ends at start with a clear line"
check '[ "$(wine kbsim.exe status | tr -d "\r")" = "driver: stopped" ]' "and the driver stays stopped"
e2e_summary
