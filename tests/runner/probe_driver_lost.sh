#!/usr/bin/env bash
# Installs the stand-in driver and then ends this prefix's wineserver, which
# takes the driver along: a server gone between two tests. Passes.
set -u
cd "$KB_BIN" || exit 1
wine kbsim.exe install >/dev/null || { echo "cannot install the stand-in driver"; exit 1; }
wineserver -k
echo "[  PASSED  ] 1 test."
