#!/usr/bin/env bash
# Values written by one process are read back by another.
set -u
total=0
for mode in write read; do
    out=$(wine "$KB_BIN/registry_store_probe.exe" "$mode")
    rc=$?
    echo "$out" | grep -v '^\[  PASSED'
    [ $rc -eq 0 ] || exit 1
    n=$(echo "$out" | tr -d '\r' | sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\.$/\1/p')
    total=$((total + ${n:-0}))
done
echo "[  PASSED  ] $total tests."
