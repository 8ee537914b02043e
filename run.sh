#!/usr/bin/env bash
# Builds the Windows programs and runs KbPanel.exe under Wine with the
# simulated keyboard as its device and the demo profile, then opens its
# window as a second start of the program does.
. "$(dirname "$0")/tools/dev/common.sh"
mkdir -p "$KB_BUILD"
kb_install_packages || exit 1
kb_build_win64 || exit 1
. "$KB_ROOT/tools/dev/wine-env.sh"
cleanup() {
    cd "$KB_BIN" && { wine KbPanel.exe /Kill >/dev/null 2>&1; wine kbsim.exe remove >/dev/null 2>&1; }
    kb_wine_down
}
trap cleanup EXIT
trap 'exit 130' INT TERM
kb_wine_up "$KB_BUILD/win64" || exit 1
cd "$KB_BIN" || exit 1
wine kbsim.exe install || exit 1
demo="$KB_BUILD/demo.px3"
wine px3tool.exe build "$(winepath -w "$KB_ROOT/tools/dev/demo/profile.json")" "$(winepath -w "$demo")" || exit 1

# The demo profile joins the list only when the list is empty: profiles the
# program saved in earlier runs stay as they are.
key='HKCU\Software\Plexor3_QM2000RB\KbPanel\PROFILES'
count=$(wine reg query "$key" /v PROFILE00 2>/dev/null | tr -d '\r' | awk '$1 == "PROFILE00" { print $3 }')
if [ -z "$count" ] || [ "$count" = 0 ]; then
    wine reg add "$key" /v PROFILE00 /d 1 /f >/dev/null
    wine reg add "$key" /v PROFILE01 /d "$(winepath -w "$demo")" /f >/dev/null
    wine reg add "$key" /v ACTIVE /d 0 /f >/dev/null
fi

wine KbPanel.exe &
panel=$!
for _ in $(seq 100); do
    [ "$(wine kbpanel_probe.exe state 2>/dev/null | head -1 | tr -d '\r')" = "visible 0" ] && break
    sleep 0.2
done
# A second start hands over to the first, which shows its window.
wine KbPanel.exe
cat <<HINT
KbPanel.exe runs on display $DISPLAY with the simulated keyboard (demo profile: F1 plays
a macro, F2 types a text, F3 stops the macro, F4 is blocked, F12 sends A; macro key 1
plays the macro in bank A). In another terminal, play the keyboard:
  cd $KB_BIN && export WINEPREFIX=$WINEPREFIX WINEDEBUG=-all DISPLAY=$DISPLAY
  wine kbsim.exe key 3B tap; wine kbsim.exe output --clear
  wine kbsim.exe macrokey bank; wine kbsim.exe unplug keyboard
  wine KbPanel.exe          # shows the window again after Cancel or Close
Stop with Ctrl+C or: wine KbPanel.exe /Kill
HINT
wait "$panel"
