#!/usr/bin/env bash
# The profile manager's restore and export under Wine and Xvfb: a save keeps
# the version it replaces, "恢复..." lists it and puts it back (the active
# profile's table follows at once), "导出..." writes the profile as JSON that
# "载入" turns into a new profile file with the same content, and broken JSON
# is refused with its line. Driven from outside with real clicks and keys.
set -u
. "$KB_ROOT/tools/dev/e2e-lib.sh"
. "$KB_ROOT/app/ui/tests/window-lib.sh"
kb_window_test  # the programs' folder, $work, $regkey and the cleanup at exit
more_cleanup() {
    [ -n "${backups:-}" ] && rm -rf "$backups"
}
at_exit more_cleanup

table() { wine kbsim.exe table keyboard 2>/dev/null | tr -d '\r' | cut -d' ' -f1-16; }
rows() { dprobe rows profile 1007 | wc -l; }
dump() { wine px3tool.exe dump "$(winpath "$1")" 2>/dev/null | tr -d '\r'; }
# A file dialog of the manager: the path typed into it once it is up.
type_into_file_dialog() {
    eventually '[ -n "$(xdotool search --onlyvisible --name "^(打开|另存为|Open|Save As)$" 2>/dev/null)" ]' 10 ||
        echo "  no file dialog seen"
    xdotool key ctrl+a
    xdotool type --delay 5 "$(winpath "$1")"
    xdotool key Return
}

local_appdata=$(wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
backups=$(winepath -u "$local_appdata\\KbPanel\\Backups" 2>/dev/null)
[ -n "$backups" ] && rm -rf "$backups"

# A profile with a macro on A and a text on F2.
cat >"$work/p.json" <<'JSON'
{"slots": [{"slot": 30, "type": 4, "parameter": 1}, {"slot": 60, "type": 6, "text": "你好"}],
 "macros": [{"name": "宏一", "macroId": 1, "actions": [[0, 48, 0], [20, 48, 1]]}]}
JSON
wine px3tool.exe build "$(winpath "$work/p.json")" "$(winpath "$work/p.px3")" >/dev/null || { echo "build failed"; exit 1; }
rm "$work/p.json"
cp "$work/p.px3" "$work/original.px3"

wine kbsim.exe install >/dev/null || { echo "cannot install the simulated keyboard"; exit 1; }
use_profiles 0 "$work/p.px3"

wine KbPanel.exe >/dev/null 2>&1 &
panelpid=$!
eventually '[ "$(state visible)" = 0 ] && [ "$(table)" != none ]' 30 || { echo "KbPanel did not start"; exit 1; }
original_table=$(table)
wine KbPanel.exe >/dev/null 2>&1  # a second start shows the window
eventually '[ "$(state visible)" = 1 ]' 10 || { echo "the window did not show"; exit 1; }

# --- a save keeps the version it replaces ---------------------------------------
for i in 1 2 3; do click main 1010; eventually 'up key' 2 && break; done
click key 1015  # F1: no function
click key 1
eventually 'gone key' 5
click main 1006  # Apply: the changed table in the driver
check 'eventually "! cmp -s \"$work/p.px3\" \"$work/original.px3\"" 5' "the key dialog saved the profile"
check 'eventually "[ \"\$(table)\" != \"\$original_table\" ]" 5' "and the change is applied"
kept=$(ls "$backups"/p-*/*.px3 2>/dev/null)
check '[ "$(echo "$kept" | grep -c .)" = 1 ] && cmp -s "$kept" "$work/original.px3"' \
    "the save kept the earlier version in the local application data"

# --- restore -----------------------------------------------------------------------
open_main profile 1005 || { bad "the profile manager opens"; exit 1; }
click_cell profile 1007 0 1
click profile 1016
check 'eventually "up menu" 5' "恢复... lists the backups in a menu"
if [ -n "${KB_BACKUP_SHOTS:-}" ]; then
    r=($(dprobe rect profile 0))
    import -window root -crop "$((r[2] + 40))x$((r[3] + 60))+${r[0]}+${r[1]}" "$KB_BACKUP_SHOTS/restore_menu.png" 2>/dev/null
fi
m=($(dprobe rect menu 0))  # the newest backup is the first line
[ ${#m[@]} -eq 4 ] && xdotool mousemove $((m[0] + 30)) $((m[1] + 10)) click 1
check 'eventually "cmp -s \"$work/p.px3\" \"$work/original.px3\"" 5' "choosing it puts the earlier version back"
check 'eventually "[ \"\$(table)\" = \"\$original_table\" ]" 5' "and the active profile's table follows at once"
check '[ "$(ls "$backups"/p-*/*.px3 | wc -l)" = 2 ]' "the replaced file was kept first"

# --- export, then load the JSON ----------------------------------------------------
mkdir "$work/out"
click_cell profile 1007 0 1
click profile 1017
type_into_file_dialog "$work/out/shared.json"
check 'eventually "[ -s \"$work/out/shared.json\" ]" 10' "导出... writes the profile as JSON"
click profile 1008
type_into_file_dialog "$work/out/shared.json"
check 'eventually "[ \"\$(rows)\" = 2 ] && [ -s \"$work/out/shared.px3\" ]" 10' \
    "载入 of the JSON lists a new profile file beside it"
check '[ -n "$(dump "$work/out/shared.px3")" ] && [ "$(dump "$work/out/shared.px3")" = "$(dump "$work/p.px3")" ]' \
    "with the same profile (px3tool dump)"

printf '{"slots": [\n  {"slot": 1, "type": 1},\n  {"slot": 2, "type": 9}\n], "macros": []}\n' >"$work/out/bad.json"
click profile 1008
type_into_file_dialog "$work/out/bad.json"
check 'eventually "up msgbox" 10' "broken JSON is refused with a message"
text=$(dprobe msgbox)
check '[[ "$text" == *"第 3 行"* && "$text" == *"slots[1].type"* ]]' "naming its line and field" || echo "  $text"
answer 1
check '[ "$(rows)" = 2 ] && [ ! -e "$work/out/bad.px3" ]' "and nothing is listed or written"
if [ -n "${KB_BACKUP_SHOTS:-}" ]; then
    r=($(dprobe rect profile 0))
    import -window root -crop "${r[2]}x${r[3]}+${r[0]}+${r[1]}" "$KB_BACKUP_SHOTS/profile_manager.png" 2>/dev/null
fi
click profile 2
eventually 'gone profile' 5
wine KbPanel.exe /kill >/dev/null 2>&1
eventually '! running' 10
wait "$panelpid" 2>/dev/null

e2e_summary
