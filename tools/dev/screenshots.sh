#!/usr/bin/env bash
# Takes screenshots of KbPanel's real windows under Xvfb and Wine, with the
# simulated keyboard and a demo profile, for docs/screenshots and the help page:
#   tools/dev/screenshots.sh [OUT_DIR]      (default docs/screenshots)
# Shows each key state at least once: normal, hover, pressed, marked (assigned
# keys), disabled (Apply after start), the edit look (key function dialog open),
# Flip on, bank B, layer 1, the dialogs and the About box.
set -u
. "$(dirname "$0")/common.sh"
out="${1:-$KB_ROOT/docs/screenshots}"
help_images="$KB_ROOT/app/help/images"
kb_install_packages xdotool imagemagick || exit 1
kb_build_win64 || exit 1
if [ ! -f "$KB_BUILD/win64/bin/KbPanel.exe" ]; then
    echo "error: $KB_BUILD/win64/bin/KbPanel.exe is not built; nothing to photograph" >&2
    exit 2
fi
. "$KB_ROOT/tools/dev/wine-env.sh"
kb_wine_up "$KB_BUILD/win64" || exit 1
cd "$KB_BIN" || exit 1
mkdir -p "$out" "$help_images"
work=$(mktemp -d)

cleanup() {
    wine KbPanel.exe /Kill >/dev/null 2>&1
    wine kbsim.exe remove >/dev/null 2>&1
    # The settings name the demo profile in $work: a later run.sh would find it gone.
    wine reg delete 'HKCU\Software\Plexor3_QM2000RB' /f >/dev/null 2>&1
    rm -rf "$work"
    kb_wine_down
}
trap cleanup EXIT

MAIN_TITLE="Vortek键盘设定"
INI="$KB_BIN/Skins/Main.ini"

. "$KB_ROOT/tools/dev/e2e-lib.sh"
visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
visible_all() { xdotool search --onlyvisible --name '.*' 2>/dev/null | sort; }
# ini_rect KEY -> "x y w h" of a BUTTONINFO entry of the main skin file
ini_rect() { tr -d '\r' <"$INI" | sed -n "s/^$1=//p" | tr ',' ' '; }
# point_of KEY -> screen "x y" of the centre of a main-window control
point_of() {
    local x y w h
    read -r x y w h <<<"$(ini_rect "$1")"
    eval "$(xdotool getwindowgeometry --shell "$main_wid")"
    echo "$((X + x + w / 2)) $((Y + y + h / 2))"
}
click() { local p; p=$(point_of "$1"); xdotool mousemove $p click 1; }
# What the screen shows over WINDOW, as a hash.
screen_of() {
    local X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)" || return 1
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" rgb:- 2>/dev/null | md5sum
}
# settle WINDOW: until two looks in a row agree, so what an action drew is done.
settle() {
    settle_wid=$1 settle_last=""
    eventually 'settle_now=$(screen_of "$settle_wid"); [ "$settle_now" = "$settle_last" ] || { settle_last=$settle_now; false; }' 5 0.2
}
# after ACTION [WINDOW]: runs ACTION, then waits until the screen over WINDOW
# (the main window) has changed and settled.
after() {
    after_wid=${2:-$main_wid}
    after_before=$(screen_of "$after_wid")
    eval "$1"
    eventually '[ "$(screen_of "$after_wid")" != "$after_before" ]' 5 0.1
    settle "$after_wid"
}
hover() { local p; p=$(point_of "$1"); after "xdotool mousemove $p"; }
park_mouse() { xdotool mousemove 1270 1010; settle "$main_wid"; }
# closed WINDOW: until it is no longer shown.
closed() { closed_wid=$1; eventually '! xdotool search --onlyvisible --name ".*" 2>/dev/null | grep -qx "$closed_wid"' 10; }
# What is on the screen over the window's rectangle: a dialog on top of it
# shows, where capturing the window alone leaves the covered part black.
shot() {  # shot WINDOW NAME
    local X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/$2.png" && echo "wrote $out/$2.png"
}
# largest_new BEFORE -> id and area of the largest visible window not in BEFORE
largest_new() {
    local id best="" area=0 a WIDTH HEIGHT
    for id in $(comm -13 <(echo "$1") <(visible_all)); do
        eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)" || continue
        a=$((WIDTH * HEIGHT))
        [ "$a" -gt "$area" ] && { area=$a; best=$id; }
    done
    echo "$best $area"
}
# new_window ACTION [AREA] -> id of the dialog window that ACTION makes visible
# (the largest new one of more than AREA pixels, 40000 unless given: a tool tip
# or a child may come first). Under Wine a click
# right after another window closed can be lost, so it is tried three times.
new_window() {
    local before i
    before=$(visible_all)
    for i in 1 2 3; do
        eval "$1"
        if eventually '[ "$(largest_new "$before" | cut -d" " -f2)" -gt '"${2:-40000}"' ]' 3; then
            id=$(largest_new "$before" | cut -d" " -f1)
            settle "$id"
            echo "$id"
            return 0
        fi
    done
    return 1
}

wine kbsim.exe install >/dev/null || { echo "error: cannot install the simulated keyboard" >&2; exit 1; }
demo="$work/demo.px3"
wine px3tool.exe build "$(winpath "$KB_ROOT/tools/dev/demo/profile.json")" "$(winpath "$demo")" ||
    exit 1
key='HKCU\Software\Plexor3_QM2000RB\KbPanel\PROFILES'
wine reg add "$key" /v PROFILE00 /d 1 /f >/dev/null
wine reg add "$key" /v PROFILE01 /d "$(winpath "$demo")" /f >/dev/null
wine reg add "$key" /v ACTIVE /d 0 /f >/dev/null
wine reg add "$key" /v Flip /d 0 /f >/dev/null

wine KbPanel.exe >/dev/null 2>&1 &
eventually '[ "$(wine kbpanel_probe.exe state 2>/dev/null | head -1 | tr -d "\r")" = "visible 0" ]' 20
# A second start hands "show yourself" to the running one.
wine KbPanel.exe >/dev/null 2>&1
eventually '[ -n "$(visible "$MAIN_TITLE")" ]' 20 || { echo "error: the main window did not show" >&2; exit 1; }
main_wid=$(visible "$MAIN_TITLE")
park_mouse

shot "$main_wid" main-window
hover KEY_01E
shot "$main_wid" main-window-hover
# pressed: hold the button down, then leave it before letting go, so no click happens
after 'xdotool mousedown 1'
shot "$main_wid" main-window-pressed
park_mouse; xdotool mouseup 1; settle "$main_wid"

# Layer 1 of the demo profile: its own keys marked, the base's showing through dimmed.
after 'click FUNC_LAYER'
after 'xdotool key Home Down Return'; park_mouse
shot "$main_wid" main-window-layer
after 'click FUNC_LAYER'
after 'xdotool key Home Return'; park_mouse

after 'click FLIP_1'; park_mouse
shot "$main_wid" main-window-flip
after 'click FLIP_1'; park_mouse

after 'wine kbsim.exe macrokey bank >/dev/null'
shot "$main_wid" main-window-bank-b
after 'wine kbsim.exe macrokey bank >/dev/null'

if id=$(new_window 'click KEY_01E'); then
    shot "$id" key-function
    shot "$main_wid" main-window-edit-look
    xdotool key --window "$id" Escape
    closed "$id"
fi
park_mouse
if id=$(new_window 'click FUNC_PROFILES'); then
    shot "$id" profile-manager
    xdotool key --window "$id" Escape
    closed "$id"
fi
park_mouse
if id=$(new_window 'click FUNC_MACRO'); then
    shot "$id" macro-editor
    xdotool key --window "$id" Escape
    closed "$id"
fi

park_mouse
# The About box, as the tray menu's "关于(&A)" opens it.
if id=$(new_window 'wine kbpanel_probe.exe post 0x111 32773 >/dev/null 2>&1' 20000); then
    shot "$id" about-box
    xdotool key --window "$id" Escape
    closed "$id"
fi

for n in main-window main-window-layer main-window-flip key-function profile-manager macro-editor about-box; do
    [ -f "$out/$n.png" ] && cp "$out/$n.png" "$help_images/$n.png"
done
echo "screenshots in $out; the help page's pictures in $help_images"
