#!/usr/bin/env bash
# The 64-bit setup under Wine, silent: install, run the installed program with
# the simulated keyboard, upgrade over the running program, uninstall.
set -u
cd "$KB_BIN" || exit 1
setup=$(ls "$KB_BIN"/../KbPanel-*-x64-setup.exe 2>/dev/null | head -n 1)
work=$(mktemp -d)
dest_win='C:\KbSetupTest\KbPanel'
dest=$(winepath -u "$dest_win" 2>/dev/null)
settings='HKCU\Software\Plexor3_QM2000RB'
uninst='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KbPanel'
cleanup() {
    [ -x "$dest/KbPanel.exe" ] && wine "$dest_win\\KbPanel.exe" /Kill >/dev/null 2>&1
    wine kbsim.exe remove >/dev/null 2>&1
    wine reg delete "$uninst" /f >/dev/null 2>&1
    wine reg delete "$settings" /f >/dev/null 2>&1
    rm -rf "$work" "$(dirname "$dest")"
}
trap cleanup EXIT
# A fresh machine: an earlier test's settings may list profile files that are
# gone, and the start-up message about them would hold the program before its
# window exists, where neither the tables nor "/Kill" reach it.
wine reg delete "$settings" /f >/dev/null 2>&1

. "$KB_ROOT/tools/dev/e2e-lib.sh"
running() { pgrep -f 'KbSetupTest.KbPanel.KbPanel\.exe' >/dev/null; }
regval() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^  */, ""); print }'; }
table_installed() { ! wine kbsim.exe table keyboard 2>/dev/null | tr -d '\r' | grep -qx none; }
shipped="KbPanel.exe KinsetDll.dll Multact.dll"

[ -n "$setup" ] || { echo "FAILED: no setup was built"; echo "0 passed, 1 failed"; exit 1; }
version=$(basename "$setup" | sed -n 's/^KbPanel-\(.*\)-x64-setup\.exe$/\1/p')

# Install.
wine "$setup" /S "/D=$dest_win" >/dev/null 2>&1
check '[ $? -eq 0 ]' "silent install exits 0"
all=1
for f in $shipped Uninstall.exe Skins/Main.ini Skins/Main_Status1.jpg Help/index.html; do
    [ -f "$dest/$f" ] || { all=0; echo "missing: $f"; }
done
check '[ $all -eq 1 ]' "every file lies in the program folder"
for f in $shipped; do cmp -s "$KB_BIN/$f" "$dest/$f" || all=0; done
check '[ $all -eq 1 ]' "installed programs are the built ones"
check 'diff -r "$KB_BIN/Skins" "$dest/Skins" >/dev/null && diff -r "$KB_BIN/Help" "$dest/Help" >/dev/null' \
    "skin and help folders are complete"
check '[ ! -e "$dest/Hidport.dll" ] && [ ! -e "$dest/kbsim.exe" ] && [ ! -e "$dest/KinsetC.sys" ]' \
    "nothing of the keyboard's maker or the simulator is shipped"
check '[ "$(regval "$uninst" DisplayVersion)" = "$version" ] && [ "$(regval "$uninst" DisplayName)" = KbPanel ]' \
    "uninstall entry names the program and its version"
check '[ -n "$(regval "$uninst" Publisher)" ] && [ -n "$(regval "$uninst" EstimatedSize)" ] && regval "$uninst" UninstallString | grep -q "Uninstall.exe"' \
    "uninstall entry has publisher, size and uninstaller"
check 'ls "$(winepath -u "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\KbPanel" 2>/dev/null)"/KbPanel.lnk >/dev/null 2>&1' \
    "start menu entry"
check '[ -z "$(regval "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run" KbPanel)" ]' \
    "start with Windows is off unless chosen"

# The installed program runs from its folder beside the keyboard's HID library.
cp "$KB_BIN/Hidport.dll" "$dest/" || exit 1
wine kbsim.exe install >/dev/null || { echo "FAILED: cannot install the simulated keyboard"; exit 1; }
# A user's settings and profile that must survive everything below.
wine reg add "$settings\\KbPanel\\PROFILES" /v KEEPME /d yes /f >/dev/null 2>&1
(cd "$dest" && wine "$dest_win\\KbPanel.exe" >/dev/null 2>&1 &)
check 'eventually table_installed 20' "installed program starts and installs its tables" || {
    # Say what the program was showing.
    echo "  main window: $(wine kbpanel_probe.exe state 2>/dev/null | tr -d '\r' | head -n 2 | tr '\n' ' ')"
    echo "  message box: $(wine dialog_probe.exe msgbox 2>/dev/null | tr -d '\r' | tr '\n' ' ')"
}
wine "$dest_win\\KbPanel.exe" /Kill >/dev/null 2>&1
check 'eventually "! running" 20 && ! table_installed' "installed program exits through /Kill and withdraws its tables"

# Upgrade over a running program: the setup asks it to exit, then replaces files.
(cd "$dest" && wine "$dest_win\\KbPanel.exe" >/dev/null 2>&1 &)
eventually table_installed 20 || bad "program restarted for the upgrade"
echo stale >"$dest/Skins/stale.jpg"
wine "$setup" /S "/D=$dest_win" >/dev/null 2>&1
check '[ $? -eq 0 ]' "upgrade over a running program exits 0"
check 'eventually "! running" 20' "the running program was ended by the upgrade"
check '[ ! -e "$dest/Skins/stale.jpg" ] && cmp -s "$KB_BIN/KbPanel.exe" "$dest/KbPanel.exe"' \
    "upgrade replaced the program and the whole skin"
check '[ -f "$dest/Hidport.dll" ]' "upgrade leaves files it did not install"

# Uninstall (silent): every file and entry of ours goes, the user's settings stay.
rm -f "$dest/Hidport.dll"
wine "$dest_win\\Uninstall.exe" /S >/dev/null 2>&1
check 'eventually "[ ! -e \"$dest\" ]" 30' "uninstall removes the program folder"
check '[ -z "$(regval "$uninst" DisplayName)" ]' "uninstall removes its entry"
check '! ls "$(winepath -u "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\KbPanel" 2>/dev/null)" >/dev/null 2>&1' \
    "uninstall removes the start menu entry"
check '[ "$(regval "$settings\\KbPanel\\PROFILES" KEEPME)" = yes ]' "silent uninstall keeps the user's settings"

e2e_summary
