# Shared by the scripts that drive KbPanel's windows from outside: the probes
# (kbpanel_probe for the main window, dialog_probe for the dialogs), real
# clicks on control ids, message-box answers and the tray icon's picture.
# Needs tools/dev/e2e-lib.sh first. A script starts with kb_window_test (below).

probe() { wine kbpanel_probe.exe "$@" 2>/dev/null | tr -d '\r'; }
dprobe() { wine dialog_probe.exe "$@" 2>/dev/null | tr -d '\r'; }
state() { probe state | sed -n "s/^$1 //p"; }
running() { [ "$(probe state | head -1)" != none ]; }
up() { [ "$(dprobe up "$1")" = 1 ]; }
gone() { [ "$(dprobe up "$1")" = 0 ]; }

rect_of() {  # KIND ID: main (the main window) or a dialog kind; ID 0 the window
    if [ "$1" = main ]; then probe rect "$2"; else dprobe rect "$1" "$2"; fi
}
# Without a window manager the first click on a window that is not active
# only activates it: every click first touches the window's title strip.
click() {  # KIND ID: the middle of the control
    local r w
    w=$(rect_of "$1" 0)
    r=$(rect_of "$1" "$2")
    set -- $w $r
    [ $# -eq 8 ] || return 1
    xdotool mousemove $(($1 + $3 / 2)) $(($2 + 5)) click 1
    xdotool mousemove $(($5 + $7 / 2)) $(($6 + $8 / 2)) click 1
}
# The key function dialog of a main-window key button, by real clicks.
open_key() {  # main-window button ID
    local i
    for i in 1 2 3; do
        click main "$1"
        eventually 'up key' 2 && return 0
    done
    return 1
}
click_cell() {  # KIND LIST ROW COL [X]: X pixels into the cell, else its middle
    local r x="${5:-}"
    r=$(dprobe cell "$1" "$2" "$3" "$4")
    set -- $r
    [ $# -eq 4 ] || return 1
    xdotool mousemove $(($1 + ${x:-$(($3 / 2))})) $(($2 + $4 / 2)) click 1
}
# A file dialog is up and its name field has the focus: typing goes there.
# Wine names it in English or in the display's language.
file_dialog_ready() {
    case "$(dprobe focus)" in
        "Edit	Open" | "Edit	打开" | "Edit	Save As" | "Edit	另存为") return 0 ;;
    esac
    return 1
}
# The user's answer to the message box: a real click on Yes (6) or No (7).
click_answer() {
    eventually 'up msgbox' 10 || return 1
    click msgbox "$1"
    eventually 'gone msgbox' 3 && return 0
    click msgbox "$1"
    eventually 'gone msgbox' 5
}
answer() {  # BUTTON: 1 OK, 6 Yes, 7 No
    eventually 'up msgbox' 5 || return 1
    dprobe answer "$1" >/dev/null
    eventually 'gone msgbox' 5
}
open_main() {  # KIND ID: a dialog opened by a main-window button
    local i
    for i in 1 2 3; do
        click main "$2"
        eventually "up $1" 2 && return 0
    done
    return 1
}

# The tray icon's picture, told by its corner: a green dot (keyboard attached),
# an orange one (a macro plays) or none (no keyboard).
tray_picture() {
    local id rgb
    id=$(xdotool search --name "Wine System Tray" 2>/dev/null | head -1)
    [ -n "$id" ] || { echo none; return; }
    probe repaint-tray >/dev/null
    import -window "$id" "$work/tray.png" 2>/dev/null || { echo none; return; }
    rgb=$(convert-im6.q16 "$work/tray.png" -crop 6x6+12+12 +repage -resize 1x1 txt:- 2>/dev/null | tail -1 |
        sed -n 's/^[^(]*(\([0-9.]*\),\([0-9.]*\),\([0-9.]*\).*/\1 \2 \3/p')
    echo "$rgb" | awk '{ if ($2 > $1 + 40 && $2 > $3 + 20) print "attached";
                         else if ($1 > $2 + 20 && $2 > $3 + 15) print "playing"; else print "detached" }'
}

# The share (percent) of a screen rectangle's pixels drawn in R G B (within 3 a channel).
share_like() {  # X Y W H R G B
    import -window root -crop "$3x$4+$1+$2" "$work/share.png" 2>/dev/null || { echo 0; return; }
    convert-im6.q16 "$work/share.png" -depth 8 txt:- 2>/dev/null |
        sed -n 's/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\)[,)].*/\1 \2 \3/p' |
        awk -v r="$5" -v g="$6" -v b="$7" '{ n++; d = ($1 - r) ^ 2 + ($2 - g) ^ 2 + ($3 - b) ^ 2; if (d <= 27) k++ }
            END { print (n ? int(100 * k / n) : 0) }'
}

# --- The start of a script that drives KbPanel -----------------------------------
regkey='HKCU\Software\Plexor3_QM2000RB\KbPanel\PROFILES'
# kb_window_test: into the programs' folder with a work folder of its own; at
# exit, however the script ends, the commands given to at_exit (newest first),
# then the program ended, the simulated keyboard removed, the settings and the
# work folder gone.
kb_at_exit=()
at_exit() { kb_at_exit=("$1" "${kb_at_exit[@]}"); }
kb_cleanup() {
    local c
    for c in "${kb_at_exit[@]}"; do eval "$c" >/dev/null 2>&1; done
    wine kbpanel_probe.exe kill-timed >/dev/null 2>&1
    wine kbsim.exe remove >/dev/null 2>&1
    wine reg delete 'HKCU\Software\Plexor3_QM2000RB' /f >/dev/null 2>&1
    rm -rf "$work"
}
kb_window_test() {
    cd "$KB_BIN" || exit 1
    work=$(mktemp -d)
    trap kb_cleanup EXIT
}
# A profile file $work/NAME.px3 built from its JSON.
build_profile() {  # NAME JSON
    printf '%s' "$2" >"$work/$1.json"
    wine px3tool.exe build "$(winpath "$work/$1.json")" "$(winpath "$work/$1.px3")" >/dev/null ||
        { echo "px3tool build $1 failed"; exit 1; }
}
# The settings start afresh with FILE... as the profile list and ACTIVE (-1: none).
use_profiles() {  # ACTIVE FILE...
    local active="$1" i=0 f
    shift
    wine reg delete 'HKCU\Software\Plexor3_QM2000RB' /f >/dev/null 2>&1
    wine reg add "$regkey" /v PROFILE00 /d $# /f >/dev/null
    for f in "$@"; do
        i=$((i + 1))
        wine reg add "$regkey" /v "$(printf 'PROFILE%02d' "$i")" /d "$(winpath "$f")" /f >/dev/null
    done
    wine reg add "$regkey" /v ACTIVE /d "$active" /f >/dev/null
}
reg_value() {  # NAME: a settings value of the profile list, as stored
    wine reg query "$regkey" /v "$1" 2>/dev/null | tr -d '\r' |
        awk -v n="$1" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
# The program started into the tray, then its window shown as a second start
# shows it (not with "tray"). Ends the script when it does not come up.
start_kbpanel() {  # [tray]
    wine KbPanel.exe >/dev/null 2>&1 &
    eventually '[ "$(state visible)" = 0 ]' 30 || { echo "KbPanel did not start"; exit 1; }
    [ "${1:-}" = tray ] && return 0
    show_kbpanel
}
# A second start shows the running program's window.
show_kbpanel() {
    wine KbPanel.exe >/dev/null 2>&1
    eventually '[ "$(state visible)" = 1 ]' 10 || { echo "the window did not show"; exit 1; }
}
# After a dialog closes, the first click on the main window may only activate
# it: the main window's Apply is clicked until it is off again.
apply_main() {
    local i
    for i in 1 2 3; do
        click main 1006
        eventually '[ "$(probe enabled 1006)" = 0 ]' 2 && return 0
    done
    return 1
}
# A screenshot of a dialog into $KB_DIALOG_SHOTS when that names a folder.
shoot() {  # KIND NAME
    [ -n "${KB_DIALOG_SHOTS:-}" ] || return 0
    local r
    r=$(dprobe rect "$1" 0)
    set -- $r "$2"
    import -window root -crop "$3x$4+$1+$2" "$KB_DIALOG_SHOTS/$5.png" 2>/dev/null
}
