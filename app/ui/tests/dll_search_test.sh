#!/usr/bin/env bash
# Libraries come only from the program's folder and the system folder: copies
# planted in the current folder, on PATH or under a system library's name are
# never loaded, whether or not the real one is beside the program. The HID
# library, which the keyboard's maker may install into the system folder, is
# found there when the program's folder has none, and the program's own copy
# goes first.
set -u
cd "$KB_BIN" || exit 1
work=$(mktemp -d)
prog="$work/prog"
system_hid="$WINEPREFIX/drive_c/windows/system32/Hidport.dll"
cleanup() {
    [ -f "$prog/KbPanel.exe" ] && (cd "$prog" && wine KbPanel.exe /Kill >/dev/null 2>&1)
    rm -f "$system_hid"
    wine kbsim.exe remove >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
. "$KB_ROOT/tools/dev/e2e-lib.sh"
table_installed() { ! wine kbsim.exe table keyboard 2>/dev/null | tr -d '\r' | grep -qx none; }
start_program() {  # from the planted current folder
    (cd "$work/cwd" && wine "$(winpath "$prog/KbPanel.exe")" >/dev/null 2>&1 &)
}
# The next start must not find this instance still holding its single-instance
# mutex: it would hand over to it and end, leaving no tables once it is gone.
running() { [ "$(wine kbpanel_probe.exe state 2>/dev/null | tr -d '\r' | head -n 1)" != none ]; }
stop_program() {
    (cd "$prog" && wine KbPanel.exe /Kill >/dev/null 2>&1)
    check 'eventually "! running" 20' "and \"/Kill\" ends it"
}

# The program as installed, without the keyboard's HID library.
mkdir -p "$prog" "$work/cwd" "$work/onpath"
cp KbPanel.exe KinsetDll.dll Multact.dll "$prog/" && cp -r Skins Help "$prog/" || exit 1
for d in "$work/cwd" "$work/onpath"; do cp planted_dll.dll "$d/Hidport.dll"; done
mark="$work/loaded.txt"
export KB_PLANTED_MARK WINEPATH
KB_PLANTED_MARK=$(winpath "$mark")
WINEPATH=$(winpath "$work/onpath")

(cd "$work/cwd" && timeout 20 wine "$(winpath "$prog/KbPanel.exe")" >/dev/null 2>&1)
code=$?
check '[ "$code" -eq 0 ]' "without its HID library the program ends the start with exit code 0"
check '[ ! -e "$mark" ]' "the copies in the current folder and on PATH were never loaded"

wine kbsim.exe install >/dev/null || { echo "FAILED: cannot install the simulated keyboard"; exit 1; }
# The maker's copy in the system folder, none beside the program.
rm -f "$mark"
cp Hidport.dll "$system_hid" || exit 1
start_program
check 'eventually table_installed 20' "with its HID library only in the system folder the program starts"
check '[ ! -e "$mark" ]' "and the copies in the current folder and on PATH were still never loaded"
stop_program

# With the real one beside it, the planted ones stay untouched, also one
# named after a system library in the program's own folder and one in the
# system folder: the program's folder goes first.
rm -f "$mark"
cp Hidport.dll "$prog/"
cp planted_dll.dll "$prog/WtsApi32.dll"
cp planted_dll.dll "$system_hid"
start_program
check 'eventually table_installed 20' "with its HID library beside it the program starts"
check '[ ! -e "$mark" ]' "no planted library was loaded, not one named after a system library nor the system folder's"
stop_program

e2e_summary
