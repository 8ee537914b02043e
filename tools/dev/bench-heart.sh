#!/usr/bin/env bash
# Measures the heart under Wine with the stand-in driver: press-to-output latency
# of a one-step macro key and of a text key (per event group), the driver round
# trip floor, and kbhost's idle CPU time. Takes a few minutes.
#   tools/dev/bench-heart.sh [PRESSES] [IDLE_SECONDS]     (defaults 200 and 60)
. "$(dirname "$0")/common.sh"
presses="${1:-200}"
idle_seconds="${2:-60}"

if [ -f "$KB_BUILD/win64/CMakeCache.txt" ]; then
    cmake --build "$KB_BUILD/win64" --target heart_bench kbhost kbsim px3tool >"$KB_BUILD/bench-heart-build.log" 2>&1 ||
        { tail -n 30 "$KB_BUILD/bench-heart-build.log"; exit 1; }
else
    kb_build_win64 || exit 1
fi

. "$KB_ROOT/tools/dev/wine-env.sh"
kb_wine_up "$KB_BUILD/win64" || exit 1
cd "$KB_BIN" || exit 1
work=$(mktemp -d)
hostpid=""
cleanup() {
    if [ -n "$hostpid" ]; then
        wine kbhost.exe stop >/dev/null 2>&1
        wait "$hostpid" 2>/dev/null
    fi
    wine kbsim.exe remove >/dev/null 2>&1
    rm -rf "$work"
    kb_wine_down
}
trap cleanup EXIT
winpath() { winepath -w "$1" 2>/dev/null; }

# utime + stime of a Linux process, in ms.
cpu_ms() { awk -v hz="$(getconf CLK_TCK)" '{ print ($14 + $15) * 1000 / hz }' "/proc/$1/stat" 2>/dev/null; }
# The wineserver that serves this prefix (other work trees run their own).
our_wineserver() {
    local p
    for p in $(pgrep -x 'wineserver(64)?'); do
        if tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            echo "$p"
            return
        fi
    done
}

wine kbsim.exe install >/dev/null || { echo "cannot install the stand-in driver"; exit 1; }
wine heart_bench.exe profile "$(winpath "$work/bench.json")" || exit 1
wine px3tool.exe build "$(winpath "$work/bench.json")" "$(winpath "$work/bench.px3")" || exit 1

wine kbhost.exe --profile "$(winpath "$work/bench.px3")" >"$work/host.log" 2>&1 </dev/null &
hostpid=$!
for ((i = 0; i < 200; i++)); do
    grep -qs "^attach 1" "$work/host.log" && break
    sleep 0.1
done
grep -qs "^attach 1" "$work/host.log" || { cat "$work/host.log"; echo "kbhost did not attach"; exit 1; }

echo "== heart latency under Wine ($presses presses per key; ms from the simulated press)"
wine heart_bench.exe latency --presses "$presses"
latency_rc=$?

# Let the host settle after the presses, then leave it alone. The Linux view is
# read inside the bench's quiet window, so the bench's own start-up is not in it.
sleep 2
server=$(our_wineserver)
# The wine launcher execs the loader, so the job's pid is kbhost's Linux process.
tr '\0' ' ' <"/proc/$hostpid/cmdline" 2>/dev/null | grep -q 'kbhost\.exe' && host_linux=1 || host_linux=""
wine heart_bench.exe idle --seconds "$idle_seconds" &
benchpid=$!
sleep 1
window=$((idle_seconds > 3 ? idle_seconds - 2 : 1))
host0=$([ -n "$host_linux" ] && cpu_ms "$hostpid"); server0=$([ -n "$server" ] && cpu_ms "$server")
sleep "$window"
host1=$([ -n "$host_linux" ] && cpu_ms "$hostpid"); server1=$([ -n "$server" ] && cpu_ms "$server")
wait "$benchpid"
idle_rc=$?
per_s() { awk -v a="$1" -v b="$2" -v s="$3" 'BEGIN { printf "%.0f ms (%.2f ms/s)", b - a, (b - a) / s }'; }
if [ -n "$host0" ] && [ -n "$host1" ]; then
    echo "idle   Linux view over ${window} s: kbhost process $(per_s "$host0" "$host1" "$window")"
fi
if [ -n "$server" ] && [ -n "$server0" ] && [ -n "$server1" ]; then
    echo "idle   Linux view over ${window} s: wineserver $(per_s "$server0" "$server1" "$window") (it serves every wait with a time-out)"
fi

wine kbhost.exe stop >/dev/null
wait "$hostpid"
hostpid=""

# The same wineserver without kbhost, for comparison.
if [ -n "$server" ]; then
    base=$((window < 20 ? window : 20))
    sleep 1
    b0=$(cpu_ms "$server"); sleep "$base"; b1=$(cpu_ms "$server")
    [ -n "$b0" ] && [ -n "$b1" ] && echo "idle   Linux view over ${base} s without kbhost: wineserver $(per_s "$b0" "$b1" "$base")"
fi
[ "$latency_rc" -eq 0 ] && [ "$idle_rc" -eq 0 ]
