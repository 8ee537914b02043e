#!/usr/bin/env bash
# Installs the stand-in driver into this test's Wine prefix, runs the control
# device and attach thread tests against it and removes it again.
set -u
cd "$KB_BIN" || exit 1
trap 'wine kbsim.exe remove >/dev/null 2>&1' EXIT
wine kbsim.exe install || { echo "cannot install the driver"; exit 1; }
wine driver_win_device_test.exe
