# Sourced by the scripts that drive kbhost with the simulated keyboard. They
# run under the Wine test runner (KB_BIN set) or by hand; by hand,
# kb_host_script_setup NAME builds what they need (log: build/NAME-build.log)
# and sets Wine up. Either way it enters the programs' folder and gives the
# script $work, $hostpid (a kbhost it starts in the background) and the
# clean-up at exit, which first runs $kb_host_more_cleanup if the script set it.
kb_host_script_setup() {
    if [ -z "${KB_BIN:-}" ]; then
        local dir
        dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
        . "$dir/common.sh"
        cmake --build "$KB_BUILD/win64" --target kbhost kbsim px3tool hidport KinsetDll Multact kinsetc_sys \
            >"$KB_BUILD/$1-build.log" 2>&1 || { tail -n 20 "$KB_BUILD/$1-build.log"; return 1; }
        . "$dir/wine-env.sh"
        kb_wine_up "$KB_BUILD/win64" || return 1
    fi
    cd "$KB_BIN" || return 1
    work=$(mktemp -d)
    hostpid=""
    trap kb_host_script_cleanup EXIT
}

kb_host_script_cleanup() {
    [ -n "$hostpid" ] && { wine kbhost.exe stop >/dev/null 2>&1; wait "$hostpid" 2>/dev/null; }
    [ -n "${kb_host_more_cleanup:-}" ] && eval "$kb_host_more_cleanup"
    wine kbsim.exe remove >/dev/null 2>&1
    rm -rf "$work"
    if declare -F kb_wine_down >/dev/null; then kb_wine_down; fi
}
