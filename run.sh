#!/usr/bin/env bash
# Builds the Windows programs and runs KbPanel.exe under Wine with the
# simulated keyboard as its device and the demo profile, opens Wine's Notepad
# for the keys to type into, then opens KbPanel's window as a second start of
# the program does.
#   ./run.sh                  the demo, until Ctrl+C
#   ./run.sh --shot FILE.png  the demo's picture with F1's macro and F2's text typed, then exit
shot=""
if [ "${1:-}" = --shot ]; then
    [ -n "${2:-}" ] || { echo "usage: run.sh [--shot FILE.png]" >&2; exit 2; }
    shot=$(realpath -m "$2")
fi
. "$(dirname "$0")/tools/dev/common.sh"
mkdir -p "$KB_BUILD"
kb_install_packages || exit 1
kb_build_win64 || exit 1
. "$KB_ROOT/tools/dev/wine-env.sh"
. "$KB_ROOT/tools/dev/e2e-lib.sh"  # its polling
cleanup() {
    cd "$KB_BIN" && {
        wine KbPanel.exe /Kill >/dev/null 2>&1
        wine editor_probe.exe quit >/dev/null 2>&1
        wine kbsim.exe relay off >/dev/null 2>&1
        wine kbsim.exe remove >/dev/null 2>&1
    }
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

# The relay makes the simulated keyboard a real one for every Wine program;
# Notepad shows what its keys become.
wine kbsim.exe relay on 2>/dev/null || exit 1
# Below KbPanel's window, so that both show.
for v in "iWindowPosX 40" "iWindowPosY 790" "iWindowPosDX 760" "iWindowPosDY 220"; do
    set -- $v
    wine reg add 'HKCU\Software\Microsoft\Notepad' /v "$1" /t REG_DWORD /d "$2" /f >/dev/null 2>&1
done
wine notepad.exe >/dev/null 2>&1 &
eventually 'wine editor_probe.exe text >/dev/null 2>&1' 20 0.2

wine KbPanel.exe &
panel=$!
eventually '[ "$(wine kbpanel_probe.exe state 2>/dev/null | head -1 | tr -d "\r")" = "visible 0" ]' 20 0.2
# A second start hands over to the first, which shows its window.
wine KbPanel.exe
# Notepad gets the focus back: what the keys type lands there.
eventually '[ "$(wine editor_probe.exe focus 2>/dev/null | tr -d "\r")" = 1 ]' 10 0.2
if [ -n "$shot" ]; then
    # The demo's picture: F1's macro and F2's text typed into Notepad.
    shows() {  # TEXT: Notepad shows it within 20 s
        shown="$1"
        eventually '[ "$(wine editor_probe.exe text 2>/dev/null | tr -d "\r")" = "$shown" ]' 20 0.2 && return 0
        echo "Notepad did not show $1" >&2
        return 1
    }
    wine kbsim.exe key 3B tap && shows Hi || exit 1
    wine kbsim.exe key 1C tap && wine kbsim.exe key 3C tap && shows 'Hi\r\n你好, KbPanel!' || exit 1
    # Both windows and a small margin.
    read -r nx ny nw nh < <(wine editor_probe.exe rect | tr -d '\r')
    read -r kx ky kw kh < <(wine kbpanel_probe.exe rect 0 | tr -d '\r')
    x0=$(( (nx < kx ? nx : kx) - 10 )); y0=$(( (ny < ky ? ny : ky) - 10 ))
    x1=$(( (nx + nw > kx + kw ? nx + nw : kx + kw) + 10 )); y1=$(( (ny + nh > ky + kh ? ny + nh : ky + kh) + 10 ))
    [ "$x0" -ge 0 ] || x0=0
    [ "$y0" -ge 0 ] || y0=0
    mkdir -p "$(dirname "$shot")"
    import -window root -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage "$shot" || exit 1
    echo "wrote $shot"
    exit 0
fi
cat <<HINT
KbPanel.exe runs on display $DISPLAY with the simulated keyboard and its relay: what
the keys become reaches the window with the focus, here Notepad, as a real keyboard's
keys do. The demo profile in Notepad:
  F1   types "Hi" (a macro)            F2   types "你好, KbPanel!" (a text block)
  F3   stops a macro that plays        F4   types nothing (blocked)
  F12  types "a" (F12 sends A)         macro key 1 in bank A types "Hi" too
  other keys type as usual (1E is A, 1C Enter)
In another terminal, play the keyboard:
  cd $KB_BIN && export WINEPREFIX=$WINEPREFIX WINEDEBUG=-all DISPLAY=$DISPLAY
  wine kbsim.exe key 3B tap           # F1: Notepad shows Hi
  wine kbsim.exe key 3C tap           # F2
  wine kbsim.exe output               # what reached the system, as records
  wine kbsim.exe macrokey 1; wine kbsim.exe macrokey bank; wine kbsim.exe unplug keyboard
  wine kbsim.exe relay off            # keys reach the log only; relay on again
  wine KbPanel.exe                    # shows the window again after Cancel or Close
Stop with Ctrl+C or: wine KbPanel.exe /Kill
HINT
wait "$panel"
