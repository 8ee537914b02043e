# Sourced by the scripts that drive kbhost with the simulated keyboard. They
# run under the Wine test runner (KB_BIN set) or by hand; by hand,
# kb_host_script_setup NAME builds what they need (log: build/NAME-build.log)
# and sets Wine up; the caller ends it with kb_wine_down.
kb_host_script_setup() {
    [ -n "${KB_BIN:-}" ] && return 0
    local dir
    dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    . "$dir/common.sh"
    cmake --build "$KB_BUILD/win64" --target kbhost kbsim px3tool hidport KinsetDll Multact kinsetc_sys \
        >"$KB_BUILD/$1-build.log" 2>&1 || { tail -n 20 "$KB_BUILD/$1-build.log"; return 1; }
    . "$dir/wine-env.sh"
    kb_wine_up "$KB_BUILD/win64"
}
