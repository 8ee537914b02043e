#!/usr/bin/env bash
# Drags the generated profile window by its background with the real mouse
# (xdotool), then clicks a button: the window follows the drag, the button
# press does not move it, and the click arrives once. Keeps a screenshot.
set -u
exe="$KB_BIN/skin_win_test.exe"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
(cd "$KB_BIN" && wine "$exe" --skin-show 5000 >"$out" 2>&1) &
child=$!
. "$KB_ROOT/tools/dev/e2e-lib.sh"
eventually "grep -q '^button' \"$out\"" 10 || { echo "FAIL: the window did not come up"; cat "$out"; exit 1; }
# The program writes Windows line ends.
field() { tr -d '\r' <"$out" | grep "^$1"; }
read -r _ sx sy < <(field start)
read -r _ gx gy < <(field grab)
read -r _ bx by < <(field button)
# Without a window manager the window is a child of the root: its X
# position follows the drag, so each step waits until the window is there.
xdotool mousemove "$gx" "$gy"
win=""
eventually 'win=$(xdotool getmouselocation --shell | sed -n "s/^WINDOW=//p"); [ -n "$win" ] && xdotool getwindowgeometry "$win" >/dev/null 2>&1' 10
xy() { xdotool getwindowgeometry --shell "$win" 2>/dev/null | tr -d '\r' | sed -n 's/^[XY]=//p' | tr '\n' ' '; }
read -r x0 y0 < <(xy)
import -window root "$KB_BIN/../skin-profile-window.png" 2>/dev/null || true
at() { [ "$(xy)" = "$((x0 + $1)) $((y0 + $2)) " ]; }
xdotool mousedown 1 mousemove $((gx + 20)) $((gy + 10))
eventually 'at 20 10' 5 || echo "the window did not reach the first point of the drag: $(xy)"
xdotool mousemove $((gx + 60)) $((gy + 40))
eventually 'at 60 40' 5 || echo "the window did not reach the end of the drag: $(xy)"
xdotool mouseup 1
xdotool mousemove $((bx + 60)) $((by + 40)) click 1
wait "$child"
read -r _ ex ey < <(field end)
read -r _ clicks < <(field clicks)
echo "start $sx,$sy end $ex,$ey clicks $clicks"
[ "$((ex - sx))" -eq 60 ] && [ "$((ey - sy))" -eq 40 ] || { echo "FAIL: the window did not follow the drag"; exit 1; }
[ "$clicks" -eq 1 ] || { echo "FAIL: expected one click on the button"; exit 1; }
echo "[  PASSED  ] 1 test."
