#!/usr/bin/env bash
# The macro editor's macro list sorted by its header under Wine and Xvfb: real
# clicks sort it both ways, select and rename through the sorted rows, and OK
# stores every macro with its own name, steps and id, as a reopened editor
# shows them again; the key that plays a macro still plays the same one.
set -u
. "$KB_ROOT/tools/dev/e2e-lib.sh"
. "$KB_ROOT/app/ui/tests/window-lib.sh"
kb_window_test  # the programs' folder, $work, $regkey and the cleanup at exit

# The stored macros in file order, "id name: first key of each step", and slot 30.
stored() {
    wine px3tool.exe dump "$(winpath "$profile")" 2>/dev/null | python3 -c '
import json, sys
p = json.load(sys.stdin)
for m in p["macros"]:
    print("%d %s: %s" % (m["macroId"], m["name"], " ".join("%X" % a[1] for a in m["actions"])))
for s in p["slots"]:
    if s["slot"] == 30:
        print("slot 30: %d %d" % (s["type"], s["parameter"]))'
}
names() { dprobe rows macro 1016 | tr '\n' ' '; }
step_keys() { dprobe rows macro 1019 | cut -f2 | tr '\n' ' '; }
header_click() {  # the macro list's name header, after a touch on the window's title strip
    local w h
    w=$(dprobe rect macro 0)
    h=$(dprobe header macro 1016 0)
    set -- $w $h
    [ $# -eq 8 ] || return 1
    xdotool mousemove $(($1 + $3 / 2)) $(($2 + 5)) click 1
    xdotool mousemove $(($5 + $7 / 2)) $(($6 + $8 / 2)) click 1
}
select_row() {  # ROW: clicked until the step list shows what it should (KEYS)
    local i
    for i in 1 2 3; do
        click_cell macro 1016 "$1" 0
        eventually "[ \"\$(dprobe selected macro 1016)\" = $1 ] && [ \"\$(step_keys)\" = \"$2\" ]" 2 && return 0
    done
    return 1
}

# Four macros whose file order is not their name order; each one's steps
# press a key of its own, and A plays bravo (id 3).
wine kbsim.exe install >/dev/null || { echo "cannot install the simulated keyboard"; exit 1; }
cat >"$work/sort.json" <<'JSON'
{"header": {"defaultMark": 0},
 "slots": [{"slot": 30, "type": 4, "parameter": 3}],
 "macros": [{"name": "delta", "isNew": 0, "playMode": 0, "macroId": 1, "actions": [[0, 32, 0], [10, 32, 1]]},
            {"name": "Alpha", "isNew": 0, "playMode": 0, "macroId": 2, "actions": [[0, 30, 0], [10, 30, 1]]},
            {"name": "bravo", "isNew": 0, "playMode": 0, "macroId": 3, "actions": [[0, 48, 0], [10, 48, 1]]},
            {"name": "charlie", "isNew": 0, "playMode": 0, "macroId": 4, "actions": [[0, 46, 0], [10, 46, 1]]}]}
JSON
profile="$work/sort.px3"
wine px3tool.exe build "$(winpath "$work/sort.json")" "$(winpath "$profile")" >/dev/null || exit 1
use_profiles 0 "$profile"
before=$(stored)
start_kbpanel

open_main macro 1007 || bad "the macro editor opens"
check '[ "$(names)" = "delta Alpha bravo charlie " ]' "it lists the macros in file order" || names
header_click
check 'eventually "[ \"\$(names)\" = \"Alpha bravo charlie delta \" ]" 5' "a click on the header sorts them by name" || names
check 'select_row 1 "B B "' "the second sorted row shows bravo's steps" || step_keys

# Rename the first sorted row (Alpha, second in the file).
click_cell macro 1016 0 0
click_cell macro 1016 0 0
eventually '[ "$(dprobe editing macro 1016)" = 1 ]' 5
xdotool type Aardvark
xdotool key Return
check 'eventually "[ \"\$(names)\" = \"Aardvark bravo charlie delta \" ]" 5' "the sorted row takes the new name" || names
header_click
check 'eventually "[ \"\$(names)\" = \"delta charlie bravo Aardvark \" ]" 5' "a second click sorts them the other way" || names
check 'select_row 3 "A A "' "the renamed row still shows Alpha's steps" || step_keys
check 'select_row 0 "D D "' "and delta's row delta's" || step_keys

click macro 1
check 'eventually "gone macro" 5' "OK closes the editor"
expected=$(echo "$before" | sed 's/^2 Alpha:/2 Aardvark:/')
check 'eventually "[ \"\$(stored)\" = \"\$expected\" ]" 5' \
    "every macro is stored in its place with its own id and steps, A still plays bravo" || stored

open_main macro 1007 || bad "the macro editor opens again"
check '[ "$(names)" = "delta Aardvark bravo charlie " ]' "a reopened editor lists all four in file order" || names
for pair in "0:D D " "1:A A " "2:B B " "3:C C "; do
    check "select_row ${pair%%:*} \"${pair#*:}\"" "row ${pair%%:*} shows its own steps again" || step_keys
done
click macro 2
eventually 'gone macro' 5

e2e_summary
