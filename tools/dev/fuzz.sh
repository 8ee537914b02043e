#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan/UBSan) in build/fuzz, writes their
# seed corpora and runs each target.
#   tools/dev/fuzz.sh [SECONDS] [TARGET...]
# SECONDS per target (default 3600). Runs at the lowest priority on one core.
# New findings land in build/fuzz/findings/TARGET; the corpus grows in
# build/fuzz/corpus/TARGET. Prints one line per target:
#   fuzz TARGET: N executions in S s, OK|FOUND
set -u
. "$(dirname "$0")/common.sh"
seconds="${1:-3600}"
shift || true
# The skin INI value target joins this list when it exists.
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(profile_fuzz px3_build_fuzz skin_values_fuzz)
# KB_FUZZ_DIR: another build folder, so a long run and the tests' short runs
# do not rebuild each other's programs.
dir="${KB_FUZZ_DIR:-$KB_BUILD/fuzz}"

kb_install_packages || exit 1
if [ ! -f "$dir/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$KB_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
        -DKB_FUZZ=ON -DKB_SANITIZE=ON -DKB_BUILD_TESTS=OFF >"$dir.configure.log" 2>&1 ||
        { cat "$dir.configure.log" >&2; rm -f "$dir/CMakeCache.txt"; exit 1; }
fi
cmake --build "$dir" --target fuzz_seeds "${targets[@]}" >"$dir.build.log" 2>&1 ||
    { grep -E 'error' "$dir.build.log" | head -20 >&2; exit 1; }
"$dir/tests/fuzz/fuzz_seeds" "$dir/seeds" >/dev/null || exit 1

status=0
for t in "${targets[@]}"; do
    mkdir -p "$dir/corpus/$t" "$dir/findings/$t"
    log="$dir/$t.log"
    start=$(date +%s)
    # Inputs up to 64 KiB: a profile file is 16 KiB before its macros and texts.
    (cd "$dir/findings/$t" && nice -n 19 "$dir/tests/fuzz/$t" -max_total_time="$seconds" -max_len=65536 \
        -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 "$dir/corpus/$t" "$dir/seeds/$t") >"$log" 2>&1
    rc=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    result=OK
    if [ $rc -ne 0 ] || ls "$dir/findings/$t" | grep -q .; then result=FOUND; status=1; fi
    echo "fuzz $t: ${execs:-0} executions in $(( $(date +%s) - start )) s, $result"
    [ "$result" = OK ] || tail -n 30 "$log" | sed 's/^/    /'
done
exit $status
