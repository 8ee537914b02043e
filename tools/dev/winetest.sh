#!/usr/bin/env bash
# Runs the Windows test programs of a manifest under Wine, each with a time limit.
#   winetest.sh BUILD_DIR MANIFEST...
# Manifest lines: NAME <tab> TIMEOUT <tab> exe|script <tab> PATH <tab> ARGS
# A crash, a hang, a missing DLL or any non-zero exit counts as a failure.
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

run_one() {
    local name="$1" limit="$2" kind="$3" path="$4" args="$5"
    local log="$logdir/$name.log" rc start end
    start=$(date +%s%N)
    if [ "$kind" = exe ]; then
        # shellcheck disable=SC2086
        (cd "$(dirname "$path")" && timeout -k 5 "$limit" wine "$path" $args) >"$log" 2>&1
    else
        KB_WINE_NESTED=1 timeout -k 5 "$limit" bash "$path" >"$log" 2>&1
    fi
    rc=$?
    end=$(date +%s%N)
    local ms secs np nf why=""
    ms=$(( (end - start) / 1000000 ))
    secs="$((ms / 1000)).$(( (ms % 1000) / 100 ))"
    np=$(count_line "$log" PASSED); nf=$(count_line "$log" FAILED)
    np=${np:-0}; nf=${nf:-0}
    if [ $rc -eq 0 ] && [ "$nf" -eq 0 ]; then
        [ "$np" -gt 0 ] || np=1
        passed=$((passed + np))
        echo "[wine] ok   $name ($np, ${secs}s)"
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
    echo "[wine] FAIL $name: $why, $nf failed (${secs}s); last lines of $log:"
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
