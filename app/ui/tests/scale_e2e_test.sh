#!/usr/bin/env bash
# KbPanel's main window at the display scales 100, 125, 150 and 200 % (the
# prefix's LogPixels 96, 120, 144 and 192, set here and put back at the end):
# window size and every key button where the scale's skin set says, the outline
# its mask, the pictures its own, the caption's text growing with the scale; a
# WM_DPICHANGED sent to the running window lays it out at the new scale; a skin
# folder with only the skin's own set is stretched 1.5x at 144 DPI.
# KB_SCALE_SHOTS=DIR keeps the screenshots at 100 and 200 % there.
set -u
cd "$KB_BIN" || exit 1
work=$(mktemp -d)
desktop='HKCU\Control Panel\Desktop'
regroot='HKCU\Software\Plexor3_QM2000RB'
check_py="$KB_ROOT/app/ui/tests/scale_check.py"

. "$KB_ROOT/tools/dev/e2e-lib.sh"
. "$KB_ROOT/tools/dev/wine-env.sh"
. "$KB_ROOT/app/ui/tests/window-lib.sh"

# The scale is read when the server starts: every change restarts it.
old_dpi=$(wine reg query "$desktop" /v LogPixels 2>/dev/null | tr -d '\r' | awk '/REG_DWORD/ { print $NF }')
# The simulated keyboard's driver lives as long as the server: installed anew each time.
set_dpi() {
    wine reg add "$desktop" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 && kb_wineserver_start &&
        wine kbsim.exe install >/dev/null 2>&1
}
cleanup() {
    wine KbPanel.exe /Kill >/dev/null 2>&1
    eventually '! running' 5 >/dev/null 2>&1
    if [ -n "$old_dpi" ]; then
        wine reg add "$desktop" /v LogPixels /t REG_DWORD /d "$((old_dpi))" /f >/dev/null 2>&1
    else
        wine reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1
    fi
    wine reg delete "$regroot" /f >/dev/null 2>&1
    wine kbsim.exe remove >/dev/null 2>&1
    kb_wineserver_start
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

# A program folder whose skin has only its own set: links to everything else.
only_own="$work/own"
mkdir -p "$only_own/Skins"
for f in "$KB_BIN"/*; do [ "$(basename "$f")" = Skins ] || ln -s "$f" "$only_own/"; done
for f in "$KB_BIN"/Skins/*; do [ -f "$f" ] && ln -s "$f" "$only_own/Skins/"; done

start_shown() {  # FOLDER: started, then shown by a second start
    wine reg delete "$regroot" /f >/dev/null 2>&1
    wine reg add "$regroot\\KbPanel\\PROFILES" /v PROFILE00 /d 0 /f >/dev/null
    wine reg add "$regroot\\KbPanel\\PROFILES" /v ACTIVE /d -1 /f >/dev/null
    (cd "$1" && wine KbPanel.exe >/dev/null 2>&1 &)
    eventually '[ "$(state visible)" = 0 ]' 30 || return 1
    (cd "$1" && wine KbPanel.exe >/dev/null 2>&1)
    eventually '[ "$(state visible)" = 1 ]' 10
}
stop() {
    wine KbPanel.exe /Kill >/dev/null 2>&1
    eventually '! running' 10
}
# The whole window as pictures of the screen (1280 wide): moved to the left
# edge, then, when wider, to the right one; each part "FILE:X" with X its
# offset in the window. The window goes back where it was.
photograph() {  # NAME -> the parts, space-separated
    local name="$1" X Y WIDTH HEIGHT x0 y0 left parts=""
    read -r x0 y0 _ _ <<<"$(probe rect 0)"
    xdotool mousemove 1279 1023
    for left in 0 right; do
        [ "$left" = right ] && { [ "$WIDTH" -gt 1280 ] || break; left=$((1280 - WIDTH)); }
        probe move "$left" 0 >/dev/null
        eventually '[ "$(probe rect 0 | cut -d" " -f1)" = "$left" ]' 5 || return 1
        read -r X Y WIDTH HEIGHT <<<"$(probe rect 0)"
        local sx=$((X < 0 ? 0 : X)) ex=$((X + WIDTH > 1280 ? 1280 : X + WIDTH)) shot="$work/$name-$left.ppm"
        # painted at the new place: two pictures in a row agree
        rm -f "$shot"
        eventually "import -window root -crop $((ex - sx))x$HEIGHT+$sx+$Y +repage ppm:$shot.new 2>/dev/null &&
                    cmp -s $shot.new $shot; s=\$?; mv $shot.new $shot; [ \$s = 0 ]" 10 0.2 || return 1
        parts="$parts $shot:$((sx - X))"
    done
    probe move "$x0" "$y0" >/dev/null
    echo "$parts"
}
# Layout, outline and the pictures of the window, checked against SET at NUM/DEN.
compare() {  # NAME SET_DIR NUM DEN
    local name="$1" parts
    probe layout >"$work/$name.layout"
    probe region >"$work/$name.region"
    parts=$(photograph "$name") || { bad "$name: no picture of the window"; return; }
    # shellcheck disable=SC2086
    /usr/bin/python3 "$check_py" "$2" "$3" "$4" "$work/$name.layout" "$work/$name.region" "$work/$name.png" $parts \
        >"$work/$name.out" 2>&1
    local line
    while IFS= read -r line; do
        case "$line" in
            "ok: "*) ok "$name: ${line#ok: }" ;;
            "FAILED: "*) bad "$name: ${line#FAILED: }" ;;
            "caption-height "*) echo "${line#caption-height }" >"$work/$name.caption" ;;
            *) bad "$name: $line" ;;
        esac
    done <"$work/$name.out"
}

ini_rect() { tr -d '\r' <"$1" | sed -n "s/^$2=//p" | cut -d, -f1-4 | tr ',' ' '; }  # FILE KEY
picture_size() { /usr/bin/python3 -c 'import sys; from PIL import Image; print("%d %d" % Image.open(sys.argv[1]).size)' "$1"; }
key_dialog_is() {  # SET_DIR: the key function dialog has that set's size and OK button
    local dx dy dw dh ox oy ow oh
    read -r dx dy dw dh <<<"$(dprobe rect key 0)"
    read -r ox oy ow oh <<<"$(dprobe rect key 1)"
    [ "$dw $dh" = "$(picture_size "$1/Key_Status1.jpg")" ] &&
        [ "$((ox - dx)) $((oy - dy)) $ow $oh" = "$(ini_rect "$1/Key.ini" CONTROL_OK)" ]
}

declare -A set_of=([96]=Skins [120]=Skins/125 [144]=Skins/150 [192]=Skins/200)
for dpi in 96 120 144 192; do
    set_dpi "$dpi" || { bad "the server restarts at $dpi DPI"; continue; }
    if check 'start_shown "$KB_BIN"' "KbPanel starts and shows at $dpi DPI"; then
        compare "dpi$dpi" "$KB_BIN/${set_of[$dpi]}" 1 1
    fi
    if [ "$dpi" = 192 ]; then  # list columns are given at 100 %: the editor's first is 300
        probe command 1007 >/dev/null
        check 'eventually "up macro" 10 && [ "$(dprobe header macro 1016 0 | cut -d" " -f3)" = 600 ]' \
            "the macro editor's list columns are twice as wide at 192 DPI"
    fi
    if [ -n "${KB_SCALE_SHOTS:-}" ] && { [ "$dpi" = 96 ] || [ "$dpi" = 192 ]; }; then
        cp "$work/dpi$dpi.png" "$KB_SCALE_SHOTS/kbpanel-scale-$((dpi * 100 / 96)).png"
    fi
    stop
done

# The caption's text grows with the scale (Arial 8 pt at the window's DPI).
grows() {  # DPI: the height at DPI over the height at 96, within a fifth of DPI/96
    local base now
    base=$(cat "$work/dpi96.caption" 2>/dev/null) now=$(cat "$work/dpi$1.caption" 2>/dev/null)
    [ -n "$base" ] && [ -n "$now" ] && [ "$base" -gt 0 ] &&
        awk -v b="$base" -v n="$now" -v s="$1" 'BEGIN { r = n / b; e = s / 96; exit !(r > e * 0.8 && r < e * 1.2) }'
}
for dpi in 120 144 192; do
    check "grows $dpi" "the caption's text height scales at $dpi DPI ($(cat "$work/dpi96.caption" 2>/dev/null) -> $(cat "$work/dpi$dpi.caption" 2>/dev/null) rows)"
done

# A monitor of another scale: the running window lays itself out again where it stands.
set_dpi 96
if check 'start_shown "$KB_BIN"' "KbPanel starts and shows at 96 DPI"; then
    before=$(probe rect 0 | cut -d' ' -f1,2)
    probe send 0x2E0 0x00C000C0 >/dev/null  # WM_DPICHANGED, 192 DPI
    check 'eventually "[ \"\$(probe layout | head -1)\" = \"client $(sed -n "s/^client //p" "$work/dpi192.layout")\" ]" 10' \
        "WM_DPICHANGED to 192 DPI makes the window the 200 % set's size"
    compare dpichanged192 "$KB_BIN/Skins/200" 1 1
    check '[ "$(probe rect 0 | cut -d" " -f1,2)" = "$before" ]' "the window stays where it was"
    probe send 0x2E0 0x00600060 >/dev/null  # and back to 96
    compare dpichanged96 "$KB_BIN/Skins" 1 1
    # A dialog follows its own monitor too: its size and OK button from that set.
    if check 'open_key 1058' "the key function dialog opens"; then
        check 'key_dialog_is "$KB_BIN/Skins"' "the key function dialog takes the 100 % set"
        dprobe dpi key 192 >/dev/null
        check 'eventually "key_dialog_is \"$KB_BIN/Skins/200\"" 10' \
            "WM_DPICHANGED to 192 DPI lays the key function dialog out at 200 %"
    fi
    stop
fi

# Only the skin's own set: stretched to the scale, 1.5x at 144 DPI.
set_dpi 144
if check 'start_shown "$only_own"' "KbPanel starts from a skin with only its own set at 144 DPI"; then
    compare own144 "$only_own/Skins" 3 2
    stop
fi

e2e_summary
