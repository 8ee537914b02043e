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
hover() { local p; p=$(point_of "$1"); xdotool mousemove $p; sleep 0.4; }
park_mouse() { xdotool mousemove 1270 1010; sleep 0.3; }
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
            sleep 0.5
            largest_new "$before" | cut -d" " -f1
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
sleep 2
# A second start hands "show yourself" to the running one.
wine KbPanel.exe >/dev/null 2>&1
eventually '[ -n "$(visible "$MAIN_TITLE")" ]' 20 || { echo "error: the main window did not show" >&2; exit 1; }
main_wid=$(visible "$MAIN_TITLE")
park_mouse

shot "$main_wid" main-window
hover KEY_01E
shot "$main_wid" main-window-hover
# pressed: hold the button down, then leave it before letting go, so no click happens
xdotool mousedown 1; sleep 0.3
shot "$main_wid" main-window-pressed
park_mouse; xdotool mouseup 1; sleep 0.3

# Layer 1 of the demo profile: its own keys marked, the base's showing through dimmed.
click FUNC_LAYER; sleep 0.5
xdotool key Home Down Return; sleep 0.5; park_mouse
shot "$main_wid" main-window-layer
click FUNC_LAYER; sleep 0.5
xdotool key Home Return; sleep 0.5; park_mouse

click FLIP_1
sleep 0.5; park_mouse
shot "$main_wid" main-window-flip
click FLIP_1
sleep 0.5; park_mouse

wine kbsim.exe macrokey bank >/dev/null
sleep 1
shot "$main_wid" main-window-bank-b
wine kbsim.exe macrokey bank >/dev/null
sleep 0.5

if id=$(new_window 'click KEY_01E'); then
    shot "$id" key-function
    shot "$main_wid" main-window-edit-look
    xdotool key --window "$id" Escape
    sleep 1
fi
park_mouse
if id=$(new_window 'click FUNC_PROFILES'); then
    shot "$id" profile-manager
    xdotool key --window "$id" Escape
    sleep 1
fi
park_mouse
if id=$(new_window 'click FUNC_MACRO'); then
    shot "$id" macro-editor
    xdotool key --window "$id" Escape
    sleep 1
fi

park_mouse
# The About box, as the tray menu's "关于(&A)" opens it.
if id=$(new_window 'wine kbpanel_probe.exe post 0x111 32773 >/dev/null 2>&1' 20000); then
    shot "$id" about-box
    xdotool key --window "$id" Escape
    sleep 1
fi

for n in main-window main-window-layer main-window-flip key-function profile-manager macro-editor about-box; do
    [ -f "$out/$n.png" ] && cp "$out/$n.png" "$help_images/$n.png"
done
echo "screenshots in $out; the help page's pictures in $help_images"
