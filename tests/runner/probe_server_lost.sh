#!/usr/bin/env bash
# The first run loses this prefix's wineserver under a running program, as a
# test does when the server dies; the runner must start it again and run this
# once more, and the second run passes. KB_PROBE_DIR keeps the first run's mark.
set -u
. "$KB_ROOT/tools/dev/wine-env.sh"
. "$KB_ROOT/tools/dev/e2e-lib.sh"
mark="$KB_PROBE_DIR/server_lost.first"
if [ -e "$mark" ]; then
    wine "$KB_BIN/probe_pass.exe" >/dev/null || exit 1
    echo "[  PASSED  ] 1 test."
    exit 0
fi
touch "$mark"
ours() {  # PID: a program of this prefix
    tr '\0' '\n' <"/proc/$1/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"
}
hanging() { local p; for p in $(pgrep -x probe_hang.exe); do ours "$p" && return 0; done; return 1; }
wine "$KB_BIN/probe_hang.exe" &
client=$!
eventually hanging 20 || { echo "probe_hang.exe did not start"; exit 1; }
server=$(kb_wineserver_pid)
[ -n "$server" ] && kill -9 "$server"
wait "$client"
echo "the server is gone"
exit 1
