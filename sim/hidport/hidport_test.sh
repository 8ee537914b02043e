#!/usr/bin/env bash
# Installs the stand-in driver, runs the Hidport.dll tests and removes the driver again.
set -u
cd "$KB_BIN" || exit 1
trap 'wine kbsim.exe remove >/dev/null 2>&1' EXIT
wine kbsim.exe install || { echo "cannot install the driver"; exit 1; }
wine hidport_test.exe
