# Sourced by run.sh and test.sh: package installs and the three builds.
set -u
KB_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
KB_BUILD="$KB_ROOT/build"
# Several checkouts (git worktrees) share one compiler cache.
export CCACHE_BASEDIR="$KB_ROOT" CCACHE_NOHASHDIR=true

KB_PACKAGES=(
    cmake ninja-build g++ ccache
    googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev clang libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
    wine wine64 xvfb x11-utils fonts-wqy-microhei xdotool imagemagick
    nsis p7zip-full python3-pil fonts-dejavu-core
)

# Installs what is missing; quiet and quick when everything is present.
kb_install_packages() {
    local missing=() p
    for p in "${KB_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >/dev/null || return 1
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || return 1
}

# kb_build NAME [cmake args...]: configure once, then build what is out of date.
kb_build() {
    local name="$1"; shift
    local dir="$KB_BUILD/$name"
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S "$KB_ROOT" -B "$dir" -G Ninja \
            -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@" >"$KB_BUILD/$name-configure.log" 2>&1 || {
            cat "$KB_BUILD/$name-configure.log" >&2
            rm -f "$dir/CMakeCache.txt"
            return 1
        }
    fi
    cmake --build "$dir" -j "$(nproc)" >"$KB_BUILD/$name-build.log" 2>&1 || {
        grep -E 'error|Error|warning' "$KB_BUILD/$name-build.log" | head -40 >&2
        echo "build $name failed; see $KB_BUILD/$name-build.log" >&2
        return 1
    }
    echo "built $name"
}

kb_build_host() {
    kb_build host -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1 -g" -DKB_SANITIZE=ON
}

# ThreadSanitizer: the portable code that threads share (playback engine,
# key functions and latches, the injection library's keyboard). Only these.
KB_TSAN_TESTS=(playback_test key_functions_test kinset_keyboard_test)
kb_build_tsan() {
    local dir="$KB_BUILD/tsan"
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S "$KB_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1 -g" \
            -DKB_TSAN=ON -DKB_SANITIZE=OFF \
            -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >"$KB_BUILD/tsan-configure.log" 2>&1 || {
            cat "$KB_BUILD/tsan-configure.log" >&2
            rm -f "$dir/CMakeCache.txt"
            return 1
        }
    fi
    cmake --build "$dir" -j "$(nproc)" --target "${KB_TSAN_TESTS[@]}" >"$KB_BUILD/tsan-build.log" 2>&1 || {
        grep -E 'error|warning' "$KB_BUILD/tsan-build.log" | head -40 >&2
        echo "build tsan failed; see $KB_BUILD/tsan-build.log" >&2
        return 1
    }
    echo "built tsan"
}

kb_build_win64() {
    kb_build win64 -DCMAKE_TOOLCHAIN_FILE="$KB_ROOT/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release
}

kb_build_win32() {
    kb_build win32 -DCMAKE_TOOLCHAIN_FILE="$KB_ROOT/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DKB_BUILD_TESTS=OFF
}
