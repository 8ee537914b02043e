#!/usr/bin/env bash
# Profiles from elsewhere under Wine and Xvfb with the simulated keyboard: a
# file that starts programs is shown before the profile manager lists it, and
# again when it becomes active after a change behind the program's back (from
# the profile menu and at start-up, hidden in the tray). Answered with real
# clicks (xdotool); checked through the message box's text, the registry and
# the driver's table (kbsim).
set -u
. "$KB_ROOT/tools/dev/e2e-lib.sh"
. "$KB_ROOT/app/ui/tests/window-lib.sh"
kb_window_test  # the programs' folder, $work, $regkey and the cleanup at exit
appkey='HKCU\Software\Plexor3_QM2000RB\KbPanel'

# The keyboard table's functions: each record without its event handle, which
# the driver reads only for keys that signal (a record keeps an old one otherwise).
table() { wine kbsim.exe table keyboard 2>/dev/null | tr -d '\r' | cut -d' ' -f1-16; }
# The digest remembered for a file (value names are its path in lower case).
trusted() {
    wine reg query "$appkey\\TRUSTED" 2>/dev/null | tr -d '\r' |
        name="$(winpath "$1" | tr 'A-Z' 'a-z')" awk '$1 == ENVIRON["name"] { print $3 }'
}
sha() { sha256sum <"$1" | cut -d' ' -f1; }
msgbox() { dprobe msgbox; }

load_file() {  # FILE: the profile manager's Load with the file's path typed in
    click profile 1008
    eventually file_dialog_ready 10 || echo "focus: $(dprobe focus)"
    xdotool type --delay 5 "$(winpath "$1")"
    xdotool key Return
}

# A file from elsewhere: A blocked, F1 and macro key A3 start programs.
programs_json() {  # F1-PROGRAM BLOCKED-SLOT
    printf '{"header": {"defaultMark": 0}, "macros": [], "slots": [
      {"slot": %d, "type": 1, "macroKeyCode": 0, "parameter": 0},
      {"slot": 59, "type": 3, "macroKeyCode": 0, "parameter": 0, "text": "%s"},
      {"slot": 258, "type": 3, "macroKeyCode": 4868, "parameter": 0, "text": "C:\\\\Tools\\\\macro.exe"}]}' "$2" "$1"
}
build_profile plain '{"header": {"defaultMark": 0}, "macros": [],
  "slots": [{"slot": 48, "type": 1, "macroKeyCode": 0, "parameter": 0}]}'
cp "$work/plain.px3" "$work/plain2.px3"
build_profile shared "$(programs_json 'C:\\Tools\\tool.exe' 30)"
shared="$work/shared.px3"

start_program() {
    wine KbPanel.exe >/dev/null 2>&1 &
    panelpid=$!
}
started() { eventually '[ "$(state visible)" = 0 ] && [ "$(table)" != none ]' "${1:-20}"; }
stop_program() {
    wine KbPanel.exe /kill >/dev/null 2>&1
    eventually '! running' 10
    wait "$panelpid" 2>/dev/null
}

wine kbsim.exe install >/dev/null || { echo "cannot install the simulated keyboard"; exit 1; }
wine reg delete 'HKCU\Software\Plexor3_QM2000RB' /f >/dev/null 2>&1
wine reg add "$regkey" /v PROFILE00 /d 1 /f >/dev/null
wine reg add "$regkey" /v PROFILE01 /d "$(winpath "$work/plain.px3")" /f >/dev/null
wine reg add "$regkey" /v ACTIVE /d 0 /f >/dev/null

start_program
started 30 || { echo "KbPanel did not start"; exit 1; }
check 'gone msgbox' "a file that starts no program is activated at start-up without a question"
probe send 0x111 9000 >/dev/null
eventually '[ "$(reg_value ACTIVE)" = -1 ]' 5
default_table=$(table)
probe send 0x111 9001 >/dev/null
eventually '[ "$(reg_value ACTIVE)" = 0 ] && [ "$(table)" != "$default_table" ]' 5 ||
    bad "the plain profile's table differs from the default one"

# --- Load in the profile manager ---------------------------------------------------
wine KbPanel.exe >/dev/null 2>&1  # a second start shows the window
eventually '[ "$(state visible)" = 1 ]' 10 || { echo "the window did not show"; exit 1; }
open_main profile 1005 || { bad "the profile manager opens"; exit 1; }
load_file "$shared"
check 'eventually "up msgbox" 10' "Load of a file that starts programs asks first"
text=$(msgbox)
check '[[ "$text" == *"F1: C:\\Tools\\tool.exe"* && "$text" == *"A3: C:\\Tools\\macro.exe"* ]]' \
    "the question lists each key and the program it starts" || echo "  $text"
check '[ "$(dprobe text msgbox 0)" = KbPanel ] && [ "$(dprobe enabled profile 0)" = 0 ]' \
    "it carries the manager's caption and holds the manager until answered"
if [ -n "${KB_TRUST_SHOTS:-}" ]; then
    r=($(dprobe rect msgbox 0))
    import -window root -crop "${r[2]}x${r[3]}+${r[0]}+${r[1]}" "$KB_TRUST_SHOTS/load_question.png" 2>/dev/null
fi
click_answer 7
check '[ "$(dprobe rows profile 1007 | wc -l)" = 1 ] && [ "$(dprobe enabled profile 1012)" = 0 ]' \
    "No lists nothing and leaves nothing to apply"
check '[ -z "$(trusted "$shared")" ]' "and accepts nothing"

load_file "$shared"
click_answer 6 || bad "the question comes again"
check 'eventually "[ \"\$(dprobe rows profile 1007 | wc -l)\" = 2 ]" 5' "Yes lists the file"
check '[ "$(trusted "$shared")" = "$(sha "$shared")" ]' "and remembers the digest of its bytes, beside the profile list" ||
    echo "  $(wine reg query "$appkey\\TRUSTED" 2>/dev/null | tr -d '\r')"

load_file "$work/plain2.px3"
check 'eventually "[ \"\$(dprobe rows profile 1007 | wc -l)\" = 3 ]" 10 && gone msgbox' \
    "a file that starts no program is listed without a question"

click_cell profile 1007 1 0 -8  # the check box of "shared"
click profile 1012
check 'eventually "[ \"\$(reg_value ACTIVE)\" = 1 ]" 5' "Apply makes the accepted file active"
check 'eventually "[ \"\$(table)\" != \"$default_table\" ]" 5 && gone msgbox' \
    "without a second question, its table in the driver"
shared_table=$(table)
click profile 2
eventually 'gone profile' 5

# --- Changed behind the program's back: the profile menu, from the tray ----------------
programs_json 'C:\\Evil\\changed.exe' 31 >"$work/changed.json"
wine px3tool.exe build "$(winpath "$work/changed.json")" "$(winpath "$shared")" >/dev/null
probe post 0x111 9000 >/dev/null
eventually '[ "$(table)" = "$default_table" ]' 5
probe command 2 >/dev/null  # Cancel: back to the tray
eventually '[ "$(state visible)" = 0 ]' 5 || bad "Cancel puts the window back in the tray"
probe post 0x111 9002 >/dev/null
check 'eventually "up msgbox" 10 && [ -n "$(xdotool search --onlyvisible --name "Vortek键盘设定" 2>/dev/null)" ]' \
    "activating the changed file from the menu shows the notice, also with the window in the tray"
text=$(msgbox)
check '[[ "$text" == *"已在本程序之外被修改"* && "$text" == *"$(winpath "$shared")"* && "$text" == *"F1: C:\\Evil\\changed.exe"* ]]' \
    "it says the file changed and lists the programs it would start now" || echo "  $text"
# The tray's menu again while the question waits: sent, so it has been
# handled (refused) when the probe returns.
probe send 0x111 9000 >/dev/null
click_answer 7
check 'eventually "[ \"\$(table)\" = \"$default_table\" ]" 5' "No leaves the default profile in the driver" ||
    { echo "  now:"; table; echo "  default:"; echo "$default_table"; }
check 'eventually "[ \"\$(probe caption 1005)\" = \"<默认情景模式>\" ]" 5 && [ "$(reg_value ACTIVE)" = 1 ]' \
    "the stored active profile stays; the window names the default profile" ||
    echo "  $(reg_value ACTIVE) $(probe caption 1005)"

probe post 0x111 9002 >/dev/null
click_answer 6 || bad "choosing it again asks again"
check 'eventually "[ \"\$(table)\" != \"$default_table\" ] && [ \"\$(table)\" != \"$shared_table\" ]" 5' \
    "Yes activates the changed file" || echo "  $(probe caption 1005)"
check 'eventually "[ \"\$(probe caption 1005)\" = shared ]" 5 && [ "$(trusted "$shared")" = "$(sha "$shared")" ]' "and remembers it" ||
    echo "  $(trusted "$shared") $(sha "$shared") $(probe caption 1005)"

# The program's own save (the key function dialog on F1) asks nothing later.
wine KbPanel.exe >/dev/null 2>&1
eventually '[ "$(state visible)" = 1 ]' 10
for i in 1 2 3; do click main 1010; eventually 'up key' 2 && break; done
click key 1015  # no function
click key 1
eventually 'gone key' 5
check '[ "$(trusted "$shared")" = "$(sha "$shared")" ] && ! grep -q "changed" <(wine px3tool.exe dump "$(winpath "$shared")" 2>/dev/null)' \
    "a save of this program remembers the bytes it wrote"
saved_sha=$(sha "$shared")
stop_program
start_program
check 'started 20 && gone msgbox' "the next start activates the saved file without a question"
check '[ "$(table)" != "$default_table" ] && [ "$(sha "$shared")" = "$saved_sha" ]' "with its table"

# --- Changed behind the program's back: start-up in the tray ---------------------------
stop_program
programs_json 'C:\\Evil\\third.exe' 32 >"$work/third.json"
wine px3tool.exe build "$(winpath "$work/third.json")" "$(winpath "$shared")" >/dev/null
third_sha=$(sha "$shared")
start_program
check 'eventually "up msgbox" 20' "a start with the changed file shows the notice"
check '[[ "$(msgbox)" == *"F1: C:\\Evil\\third.exe"* ]] && [ -n "$(xdotool search --onlyvisible --name "Vortek键盘设定" 2>/dev/null)" ]' \
    "on the screen, while the window stays in the tray"
if [ -n "${KB_TRUST_SHOTS:-}" ]; then import -window root "$KB_TRUST_SHOTS/startup_notice.png" 2>/dev/null; fi
click_answer 7
check 'started 20 && [ "$(table)" = "$default_table" ]' "No: the program starts with the default profile"
check '[ "$(reg_value ACTIVE)" = 1 ] && [ "$(sha "$shared")" = "$third_sha" ]' "the stored choice and the file stay as they were"
stop_program
start_program
click_answer 6 || bad "the next start asks again"
check 'started 20 && [ "$(table)" != "$default_table" ] && [ "$(trusted "$shared")" = "$third_sha" ]' \
    "Yes: it starts with the file and remembers it"
stop_program

# --- A second start while the start-up question waits is handed over -------------
programs_json 'C:\\Evil\\fourth.exe' 33 >"$work/fourth.json"
wine px3tool.exe build "$(winpath "$work/fourth.json")" "$(winpath "$shared")" >/dev/null
start_program
check 'eventually "up msgbox" 20' "the changed file asks at start-up again"
wine KbPanel.exe >/dev/null 2>&1
rc=$?
check '[ $rc -eq 0 ] && up msgbox && [ "$(state visible)" != 1 ]' \
    "a second start meanwhile ends and leaves the question to be answered"
click_answer 6
check 'eventually "[ \"\$(state visible)\" = 1 ]" 20' "once it is answered, the window shows as the second start asked"
stop_program

e2e_summary
