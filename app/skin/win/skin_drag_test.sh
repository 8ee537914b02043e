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
for _ in $(seq 100); do grep -q '^button' "$out" && break; sleep 0.1; done
grep -q '^button' "$out" || { echo "FAIL: the window did not come up"; cat "$out"; exit 1; }
# The program writes Windows line ends.
field() { tr -d '\r' <"$out" | grep "^$1"; }
read -r _ sx sy < <(field start)
read -r _ gx gy < <(field grab)
read -r _ bx by < <(field button)
sleep 0.3
import -window root "$KB_BIN/../skin-profile-window.png" 2>/dev/null || true
xdotool mousemove "$gx" "$gy" mousedown 1
sleep 0.2
xdotool mousemove $((gx + 20)) $((gy + 10))
sleep 0.1
xdotool mousemove $((gx + 60)) $((gy + 40))
sleep 0.2
xdotool mouseup 1
sleep 0.3
xdotool mousemove $((bx + 60)) $((by + 40)) click 1
wait "$child"
read -r _ ex ey < <(field end)
read -r _ clicks < <(field clicks)
echo "start $sx,$sy end $ex,$ey clicks $clicks"
[ "$((ex - sx))" -eq 60 ] && [ "$((ey - sy))" -eq 40 ] || { echo "FAIL: the window did not follow the drag"; exit 1; }
[ "$clicks" -eq 1 ] || { echo "FAIL: expected one click on the button"; exit 1; }
echo "[  PASSED  ] 1 test."
