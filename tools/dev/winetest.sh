#!/usr/bin/env bash
# Runs the Windows test programs of a manifest under Wine, each with a time limit.
#   winetest.sh BUILD_DIR MANIFEST...
# Manifest lines: NAME <tab> TIMEOUT <tab> exe|script <tab> PATH <tab> ARGS
# A crash, a hang, a missing DLL or any non-zero exit counts as a failure.
# A wineserver lost during a test ("wine client error", or no server left) is
# started again, with the stand-in driver if it was installed, and that one
# test runs once more; its line says so. No other failure is retried.
# Prints "[wine] passed P, failed F" and exits non-zero when anything failed.
# With KB_WINE_NESTED=1 the caller's prefix, display and wineserver are reused.
set -u
here=$(cd "$(dirname "$0")" && pwd)
# The scripts find the shared end-to-end helpers through it.
export KB_ROOT="${KB_ROOT:-$(cd "$here/../.." && pwd)}"
build=$(cd "$1" && pwd); shift
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"

if [ "${KB_WINE_NESTED:-0}" != 1 ]; then
    trap 'kb_wine_down' EXIT
    trap 'exit 130' INT TERM
    kb_wine_up "$build" || { echo "[wine] passed 0, failed 1"; exit 1; }
fi

logdir="$build/wine-logs"
mkdir -p "$logdir"
passed=0
failed=0

count_line() {  # count_line LOG WORD -> number from a gtest "[  WORD  ] N test" line
    sed -n "s/^\[  $2  \] \([0-9][0-9]*\) test.*/\1/p" "$1" | tail -n 1
}

# One run of a test: its log, its status in $rc and its time in $secs.
attempt() {
    local limit="$1" kind="$2" path="$3" args="$4" log="$5" start end ms
    start=$(date +%s%N)
    if [ "$kind" = exe ]; then
        # shellcheck disable=SC2086
        (cd "$(dirname "$path")" && timeout -k 5 "$limit" wine "$path" $args) >"$log" 2>&1
    else
        KB_WINE_NESTED=1 timeout -k 5 "$limit" bash "$path" >"$log" 2>&1
    fi
    rc=$?
    end=$(date +%s%N)
    ms=$(( (end - start) / 1000000 ))
    secs="$((ms / 1000)).$(( (ms % 1000) / 100 ))"
}

# The server went away under the test: its clients say so, or none is left.
server_lost() {
    grep -q 'wine client error' "$1" || [ -z "$(kb_wineserver_pid)" ]
}

# A new server, and the stand-in driver again if the prefix still has it
# installed (it lived in the old server's winedevice.exe): a test that
# installed it expects it to run until it removes it.
recover_server() {
    local driver
    kb_wineserver_start || { echo "[wine] the wineserver cannot be started again" >&2; return 1; }
    [ -x "$KB_BIN/kbsim.exe" ] || return 0
    driver=$(cd "$KB_BIN" && wine kbsim.exe status 2>/dev/null | tr -d '\r')
    if [ "$driver" = "driver: stopped" ] && (cd "$KB_BIN" && wine reg query \
        'HKLM\System\CurrentControlSet\Services\KinsetC' >/dev/null 2>&1); then
        (cd "$KB_BIN" && wine kbsim.exe install >/dev/null 2>&1) || echo "[wine] the stand-in driver did not start again" >&2
    fi
}

# Our programs still running in this prefix (other work trees run their own).
# A test must end what it started: a program left behind holds its single-
# instance mutex and its driver tables, and the next test's start hands over
# to it.
leftovers() {
    local p
    for p in $(pgrep -x KbPanel.exe; pgrep -x kbhost.exe; pgrep -x notepad.exe); do
        tr '\0' '\n' 2>/dev/null <"/proc/$p/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
            echo "$(cat "/proc/$p/comm" 2>/dev/null) $p"
    done
}
# Waits up to 10 s for them to end by themselves, then ends them; prints the
# names of those that had to be ended.
end_leftovers() {
    local left i
    for i in $(seq 100); do
        left=$(leftovers)
        [ -n "$left" ] || return 0
        sleep 0.1  # the poll's interval, bounded by the loop's count
    done
    echo "$left" | while read -r comm pid; do kill -9 "$pid" 2>/dev/null; echo "$comm"; done | sort -u | tr '\n' ' '
}

run_one() {
    local name="$1" limit="$2" kind="$3" path="$4" args="$5"
    local log="$logdir/$name.log" rc secs note=""
    if [ -z "$(kb_wineserver_pid)" ]; then
        echo "[wine] note: the wineserver was gone before $name; started again"
        recover_server
    fi
    attempt "$limit" "$kind" "$path" "$args" "$log"
    if server_lost "$log"; then
        recover_server
        if [ $rc -ne 0 ] || [ "$(count_line "$log" FAILED)" ]; then
            mv "$log" "$logdir/$name.lost.log"
            note=", rerun once after a lost wineserver (first run: $logdir/$name.lost.log)"
            attempt "$limit" "$kind" "$path" "$args" "$log"
            server_lost "$log" && recover_server
        fi
    fi
    local np nf why="" left
    np=$(count_line "$log" PASSED); nf=$(count_line "$log" FAILED)
    np=${np:-0}; nf=${nf:-0}
    left=$(end_leftovers)
    if [ -n "$left" ]; then
        echo "FAILED: the test left ${left}running" >>"$log"
        nf=$((nf + 1))
    fi
    if [ $rc -eq 0 ] && [ "$nf" -eq 0 ]; then
        [ "$np" -gt 0 ] || np=1
        passed=$((passed + np))
        echo "[wine] ok   $name ($np, ${secs}s$note)"
        return
    fi
    case $rc in
        124|137) why="timed out after ${limit}s" ;;
        3|5) why="crashed (exit $rc)" ;;
        53) why="missing DLL (exit 53)" ;;
        *) why="exit $rc" ;;
    esac
    [ "$nf" -gt 0 ] || nf=1
    passed=$((passed + np))
    failed=$((failed + nf))
    echo "[wine] FAIL $name: $why, $nf failed (${secs}s$note); last lines of $log:"
    tail -n 15 "$log" | sed 's/^/    /'
}

for manifest in "$@"; do
    if [ ! -r "$manifest" ]; then
        echo "[wine] FAIL no manifest $manifest"
        failed=$((failed + 1))
        continue
    fi
    while IFS=$'\t' read -r name limit kind path args; do
        [ -n "$name" ] || continue
        run_one "$name" "$limit" "$kind" "$path" "$args"
    done <"$manifest"
done

echo "[wine] passed $passed, failed $failed"
[ $failed -eq 0 ]
