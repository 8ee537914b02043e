#!/usr/bin/env bash
# check-setup.sh SETUP BIN OBJDUMP FORMAT: the setup holds exactly the programs,
# skin and help of BIN, every program built for FORMAT (e.g. pei-i386), and
# nothing of the keyboard's maker or the simulator. Used for the 32-bit setup,
# which cannot run here.
set -u
setup="$1" bin="$2" objdump="$3" format="$4"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[ -f "$setup" ] || { echo "setup check: $setup was not built"; exit 1; }
7z x -y -o"$work" "$setup" >/dev/null || { echo "setup check: 7z cannot read $setup"; exit 1; }
listing() { (cd "$1" && find . -type f ! -path './$PLUGINSDIR/*' ! -name Uninstall.exe | sort); }
expected=$( (cd "$bin" && { printf '%s\n' ./KbPanel.exe ./KinsetDll.dll ./Multact.dll; find ./Skins ./Help -type f; } | sort) )
actual=$(listing "$work")
if [ "$expected" != "$actual" ]; then
    echo "setup check: contents differ from the build"
    diff <(echo "$expected") <(echo "$actual")
    exit 1
fi
for f in KbPanel.exe KinsetDll.dll Multact.dll; do
    cmp -s "$bin/$f" "$work/$f" || { echo "setup check: $f differs from the build"; exit 1; }
    "$objdump" -f "$work/$f" | grep -q "file format $format" || { echo "setup check: $f is not $format"; exit 1; }
done
echo "setup check: $(basename "$setup") holds $(echo "$actual" | wc -l) files, all $format"
