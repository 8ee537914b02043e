#!/usr/bin/env bash
# The About box end to end under Wine and Xvfb: opened by the tray menu's
# command, answered by real keys (Enter, Esc, Tab), its maker's address a link
# in link colours with the hand cursor and a tool tip, opened through the shell
# by the prefix's opener of web addresses (a probe registered in its place
# reports the address it was given; the visited colour follows the shell's
# success), and a readable message when neither the opener of web addresses
# nor that of HTML files can open it.
set -u
. "$KB_ROOT/tools/dev/e2e-lib.sh"
. "$KB_ROOT/app/ui/tests/window-lib.sh"
kb_window_test  # the programs' folder, $work, $regkey and the cleanup at exit
classes='HKLM\Software\Classes'
address='http://www.example.com/'

# The openers of web addresses and of HTML files, as the prefix had them.
html_type=$(wine reg query 'HKCR\.htm' /ve 2>/dev/null | tr -d '\r' | awk '/REG_SZ/ { print $NF }')
html_type=${html_type:-htmlfile}
wine reg export "$classes\\http" "$(winpath "$work/http.reg")" /y >/dev/null 2>&1
wine reg export "$classes\\$html_type" "$(winpath "$work/html.reg")" /y >/dev/null 2>&1
opened="$work/opened.txt"
# They are put back however the script ends.
more_cleanup() {
    wine reg delete "$classes\\http\\shell\\open\\command" /f >/dev/null 2>&1
    wine reg delete "$classes\\$html_type\\shell\\open\\command" /f >/dev/null 2>&1
    [ -f "$work/http.reg" ] && wine reg import "$(winpath "$work/http.reg")" >/dev/null 2>&1
    [ -f "$work/html.reg" ] && wine reg import "$(winpath "$work/html.reg")" >/dev/null 2>&1
}
at_exit more_cleanup
opens_with() {  # KEY COMMAND: the default "open" command of a class
    wine reg add "$classes\\$1\\shell\\open\\command" /ve /d "$2" /f >/dev/null
}

wine kbsim.exe install >/dev/null || { echo "cannot install the simulated keyboard"; exit 1; }
use_profiles -1
start_kbpanel tray

activate_about() {  # a click on its background, below the text, makes it the active window
    set -- $(dprobe rect about 0)
    xdotool mousemove $(($1 + $3 / 2)) $(($2 + 5)) click 1
    xdotool mousemove $(($1 + $3 / 2)) $(($2 + $4 - 12)) click 1
}
open_about() {  # by the tray menu's command
    probe send 0x111 32773 >/dev/null  # the tray menu's "关于(&A)"
    eventually 'up about' 5 || return 1
    activate_about
}
# How many pixels of the link's rectangle are near the colour (R G B).
pixels_like() {  # R G B
    set -- "$@" $(dprobe rect about 1003)
    import -window root -crop "$6x$7+$4+$5" "$work/link.png" 2>/dev/null || { echo 0; return; }
    convert-im6.q16 "$work/link.png" -depth 8 txt:- 2>/dev/null |
        sed -n 's/.*srgb(\([0-9]*\),\([0-9]*\),\([0-9]*\)).*/\1 \2 \3/p' |
        awk -v r="$1" -v g="$2" -v b="$3" '{ d = ($1 - r) ^ 2 + ($2 - g) ^ 2 + ($3 - b) ^ 2; if (d < 1600) n++ } END { print n + 0 }'
}

# --- Keys ---------------------------------------------------------------------------
open_about || bad "the About box opens"
check 'eventually "[ \"\$(dprobe focus about)\" = 1 ]" 5' "its OK button has the focus"
xdotool key Escape
check 'eventually "gone about" 5' "Esc closes it"
open_about
eventually '[ "$(dprobe focus about)" = 1 ]' 5
xdotool key Return
check 'eventually "gone about" 5' "Enter closes it"
open_about
eventually '[ "$(dprobe focus about)" = 1 ]' 5
xdotool key Tab
check 'eventually "[ \"\$(dprobe focus about)\" = 1003 ]" 5' "Tab moves the focus to the link"
xdotool key Tab
check 'eventually "[ \"\$(dprobe focus about)\" = 1 ]" 5' "and on round to OK"

# --- The link -----------------------------------------------------------------------
check '[ "$(dprobe text about 1003)" = "$address" ]' "the link shows the maker's address"
check '[ "$(pixels_like 0 0 238)" -gt 5 ]' "in the link colour"
# The cursor over the box's background, then over the link, then back.
set -- $(dprobe rect about 0)
xdotool mousemove $(($1 + $3 / 2)) $(($2 + $4 - 12))
eventually '[ "$(dprobe cursor)" != 0 ]' 5
plain=$(dprobe cursor)
set -- $(dprobe rect about 1003)
xdotool mousemove $(($1 + 10)) $(($2 + $4 / 2))
check "eventually '[ \"\$(dprobe tip about 1003)\" = \"1 $address\" ]' 5" "hovering shows the address as its tool tip" ||
    dprobe tip about 1003
check 'eventually "[ \"\$(dprobe cursor)\" != $plain ] && [ \"\$(dprobe cursor)\" != 0 ]" 5' \
    "and the link's own cursor, not the box's arrow" || dprobe cursor
set -- $(dprobe rect about 0)
xdotool mousemove $(($1 + $3 / 2)) $(($2 + $4 - 12))
check 'eventually "[ \"\$(dprobe cursor)\" = $plain ]" 5' "which goes with the pointer" || dprobe cursor

# The shell hands web addresses to their registered opener: a probe that
# reports the address it was given.
opens_with http "\"$(winpath "$KB_BIN/multact_probe.exe")\" \"$(winpath "$opened")\" kb-about-opener \"%1\""

xdotool key Tab  # the focus back on the link: Enter opens it as a click does
eventually '[ "$(dprobe focus about)" = 1003 ]' 5
xdotool key Return
check 'up about' "and the box stays open"
xdotool mousemove 5 5  # away, so the hover colour goes
check 'eventually "[ \"\$(pixels_like 85 26 139)\" -gt 5 ]" 5' \
    "Enter on the link opens it through the shell, which the visited colour shows"
check 'eventually "[ \"\$(tail -1 \"\$opened\" 2>/dev/null | tr -d \"\\r\")\" = \"$address\" ]" 10' \
    "and the address reaches the registered opener of web addresses" || cat "$opened"
wine taskkill /PID "$(head -1 "$opened")" /F >/dev/null 2>&1

# Nothing can open it: neither the opener of web addresses nor that of HTML files.
opens_with http "\"C:\\no\\such\\browser.exe\" \"%1\""
opens_with "$html_type" "\"C:\\no\\such\\viewer.exe\" \"%1\""
set -- $(dprobe rect about 1003)
xdotool mousemove $(($1 + 10)) $(($2 + $4 / 2)) click 1
check 'eventually "up msgbox" 5' "a link that cannot be opened says so"
message=$(dprobe msgbox)
check '[ "$message" = "$(printf "Unable to open hyperlink:\n\nThe specified file was not found.")" ]' \
    "in readable words" || echo "  $message"
answer 1
check 'up about' "and the box stays open"
activate_about
xdotool key Escape
check 'eventually "gone about" 5' "Esc closes it after all that"

e2e_summary
