#!/usr/bin/env bash
# Profiles that follow the program in front, end to end under Wine and Xvfb
# with the simulated keyboard: programs are bound and following is turned on
# in the profile manager (clicks and typing), then two programs of ours are
# clicked to the front by turns; the installed tables, read back with kbsim,
# must be their bound profiles' and the first profile's again for a third,
# unbound program. Following off switches nothing. Bindings leave the profile
# files and the list's own settings values as they were.
set -u
. "$KB_ROOT/tools/dev/e2e-lib.sh"
. "$KB_ROOT/app/ui/tests/window-lib.sh"
kb_window_test  # the programs' folder, $work, $regkey and the cleanup at exit
more_cleanup() {
    for t in fg_probe.exe fg_other.exe fg_plain.exe; do wine fg_probe.exe close "$t" >/dev/null 2>&1; done
}
at_exit more_cleanup

table() { wine kbsim.exe table keyboard 2>/dev/null | tr -d '\r' | md5sum | cut -c1-12; }
# Every value of the section but the bindings and the follow switch.
list_values() { wine reg query "$regkey" 2>/dev/null | tr -d '\r' | grep -E '^ +' | grep -vE '^ +(APPS[0-9]+|FOLLOW) ' | sort; }
foreground() { wine fg_probe.exe foreground 2>/dev/null | tr -d '\r'; }

# A program of ours in front by a click on its window, as a user brings it.
declare -A at=([fg_probe.exe]="700 300" [fg_other.exe]="700 500" [fg_plain.exe]="700 700")
start_program() {  # NAME: starts it (from the bin folder or the work folder) at its place
    local exe="$1"
    [ -f "$exe" ] || exe="$work/$1"
    wine "$exe" at ${at[$1]} >/dev/null 2>&1 &
    eventually "[ \"\$(wine fg_probe.exe front $1 2>/dev/null | tr -d '\r')\" != nowindow ]" 10
}
bring() {  # NAME: a click in its window's client area
    set -- $1 ${at[$1]}
    local i
    # A window Wine has made may not be on the X screen yet, so a click can miss.
    for i in 1 2 3; do
        xdotool mousemove $(($2 + 160)) $(($3 + 90)) click 1
        eventually "[ \"\$(foreground)\" = $1 ]" 5 && return 0
    done
    return 1
}

# --- Three profiles: home (active), game and tool, each with its own table -----------
blocking_profile() {  # NAME SLOT: the key of SLOT blocked
    build_profile "$1" "$(printf '{"header": {"defaultMark": 0}, "slots": [{"slot": %d, "type": 1, "macroKeyCode": 0, "parameter": 0}], "macros": []}' "$2")"
}
blocking_profile home 16
blocking_profile game 30
blocking_profile tool 48
cp fg_probe.exe "$work/fg_plain.exe"
wine kbsim.exe install >/dev/null || { echo "cannot install the simulated keyboard"; exit 1; }
wine reg delete 'HKCU\Software\Plexor3_QM2000RB' /f >/dev/null 2>&1
wine reg add "$regkey" /v PROFILE00 /d 3 /f >/dev/null
wine reg add "$regkey" /v PROFILE01 /d "$(winpath "$work/home.px3")" /f >/dev/null
wine reg add "$regkey" /v PROFILE02 /d "$(winpath "$work/game.px3")" /f >/dev/null
wine reg add "$regkey" /v PROFILE03 /d "$(winpath "$work/tool.px3")" /f >/dev/null
wine reg add "$regkey" /v ACTIVE /d 0 /f >/dev/null
wine reg add "$regkey" /v RecordDelay /d 0 /f >/dev/null
wine reg add "$regkey" /v Flip /d 0 /f >/dev/null
# Bound already, following still off (no value: the default).
wine reg add "$regkey" /v APPS02 /d "fg_probe.exe" /f >/dev/null
files_before=$(md5sum "$work"/*.px3)
values_before=$(list_values)

wine KbPanel.exe >/dev/null 2>&1 &
eventually '[ "$(probe state | sed -n "s/^visible //p")" = 0 ] && [ "$(wine kbsim.exe table keyboard | tr -d "\r")" != none ]' 30 ||
    { echo "KbPanel did not start"; exit 1; }

# The tables of each profile, as the profile menu's switch installs them.
menu_switch() {  # INDEX
    probe send 0x111 $((9001 + $1)) >/dev/null
    eventually "[ \"\$(reg_value ACTIVE)\" = $1 ]" 5
}
# Each switch is read once the table in the driver is no longer the last one.
T_start=$(table)
menu_switch 1; eventually '[ "$(table)" != "$T_start" ]' 5; T_game=$(table)
menu_switch 2; eventually '[ "$(table)" != "$T_game" ]' 5; T_tool=$(table)
menu_switch 0; eventually '[ "$(table)" != "$T_tool" ]' 5; T_home=$(table)
check '[ "$T_home" != "$T_game" ] && [ "$T_game" != "$T_tool" ] && [ "$T_home" != "$T_tool" ]' \
    "the menu installs three different tables"

# How this Wine tells of foreground changes: the system's event, or nothing.
wine fg_probe.exe watch 2500 >"$work/watch.txt" 2>"$work/watch.err" &
watcher=$!
eventually 'grep -qs watching "$work/watch.err"' 10
start_program fg_probe.exe
start_program fg_other.exe
start_program fg_plain.exe
wait "$watcher"
echo "note: foreground events seen by an out-of-context hook while three programs came to the front: $(wc -l <"$work/watch.txt")"

# --- Following off: nothing switches ----------------------------------------------------
bring fg_probe.exe || bad "fg_probe.exe comes to the front"
# With following off nothing looks at the window in front, so nothing can
# switch later: the tables are read at once.
check '[ "$(probe looked)" = off ] && [ "$(table)" = "$T_home" ] && [ "$(reg_value ACTIVE)" = 0 ]' \
    "with following off the bound program switches nothing"
bring fg_plain.exe

# --- The manager: type tool's program, turn following on, apply -------------------------
wine KbPanel.exe >/dev/null 2>&1  # a second start shows the window
eventually '[ "$(probe state | sed -n "s/^visible //p")" = 1 ]' 10 || bad "the window shows"
open_main profile 1005 || bad "the profile manager opens"
check '[ "$(dprobe rows profile 1007 | sed -n 2p | cut -f4)" = fg_probe.exe ]' "the programs column shows the stored binding" ||
    dprobe rows profile 1007
check '[ "$(dprobe checked profile 1015)" = 0 ]' "following is off by default"
click_cell profile 1007 2 1
click_cell profile 1007 2 3
eventually '[ "$(dprobe editing profile 1007)" = 1 ]' 5
xdotool type --delay 5 'C:\x\FG_Other.exe; '
xdotool key Return
check 'eventually "[ \"\$(dprobe rows profile 1007 | sed -n 3p | cut -f4)\" = fg_other.exe ]" 5' \
    "a program typed into tool's row is shown as it is stored" || dprobe rows profile 1007
check '[ "$(dprobe enabled profile 1012)" = 1 ]' "and enables Apply"
click profile 1015
check '[ "$(dprobe checked profile 1015)" = 1 ]' "the check box turns following on"
shoot profile profile_manager_follow
click profile 1012
check 'eventually "[ \"\$(reg_value FOLLOW)\" = 1 ]" 5' "Apply stores the switch"
check '[ "$(reg_value APPS03)" = fg_other.exe ] && [ "$(reg_value APPS02)" = fg_probe.exe ]' "and the bindings beside the paths"
check '[ "$(list_values)" = "$values_before" ]' "the list's own values are unchanged" || { echo "$values_before"; list_values; }
click profile 1
eventually 'gone profile' 5
click main 2  # Cancel hides the window
eventually '[ "$(probe state | sed -n "s/^visible //p")" = 0 ]' 5

# --- Following on: the tables follow the program in front --------------------------------
bring fg_probe.exe
check 'eventually "[ \"\$(table)\" = \"$T_game\" ]" 5' "fg_probe.exe in front installs game's tables"
check '[ "$(reg_value ACTIVE)" = 1 ]' "as the menu's switch would (active index 1)"
bring fg_other.exe
check 'eventually "[ \"\$(table)\" = \"$T_tool\" ]" 5' "fg_other.exe in front installs tool's tables"
bring fg_probe.exe
check 'eventually "[ \"\$(table)\" = \"$T_game\" ]" 5' "fg_probe.exe again: game's tables"
bring fg_plain.exe
check 'eventually "[ \"\$(table)\" = \"$T_home\" ]" 5' "an unbound program brings back the profile active before"
check '[ "$(reg_value ACTIVE)" = 0 ]' "and its active index"

# Our own window changes nothing: showing it while a bound program is in front.
bring fg_other.exe
eventually '[ "$(table)" = "$T_tool" ]' 5
wine KbPanel.exe >/dev/null 2>&1
eventually '[ "$(probe state | sed -n "s/^foreground //p")" = 1 ]' 5
# A click on its title strip, which following looks at as at any input.
set -- $(probe rect 0)
xdotool mousemove $(($1 + $3 / 2)) $(($2 + 5)) click 1
check 'eventually "[ \"\$(probe looked)\" = main ]" 5 && [ "$(table)" = "$T_tool" ]' \
    "KbPanel's own window in front keeps the followed profile"
# An editing dialog open: nothing switches.
open_main profile 1005 || bad "the profile manager opens again"
bring fg_plain.exe
plain_window=$(wine fg_probe.exe window fg_plain.exe | tr -d '\r')
check 'eventually "[ \"\$(probe looked)\" = $plain_window ]" 5 && [ "$(table)" = "$T_tool" ]' \
    "while the profile manager is open nothing switches"
click profile 1015
click profile 1
eventually 'gone profile' 5
check 'eventually "[ \"\$(reg_value FOLLOW)\" = 0 ]" 5' "the check box turns following off again"
click main 2
eventually '[ "$(probe state | sed -n "s/^visible //p")" = 0 ]' 5

# --- Following off again ------------------------------------------------------------------
menu_switch 0
eventually '[ "$(table)" = "$T_home" ]' 5
bring fg_probe.exe
bring fg_other.exe
check '[ "$(probe looked)" = off ] && [ "$(table)" = "$T_home" ] && [ "$(reg_value ACTIVE)" = 0 ]' \
    "with following off again nothing switches"

check '[ "$(md5sum "$work"/*.px3)" = "$files_before" ]' "the profile files are byte for byte as they were"
check '[ "$(list_values)" = "$values_before" ]' "the list's own values are as they were" || { echo "$values_before"; list_values; }

# --- Sorting the manager's list carries each row's programs and check along --------------
wine KbPanel.exe >/dev/null 2>&1
eventually '[ "$(probe state | sed -n "s/^visible //p")" = 1 ]' 10
open_main profile 1005 || bad "the profile manager opens for sorting"
set -- $(dprobe rect profile 1007) $(dprobe cell profile 1007 0 1)
xdotool mousemove $(($5 + $7 / 2)) $(($2 + 8)) click 1  # the header of "名称"
check 'eventually "[ \"\$(dprobe rows profile 1007 | cut -f2 | tr \"\n\" \" \")\" = \"game home tool \" ]" 5' \
    "a click on the name column's header sorts the rows" || dprobe rows profile 1007
check '[ "$(dprobe rows profile 1007 | cut -f4 | tr "\n" " ")" = "fg_probe.exe  fg_other.exe " ]' "each row keeps its programs"
click profile 1012
check 'eventually "[ \"\$(reg_value PROFILE01)\" = \"$(winpath "$work/game.px3")\" ]" 5' "Apply stores the sorted order"
check '[ "$(reg_value APPS01)" = fg_probe.exe ] && [ -z "$(reg_value APPS02)" ] && [ "$(reg_value APPS03)" = fg_other.exe ]' \
    "with each binding beside its own profile's path" || wine reg query "$regkey"
check '[ "$(reg_value ACTIVE)" = 1 ] && [ "$(reg_value PROFILE02)" = "$(winpath "$work/home.px3")" ]' \
    "and the checked profile (home) stays the active one" || wine reg query "$regkey"

# The programs button: a file dialog for the selected row; Cancel keeps nothing.
click_cell profile 1007 1 1
click profile 1014
# Typing goes to the file name once the file dialog's field has the focus.
eventually file_dialog_ready 10 || echo "focus: $(dprobe focus)"
xdotool type --delay 5 "$(winpath "$work/fg_plain.exe")"
xdotool key Return
check 'eventually "[ \"\$(dprobe rows profile 1007 | sed -n 2p | cut -f4)\" = fg_plain.exe ]" 10' \
    "a program chosen in the file dialog is bound to the selected row" || dprobe rows profile 1007
# A row deleted, then sorted the other way: the rows left keep their programs.
click_cell profile 1007 0 1
click profile 1011
eventually '[ "$(dprobe rows profile 1007 | wc -l)" = 2 ]' 5
set -- $(dprobe rect profile 1007) $(dprobe cell profile 1007 0 1)
xdotool mousemove $(($5 + $7 / 2)) $(($2 + 8)) click 1  # sorted by name already: now descending
check 'eventually "[ \"\$(dprobe rows profile 1007 | cut -f2,4 | tr \"\t\n\" \"= \")\" = \"tool=fg_other.exe home=fg_plain.exe \" ]" 5' \
    "after a delete a sort still moves each row with its programs" || dprobe rows profile 1007
click profile 2
eventually 'gone profile' 5
check '[ -z "$(reg_value APPS02)" ] && [ "$(reg_value PROFILE00)" = 3 ]' "Cancel stores nothing"

e2e_summary
