#!/usr/bin/env bash
# Builds everything that is out of date and runs every test: host unit tests
# (ctest, sanitizers), 32-bit export checks and Windows tests under Wine.
# Ends with one line "N passed, N failed".
. "$(dirname "$0")/tools/dev/common.sh"
mkdir -p "$KB_BUILD"
passed=0
failed=0
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

kb_install_packages || { echo "package install failed" >&2; failed=1; finish; }
for b in host win64 win32; do
    "kb_build_$b" || failed=$((failed + 1))
done
[ "$failed" -eq 0 ] || finish

# Host unit tests.
log="$KB_BUILD/host-ctest.log"
ctest --test-dir "$KB_BUILD/host" --output-on-failure -j "$(nproc)" >"$log" 2>&1
total=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2/p' "$log")
bad=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1/p' "$log")
if [ -z "$total" ]; then
    tail -n 30 "$log"
    failed=$((failed + 1))
else
    [ "$bad" -eq 0 ] || sed -n '/The following tests FAILED/,$p' "$log"
    passed=$((passed + total - bad)); failed=$((failed + bad))
    echo "[host] passed $((total - bad)), failed $bad"
fi

# ThreadSanitizer build of the code threads share: each program must pass
# with no report.
if kb_build_tsan; then
    for t in "${KB_TSAN_TESTS[@]}"; do
        exe=$(find "$KB_BUILD/tsan" -name "$t" -type f -perm -u+x | head -n 1)
        if [ -n "$exe" ] && TSAN_OPTIONS="halt_on_error=1 exitcode=66" timeout 300 "$exe" >"$KB_BUILD/tsan-$t.log" 2>&1; then
            passed=$((passed + 1))
        else
            echo "[tsan] FAIL $t; see $KB_BUILD/tsan-$t.log"
            grep -m 5 -E 'ThreadSanitizer|FAILED' "$KB_BUILD/tsan-$t.log"
            failed=$((failed + 1))
        fi
    done
    echo "[tsan] ran ${#KB_TSAN_TESTS[@]} programs"
else
    failed=$((failed + 1))
fi

# Fuzzers: a few seconds each from the seed corpus (tools/dev/fuzz.sh runs them long).
if bash "$KB_ROOT/tools/dev/fuzz.sh" 4 >"$KB_BUILD/fuzz-short.log" 2>&1; then
    n=$(grep -c '^fuzz .*OK$' "$KB_BUILD/fuzz-short.log")
    passed=$((passed + n))
    grep '^fuzz ' "$KB_BUILD/fuzz-short.log"
else
    cat "$KB_BUILD/fuzz-short.log"
    failed=$((failed + 1))
fi

# 32-bit export tables (the 32-bit build is compiled, never run here).
if [ -f "$KB_BUILD/win32/export-checks.txt" ]; then
    while IFS=$'\t' read -r dll names; do
        [ -n "$dll" ] || continue
        if bash "$KB_ROOT/tools/dev/check-exports.sh" i686-w64-mingw32-objdump "$dll" "$names"; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
        fi
    done <"$KB_BUILD/win32/export-checks.txt"
fi

# The 32-bit setup: its contents against the 32-bit build.
if [ -f "$KB_BUILD/win32/bin/KbPanel.exe" ]; then
    setup=$(ls "$KB_BUILD"/win32/KbPanel-*-x86-setup.exe 2>/dev/null | head -n 1)
    if bash "$KB_ROOT/tools/dev/check-setup.sh" "$setup" "$KB_BUILD/win32/bin" i686-w64-mingw32-objdump pei-i386; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
fi

# Windows tests under Wine.
wlog="$KB_BUILD/wine-summary.log"
bash "$KB_ROOT/tools/dev/winetest.sh" "$KB_BUILD/win64" "$KB_BUILD/win64/wine-tests.txt" | tee "$wlog"
wp=$(sed -n 's/^\[wine\] passed \([0-9]*\), failed \([0-9]*\)$/\1/p' "$wlog")
wf=$(sed -n 's/^\[wine\] passed \([0-9]*\), failed \([0-9]*\)$/\2/p' "$wlog")
if [ -z "$wp" ]; then failed=$((failed + 1)); else passed=$((passed + wp)); failed=$((failed + wf)); fi
finish
