# Sourced: a private Wine prefix, a display and a warm wineserver.
#   kb_wine_up BUILD_DIR   sets WINEPREFIX, DISPLAY, WINE* and starts what is missing
#   kb_wine_down           stops wineserver and the Xvfb we started (safe to call twice)

KB_XVFB_PID=""

kb_wine_up() {
    local build="$1"
    export WINEPREFIX="$build/wine-prefix"
    export WINEARCH=win64
    export WINEDEBUG="${WINEDEBUG:--all}"
    # No debugger prompts: a crash exits with a status instead of hanging.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
    export KB_BIN="$build/bin"
    # A server of an earlier session (a program still running) is left alone.
    local earlier_server
    earlier_server=$(kb_wineserver_pid)

    if [ -z "${DISPLAY:-}" ]; then
        local fifo dispno
        fifo=$(mktemp -u)
        mkfifo "$fifo"
        Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
        KB_XVFB_PID=$!
        read -r -t 20 dispno <"$fifo" || true
        rm -f "$fifo"
        if [ -z "$dispno" ]; then
            echo "error: Xvfb did not start" >&2
            return 1
        fi
        export DISPLAY=":$dispno"
    fi

    # A fresh prefix is cached outside the work tree, so a clean clone sets up
    # in a second or two after the first time.
    local cache="${XDG_CACHE_HOME:-$HOME/.cache}/kbpanel"
    local template
    template="$cache/wine-prefix-$(wine --version 2>/dev/null | tr -c 'a-zA-Z0-9.\n-' _)"
    if [ ! -f "$WINEPREFIX/.kb-ready" ] && [ -f "$template/.kb-ready" ]; then
        rm -rf "$WINEPREFIX"
        mkdir -p "$(dirname "$WINEPREFIX")"
        cp -a "$template" "$WINEPREFIX" 2>/dev/null || rm -rf "$WINEPREFIX"
    fi
    if [ ! -f "$WINEPREFIX/.kb-ready" ]; then
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        wine wineboot -i >/dev/null 2>&1 || { echo "error: wineboot failed" >&2; return 1; }
        # Otherwise a second services.exe may appear and service starts fail.
        wineserver -w
        local reg="$WINEPREFIX/kb-fonts.reg"
        {
            printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
            for f in "SimSun" "NSimSun" "Microsoft YaHei" "Microsoft YaHei UI" "PMingLiU" "MS UI Gothic"; do
                printf '"%s"="WenQuanYi Micro Hei"\r\n' "$f"
            done
        } >"$reg"
        wine regedit /S "$reg" >/dev/null 2>&1
        wineserver -w
        touch "$WINEPREFIX/.kb-ready"
        if [ ! -f "$template/.kb-ready" ]; then
            local tmp="$template.tmp.$$"
            mkdir -p "$cache" && wineserver -k >/dev/null 2>&1; wineserver -w
            cp -a "$WINEPREFIX" "$tmp" 2>/dev/null && mv -T "$tmp" "$template" 2>/dev/null
            rm -rf "$tmp"
        fi
    fi
    # Arial and Verdana (the skin's caption fonts) fall back to a Chinese font,
    # as Windows' font linking does; without it Chinese captions show boxes.
    if [ ! -f "$WINEPREFIX/.kb-fontlink" ]; then
        local link='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' f
        for f in Arial Verdana; do
            wine reg add "$link" /v "$f" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
        done
        touch "$WINEPREFIX/.kb-fontlink"
    fi
    if [ -n "$earlier_server" ]; then
        wineserver -p </dev/null >/dev/null 2>&1 || true
    else
        kb_wineserver_start
    fi
}

# The wineserver that serves this prefix (other work trees run their own);
# empty when there is none.
kb_wineserver_pid() {
    local p
    for p in $(pgrep -x 'wineserver(64)?'); do
        if tr '\0' '\n' 2>/dev/null <"/proc/$p/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            echo "$p"
            return
        fi
    done
}

# A persistent server, its streams redirected so that nothing reading a
# test's output waits on it. "wineserver -p" refuses when a server runs
# already, and one that a wine call started lingers only seconds after its
# last program, taking the driver along: such a one is ended first (this
# prefix's only). wineserver returns once the new server answers.
kb_wineserver_start() {
    if [ -n "$(kb_wineserver_pid)" ]; then
        wineserver -k >/dev/null 2>&1
        wineserver -w >/dev/null 2>&1
    fi
    wineserver -p </dev/null >/dev/null 2>&1
    [ -n "$(kb_wineserver_pid)" ]
}

kb_wine_down() {
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    if [ -n "$KB_XVFB_PID" ]; then
        kill "$KB_XVFB_PID" 2>/dev/null || true
        wait "$KB_XVFB_PID" 2>/dev/null || true
        KB_XVFB_PID=""
    fi
}
