#!/usr/bin/env bash
# Builds the Windows programs and runs the newest runnable piece under Wine,
# with the simulated keyboard as the device once it exists.
. "$(dirname "$0")/tools/dev/common.sh"
mkdir -p "$KB_BUILD"
kb_install_packages || exit 1
kb_build_win64 || exit 1
. "$KB_ROOT/tools/dev/wine-env.sh"
trap 'kb_wine_down' EXIT
kb_wine_up "$KB_BUILD/win64" || exit 1
echo "KbPanel.exe is not built yet; running the newest runnable piece instead: the key catalogue tests under Wine."
wine "$KB_BIN/key_catalogue_test.exe"
