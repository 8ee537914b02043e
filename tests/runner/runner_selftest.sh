#!/usr/bin/env bash
# The runner must count a crash, a hang and a missing DLL as failures, within
# their time limits, and a clean exit as a pass; a test that loses the
# wineserver runs once more after the server (and the driver it served) is
# back, and nothing else is ever run again.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$KB_BIN/.." && pwd)
out=$(mktemp)
export KB_PROBE_DIR
KB_PROBE_DIR=$(mktemp -d)
trap 'rm -rf "$out" "$KB_PROBE_DIR"' EXIT

start=$(date +%s)
bash "$root/tools/dev/winetest.sh" "$build" "$build/runner-probes.txt" >"$out" 2>&1
rc=$?
took=$(( $(date +%s) - start ))
cat "$out"

fail=0
check() { if grep -q -- "$1" "$out"; then echo "ok: $2"; else echo "FAILED: $2"; fail=1; fi; }
[ $rc -ne 0 ] && echo "ok: runner exits non-zero" || { echo "FAILED: runner exited 0"; fail=1; }
check '^\[wine\] ok   probe_pass (2,' "a passing program counts its tests"
check '^\[wine\] FAIL probe_crash: crashed' "a crash is a failure"
check '^\[wine\] FAIL probe_hang: timed out after 3s' "a hang is stopped and is a failure"
check '^\[wine\] FAIL probe_missing_dll: ' "a missing DLL is a failure"
check '^\[wine\] ok   probe_server_lost (1, .*, rerun once after a lost wineserver' "a test that lost the wineserver runs once more and says so"
check '^\[wine\] ok   probe_driver_lost (1, [0-9.]*s)$' "a test that passed is not run again"
check '^\[wine\] ok   probe_driver_back ' "a server gone between tests comes back with the driver it served"
if grep '^\[wine\] FAIL' "$out" | grep -q rerun; then echo "FAILED: another failure was run again"; fail=1; else echo "ok: no other failure is run again"; fi
check '^\[wine\] passed 5, failed 3$' "the summary counts them"
[ $took -lt 180 ] && echo "ok: finished in ${took}s" || { echo "FAILED: took ${took}s"; fail=1; }
exit $fail
