# Shared shell helpers of scripts/test and scripts/run: packages, builds, 32-bit Wine, Xvfb.
#
# Every Windows program runs under the Wine of a Debian root kept in build/wine-root (wine64 and
# wine32 8.0), through scripts/lib/wine. This machine's kernel runs no 32-bit code, so the
# 32-bit programs run through qemu-user, registered for i386 programs in binfmt_misc. The root's
# mounts exist only in a private mount namespace of the script that made them.
#
# Environment the tests read (exported by quarl_wine_env and the scripts):
#   WINEPREFIX        the test prefix (build/wineprefix), with a persistent wineserver running
#   DISPLAY           an Xvfb display that Wine's virtual desktop ("Default", 1024x768) lives on
#   WINEDEBUG         -all
#   WINEDLLOVERRIDES  no Mono or Gecko install prompts, and no debugger: a crash ends the process
#   QUARL_PORT_A/B    COM numbers (5 and 6) of a null-modem pair shared by the Windows-side tests
#   QUARL_PTY_A/B     the /dev/pts paths behind COM<QUARL_PORT_A> and COM<QUARL_PORT_B>
#   QUARL_FILE_PORT   COM number (30) whose dosdevices link points at a regular file
#   QUARL_WINE        scripts/lib/wine, which starts 64-bit and 32-bit programs alike
#   QUARL_WINESERVER  scripts/lib/wineserver
# End-to-end tests make their own null-modem pairs on COM numbers from 7 up.
#
# Every background process a helper starts is recorded with quarl_track; quarl_stop_all ends
# them by pid, last started first.

QUARL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
QUARL_WINE="$QUARL_ROOT/scripts/lib/wine"
QUARL_WINESERVER="$QUARL_ROOT/scripts/lib/wineserver"
QUARL_WINE_ROOT="$QUARL_ROOT/build/wine-root"
QUARL_PACKAGES=(cmake g++ googletest libgtest-dev g++-mingw-w64-i686-win32
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
    binutils-mingw-w64-x86-64 xvfb socat xdotool imagemagick python3 file x11-utils clang
    libclang-rt-14-dev clang-format debootstrap gcc-multilib osslsigncode openssl)
QUARL_PIDS=()
QUARL_PREFIXES=()

source "$QUARL_ROOT/scripts/lib/wine-root.sh"

quarl_log() { printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }

quarl_track() { QUARL_PIDS+=("$1"); }

# Installs the packages that are missing; apt-get update only runs when something is.
quarl_install_packages() {
    local missing=() package
    for package in "${QUARL_PACKAGES[@]}"; do
        if [[ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)" != "install ok installed" ]]; then
            missing+=("$package")
        fi
    done
    if ((${#missing[@]} == 0)); then
        quarl_log "packages: all present"
        return 0
    fi
    quarl_log "packages: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q </dev/null
    apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
}

# Fails when a C++ file of the repository differs from what clang-format makes of it.
quarl_check_format() {
    cd "$QUARL_ROOT" && git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
}

# quarl_build NAME CMAKE-ARGS...: configures build/NAME once and builds it.
quarl_build() {
    local name=$1
    shift
    local dir="$QUARL_ROOT/build/$name"
    if [[ ! -f "$dir/CMakeCache.txt" ]]; then
        cmake -S "$QUARL_ROOT" -B "$dir" "$@"
    else
        cmake -S "$QUARL_ROOT" -B "$dir" "$@" >/dev/null
    fi
    cmake --build "$dir" -j"$(nproc)"
}

quarl_build_host() { quarl_build host -DQUARL_SANITIZE=ON; }
quarl_build_win64() {
    quarl_build win64 -DCMAKE_TOOLCHAIN_FILE="$QUARL_ROOT/cmake/mingw-x86_64.cmake"
}
quarl_build_win32() {
    quarl_build win32 -DCMAKE_TOOLCHAIN_FILE="$QUARL_ROOT/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DQUARL_TESTS=OFF
}
# The Windows-side tests for i686; their end-to-end tests drive the release program, observed
# by the 64-bit probe.
quarl_build_win32_tests() {
    quarl_build win32-tests -DCMAKE_TOOLCHAIN_FILE="$QUARL_ROOT/cmake/mingw-i686-tests.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel
}

# Starts Xvfb on the first free display from 90 up; exports DISPLAY once the server answers.
quarl_start_xvfb() {
    local number log="$QUARL_ROOT/build/xvfb.log" deadline
    for ((number = 90; number < 190; number++)); do
        [[ -e "/tmp/.X$number-lock" || -e "/tmp/.X11-unix/X$number" ]] && continue
        Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >"$log" 2>&1 &
        local pid=$!
        deadline=$((SECONDS + 30))
        while ((SECONDS < deadline)) && kill -0 "$pid" 2>/dev/null; do
            if xdpyinfo -display ":$number" >/dev/null 2>&1; then
                quarl_track "$pid"
                export DISPLAY=":$number"
                quarl_log "Xvfb: display $DISPLAY (pid $pid)"
                return 0
            fi
            sleep 0.1
        done
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    quarl_log "Xvfb: no display could be started (see $log)"
    return 1
}

quarl_wine_env() {
    export WINEPREFIX=$1
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
    export WINEARCH=win64
    export QUARL_WINE QUARL_WINESERVER
}

# Wine's registry editor on the current prefix, its chatter dropped.
quarl_reg() { "$QUARL_WINE" reg "$@" >/dev/null 2>&1; }

# quarl_prepare_prefix DIR [desktop|nodesktop]: creates or reuses a Wine prefix, starts its
# persistent wineserver (stopped again by quarl_stop_all) and sets the desktop mode. In the
# virtual desktop every window gets a caption bar and every process keeps its console output.
quarl_prepare_prefix() {
    local prefix=$1 mode=${2:-desktop}
    quarl_wine_env "$prefix"
    local marker="$prefix/.quarl-ready"
    # A prefix without syswow64 was made by a Wine without its 32-bit half.
    if [[ -f "$marker" && ( ! -f "$prefix/system.reg" || ! -d "$prefix/drive_c/windows/system32" ||
        ! -d "$prefix/drive_c/windows/syswow64" ) ]]; then
        quarl_log "wine: prefix $prefix is damaged, making it anew"
        "$QUARL_WINESERVER" -k 2>/dev/null || true
        rm -rf "$prefix"
    fi
    mkdir -p "$prefix" || return 1
    QUARL_PREFIXES+=("$prefix")
    "$QUARL_WINESERVER" -p 2>>"$QUARL_ROOT/build/wineserver.log" || return 1
    local created=
    if [[ ! -f "$marker" ]]; then
        created=1
        quarl_log "wine: creating prefix $prefix"
        "$QUARL_WINE" wineboot -i >>"$QUARL_ROOT/build/wineboot.log" 2>&1 || return 1
        quarl_reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f ||
            return 1
        touch "$marker"
    else
        quarl_log "wine: reusing prefix $prefix"
    fi
    quarl_link_wine_fonts "$prefix" || return 1
    if [[ "$mode" == desktop ]]; then
        quarl_reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f || return 1
        quarl_reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f ||
            return 1
    else
        quarl_reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f || true
    fi
    # The desktop process that wineboot started still runs in the mode it began with, and the
    # next programs would join it: restart the server so that they start one in this mode.
    if [[ -n "$created" ]]; then
        "$QUARL_WINESERVER" -k 2>/dev/null || true
        "$QUARL_WINESERVER" -p 2>>"$QUARL_ROOT/build/wineserver.log" || return 1
    fi
}

# quarl_start_nullmodem OUTFILE ARGS...: runs scripts/lib/nullmodem in the background and waits
# until it has made its links; its lines ("COM5 /dev/pts/3", ...) are then in OUTFILE.
quarl_start_nullmodem() {
    local out=$1
    shift
    : >"$out"
    python3 "$QUARL_ROOT/scripts/lib/nullmodem" "$@" >"$out" 2>&1 </dev/null &
    local pid=$! deadline=$((SECONDS + 30))
    quarl_track "$pid"
    while ! grep -qx READY "$out"; do
        if ! kill -0 "$pid" 2>/dev/null || ((SECONDS >= deadline)); then
            quarl_log "null modem did not start:"
            cat "$out" >&2
            return 1
        fi
        sleep 0.05
    done
}

# The pty path the null modem in OUTFILE gave to NAME ("COM5", "INSTRUMENT").
quarl_nullmodem_end() { awk -v name="$2" '$1 == name { print $2 }' "$1"; }

# Links COM<number> of the prefix to a regular file, for tests of a port name that is no device.
quarl_link_file_port() {
    local number=$1 file="$QUARL_ROOT/build/file-port.bin"
    printf 'not a serial line\n' >"$file" || return 1
    ln -sfn "$file" "$WINEPREFIX/dosdevices/com$number" || return 1
}

# Ends every tracked process and every persistent wineserver started here.
quarl_stop_all() {
    local i pid prefix
    # Wine first, so no Windows process outlives the display or the ports it uses.
    for prefix in "${QUARL_PREFIXES[@]}"; do
        WINEPREFIX="$prefix" "$QUARL_WINESERVER" -k 2>/dev/null || true
    done
    QUARL_PREFIXES=()
    for ((i = ${#QUARL_PIDS[@]} - 1; i >= 0; i--)); do
        kill "${QUARL_PIDS[i]}" 2>/dev/null || true
    done
    for pid in "${QUARL_PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    QUARL_PIDS=()
}
