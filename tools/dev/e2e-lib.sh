# Shared by the end-to-end scripts that the Wine runner starts: the pass and
# fail counts, checks, polling, and the summary lines the runner counts.
#   . "$KB_ROOT/tools/dev/e2e-lib.sh"   ...   e2e_summary
passed=0
failed=0
ok() { echo "ok: $1"; passed=$((passed + 1)); }
bad() { echo "FAILED: $1"; failed=$((failed + 1)); }
# check CONDITION DESCRIPTION: CONDITION is a shell condition, evaluated once.
check() { if eval "$1"; then ok "$2"; else bad "$2"; return 1; fi; }
# winpath UNIX_PATH -> the Windows path. Under load Wine now and then fails to
# start winepath.exe and prints its launcher's error on standard output
# instead; that is no path, so it is asked again.
winpath() {
    local out i
    for i in 1 2 3; do
        out=$(winepath -w "$1" 2>/dev/null)
        case "$out" in [A-Za-z]:\\*) echo "$out"; return 0 ;; esac
        echo "winpath: no path for $1 (try $i): $out" >&2
        sleep 0.5  # a pause before asking again: Wine is busy
    done
    return 1
}
# eventually CONDITION [SECONDS] [EVERY]: polls CONDITION every EVERY seconds
# (0.1) until it holds or SECONDS (10; fractions allowed) have passed by the
# clock, however slow each try is. On the deadline it says on stderr what it
# waited for. No deadline is shorter than KB_E2E_MIN_WAIT (15) seconds: on a
# busy machine one look through a Wine process takes a second or more, and a
# deadline only bounds how long a failure takes to show.
eventually() {
    local cond="$1" limit="${2:-10}" every="${3:-0.1}" now end
    limit=$(awk -v s="$limit" -v m="${KB_E2E_MIN_WAIT:-15}" 'BEGIN { print (s < m) ? m : s }')
    now=${EPOCHREALTIME/./}
    end=$((now + $(awk -v s="$limit" 'BEGIN { printf "%d", s * 1000000 }')))
    while :; do
        eval "$cond" && return 0
        now=${EPOCHREALTIME/./}
        [ "$now" -lt "$end" ] || break
        sleep "$every"
    done
    echo "eventually: not true within ${limit}s: $cond" >&2
    return 1
}
# The last command of a script: its counts in the form the runner reads, and its status.
e2e_summary() {
    echo "[  PASSED  ] $passed tests."
    [ "$failed" -eq 0 ] || echo "[  FAILED  ] $failed tests."
    [ "$failed" -eq 0 ]
}

# The simulated keyboard: keys, and what reached the system (phys) or was
# injected (inj) since the output was last cleared.
inj() { wine kbsim.exe output | tr -d '\r' | sed -n 's/^inj //p' | tr '\n' ' '; }
phys() { wine kbsim.exe output | tr -d '\r' | sed -n 's/^phys //p' | tr '\n' ' '; }
clear_output() { wine kbsim.exe output --clear >/dev/null; }
tap() { wine kbsim.exe key "$1" tap >/dev/null; }
# types_into_target KEY TEXT NAME: KEY tapped into type_target.exe's edit field
# (in front; NAME names its events); true when the field then holds TEXT.
types_into_target() {
    local pid rc=1
    typed_file="$work/typed-$3.txt" typed_text=$2
    wine type_target.exe "$(winpath "$typed_file")" "$3" >/dev/null 2>&1 &
    pid=$!
    # The file appears once the edit field has the focus.
    eventually '[ -e "$typed_file" ]' 10
    tap "$1"
    eventually '[ "$(cat "$typed_file" 2>/dev/null)" = "$typed_text" ]' 10 && rc=0
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return $rc
}
key() { wine kbsim.exe key "$@" >/dev/null; }
# How often CODE was pressed by injection so far.
presses() { inj | grep -o "key $1 0000" | wc -l; }
# Injected keys still down at the end of the output ("" when none).
left_down() {
    inj | python3 -c '
import sys
w = sys.stdin.read().split()
down = {}
for i in range(0, len(w) - 2, 3):
    if w[i] == "key":
        down[w[i + 1]] = w[i + 2] == "0000"
print(" ".join(sorted(k for k, d in down.items() if d)))'
}

# kbhost_e2e_begin: a work folder ($work) and the simulated keyboard installed;
# on exit the host ($hostpid, when set) is stopped, the keyboard removed and the
# folder gone.
kbhost_e2e_cleanup() {
    [ -n "$hostpid" ] && { wine kbhost.exe stop >/dev/null 2>&1; wait "$hostpid" 2>/dev/null; }
    wine kbsim.exe remove >/dev/null 2>&1
    rm -rf "$work"
}
kbhost_e2e_begin() {
    work=$(mktemp -d)
    hostpid=""
    trap kbhost_e2e_cleanup EXIT
    wine kbsim.exe install >/dev/null || { echo "cannot install the simulated keyboard"; exit 1; }
}
# checks_nothing_after_exit KEY CODE: no injected key is left down, and KEY
# pressed now passes through with no further press of CODE played.
checks_nothing_after_exit() {
    local k="$1" code="$2" rest n
    rest=$(left_down)
    check '[ -z "$rest" ]' "exit leaves no key down" || echo "  down: $rest; output: $(inj)"
    n=$(presses "$code")
    # Once the key's own press is in the output, anything played after the
    # exit would be there too.
    key "$k" tap
    eventually '[[ "$(phys)" == *"key $k 0001"* ]]' 5
    check '[ "$(presses "$code")" = "$n" ]' "nothing is played after the exit"
}
