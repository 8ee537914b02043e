#!/usr/bin/env bash
# Builds the Windows programs and runs KbPanel's heart (kbhost, until the
# window exists) under Wine with the simulated keyboard as its device.
. "$(dirname "$0")/tools/dev/common.sh"
mkdir -p "$KB_BUILD"
kb_install_packages || exit 1
kb_build_win64 || exit 1
. "$KB_ROOT/tools/dev/wine-env.sh"
trap 'cd "$KB_BIN" && wine kbsim.exe remove >/dev/null 2>&1; kb_wine_down' EXIT
kb_wine_up "$KB_BUILD/win64" || exit 1
cd "$KB_BIN" || exit 1
echo "KbPanel.exe (the window) is not built yet; running its heart, kbhost.exe, with the simulated keyboard."
wine kbsim.exe install || exit 1
demo="$KB_BUILD/demo.px3"
wine px3tool.exe build "$(winepath -w "$KB_ROOT/tools/dev/demo/profile.json")" "$(winepath -w "$demo")" || exit 1
cat <<HINT
Demo profile: F1 plays a macro (types "Hi"), F2 types a text, F3 stops the macro, F4 is
blocked, F12 sends A; macro key 1 plays the macro in bank A, sends Shift in bank B.
In another terminal, play the keyboard and watch what reaches the system:
  cd $KB_BIN && export WINEPREFIX=$WINEPREFIX WINEDEBUG=-all DISPLAY=$DISPLAY
  wine kbsim.exe key 3B tap; wine kbsim.exe output --clear
  wine kbsim.exe macrokey bank; wine kbsim.exe bank; wine kbsim.exe unplug keyboard
Stop with Ctrl+C (or: wine kbhost.exe stop).
HINT
wine kbhost.exe --profile "$(winepath -w "$demo")"
