#!/usr/bin/env bash
# The editing dialogs end to end under Wine and Xvfb with the simulated
# keyboard: real clicks and keystrokes (xdotool) on the dialogs' control ids,
# checked from outside through px3tool dump, the registry and kbsim.
set -u
. "$KB_ROOT/tools/dev/e2e-lib.sh"
. "$KB_ROOT/app/ui/tests/window-lib.sh"
kb_window_test  # the programs' folder, $work, $regkey and the cleanup at exit


# One slot of a profile file as "type parameter text" ("" when all zero).
slot_of() {  # FILE SLOT
    wine px3tool.exe dump "$(winpath "$1")" 2>/dev/null | python3 -c '
import json, sys
p = json.load(sys.stdin)
for s in p["slots"]:
    if s["slot"] == int(sys.argv[1]):
        print(s["type"], s["parameter"], s.get("text", ""))' "$2"
}
others() {  # FILE's slots other than SLOT, as JSON
    wine px3tool.exe dump "$(winpath "$profile")" 2>/dev/null |
        python3 -c 'import json, sys; print([s for s in json.load(sys.stdin)["slots"] if s["slot"] != int(sys.argv[1])])' "$1"
}
macros_of() {  # FILE: one line per macro, "name: d,code,dir d,code,dir ..."
    wine px3tool.exe dump "$(winpath "$1")" 2>/dev/null | python3 -c '
import json, sys
for m in json.load(sys.stdin)["macros"]:
    print(m["name"] + ": " + " ".join("%d,%X,%d" % tuple(a) for a in m["actions"]))'
}

# --- Profiles and the running program ------------------------------------------
wine kbsim.exe install >/dev/null || { echo "cannot install the simulated keyboard"; exit 1; }
probe_report="$work/launched.txt"
launch_probe=$(winpath "$KB_BIN/multact_probe.exe")
cat >"$work/main.json" <<'JSON'
{"header": {"defaultMark": 0}, "slots": [],
 "macros": [{"name": "ab", "isNew": 0, "playMode": 0, "macroId": 1,
             "actions": [[0, 48, 0], [10, 48, 1], [10, 46, 0], [10, 46, 1]]},
            {"name": "long", "isNew": 0, "playMode": 0, "macroId": 2,
             "actions": [[0, 32, 0], [8000, 32, 1]]}]}
JSON
python3 - "$work/main.json" "$work/full.json" <<'PY'
import json, sys
p = json.load(open(sys.argv[1]))
p["slots"] = [{"slot": 256 + i, "type": 0, "macroKeyCode": (0x1302 if i < 5 else 0x2302) + i % 5, "parameter": 0}
              for i in range(10)]
json.dump(p, open(sys.argv[2], "w"))
PY
wine px3tool.exe build "$(winpath "$work/full.json")" "$(winpath "$work/main.px3")" >/dev/null || exit 1
profile="$work/main.px3"
wine reg delete 'HKCU\Software\Plexor3_QM2000RB' /f >/dev/null 2>&1
wine reg add "$regkey" /v PROFILE00 /d 1 /f >/dev/null
wine reg add "$regkey" /v PROFILE01 /d "$(winpath "$profile")" /f >/dev/null
wine reg add "$regkey" /v ACTIVE /d 0 /f >/dev/null
wine reg add "$regkey" /v RecordDelay /d 0 /f >/dev/null

export KB_PROBE_REPORT KB_PROBE_EVENT=kb-dialogs-probe
KB_PROBE_REPORT=$(winpath "$probe_report")
wine KbPanel.exe >/dev/null 2>&1 &
eventually '[ "$(probe state | sed -n "s/^visible //p")" = 0 ] && [ "$(wine kbsim.exe table keyboard | tr -d "\r")" != none ]' 30 ||
    { echo "KbPanel did not start"; exit 1; }
wine KbPanel.exe >/dev/null 2>&1  # a second start shows the window
eventually '[ "$(probe state | sed -n "s/^visible //p")" = 1 ]' 10 || { echo "the window did not show"; exit 1; }

# --- Key function dialog ---------------------------------------------------------
A=1058  # button of A (0x1E, slot 30)
open_key $A || bad "the key function dialog opens for a click on A"
shoot key key_function_dialog
check '[ "$(dprobe checked key 1023)" = 1 ] && [ "$(dprobe enabled key 1011)" = 0 ]' \
    "it shows A's default function with the dependent controls off"
before=$(md5sum <"$profile")
others_before=$(others 30)
click key 1015
check '[ "$(dprobe enabled key 1011)" = 0 ]' "choosing no function leaves the target list off"
click key 2
check 'eventually "gone key" 5' "Cancel closes the dialog"
check '[ "$(md5sum <"$profile")" = "$before" ]' "Cancel after a change writes nothing"

# Type 1: blocked.
open_key $A
click key 1015
click key 1
eventually 'gone key' 5
check '[ "$(slot_of "$profile" 30)" = "1 0 " ]' "no function is written to slot 30 only"
check '[ "$(others 30)" = "$others_before" ]' "no other slot changed"
apply_main
clear_output
tap 1E
# Q passes through after A: once it is in the output, so would A be.
tap 10
eventually '[[ "$(phys)" == *"key 10 0001"* ]]' 5
check '! phys | grep -q "key 1E"' "pressing A now does nothing"

# Type 2: another key (the second entry of the target list, B).
open_key $A
click key 1010
check '[ "$(dprobe enabled key 1011)" = 1 ] && [ "$(dprobe enabled key 1013)" = 0 ]' "another key enables the target list only"
click key 1011
xdotool key Down Return
click key 1
eventually 'gone key' 5
check '[ "$(slot_of "$profile" 30)" = "2 48 " ]' "another key stores B's make code"
apply_main
clear_output
tap 1E
check 'eventually "phys | grep -q \"key 30 0000\"" 5' "pressing A now gives B" || echo "  output: $(phys)"

# Type 3: launch a program, its path typed into the edit.
open_key $A
click key 1012
click key 1013
xdotool type --delay 5 "$launch_probe"
click key 1
eventually 'gone key' 5
check '[ "$(slot_of "$profile" 30)" = "3 0 $launch_probe" ]' "launch program stores the typed path" || echo "  $(slot_of "$profile" 30)"
apply_main
tap 1E
check 'eventually "[ -s \"$probe_report\" ]" 10' "pressing A starts the program"

# Type 4: play the first macro.
open_key $A
click key 1016
click key 1
eventually 'gone key' 5
check '[ "$(slot_of "$profile" 30)" = "4 1 " ]' "play macro stores the first macro's id"
apply_main
clear_output
tap 1E
check 'eventually "[ \"\$(inj)\" = \"key 30 0000 key 30 0001 key 2E 0000 key 2E 0001 \" ]" 5' "pressing A plays the macro" || echo "  $(inj)"

# Type 5 on S: stops a playing macro (D plays the long one).
D=1060; S=1059
open_key $D; click key 1016; click key 1017; xdotool key Down Return; click key 1; eventually 'gone key' 5
open_key $S; click key 1019; click key 1; eventually 'gone key' 5
check '[ "$(slot_of "$profile" 31)" = "5 0 " ] && [ "$(slot_of "$profile" 32)" = "4 2 " ]' "stop macro and the second macro are stored"
apply_main
clear_output
tap 20
eventually '[ "$(inj)" = "key 20 0000 " ]' 5
tap 1F
check 'eventually "[ \"\$(inj)\" = \"key 20 0000 key 20 0001 \" ]" 3' "pressing S stops the long macro"

# Type 6: a text block.
open_key $A
click key 1020
click key 1021
xdotool type --delay 5 "ab"
click key 1
eventually 'gone key' 5
check '[ "$(slot_of "$profile" 30)" = "6 0 ab" ]' "a text block stores its text"
apply_main
check "types_into_target 1E ab kb-dialogs-type" "pressing A types the text"

# Type 0 again: A passes through.
open_key $A
check '[ "$(dprobe checked key 1020)" = 1 ] && [ "$(dprobe text key 1021)" = ab ]' "reopening shows the text block" ||
    echo "  $(dprobe up key) $(dprobe checked key 1020) $(dprobe text key 1021)"
click key 1023
click key 1
eventually 'gone key' 5
check '[ -z "$(slot_of "$profile" 30)" ]' "default function clears A's entry and its text"
apply_main
clear_output
tap 1E
check 'eventually "phys | grep -q \"key 1E 0000\"" 5' "pressing A passes it through again"

# A keypad key and a macro key in bank 1 edit their own slots.
open_key 1112 && click key 1015 && click key 1 && eventually 'gone key' 5
check '[ -n "$(wine px3tool.exe dump "$(winpath "$profile")" | python3 -c "
import json,sys
print(*[s[\"slot\"] for s in json.load(sys.stdin)[\"slots\"] if s[\"type\"] == 1 and 512 <= s[\"slot\"] < 768])")" ]' \
    "a keypad key edits a slot of the keypad block"
wine kbsim.exe macrokey bank >/dev/null
eventually '[ "$(wine kbsim.exe bank | tr -d "\r")" = "05 03" ]' 5
open_key 1000 && click key 1015 && click key 1 && eventually 'gone key' 5
check '[ "$(slot_of "$profile" 261)" = "1 0 " ] && [ "$(slot_of "$profile" 256 | cut -d" " -f1)" = 0 ]' \
    "macro key A1 in bank 1 edits slot 261, not 256" || echo "  261: $(slot_of "$profile" 261) 256: $(slot_of "$profile" 256)"
wine kbsim.exe macrokey bank >/dev/null
check 'eventually "[ \"\$(wine kbsim.exe bank | tr -d \"\r\")\" = \"05 02\" ]" 5' "with the dialog closed the bank key works again"

# The default profile cannot be edited.
probe send 0x111 9000 >/dev/null  # the profile menu's default entry
eventually '[ "$(reg_value ACTIVE)" = -1 ]' 5
before=$(md5sum <"$profile")
open_key $A
click key 1015
click key 1
# The box's text is read until it is there: right after it appears, its static may still be empty.
refused_text() { [ "$(dprobe msgbox)" = "你不能在<默认情景模式>下编辑!" ]; }
check 'eventually "up msgbox" 5 && eventually refused_text 3' "editing in the default profile is refused with its message" ||
    echo "  $(dprobe up key) $(dprobe msgbox)"
answer 1
check 'up key' "and the dialog stays open"
click key 2
eventually 'gone key' 5
check '[ "$(md5sum <"$profile")" = "$before" ]' "and nothing is written"
probe send 0x111 9001 >/dev/null
eventually '[ "$(reg_value ACTIVE)" = 0 ]' 5

# --- Profile manager ----------------------------------------------------------------
open_main profile 1005 || bad "the profile manager opens"
shoot profile profile_manager_dialog
check '[ "$(dprobe rows profile 1007 | cut -f2)" = main ]' "it lists the stored profile"
made="$work/made.px3"
click profile 1010
# Typing goes to the file name once the file dialog's field has the focus.
eventually file_dialog_ready 10 || echo "focus: $(dprobe focus)"
xdotool type --delay 5 "$(winpath "$made")"
xdotool key Return
check 'eventually "[ -f \"$made\" ]" 10' "Add writes the new profile file at once"
check 'wine px3tool.exe validate "$(winpath "$made")" >/dev/null' "and it is a valid profile"
check 'eventually "[ \"\$(dprobe rows profile 1007 | wc -l)\" = 2 ]" 5' "and it is listed"
cp "$profile" "$work/loaded.px3"
click profile 1008
eventually file_dialog_ready 10 || echo "focus: $(dprobe focus)"
xdotool type --delay 5 "$(winpath "$work/loaded.px3")"
xdotool key Return
check 'eventually "[ \"\$(dprobe rows profile 1007 | wc -l)\" = 3 ]" 10' "Load lists an existing file"
click_cell profile 1007 1 1
click profile 1011
check 'eventually "[ \"\$(dprobe rows profile 1007 | cut -f2 | tr \"\n\" \" \")\" = \"main loaded \" ]" 5' "Delete removes the selected row"
check '[ -f "$made" ]' "and keeps its file"
click_cell profile 1007 1 0 -8  # the check box of "loaded", left of the label
click profile 1012
check 'eventually "[ \"\$(reg_value PROFILE00)\" = 2 ]" 5' "Apply writes the count"
check '[ "$(reg_value PROFILE02)" = "$(winpath "$work/loaded.px3")" ] && [ "$(reg_value ACTIVE)" = 1 ]' \
    "Apply writes the paths and the checked row as active" || echo "  $(reg_value PROFILE02) $(reg_value ACTIVE)"
click profile 2
eventually 'gone profile' 5
profile="$work/loaded.px3"

# --- Macro editor: recording and the limits ------------------------------------------
open_main macro 1007 || bad "the macro editor opens"
check '[ "$(dprobe rows macro 1016 | head -1)" = ab ]' "it lists the profile's macros"
click macro 1017
check 'eventually "[ \"\$(dprobe rows macro 1016 | wc -l)\" = 3 ]" 5' "Add adds a macro"
click macro 1020
check '[ "$(dprobe text macro 1020)" = "停止录制" ]' "recording shows its caption"
xdotool key --delay 60 a
xdotool keydown b; sleep 0.8; xdotool keyup b  # held: repeats are swallowed
xdotool key Print
click macro 1020
check 'eventually "[ \"\$(dprobe text macro 1020)\" = 录制... ]" 5' "a second click stops the recording"
steps=$(dprobe rows macro 1019 | tr '\t' ',' | tr '\n' ' ')
check '[ "$steps" = "1,A,↓ 1,A,↑ 1,B,↓ 1,B,↑ 1,Print Screen,↓ 1,Print Screen,↑ " ]' \
    "typed keys are recorded with fixed delays, no repeats and Print Screen's press" || echo "  $steps"
shoot macro macro_editor_dialog

# Delay limits on the second step.
click_cell macro 1019 1 0
click_cell macro 1019 1 0
eventually '[ "$(dprobe editing macro 1019)" = 1 ]' 5
xdotool type 0; xdotool key Return
check 'eventually "up msgbox" 5 && [ "$(dprobe msgbox)" = "最小延迟时间为: 1(毫秒)  " ]' "a delay of 0 in a later row is refused with its message"
answer 1
check '[ "$(dprobe rows macro 1019 | sed -n 2p | cut -f1)" = 1 ]' "and the row keeps 1"
click_cell macro 1019 2 0
click_cell macro 1019 2 0
eventually '[ "$(dprobe editing macro 1019)" = 1 ]' 5
xdotool type 5000000; xdotool key Return
check 'eventually "up msgbox" 5 && [ "$(dprobe msgbox)" = "最大延迟时间为: 3600000(毫秒)  " ]' "a delay above the limit is capped with its message"
answer 1
check '[ "$(dprobe rows macro 1019 | sed -n 3p | cut -f1)" = 3600000 ]' "and the row shows 3600000"
click_cell macro 1019 2 0
eventually '[ "$(dprobe editing macro 1019)" = 1 ]' 5
xdotool key Escape
click_cell macro 1019 2 0
click macro 1023
check '[ "$(dprobe selected macro 1019)" = 0 ] && [ "$(dprobe rows macro 1019 | sed -n 1p | cut -f1)" = 3600000 ]' \
    "moving a step to the top keeps it selected"
click macro 1025
check '[ "$(dprobe selected macro 1019)" = 1 ]' "moving it down keeps it selected"
click macro 1026
check '[ "$(dprobe selected macro 1019)" = 5 ]' "moving it to the bottom keeps it selected"
click macro 1024
check '[ "$(dprobe selected macro 1019)" = 4 ]' "moving it up keeps it selected"

# Duplicate name: a click selects the row, the next one edits its name.
click_cell macro 1016 0 0
click_cell macro 1016 2 0
click_cell macro 1016 2 0
eventually '[ "$(dprobe editing macro 1016)" = 1 ]' 5
xdotool type AB; xdotool key Return
check 'eventually "up msgbox" 5 && [ "$(dprobe msgbox)" = "相同的宏名!  " ]' "a duplicate name is refused" ||
    dprobe rows macro 1016
answer 1

# Clear asks first; No keeps the steps.
click macro 1022
check 'eventually "up msgbox" 5 && [ "$(dprobe msgbox)" = "确实需要清空宏动作?  " ]' "Clear asks first"
answer 7
check '[ "$(dprobe rows macro 1019 | wc -l)" = 6 ]' "No keeps the steps"
click macro 1
eventually 'gone macro' 5
check '[ "$(macros_of "$profile" | sed -n 3p | cut -d: -f2)" = " 1,1E,0 1,1E,1 1,30,1 1,137,0 3600000,30,0 1,137,1" ]' \
    "OK stores the recorded, edited and moved steps" || macros_of "$profile"

# Cleared (after Yes) and recorded again, the macro plays what was typed.
open_main macro 1007
click_cell macro 1016 2 0
click macro 1022
answer 6
check '[ "$(dprobe rows macro 1019 | wc -l)" = 0 ]' "Yes clears the steps"
click macro 1020
xdotool key --delay 60 c d
click macro 1020
click macro 1
eventually 'gone macro' 5
check '[ "$(macros_of "$profile" | sed -n 3p | cut -d: -f2)" = " 1,2E,0 1,2E,1 1,20,0 1,20,1" ]' "the new recording is stored" ||
    macros_of "$profile"
F=1061
open_key $F
click key 1016; click key 1017; xdotool key Down Down Return
click key 1
eventually 'gone key' 5
check '[ "$(slot_of "$profile" 33)" = "4 3 " ]' "F plays the recorded macro" || slot_of "$profile" 33
apply_main
clear_output
tap 21
check 'eventually "[ \"\$(inj)\" = \"key 2E 0000 key 2E 0001 key 20 0000 key 20 0001 \" ]" 5' \
    "pressing F plays the recorded keys" || echo "  $(inj)"

e2e_summary
