#!/usr/bin/env bash
# Repeating macros through KbPanel.exe under Wine and Xvfb: the play mode is
# chosen in the macro editor with real clicks and keys, stored in the profile
# file, and the running program repeats the macro as the simulated keyboard's
# keys are held and pressed; the tray shows playback meanwhile. The tray's
# stop command, a profile switch, a session lock and exit end a repetition
# with no key down.
set -u
. "$KB_ROOT/tools/dev/e2e-lib.sh"
. "$KB_ROOT/app/ui/tests/window-lib.sh"
kb_window_test  # the programs' folder, $work, $regkey and the cleanup at exit
shots="${KB_DIALOG_SHOTS:-}"  # a folder: keep a screenshot of the editor there

# The program's own word that playback has ended: the tray's picture.
idle() { [ "$(tray_picture)" = attached ]; }
ended_clean() {  # WHAT
    local rest n
    eventually idle 5
    rest=$(left_down)
    check '[ -z "$rest" ]' "$1 leaves no key down" || echo "  down: $rest; output: $(inj)"
}

mode_text() { dprobe text macro 1028; }
choose_mode() {  # DOWN-PRESSES: the position in the list, from the top
    local i
    click macro 1028
    xdotool key Home
    for ((i = 0; i < $1; i++)); do xdotool key Down; done
    xdotool key Return
}
modes_of() {  # FILE: the play modes of its macros
    wine px3tool.exe dump "$(winpath "$1")" 2>/dev/null |
        python3 -c 'import json, sys; print(" ".join(str(m["playMode"]) for m in json.load(sys.stdin)["macros"]))'
}
# The tray keeps showing playback: looked at once in each of the next passes.
tray_keeps_playing() {
    local i n
    for i in 1 2 3; do
        n=$(presses 30)
        eventually "[ \$(presses 30) -gt $n ]" 5 || return 1
        [ "$(tray_picture)" = playing ] || return 1
    done
}

# --- A profile whose macros play once; a third has a mode this program does not know ---
wine kbsim.exe install >/dev/null || { echo "cannot install the simulated keyboard"; exit 1; }
cat >"$work/main.json" <<'JSON'
{"header": {"defaultMark": 0},
 "slots": [{"slot": 30, "type": 4, "macroKeyCode": 0, "parameter": 1},
           {"slot": 32, "type": 4, "macroKeyCode": 0, "parameter": 2}],
 "macros": [{"name": "held", "isNew": 0, "playMode": 0, "macroId": 1, "actions": [[0, 48, 0], [60, 48, 1]]},
            {"name": "toggle", "isNew": 0, "playMode": 0, "macroId": 2, "actions": [[0, 46, 0], [60, 46, 1]]},
            {"name": "odd", "isNew": 0, "playMode": 7, "macroId": 3, "actions": []}]}
JSON
wine px3tool.exe build "$(winpath "$work/main.json")" "$(winpath "$work/main.px3")" >/dev/null || exit 1
profile="$work/main.px3"
use_profiles 0 "$profile"

wine KbPanel.exe >/dev/null 2>&1 &
panelpid=$!
eventually '[ "$(probe state | sed -n "s/^visible //p")" = 0 ] && [ "$(wine kbsim.exe table keyboard | tr -d "\r")" != none ]' 30 ||
    { echo "KbPanel did not start"; exit 1; }
wine KbPanel.exe >/dev/null 2>&1  # a second start shows the window
eventually '[ "$(probe state | sed -n "s/^visible //p")" = 1 ]' 10 || { echo "the window did not show"; exit 1; }

# --- The macro editor shows and changes the mode -----------------------------------
open_main macro 1007 || bad "the macro editor opens"
check '[ "$(mode_text)" = "Play macro once" ] && [ "$(dprobe enabled macro 1028)" = 1 ]' \
    "the first macro's mode is shown" || echo "  mode: $(mode_text)"
click_cell macro 1016 2 0
check 'eventually "[ \"\$(dprobe selected macro 1016)\" = 2 ]" 3 && [ -z "$(mode_text)" ]' \
    "a mode this program does not know shows no choice" || echo "  mode: $(mode_text)"
click_cell macro 1016 0 0
eventually '[ "$(dprobe selected macro 1016)" = 0 ]' 3
choose_mode 1
check 'eventually "[ \"\$(mode_text)\" = \"Play macro repeat\" ]" 3 && [ "$(dprobe enabled macro 1015)" = 1 ]' \
    "choosing a mode enables Apply" || echo "  mode: $(mode_text)"
click_cell macro 1016 1 0
eventually '[ "$(dprobe selected macro 1016)" = 1 ]' 3
choose_mode 2
check 'eventually "[ \"\$(mode_text)\" = \"Repeating until key down again\" ]" 3' "the second macro repeats until pressed again"
if [ -n "$shots" ]; then
    set -- $(dprobe rect macro 0)
    import -window root -crop "$3x$4+$1+$2" "$shots/macro_editor_play_mode.png" 2>/dev/null
fi
click macro 1
eventually 'gone macro' 5
check '[ "$(modes_of "$profile")" = "1 2 7" ]' "OK stores the modes and keeps the unknown one" || echo "  $(modes_of "$profile")"
apply_main || bad "the main window applies the profile"
clear_output

# --- Mode 1 through the program; the tray shows playback all along -----------------
key 1E down
check 'eventually "[ \$(presses 30) -ge 3 ]" 5' "a held key repeats its macro" || echo "  $(inj)"
check 'tray_keeps_playing' "the tray shows playback while the repetition runs" || echo "  tray: $(tray_picture)"
key 1E up
ended_clean "the release"
check 'idle && [ "$(inj | awk "{ print \$(NF - 2), \$(NF - 1), \$NF }")" = "key 30 0001" ]' "no pass starts after the release"
check 'eventually "[ \"\$(tray_picture)\" = attached ]" 5' "after the repetition the tray shows the keyboard again"
clear_output

# --- Mode 2: toggled; the tray's stop; a profile switch; exit ----------------------
key 20 tap
check 'eventually "[ \$(presses 2E) -ge 3 ]" 5' "a tap starts the repetition" || echo "  $(inj)"
key 20 tap
ended_clean "the second press"
clear_output

key 20 tap
eventually '[ $(presses 2E) -ge 2 ]' 5
probe send 0x111 32775 >/dev/null  # the tray menu's stop
ended_clean "the tray's stop command"
clear_output

key 20 tap
eventually '[ $(presses 2E) -ge 2 ]' 5
probe post 0x111 9000 >/dev/null  # the profile menu: the default profile
check 'answer 1' "the switch says that it stops playback"
# The switch goes on once its message has returned (about 2 s late under Xvfb).
check 'eventually "[ \"\$(probe caption 1005)\" = \"<默认情景模式>\" ]" 10' "the default profile is active"
ended_clean "the profile switch"
probe post 0x111 9001 >/dev/null
eventually '[ "$(probe caption 1005)" = main ]' 10
clear_output

# A session lock takes the tables away, and with them the key that would end it.
key 20 tap
check 'eventually "[ \$(presses 2E) -ge 2 ]" 5' "after switching back the key repeats again"
probe send 0x2B1 7 >/dev/null  # WM_WTSSESSION_CHANGE, locked
check '[ "$(wine kbsim.exe table keyboard | tr -d "\r")" = none ]' "a session lock withdraws the tables"
ended_clean "a session lock"
probe send 0x2B1 8 >/dev/null  # unlocked
check '[ "$(wine kbsim.exe table keyboard | tr -d "\r")" != none ]' "the unlock restores them"
clear_output

key 20 tap
check 'eventually "[ \$(presses 2E) -ge 2 ]" 5' "after the unlock the key repeats again"
ms=$(probe kill-timed)
check '[ -n "$ms" ] && ! running' "KILL ends the program during a repetition"
echo "the program was gone ${ms} ms after KILL"
# With the program gone the key passes through.
checks_nothing_after_exit 20 2E
wait "$panelpid" 2>/dev/null

e2e_summary
