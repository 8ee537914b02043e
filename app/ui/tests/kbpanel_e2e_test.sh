#!/usr/bin/env bash
# KbPanel.exe end to end under Wine and Xvfb with the simulated keyboard,
# driven as the shell, a second start or a user would: markers and messages to
# its control ids from another process, kbsim, clicks and the screen's pixels.
set -u
. "$KB_ROOT/tools/dev/e2e-lib.sh"
. "$KB_ROOT/app/ui/tests/window-lib.sh"
kb_window_test  # the programs' folder, $work, $regkey and the cleanup at exit

table() { wine kbsim.exe table "$1" 2>/dev/null | tr -d '\r'; }

# Profiles made for the tests, listed in the settings as the program keeps them.
# Assigned: A (block), F1 (stop macro), Print, keypad 1 and keypad +, A1 in bank 0,
# A3 in bank 1; D plays a macro that waits 1.5 s between its steps, G one of 30 s;
# H types a text of two lines.
build_profile marks '{
  "header": {"defaultMark": 0},
  "slots": [
    {"slot": 30, "type": 1, "macroKeyCode": 0, "parameter": 0},
    {"slot": 59, "type": 5, "macroKeyCode": 0, "parameter": 0},
    {"slot": 183, "type": 1, "macroKeyCode": 0, "parameter": 0},
    {"slot": 591, "type": 1, "macroKeyCode": 0, "parameter": 0},
    {"slot": 590, "type": 1, "macroKeyCode": 0, "parameter": 0},
    {"slot": 256, "type": 5, "macroKeyCode": 4866, "parameter": 0},
    {"slot": 263, "type": 5, "macroKeyCode": 8964, "parameter": 0},
    {"slot": 32, "type": 4, "macroKeyCode": 0, "parameter": 1},
    {"slot": 34, "type": 4, "macroKeyCode": 0, "parameter": 2},
    {"slot": 35, "type": 6, "macroKeyCode": 0, "parameter": 0, "text": "你好\r\n第二行"}
  ],
  "macros": [
    {"name": "slow", "isNew": 0, "playMode": 0, "macroId": 1, "actions": [[0, 48, 0], [1500, 48, 1]]},
    {"name": "long", "isNew": 0, "playMode": 0, "macroId": 2, "actions": [[0, 46, 0], [30000, 46, 1]]}
  ]
}'
# Only B is blocked.
build_profile other '{
  "header": {"defaultMark": 0},
  "slots": [{"slot": 48, "type": 1, "macroKeyCode": 0, "parameter": 0}],
  "macros": []
}'
use_profiles() {
    wine reg delete 'HKCU\Software\Plexor3_QM2000RB' /f >/dev/null 2>&1
    wine reg add "$regkey" /v PROFILE00 /d 2 /f >/dev/null
    wine reg add "$regkey" /v PROFILE01 /d "$(winpath "$work/marks.px3")" /f >/dev/null
    wine reg add "$regkey" /v PROFILE02 /d "$(winpath "$work/other.px3")" /f >/dev/null
    wine reg add "$regkey" /v ACTIVE /d 0 /f >/dev/null
}

# Starts the program in the background and waits until it sits in the tray.
start_program() {
    wine KbPanel.exe "$@" >/dev/null 2>&1 &
    panelpid=$!
    eventually '[ "$(state visible)" = 0 ] && [ "$(table keyboard)" != none ]' 20
}
stop_program() {
    wine KbPanel.exe /kill >/dev/null 2>&1
    eventually '! running' 5
    wait "$panelpid" 2>/dev/null
}

# The face a button shows: compares its pixels on the screen with the same
# rectangle of the normal and the marked status image.
face_of() {  # ID [second]
    local id="$1" set="${2:-}" origin rect ox oy x y w h shot
    origin=($(probe rect 0))
    rect=($(probe rect "$id"))
    ox=${origin[0]} oy=${origin[1]} x=${rect[0]} y=${rect[1]} w=${rect[2]} h=${rect[3]}
    shot="$work/screen.png"
    [ -s "$shot" ] || import -window root "$shot" 2>/dev/null
    convert-im6.q16 "$shot" -crop "${w}x${h}+${x}+${y}" +repage "$work/face.png"
    local suffix=""
    [ "$set" = second ] && suffix="_2"
    convert-im6.q16 "Skins/Main_Status1$suffix.jpg" -crop "${w}x${h}+$((x - ox))+$((y - oy))" +repage "$work/normal.png"
    convert-im6.q16 "Skins/Main_Status4$suffix.jpg" -crop "${w}x${h}+$((x - ox))+$((y - oy))" +repage "$work/marked.png"
    local dn dm
    dn=$(compare-im6.q16 -metric MAE "$work/face.png" "$work/normal.png" null: 2>&1 | sed 's/.*(\(.*\)).*/\1/')
    dm=$(compare-im6.q16 -metric MAE "$work/face.png" "$work/marked.png" null: 2>&1 | sed 's/.*(\(.*\)).*/\1/')
    awk -v n="$dn" -v m="$dm" 'BEGIN { if (n < 0.05 && n < m) print "normal"; else if (m < 0.05 && m < n) print "marked"; else print "unclear " n " " m }'
}
faces_are() {  # FACE ID[:second]...: every button shows FACE on the current screenshot
    local want="$1" id; shift
    for id; do
        if [ "${id%:second}" != "$id" ]; then [ "$(face_of "${id%:second}" second)" = "$want" ] || return 1
        else [ "$(face_of "$id")" = "$want" ] || return 1; fi
    done
}
# Takes screenshots until CONDITION holds on one (the buttons paint one by
# one), up to 10 s; the checks after it read that last screenshot.
new_screen() { eventually "rm -f \"\$work/screen.png\"; $1" 10 || echo "  the screen never showed: $1"; }

wine kbsim.exe install >/dev/null || { echo "cannot install the simulated keyboard"; exit 1; }
use_profiles

# --- Start, hidden in the tray; a second start shows it ------------------------
start_program || { echo "KbPanel did not start"; exit 1; }
check '[ "$(state visible)" = 0 ] && [ "$(state toolwindow)" = 1 ] && [ "$(state appwindow)" = 0 ]' \
    "after start the window is hidden and has no task-bar button"
check '[ "$(state title)" = "Vortek键盘设定" ]' "the window carries its title"
wine KbPanel.exe >/dev/null 2>&1
rc=$?
check '[ $rc -eq 0 ]' "a second start ends with exit code 0"
check 'eventually "[ \"\$(state visible)\" = 1 ]" 5' "a second start shows the first one's window"
check '[ "$(state appwindow)" = 1 ] && [ "$(state toolwindow)" = 0 ] && [ "$(state foreground)" = 1 ]' \
    "the shown window has a task-bar button and is in the foreground"
xdotool mousemove 0 0

# --- Key buttons marked exactly for the profile's keys ---------------------------
new_screen 'faces_are marked 1058 1010 1091 1000 1115:second 1111:second && faces_are normal 1075 1011 1001 1002 1116:second'
for id in 1058 1010 1091 1000; do
    check '[ "$(face_of $id)" = marked ]' "button $id is marked" || echo "  $(face_of $id)"
done
for id in 1115 1111; do
    check '[ "$(face_of $id second)" = marked ]' "keypad button $id is marked" || echo "  $(face_of $id second)"
done
for id in 1075 1011 1001 1002; do
    check '[ "$(face_of $id)" = normal ]' "button $id is not marked" || echo "  $(face_of $id)"
done
check '[ "$(face_of 1116 second)" = normal ]' "keypad button 1116 is not marked"
import -window root "$work/main-window.png" 2>/dev/null
rect=($(probe rect 0))
convert-im6.q16 "$work/main-window.png" -crop "${rect[2]}x${rect[3]}+${rect[0]}+${rect[1]}" +repage \
    "$KB_BIN/../kbpanel-main-window.png" 2>/dev/null

# --- Each key's tool tip names its function ---------------------------------------
tip_is() {  # ID TEXT
    local got
    got=$(probe tooltip "$1" | tr -d '\r')
    [ "$got" = "$2" ] || { echo "  button $1: \"$got\""; return 1; }
}
check 'tip_is 1058 "无功能"' "a blocked key's tool tip says so"
check 'tip_is 1010 "停止播放中的宏" && tip_is 1060 "播放宏: slow" && tip_is 1063 "文字块: 你好…"' \
    "tool tips name the macro and the start of the text"
check 'tip_is 1075 "默认功能"' "a key without a function says it does its default"

# --- The bank key: captions, lamp and the macro keys' marks ----------------------
wine kbsim.exe macrokey bank >/dev/null
check 'eventually "[ \"\$(probe caption 1000)\" = B1 ] && [ \"\$(probe caption 1004)\" = B5 ]" 5' \
    "the bank key changes the macro-key captions to B1..B5"
new_screen 'faces_are marked 1002 && faces_are normal 1000'
check '[ "$(face_of 1002)" = marked ] && [ "$(face_of 1000)" = normal ]' "in bank B the marks follow slots 261..265"
wine kbsim.exe macrokey bank >/dev/null
check 'eventually "[ \"\$(probe caption 1000)\" = A1 ] && [ \"\$(probe caption 1002)\" = A3 ]" 5' \
    "a second press gives A1..A5 back"
check '[ "$(wine kbsim.exe bank | tr -d "\r")" = "05 02" ]' "the keyboard's bank lamp follows"

# --- Flip -----------------------------------------------------------------------
check '[ "$(probe enabled 1010)" = 1 ] && [ "$(probe enabled 1019)" = 0 ]' \
    "without a stored Flip value F1..F4 are editable and D1..D6 are not"
probe command 1130 >/dev/null
check 'eventually "[ \"\$(reg_value Flip)\" = 1 ]" 5' "a Flip switch stores 1"
check '[ "$(probe enabled 1010)" = 0 ] && [ "$(probe enabled 1013)" = 0 ] && [ "$(probe enabled 1016)" = 1 ] && [ "$(probe enabled 1021)" = 1 ]' \
    "Flip on enables D1..D6 and disables F1..F4"
probe command 1131 >/dev/null
check 'eventually "[ \"\$(reg_value Flip)\" = 0 ]" 5' "the other switch stores 0"
check '[ "$(probe enabled 1010)" = 1 ] && [ "$(probe enabled 1016)" = 0 ]' "Flip off restores F1..F4"

# --- Cancel and Close hide the window; the program stays in the tray --------------
probe command 1 >/dev/null
check 'eventually "[ \"\$(state visible)\" = 0 ]" 5 && [ "$(table keyboard)" != none ]' "OK applies and hides the window"
probe send 0x5350 0x4F50454E >/dev/null
probe command 2 >/dev/null
check 'eventually "[ \"\$(state visible)\" = 0 ]" 5' "Cancel hides the window"
probe send 0x5350 0x4F50454E >/dev/null
check '[ "$(state visible)" = 1 ]' "OPEN shows it again"
probe send 0x5350 0x12345678 >/dev/null
probe command 1124 >/dev/null
check 'eventually "[ \"\$(state visible)\" = 0 ]" 5 && running' "Close hides it and the program keeps running"

# --- Minimise, the About box -------------------------------------------------------
probe send 0x5350 0x4F50454E >/dev/null
probe command 1123 >/dev/null
check 'eventually "[ \"\$(state iconic)\" = 1 ]" 5' "Minimize minimises the window"
probe send 0x5350 0x4F50454E >/dev/null
check 'eventually "[ \"\$(state iconic)\" = 0 ] && [ \"\$(state visible)\" = 1 ]" 5' "OPEN restores it"
about_count() { probe windows | grep -c '^关于$'; }
# Sent, not posted: each request has been handled when the probe returns.
probe send 0x111 32773 >/dev/null
probe send 0x111 32773 >/dev/null
probe send 0x112 0x10 >/dev/null
check '[ "$(about_count)" = 1 ]' \
    "the About box opens once, however often the tray or the system menu asks"
probe answer 1 >/dev/null
check 'eventually "[ \"\$(about_count)\" = 0 ]" 5' "its OK closes it"
probe send 0x112 0x10 >/dev/null
check 'eventually "[ \"\$(about_count)\" = 1 ]" 5' "the system menu's item opens it again"
probe answer 1 >/dev/null
eventually '[ "$(about_count)" = 0 ]' 5

# --- A disabled key cannot be clicked; an enabled one opens the key's dialog --------
probe command 1130 >/dev/null
eventually '[ "$(probe enabled 1010)" = 0 ]' 5
click_control() {
    local r
    r=($(probe rect "$1"))
    xdotool mousemove $((r[0] + r[2] / 2)) $((r[1] + r[3] / 2)) click 1
    xdotool mousemove 0 0
}
eventually '[ -z "$(probe windows)" ]' 5 || echo "  before the click: $(probe windows)"
# The window active first (a touch on its title strip), then F1, then Minimize:
# clicks are handled in turn, so once the window is minimised F1's click was
# handled too, and a dialog it opened would have kept Minimize from working.
set -- $(probe rect 0)
xdotool mousemove $(($1 + $3 / 2)) $(($2 + 5)) click 1
click_control 1010
click_control 1123
check 'eventually "[ \"\$(state iconic)\" = 1 ]" 5 && [ -z "$(probe windows)" ]' \
    "a click on F1 while Flip disables it opens nothing" || echo "  open: $(probe windows)"
probe send 0x5350 0x4F50454E >/dev/null
eventually '[ "$(state iconic)" = 0 ] && [ "$(state visible)" = 1 ]' 5 || bad "OPEN restores it after that"
# The first click on a window under Xvfb may only activate it.
click_control 1014
eventually '[ -n "$(probe windows)" ]' 3 || click_control 1014
check 'eventually "[ -n \"\$(probe windows)\" ]" 5' "a click on F5 opens the key's dialog"
probe answer 2 >/dev/null
eventually '[ -z "$(probe windows)" ]' 5
probe command 1131 >/dev/null
eventually '[ "$(probe enabled 1010)" = 1 ]' 5
# Back to the tray.
probe command 1124 >/dev/null
eventually '[ "$(state visible)" = 0 ]' 5

# --- Session lock and unlock ----------------------------------------------------
WM_WTSSESSION_CHANGE=0x2B1
probe send $WM_WTSSESSION_CHANGE 7 >/dev/null
check '[ "$(table keyboard)" = none ] && [ "$(table keypad0E)" = none ]' "a session lock withdraws the tables"
probe send $WM_WTSSESSION_CHANGE 1 >/dev/null
check '[ "$(table keyboard)" = none ]' "a console connect after a lock does not restore them"
probe send $WM_WTSSESSION_CHANGE 8 >/dev/null
check '[ "$(table keyboard)" != none ] && [ "$(table keypad0E)" != none ]' "the unlock restores them"

# --- Profile menu ---------------------------------------------------------------
before=$(table keyboard)
probe send 0x111 9002 >/dev/null
check 'eventually "[ \"\$(reg_value ACTIVE)\" = 1 ]" 5' "the profile menu's second entry becomes active"
after=$(table keyboard)
check '[ "$after" != none ] && [ "$after" != "$before" ]' "switching installs the new profile's table"
wine kbsim.exe key 30 tap >/dev/null
wine kbsim.exe output --clear >/dev/null
wine kbsim.exe key 30 tap >/dev/null
wine kbsim.exe key 1E tap >/dev/null
# A passes after B: once it is in the output, so would B be.
eventually 'wine kbsim.exe output | grep -q "phys key 1E 0001"' 5
out=$(wine kbsim.exe output | tr -d '\r')
check 'echo "$out" | grep -q "phys key 1E" && ! echo "$out" | grep -q "phys key 30"' \
    "in the new profile B is blocked and A is not"
probe send 0x111 9001 >/dev/null
check 'eventually "[ \"\$(table keyboard)\" = \"$before\" ]" 5' "switching back installs the first table again"

# --- The tray icon follows plug, unplug and playback ---------------------------------
check 'eventually "[ \"\$(tray_picture)\" = attached ]" 5' "the tray shows the keyboard attached"
wine kbsim.exe unplug keyboard >/dev/null
check 'eventually "[ \"\$(tray_picture)\" = detached ]" 5' "unplugged, the tray shows no keyboard"
wine kbsim.exe plug keyboard >/dev/null
check 'eventually "[ \"\$(tray_picture)\" = attached ]" 5' "plugged again, it shows the keyboard"
wine kbsim.exe key 20 tap >/dev/null
check 'eventually "[ \"\$(tray_picture)\" = playing ]" 3' "while a macro plays the tray shows it" ||
    echo "  tray: $(tray_picture); output: $(wine kbsim.exe output | tr -d '\r' | tr '\n' ' ')"
check 'eventually "[ \"\$(tray_picture)\" = attached ]" 5' "after the macro the tray shows the keyboard again"

# --- OK while a macro plays asks before it stops the macro --------------------------
released() { wine kbsim.exe output | tr -d '\r' | grep -c '^inj key 2E 0001'; }
question_open() { probe windows | grep -q "正在宏播放"; }
rel0=$(released)
wine kbsim.exe key 22 tap >/dev/null  # G plays the 30 s macro, which holds C down
eventually "[ \"\$(tray_picture)\" = playing ]" 3
probe post 0x111 1 >/dev/null
check 'eventually question_open 5' "OK while a macro plays asks whether to stop it" || echo "  open: $(probe windows)"
probe answer 7 >/dev/null
check 'eventually "! question_open" 3 && [ "$(tray_picture)" = playing ] && [ "$(released)" = "$rel0" ]' \
    "No leaves the macro playing with its key down"
probe post 0x111 1 >/dev/null
eventually question_open 5
probe answer 6 >/dev/null
check 'eventually "[ \"\$(released)\" -gt $rel0 ]" 3' "Yes stops the macro and releases its key"
check 'eventually "[ \"\$(tray_picture)\" = attached ]" 5' "and the tray no longer shows playback"

# --- Exit ------------------------------------------------------------------------
answer=$(probe kill-tray | tr -d '\r')
ms=$(echo "$answer" | head -n 1)
check '[ -n "$ms" ] && ! running' "KILL ends the running instance"
check '[ "$(echo "$answer" | sed -n "s/^tray //p")" = 0 ]' "no tray icon is left after exit"
echo "the instance was gone ${ms} ms after KILL"
check '[ "$(table keyboard)" = none ] && [ "$(table keypad0E)" = none ]' "no table is left in the driver"
for args in "/kill" "/KILL" "x /Kill"; do
    start_program || { bad "restart for $args"; continue; }
    # shellcheck disable=SC2086
    wine KbPanel.exe $args >/dev/null 2>&1
    rc=$?
    check '[ $rc -eq 0 ] && eventually "! running" 5' "\"$args\" ends the running instance and exits 0"
    wait "$panelpid" 2>/dev/null
done
wine KbPanel.exe /Kill >/dev/null 2>&1
rc=$?
check '[ $rc -eq 0 ] && ! running' "\"/Kill\" with nothing running starts nothing"

# --- Missing libraries and pictures end the start silently -----------------------
missing_case() {  # FILE
    local dir="$work/copy"
    rm -rf "$dir"
    mkdir -p "$dir"
    cp KbPanel.exe KinsetDll.dll Multact.dll Hidport.dll "$dir/"
    cp -r Skins "$dir/"
    rm -f "$dir/$1"
    # From its own folder: the libraries are looked for in the current one too.
    (cd "$dir" && timeout 30 wine "$dir/KbPanel.exe" >/dev/null 2>&1)
    local rc=$?
    [ $rc -eq 0 ] && ! running
}
for f in Hidport.dll KinsetDll.dll Multact.dll Skins/Main_Status1.jpg Skins/Main_Status2.jpg Skins/Main_Status3.jpg \
    Skins/Main_Status4.jpg Skins/Main_Status1_2.jpg Skins/Main_Status2_2.jpg Skins/Main_Status3_2.jpg \
    Skins/Main_Status4_2.jpg Skins/Arrow.jpg Skins/Main_Status5.jpg; do
    check 'missing_case "$f"' "without $f the start ends silently with exit code 0"
done

e2e_summary
