#!/usr/bin/env bash
# The driver going away under a running kbhost and KbPanel (kbsim remove, then
# install): a repeating macro stops with nothing left down, and once the driver
# is back every table is installed again without a restart.
set -u
. "$KB_ROOT/tools/dev/e2e-lib.sh"
. "$KB_ROOT/app/ui/tests/window-lib.sh"
kb_window_test  # the programs' folder, $work, $regkey and the cleanup at exit
hostpid=""
more_cleanup() {
    [ -n "$hostpid" ] && { wine kbhost.exe stop >/dev/null 2>&1; wait "$hostpid" 2>/dev/null; }
}
at_exit more_cleanup

table() { wine kbsim.exe table "$1" 2>/dev/null | tr -d '\r'; }
tables_in() { [ "$(table keyboard)" != none ] && [ "$(table keypad0E)" != none ] && [ "$(table keypad16)" != none ]; }
# away PROGRAM: the driver removed and installed again; prints ms from the
# install's return to all tables back. The new driver starts without tables:
# only a program that saw the old one go and opened the new one sends them.
away() {
    local t0
    wine kbsim.exe remove >/dev/null || return 1
    wine kbsim.exe install >/dev/null || return 1
    t0=$(date +%s%N)
    eventually tables_in 10 || return 1
    echo "$1: tables back $(( ($(date +%s%N) - t0) / 1000000 )) ms after the install returned (with one kbsim run per table)"
}

wine kbsim.exe install >/dev/null || { echo "cannot install the simulated keyboard"; exit 1; }
# A: B instead; G: repeats "x" while held; F1 on the keypad: blocked (keypad tables).
cat >"$work/profile.json" <<'JSON'
{
  "header": {"defaultMark": 0},
  "slots": [
    {"slot": 30, "type": 2, "macroKeyCode": 0, "parameter": 48},
    {"slot": 34, "type": 4, "macroKeyCode": 0, "parameter": 1}
  ],
  "macros": [
    {"name": "x", "isNew": 0, "playMode": 1, "macroId": 1, "actions": [[0, 45, 0], [40, 45, 1], [40, 57, 0], [10, 57, 1]]}
  ]
}
JSON
wine px3tool.exe build "$(winpath "$work/profile.json")" "$(winpath "$work/profile.px3")" >/dev/null ||
    { echo "px3tool build failed"; exit 1; }

# --- kbhost ------------------------------------------------------------------------
wine kbhost.exe --profile "$(winpath "$work/profile.px3")" >"$work/host.log" 2>&1 </dev/null &
hostpid=$!
eventually 'grep -qs "^started" "$work/host.log" && tables_in' 20 || { cat "$work/host.log"; echo "the host did not start"; exit 1; }
clear_output
key 22 down
check 'eventually "[ \$(presses 2D) -ge 2 ]" 10' "kbhost: the held key repeats its macro"
before=$(grep -c "^playing 0" "$work/host.log")
wine kbsim.exe remove >/dev/null
check 'eventually "[ \$(grep -c \"^playing 0\" \"$work/host.log\") -gt $before ]" 10' "kbhost: the driver's going stops the repeating macro"
check 'eventually "grep -q \"^attach 0\" \"$work/host.log\"" 5' "kbhost: and shows the keyboard gone"
wine kbsim.exe install >/dev/null
check 'eventually tables_in 10' "kbhost: every table is installed again once the driver is back"
clear_output
tap 1E
check 'eventually "[ \"\$(phys)\" = \"key 30 0000 key 30 0001 \" ]" 5' "kbhost: the remapped key works again" || echo "  $(phys)"
check '[ -z "$(inj)" ]' "kbhost: the stopped macro does not come back" || echo "  $(inj)"
last_attach() { tr -d "\r" <"$work/host.log" | grep "^attach" | tail -1; }
check 'eventually "[ \"\$(last_attach)\" = \"attach 1\" ]" 5' "kbhost: and shows the keyboard attached again" || cat "$work/host.log"
away kbhost.exe || bad "kbhost: a second time away and back"
check '[ "$(wine kbsim.exe status | tr -d "\r")" = "driver: running" ] && kill -0 "$hostpid"' "kbhost runs on"
wine kbhost.exe stop >/dev/null 2>&1
wait "$hostpid" 2>/dev/null
hostpid=""

# --- KbPanel -------------------------------------------------------------------------
wine reg delete 'HKCU\Software\Plexor3_QM2000RB' /f >/dev/null 2>&1
wine reg add "$regkey" /v PROFILE00 /d 1 /f >/dev/null
wine reg add "$regkey" /v PROFILE01 /d "$(winpath "$work/profile.px3")" /f >/dev/null
wine reg add "$regkey" /v ACTIVE /d 0 /f >/dev/null
wine KbPanel.exe >/dev/null 2>&1 &
eventually '[ "$(state visible)" = 0 ] && tables_in' 30 || { echo "KbPanel did not start"; exit 1; }
clear_output
key 22 down
check 'eventually "[ \$(presses 2D) -ge 2 ]" 10' "KbPanel: the held key repeats its macro"
away KbPanel.exe || bad "KbPanel: every table is installed again once the driver is back"
clear_output
tap 1E
check 'eventually "[ \"\$(phys)\" = \"key 30 0000 key 30 0001 \" ]" 5' "KbPanel: the remapped key works again" || echo "  $(phys)"
check '[ -z "$(inj)" ] && running' "KbPanel: runs on, and the macro stopped with the driver's going" || echo "  $(inj)"

e2e_summary
