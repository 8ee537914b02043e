#!/usr/bin/env bash
# Measures, in one run under Wine with the stand-in driver, how fast KbPanel
# installs a bound profile's tables when its program comes to the front, and
# the floor it is held against: the switch's own driver requests (the same
# profiles applied on a handle of our own, no program running). Also the
# profile menu's switch for comparison, and whether this Wine raises the
# system's foreground event at all. Takes about a minute.
#   tools/dev/bench-follow.sh [ROUNDS] [HOLD_MS]   (50 rounds, clicks held 60 ms)
. "$(dirname "$0")/common.sh"
rounds="${1:-50}"
hold="${2:-60}"

if [ -f "$KB_BUILD/win64/CMakeCache.txt" ]; then
    cmake --build "$KB_BUILD/win64" --target follow_bench KbPanel kbsim px3tool fg_probe kbpanel_probe \
        >"$KB_BUILD/bench-follow-build.log" 2>&1 || { tail -n 30 "$KB_BUILD/bench-follow-build.log"; exit 1; }
else
    kb_build_win64 || exit 1
fi

. "$KB_ROOT/tools/dev/wine-env.sh"
kb_wine_up "$KB_BUILD/win64" || exit 1
cd "$KB_BIN" || exit 1
work=$(mktemp -d)
regkey='HKCU\Software\Plexor3_QM2000RB\KbPanel\PROFILES'
cleanup() {
    wine fg_probe.exe close fg_plain.exe >/dev/null 2>&1
    wine kbpanel_probe.exe kill-timed >/dev/null 2>&1
    wine kbsim.exe remove >/dev/null 2>&1
    wine reg delete 'HKCU\Software\Plexor3_QM2000RB' /f >/dev/null 2>&1
    rm -rf "$work"
    kb_wine_down
}
trap cleanup EXIT
. "$KB_ROOT/tools/dev/e2e-lib.sh"

# Two profiles: "home" blocks one key, "game" twenty (tables of the same size, other records).
python3 - "$work" <<'PY'
import json, sys
def profile(slots):
    return {"header": {"defaultMark": 0}, "macros": [],
            "slots": [{"slot": s, "type": 1, "macroKeyCode": 0, "parameter": 0} for s in slots]}
json.dump(profile([16]), open(sys.argv[1] + "/home.json", "w"))
json.dump(profile(list(range(16, 26)) + list(range(30, 40))), open(sys.argv[1] + "/game.json", "w"))
PY
for p in home game; do
    wine px3tool.exe build "$(winpath "$work/$p.json")" "$(winpath "$work/$p.px3")" >/dev/null || exit 1
done
wine kbsim.exe install >/dev/null || { echo "cannot install the stand-in driver"; exit 1; }

echo "== the switch's own driver requests, no program running ($rounds applies each)"
wine follow_bench.exe requests --rounds "$rounds" "$(winpath "$work/home.px3")" "$(winpath "$work/game.px3")" || exit 1

wine reg delete 'HKCU\Software\Plexor3_QM2000RB' /f >/dev/null 2>&1
wine reg add "$regkey" /v PROFILE00 /d 2 /f >/dev/null
wine reg add "$regkey" /v PROFILE01 /d "$(winpath "$work/home.px3")" /f >/dev/null
wine reg add "$regkey" /v PROFILE02 /d "$(winpath "$work/game.px3")" /f >/dev/null
wine reg add "$regkey" /v ACTIVE /d 0 /f >/dev/null
wine reg add "$regkey" /v APPS02 /d follow_bench.exe /f >/dev/null
wine reg add "$regkey" /v FOLLOW /d 1 /f >/dev/null
cp fg_probe.exe "$work/fg_plain.exe"

wine fg_probe.exe watch 3000 >"$work/watch.txt" 2>"$work/watch.err" &
watcher=$!
eventually 'grep -qs watching "$work/watch.err"' 10
wine KbPanel.exe >/dev/null 2>&1 &
eventually '[ "$(wine kbpanel_probe.exe state 2>/dev/null | tr -d "\r" | sed -n "s/^visible //p")" = 0 ] && [ "$(wine kbsim.exe table keyboard | tr -d "\r")" != none ]' 30 ||
    { echo "KbPanel did not start"; exit 1; }
wine "$work/fg_plain.exe" at 600 400 >/dev/null 2>&1 &
eventually '[ "$(wine fg_probe.exe foreground 2>/dev/null | tr -d "\r")" = fg_plain.exe ]' 10 || { echo "fg_plain.exe did not come to the front"; exit 1; }
wait "$watcher"
echo "== this Wine's foreground events: $(grep -c . "$work/watch.txt") seen by an out-of-context hook while KbPanel and fg_plain.exe came to the front"

echo "== the profile menu's switch in KbPanel ($rounds switches)"
wine follow_bench.exe menu --rounds "$rounds" 0 1 || exit 1
# Sent, not posted: the switch back to the first profile is over when the probe returns.
wine kbpanel_probe.exe send 0x111 9001 >/dev/null 2>&1

echo "== following in KbPanel, told of each change ($rounds rounds: our bound window, then the unbound fg_plain.exe)"
wine follow_bench.exe follow --rounds "$rounds" --key --other fg_plain.exe || exit 1
echo "== following in KbPanel, the windows clicked to the front ($rounds rounds, each click held $hold ms)"
wine follow_bench.exe follow --rounds "$rounds" --hold "$hold" --other fg_plain.exe
