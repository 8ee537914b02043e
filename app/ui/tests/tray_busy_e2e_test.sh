#!/usr/bin/env bash
# A profile switch from the tray's profile menu while the profile manager's
# Apply waits on its question, end to end under Wine and Xvfb with the
# simulated keyboard: real clicks on the tray icon and real keys in its menu.
# The switch is refused: once the question is answered the list, the window
# and the driver's table all name the profile the manager applied. The same
# clicks without a question switch, so the menu did reach the program.
set -u
. "$KB_ROOT/tools/dev/e2e-lib.sh"
. "$KB_ROOT/app/ui/tests/window-lib.sh"
kb_window_test  # the programs' folder, $work, $regkey and the cleanup at exit

# The keyboard table's functions, without the event handles the driver keeps.
raw_table() { wine kbsim.exe table keyboard 2>/dev/null | tr -d '\r' | cut -d' ' -f1-16; }
table() { raw_table | md5sum | cut -c1-12; }

# The tray icon clicked once: its menu opens. The program posts itself that
# single click, so by the time the menu shows it has handled what was posted
# to it before, a choice in the menu before included.
tray_menu_open() {
    local tray i
    tray=$(xdotool search --name "Wine System Tray" 2>/dev/null | head -1)
    [ -n "$tray" ] || { echo "  no tray window"; return 1; }
    eval "$(xdotool getwindowgeometry --shell "$tray")"
    for i in 1 2 3; do
        xdotool mousemove $((X + 12)) $((Y + 12)) click 1
        eventually 'up menu' 3 && return 0
    done
    return 1
}
# The menu opened, then its first entry (the default profile) clicked.
tray_menu_default() {
    local r
    tray_menu_open || return 1
    r=$(dprobe rect menu 0)
    set -- $r
    [ $# -eq 4 ] || return 1
    xdotool mousemove $(($1 + $3 / 2)) $(($2 + 12)) click 1
    eventually 'gone menu' 5
}

# plain blocks one key and starts nothing; shared starts a program from F1
# and was made elsewhere, so its activation asks first.
build_profile plain '{"header": {"defaultMark": 0}, "macros": [],
  "slots": [{"slot": 48, "type": 1, "macroKeyCode": 0, "parameter": 0}]}'
build_profile shared '{"header": {"defaultMark": 0}, "macros": [], "slots": [
  {"slot": 30, "type": 1, "macroKeyCode": 0, "parameter": 0},
  {"slot": 59, "type": 3, "macroKeyCode": 0, "parameter": 0, "text": "C:\\Tools\\tool.exe"}]}'

wine kbsim.exe install >/dev/null || { echo "cannot install the simulated keyboard"; exit 1; }
use_profiles 0 "$work/plain.px3" "$work/shared.px3"

start_kbpanel tray
eventually '[ "$(raw_table)" != none ]' 30 || { echo "KbPanel sent no table"; exit 1; }
plain_table=$(table)
show_kbpanel
open_main profile 1005 || { bad "the profile manager opens"; exit 1; }
click_cell profile 1007 1 0 -8  # the check box of "shared"
click profile 1012               # Apply
check 'eventually "up msgbox" 10' "Apply of a file made elsewhere that starts a program asks first"
question=$(dprobe msgbox)

check 'tray_menu_default' "the tray's profile menu opens and takes a choice while the question waits"
# A switch let through would ask its own question or send its table.
check 'tray_menu_open && [ "$(dprobe msgbox)" = "$question" ] && [ "$(table)" = "$plain_table" ]' \
    "the question still waits, alone, and nothing was switched meanwhile" || echo "  the question up: $(dprobe msgbox)"
xdotool key Escape
eventually 'gone menu' 5 || { xdotool mousemove 5 5 click 1; eventually 'gone menu' 5; } || bad "the menu closes"
click_answer 6 || bad "the question can be answered"
check 'eventually "[ \"\$(table)\" != \"$plain_table\" ]" 5' "Yes: the manager's profile reaches the driver"
shared_table=$(table)
check 'eventually "[ \"\$(probe caption 1005)\" = shared ]" 5 && [ "$(reg_value ACTIVE)" = 1 ] && [ "$(table)" = "$shared_table" ]' \
    "the list, the window and the driver all name the manager's profile, not the menu's" ||
    echo "  active $(reg_value ACTIVE), caption $(probe caption 1005)"

click profile 2
eventually 'gone profile' 5 || bad "the manager closes"
check 'tray_menu_default && eventually "[ \"\$(reg_value ACTIVE)\" = -1 ]" 5' \
    "without a question the same clicks switch to the default profile"
check 'eventually "[ \"\$(probe caption 1005)\" = \"<默认情景模式>\" ]" 5 && [ "$(table)" != "$shared_table" ]' \
    "and the window and the driver follow"

wine KbPanel.exe /kill >/dev/null 2>&1
eventually '! running' 10
e2e_summary
