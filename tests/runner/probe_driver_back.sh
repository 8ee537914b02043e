#!/usr/bin/env bash
# Runs after probe_driver_lost: the runner has started the server again and,
# since the prefix still had the driver installed, the driver too.
set -u
cd "$KB_BIN" || exit 1
state=$(wine kbsim.exe status | tr -d '\r')
wine kbsim.exe remove >/dev/null
[ "$state" = "driver: running" ] || { echo "FAILED: the stand-in driver is not running again ($state)"; exit 1; }
echo "[  PASSED  ] 1 test."
