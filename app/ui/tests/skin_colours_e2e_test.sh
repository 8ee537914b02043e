#!/usr/bin/env bash
# The editing dialogs' edit fields, combo boxes and both report lists drawn in
# the skin's [COLOURS] under Wine and Xvfb, and in the system's colours by a
# copy of the program whose skin has no such section: pixels of screenshots.
set -u
. "$KB_ROOT/tools/dev/e2e-lib.sh"
. "$KB_ROOT/app/ui/tests/window-lib.sh"
kb_window_test  # the programs' folder, $work, $regkey and the cleanup at exit
plain="$work/plain"

rgb() { printf '%d %d %d' "0x${1:1:2}" "0x${1:3:2}" "0x${1:5:2}"; }  # #RRGGBB
# The share of control ID's rectangle (of its left 70 % with ARROW, which
# spares a combo box's button) drawn in R G B.
control_share() {  # KIND ID R G B [ARROW]
    local r
    r=$(dprobe rect "$1" "$2")
    set -- $r "$3" "$4" "$5" "${6:-}"
    [ $# -ge 7 ] || { echo 0; return; }
    [ -n "${8:-}" ] && set -- "$1" "$2" $(($3 * 7 / 10)) "$4" "$5" "$6" "$7"
    share_like "$1" "$2" "$3" "$4" "$5" "$6" "$7"
}
cell_share() {  # KIND LIST ROW COL R G B
    local r
    r=$(dprobe cell "$1" "$2" "$3" "$4")
    set -- $r "$5" "$6" "$7"
    [ $# -eq 7 ] || { echo 0; return; }
    share_like "$@"
}
header_share() {  # KIND LIST COL R G B
    local r
    r=$(dprobe header "$1" "$2" "$3")
    set -- $r "$4" "$5" "$6"
    [ $# -eq 7 ] || { echo 0; return; }
    share_like "$@"
}
# The grid line along the right edge or the foot of a list's first cell.
grid_share() {  # KIND LIST right|foot R G B
    local r
    r=$(dprobe cell "$1" "$2" 0 0)
    set -- $r "$3" "$4" "$5" "$6"
    [ $# -eq 8 ] || { echo 0; return; }
    if [ "$5" = right ]; then share_like $(($1 + $3 - 1)) "$2" 1 "$4" "$6" "$7" "$8"
    else share_like "$1" $(($2 + $4 - 1)) "$3" 1 "$6" "$7" "$8"; fi
}
drawn_in() {  # WHAT SHARE-COMMAND...: at least half of it, once drawn
    local what="$1"
    shift
    check "eventually '[ \"\$($*)\" -ge 50 ]' 5" "$what" || echo "  $("$@")% of it"
}

# A profile with two macros of four steps, and the program's copy whose skin
# has no colours.
wine kbsim.exe install >/dev/null || { echo "cannot install the simulated keyboard"; exit 1; }
cat >"$work/colours.json" <<'JSON'
{"header": {"defaultMark": 0}, "slots": [],
 "macros": [{"name": "one", "isNew": 0, "playMode": 0, "macroId": 1,
             "actions": [[0, 48, 0], [10, 48, 1], [10, 46, 0], [10, 46, 1]]},
            {"name": "two", "isNew": 0, "playMode": 0, "macroId": 2, "actions": [[0, 32, 0], [10, 32, 1]]}]}
JSON
profile="$work/colours.px3"
wine px3tool.exe build "$(winpath "$work/colours.json")" "$(winpath "$profile")" >/dev/null || exit 1
mkdir -p "$plain"
cp KbPanel.exe KinsetDll.dll Multact.dll Hidport.dll "$plain/" && cp -r Skins Help "$plain/" || exit 1
find "$plain/Skins" -name '*.ini' | while read -r ini; do
    awk '{ l = $0; sub(/\r$/, "", l) } l ~ /^\[/ { skip = (l == "[COLOURS]") } !skip' "$ini" >"$ini.new" && mv "$ini.new" "$ini"
done
check '! grep -rq COLOURS "$plain/Skins"' "the plain copy's skin has no colours"

run_from() {  # FOLDER: starts the program there with the profile and shows its window
    use_profiles 0 "$profile"
    (cd "$1" && wine KbPanel.exe >/dev/null 2>&1 &)
    eventually '[ "$(probe state | sed -n "s/^visible //p")" = 0 ]' 30 || return 1
    (cd "$1" && wine KbPanel.exe >/dev/null 2>&1)  # a second start shows the window
    eventually '[ "$(probe state | sed -n "s/^visible //p")" = 1 ]' 10
}
# Every control of the three dialogs: FIELD and LIST the backs, SHADE the step
# list's shaded columns, HEADER the headers' back and the profile list's grid
# ("" where the system draws them).
look_at_dialogs() {  # LABEL FIELD LIST SHADE HEADER
    local label="$1" field="$2" list="$3" shade="$4" header="$5" row
    xdotool mousemove 5 5
    open_main key 1058 || bad "$label: the key function dialog opens"
    click key 1010  # another key: the target list is on
    drawn_in "$label: the key list" control_share key 1011 $field arrow
    click key 1012  # a program: the path field is on
    drawn_in "$label: the program path field" control_share key 1013 $field
    xdotool mousemove 5 5
    click key 2
    eventually 'gone key' 5 || bad "$label: Cancel closes the key function dialog"

    open_main macro 1007 || bad "$label: the macro editor opens"
    xdotool mousemove 5 5
    drawn_in "$label: the macro list" control_share macro 1016 $list
    row=3
    [ "$(dprobe selected macro 1019)" = 3 ] && row=2
    drawn_in "$label: the step list's delay column" cell_share macro 1019 $row 0 $list
    drawn_in "$label: its key column, shaded" cell_share macro 1019 $row 1 $shade
    [ -z "$header" ] || drawn_in "$label: the step list's header" header_share macro 1019 1 $header
    drawn_in "$label: the play mode box" control_share macro 1028 $field arrow
    click macro 2
    eventually 'gone macro' 5 || bad "$label: Cancel closes the macro editor"

    open_main profile 1005 || bad "$label: the profile manager opens"
    xdotool mousemove 5 5
    drawn_in "$label: the profile list" control_share profile 1007 $list
    if [ -n "$header" ]; then
        drawn_in "$label: its header" header_share profile 1007 1 $header
        drawn_in "$label: its grid's column line" grid_share profile 1007 right $header
        drawn_in "$label: its grid's row line" grid_share profile 1007 foot $header
    fi
    click profile 2
    eventually 'gone profile' 5 || bad "$label: Cancel closes the profile manager"
}

ini=Skins/Macro.ini
colour() { sed -n "s/^$1=\(#[0-9A-Fa-f]*\).*/\1/p" "$ini" | tr -d '\r'; }
run_from "$KB_BIN" || { echo "KbPanel did not start"; exit 1; }
look_at_dialogs skin "$(rgb "$(colour FIELD_BACK)")" "$(rgb "$(colour LIST_BACK)")" "$(rgb "$(colour LIST_SHADE)")" \
    "$(rgb "$(colour HEADER_BACK)")"
wine kbpanel_probe.exe kill-timed >/dev/null 2>&1
eventually '! running' 20 || bad "the program ends"

run_from "$plain" || { echo "the plain copy did not start"; exit 1; }
# COLOR_WINDOW and COLOR_GRAYTEXT, as the system gives them.
look_at_dialogs system "$(dprobe syscolour 5)" "$(dprobe syscolour 5)" "$(dprobe syscolour 17)" ""

e2e_summary
