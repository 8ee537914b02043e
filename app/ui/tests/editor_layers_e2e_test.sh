#!/usr/bin/env bash
# The editor's layers end to end under Wine and Xvfb: the layer selector, a
# key edited on layer 1, the dimmed look of a key a layer leaves to the base,
# the layer and dual-role keys in the key dialog, the file through px3tool
# dump and build, and the notice that names a new profile.
set -u
. "$KB_ROOT/tools/dev/e2e-lib.sh"
. "$KB_ROOT/app/ui/tests/window-lib.sh"
kb_window_test

dump() { wine px3tool.exe dump "$(winpath "$1")" 2>/dev/null; }
# What the file holds beyond the base, as compact JSON ("null" without it).
extension_of() {  # FILE
    dump "$1" | python3 -c 'import json, sys; print(json.dumps(json.load(sys.stdin).get("extension"), sort_keys=True))'
}
slot_in() {  # FILE LAYER SLOT: "type parameter" of the slot on that layer (0: the base)
    dump "$1" | python3 -c '
import json, sys
p = json.load(sys.stdin)
layer, slot = int(sys.argv[1]), int(sys.argv[2])
slots = p["slots"] if layer == 0 else p.get("extension", {"layers": []})["layers"][layer - 1]["slots"]
print(" ".join("%d %d" % (s["type"], s["parameter"]) for s in slots if s["slot"] == slot))' "$2" "$3"
}
# The share of a key button's pixels in a face's main colour (mouse kept away).
face_share() {  # BUTTON R G B
    local r
    xdotool mousemove 0 0
    r=$(probe rect "$1")
    set -- $r "$2" "$3" "$4"
    [ $# -eq 7 ] || { echo 0; return; }
    share_like "$1" "$2" "$3" "$4" "$5" "$6" "$7"
}
marked() { [ "$(face_share "$1" 255 138 31)" -ge 25 ]; }
dimmed() { [ "$(face_share "$1" 74 53 34)" -ge 25 ]; }
choose_layer() {  # N: the selector's entry N, chosen by keys in its open list
    local i keys=()
    click main 1135 || return 1
    keys=(Home)
    for ((i = 0; i < $1; i++)); do keys+=(Down); done
    xdotool key "${keys[@]}" Return
}

wine kbsim.exe install >/dev/null || { echo "cannot install the simulated keyboard"; exit 1; }
A=1058 B=1075 CAPS=1069 TAB=1056
base_json='{"header": {"defaultMark": 0}, "macros": [], "slots": [{"slot": 48, "type": 1, "macroKeyCode": 0, "parameter": 0}]}'
build_profile main "$base_json"
build_profile second '{"header": {"defaultMark": 0}, "macros": [], "slots": []}'
profile="$work/main.px3"
use_profiles 0 "$profile" "$work/second.px3"
start_kbpanel

# --- The selector and the map ----------------------------------------------------
check '[ "$(probe selected 1135)" = 0 ]' "the selector starts on the base"
check 'marked $B && ! marked $A' "on the base, B (no function) wears the marked face"
choose_layer 1
check 'eventually "[ \"\$(probe selected 1135)\" = 1 ]" 5' "the selector chooses layer 1" ||
    echo "  selector: $(probe selected 1135)"
shot="${KB_DIALOG_SHOTS:-$work}"
import -window root "$shot/layers_main_layer1.png" 2>/dev/null
check 'dimmed $B && ! marked $B' "on layer 1 B is transparent: the base's function, dimmed" ||
    echo "  dimmed $(face_share $B 74 53 34)% marked $(face_share $B 255 138 31)%"
check '! dimmed $A && ! marked $A' "A, default on the base, looks plain on layer 1"
check '[ "$(probe enabled 1000)" = 0 ] && [ "$(probe tooltip $B)" = "透明: 无功能" ]' \
    "macro keys are off on a layer; B's tool tip names the base's function" || echo "  tip: $(probe tooltip $B)"

# --- A key edited on layer 1 -------------------------------------------------------
open_key $A || bad "the key dialog opens on layer 1"
check '[ "$(dprobe checked key 1143)" = 1 ] && [ "$(dprobe enabled key 1136)" = 0 ] && [ "$(dprobe enabled key 1139)" = 0 ]' \
    "a layer's key starts transparent; layer and dual-role keys are base-only"
click key 1010
click key 1011
xdotool key Home Down Return
click key 1
eventually 'gone key' 5
check '[ "$(slot_in "$profile" 1 30)" = "2 48" ] && [ -z "$(slot_in "$profile" 0 30)" ]' \
    "A becomes B on layer 1 only; the base keeps its default" ||
    echo "  layer 1: $(slot_in "$profile" 1 30) base: $(slot_in "$profile" 0 30)"
check 'eventually "marked $A" 5' "A now wears the marked face on layer 1"

# --- The two new functions, on the base ---------------------------------------------
choose_layer 0
eventually '[ "$(probe selected 1135)" = 0 ]' 5 || bad "back to the base"
check 'eventually "[ \"\$(probe enabled 1000)\" = 1 ]" 5 && ! marked $A' "on the base the macro keys are back and A is plain"
open_key $CAPS || bad "the key dialog opens for Caps"
check '[ "$(dprobe enabled key 1143)" = 0 ] && [ "$(dprobe enabled key 1139)" = 1 ]' "transparent is not offered on the base"
click key 1139
check '[ "$(dprobe enabled key 1140)" = 1 ] && [ "$(dprobe enabled key 1142)" = 1 ] && [ "$(dprobe text key 1142)" = 200 ] && [ "$(dprobe enabled key 1137)" = 0 ]' \
    "a dual-role key enables its tap, hold and term (200 ms) only"
shoot key key_dialog_dual_role
click key 1142
xdotool key End BackSpace BackSpace BackSpace BackSpace
xdotool type 30
click key 1
check 'eventually "up msgbox" 5 && [ "$(dprobe msgbox)" = "时限必须是 50 到 1000 之间的毫秒数!  " ]' "a term of 30 ms is refused with a message"
answer 1
check 'up key && [ -z "$(slot_in "$profile" 0 58)" ]' "the dialog stays open and nothing is written"
click key 1142
xdotool key End BackSpace BackSpace BackSpace BackSpace
xdotool type 300
click key 1
eventually 'gone key' 5
open_key $TAB || bad "the key dialog opens for Tab"
click key 1136
click key 1138
xdotool key Home Down Return
click key 1
eventually 'gone key' 5
want='{"keys": [{"kind": "layer", "layer": 1, "mode": "toggle", "slot": 15}, {"hold": 29, "holdLayer": 0, "kind": "tapHold", "slot": 58, "tap": 30, "termMs": 300}], "layers": [{"slots": [{"macroKeyCode": 0, "parameter": 48, "slot": 30, "type": 2}]}]}'
check '[ "$(extension_of "$profile")" = "$want" ]' "the file holds the layer key, the dual-role key and layer 1" ||
    echo "  extension: $(extension_of "$profile")"
check '[ "$(slot_in "$profile" 0 58)" = "2 30" ] && [ "$(slot_in "$profile" 0 15)" = "1 0" ]' \
    "their ordinary entries keep the fallbacks: tap key, no function"

# --- A layer key names its layer --------------------------------------------------
# The watcher says when it looks, then the key is pressed.
watch_layer_key() {  # the notice after a tap of Tab
    wine kbpanel_probe.exe watch-notice 0 >"$work/notice.txt" 2>/dev/null &
    local watcher=$!
    eventually 'grep -q watching "$work/notice.txt"' 20
    tap 0F
    wait $watcher
    tr -d '\r' <"$work/notice.txt" | grep -v watching
}
apply_main || bad "the main window applies the layer and dual-role keys"
seen=$(watch_layer_key)
check '[ "$seen" = "shown 层 1 styles 1 foreground 0 gone 1" ]' "Tab, a toggled layer key, turns layer 1 on and the notice names it" ||
    echo "  notice: $seen"
seen=$(watch_layer_key)
check '[ "$seen" = "shown 基本层 styles 1 foreground 0 gone 1" ]' "a second tap goes back to the base, named too" ||
    echo "  notice: $seen"

# --- The file through px3tool ---------------------------------------------------------
dump "$profile" >"$work/round.json"
wine px3tool.exe build "$(winpath "$work/round.json")" "$(winpath "$work/round.px3")" >/dev/null
check '[ "$(extension_of "$work/round.px3")" = "$want" ] && cmp -s "$work/round.px3" "$profile"' \
    "dump and build give the same file back"
check '[ "$(extension_of "$work/second.px3")" = null ]' "a file without layers dumps without the key"

# --- The notice ---------------------------------------------------------------------
# From layer 1: the switch's return to the base must not rename the notice.
on_layer=$(watch_layer_key)
seen=$(probe watch-notice 9002)
check '[ "$on_layer" = "shown 层 1 styles 1 foreground 0 gone 1" ] && [ "$seen" = "shown second styles 1 foreground 0 gone 1" ]' \
    "switching profiles on a layer names the new one in a notice that stays out of the way and fades" ||
    echo "  notice: $on_layer, then $seen"
wine reg add "$regkey" /v NOTICE /d 0 /f >/dev/null
seen=$(probe watch-notice 9001)
check '[ "$seen" = hidden ] && [ "$(probe caption 1005)" = main ]' "with the notice turned off, a switch shows none" ||
    echo "  notice: $seen, profile $(probe caption 1005)"

e2e_summary
