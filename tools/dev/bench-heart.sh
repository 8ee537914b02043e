#!/usr/bin/env bash
# Measures the heart under Wine with the stand-in driver, in one run: the floor
# (a probe on the key's named event), macro, text and HID macro key latency,
# a 100-step macro of 10 ms steps, the stop key, private bytes before and after
# many presses, how deep each thread's stack went, and the program's idle CPU
# (its wineserver's share apart), wake-ups and private bytes; then kbhost's layers
# (a layer key to its table in the driver, against the switch's own table
# requests; a tap/hold key's hold against its term; a key remapped on a layer
# and on the base). Takes a few minutes.
#   tools/dev/bench-heart.sh [--program NAME.exe]... [PRESSES] [IDLE_SECONDS] [GROWTH_PRESSES]
#   (kbhost.exe, 200, 60, 10000); several --program options are measured one after
#   the other against the same floor.
# kbhost.exe is started as "kbhost.exe --profile FILE"; KbPanel.exe takes no
# arguments, so the profile is listed in its settings and it starts to the tray.
. "$(dirname "$0")/common.sh"
programs=()
while [ "${1:-}" = "--program" ]; do
    programs+=("$2")
    shift 2
done
[ ${#programs[@]} -eq 0 ] && programs=(kbhost.exe)
presses="${1:-200}"
idle_seconds="${2:-60}"
growth_presses="${3:-10000}"

if [ -f "$KB_BUILD/win64/CMakeCache.txt" ]; then
    cmake --build "$KB_BUILD/win64" --target heart_bench follow_bench kbhost KbPanel kbpanel_probe kbsim px3tool Multact KinsetDll hidport kinsetc_sys >"$KB_BUILD/bench-heart-build.log" 2>&1 ||
        { tail -n 30 "$KB_BUILD/bench-heart-build.log"; exit 1; }
else
    kb_build_win64 || exit 1
fi

. "$KB_ROOT/tools/dev/wine-env.sh"
kb_wine_up "$KB_BUILD/win64" || exit 1
cd "$KB_BIN" || exit 1
for program in "${programs[@]}"; do
    [ -f "$program" ] || { echo "no $program in $KB_BIN"; exit 1; }
done
program=""
work=$(mktemp -d)
hostpid=""
panel_key='HKCU\Software\Plexor3_QM2000RB'
stop_program() {
    case "$program" in
    kbhost.exe) wine kbhost.exe stop >/dev/null 2>&1 ;;
    KbPanel.exe) wine KbPanel.exe /kill >/dev/null 2>&1 ;;
    *) kill "$hostpid" 2>/dev/null ;;
    esac
    wait "$hostpid" 2>/dev/null
    hostpid=""
}
cleanup() {
    [ -n "$hostpid" ] && stop_program
    wine kbsim.exe remove >/dev/null 2>&1
    wine reg delete "$panel_key" /f >/dev/null 2>&1
    rm -rf "$work"
    kb_wine_down
}
trap cleanup EXIT
. "$KB_ROOT/tools/dev/e2e-lib.sh"

# utime + stime of a Linux process, in ms.
cpu_ms() { awk -v hz="$(getconf CLK_TCK)" '{ print ($14 + $15) * 1000 / hz }' "/proc/$1/stat" 2>/dev/null; }
# Context switches of all of a process's threads: each one is the thread
# going to sleep or being put aside, so their rate bounds the wake-ups.
switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^(voluntary|nonvoluntary)_ctxt_switches/ { n += $2 } END { print n + 0 }'
}
status_kb() { awk -v k="$2:" '$1 == k { print $2 }' "/proc/$1/status" 2>/dev/null; }
wine kbsim.exe install >/dev/null || { echo "cannot install the stand-in driver"; exit 1; }
wine heart_bench.exe profile "$(winpath "$work/bench.json")" || exit 1
wine px3tool.exe build "$(winpath "$work/bench.json")" "$(winpath "$work/bench.px3")" || exit 1

echo "== floor under Wine ($presses presses, no program running; ms from the simulated press)"
wine heart_bench.exe floor --presses "$presses"
floor_rc=$?

measure_program() {
    host0="" host1="" server0="" server1=""
    case "$program" in
    KbPanel.exe)
        wine reg delete "$panel_key" /f >/dev/null 2>&1
        wine reg add "$panel_key\KbPanel\PROFILES" /v PROFILE00 /d 1 /f >/dev/null
        wine reg add "$panel_key\KbPanel\PROFILES" /v PROFILE01 /d "$(winpath "$work/bench.px3")" /f >/dev/null
        wine reg add "$panel_key\KbPanel\PROFILES" /v ACTIVE /d 0 /f >/dev/null
        wine KbPanel.exe >"$work/host.log" 2>&1 </dev/null &
        hostpid=$!
        # In the tray (not visible) with the bench profile's tables installed.
        eventually '[ "$(wine kbpanel_probe.exe state 2>/dev/null | tr -d "\r" | sed -n "s/^visible //p")" = 0 ] &&
            [ "$(wine kbsim.exe table keyboard 2>/dev/null | tr -d "\r")" != none ]' 30
        ;;
    *)
        wine "$program" --profile "$(winpath "$work/bench.px3")" >"$work/host.log" 2>&1 </dev/null &
        hostpid=$!
        ;;
    esac
    if [ "$program" = kbhost.exe ]; then
        eventually 'grep -qs "^attach 1" "$work/host.log"' 20
        grep -qs "^attach 1" "$work/host.log" || { cat "$work/host.log"; echo "kbhost did not attach"; exit 1; }
    fi

    echo "== $program latency under Wine ($presses presses per key; ms from the simulated press)"
    wine heart_bench.exe latency --presses "$presses" || latency_rc=1
    wine heart_bench.exe growth --program "$program" --presses "$growth_presses" || latency_rc=1
    wine heart_bench.exe stacks --program "$program" || latency_rc=1

    # Let the program settle after the presses, then leave it alone. The Linux view
    # is read inside the bench's quiet window, so the bench's own start-up is not in it.
    sleep 2  # a quiet period before the idle measurement; nothing is checked
    server=$(kb_wineserver_pid)
    # The wine launcher execs the loader, so the job's pid is the program's Linux process.
    tr '\0' ' ' <"/proc/$hostpid/cmdline" 2>/dev/null | grep -qF "$program" && host_linux=1 || host_linux=""
    wine heart_bench.exe idle --seconds "$idle_seconds" --program "$program" &
    benchpid=$!
    sleep 1  # the bench's own start-up, kept out of the measured window
    window=$((idle_seconds > 3 ? idle_seconds - 2 : 1))
    if [ -n "$host_linux" ]; then host0=$(cpu_ms "$hostpid"); sw0=$(switches "$hostpid"); fi
    [ -n "$server" ] && { server0=$(cpu_ms "$server"); ssw0=$(switches "$server"); }
    sleep "$window"
    bench_mem="$(status_kb "$benchpid" VmRSS) kB resident, $(status_kb "$benchpid" RssAnon) kB anonymous"
    if [ -n "$host_linux" ]; then host1=$(cpu_ms "$hostpid"); sw1=$(switches "$hostpid"); fi
    [ -n "$server" ] && { server1=$(cpu_ms "$server"); ssw1=$(switches "$server"); }
    wait "$benchpid" || idle_rc=1
    share() { awk -v a="$1" -v b="$2" -v s="$3" 'BEGIN { printf "%.0f ms (%.3f %% of one core)", b - a, (b - a) / s / 10 }'; }
    rate() { awk -v a="$1" -v b="$2" -v s="$3" 'BEGIN { printf "%.1f per second", (b - a) / s }'; }
    if [ -n "$host0" ] && [ -n "$host1" ]; then
        echo "idle   Linux view over ${window} s: $program process $(share "$host0" "$host1" "$window"), context switches of its threads $(rate "$sw0" "$sw1" "$window")"
        echo "memory Linux view: $program resident $(status_kb "$hostpid" VmRSS) kB, of which anonymous (private) $(status_kb "$hostpid" RssAnon) kB"
        echo "memory Linux view: heart_bench in its idle wait (a small program under Wine, for comparison): $bench_mem"
    fi
    if [ -n "$server" ] && [ -n "$server0" ] && [ -n "$server1" ]; then
        echo "idle   Linux view over ${window} s: its wineserver $(share "$server0" "$server1" "$window"), context switches $(rate "$ssw0" "$ssw1" "$window") (the server serves every wait and wake-up)"
    fi

    stop_program
    [ "$program" = KbPanel.exe ] && wine reg delete "$panel_key" /f >/dev/null 2>&1

    # The same wineserver without the program, for comparison.
    if [ -n "$server" ]; then
        base=$((window < 20 ? window : 20))
        sleep 1  # the program's exit, kept out of the measured window
        b0=$(cpu_ms "$server"); bs0=$(switches "$server"); sleep "$base"; b1=$(cpu_ms "$server"); bs1=$(switches "$server")
        [ -n "$b0" ] && [ -n "$b1" ] && echo "idle   Linux view over ${base} s without the program: wineserver $(share "$b0" "$b1" "$base"), context switches $(rate "$bs0" "$bs1" "$base")"
    fi
}

latency_rc=0
idle_rc=0
for program in "${programs[@]}"; do
    measure_program
done

layers_rc=0
wine heart_bench.exe layers-profile "$(winpath "$work/layers.json")" || exit 1
wine px3tool.exe build "$(winpath "$work/layers.json")" "$(winpath "$work/layers.px3")" || exit 1
echo "== the switch's own table requests, no program running (${presses} applies)"
wine follow_bench.exe requests --rounds "$presses" "$(winpath "$work/bench.px3")" "$(winpath "$work/layers.px3")" || layers_rc=1
echo "== kbhost.exe layers under Wine ($presses presses each; ms from the simulated press)"
program=kbhost.exe
wine kbhost.exe --profile "$(winpath "$work/layers.px3")" >"$work/host.log" 2>&1 </dev/null &
hostpid=$!
eventually 'grep -qs "^attach 1" "$work/host.log"' 20 || { cat "$work/host.log"; echo "kbhost did not attach"; exit 1; }
wine heart_bench.exe layers --presses "$presses" || layers_rc=1
stop_program
[ "$floor_rc" -eq 0 ] && [ "$layers_rc" -eq 0 ] && [ "$latency_rc" -eq 0 ] && [ "$idle_rc" -eq 0 ]
