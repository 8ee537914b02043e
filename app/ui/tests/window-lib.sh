# Shared by the scripts that drive KbPanel's windows from outside: the probes
# (kbpanel_probe for the main window, dialog_probe for the dialogs), real
# clicks on control ids, message-box answers and the tray icon's picture.
# Needs tools/dev/e2e-lib.sh first, and $work for tray_picture.

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
