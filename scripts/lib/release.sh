# Checks of the 32-bit release program: a 32-bit GUI PE that needs nothing but system DLLs.

# DLLs every Windows installation has; the release program may import from these alone.
QUARL_SYSTEM_DLLS=(kernel32 user32 gdi32 comctl32 comdlg32 ole32 oleaut32 advapi32 shell32
    shlwapi msvcrt ntdll rpcrt4 imm32 uxtheme version winmm ws2_32 winspool.drv)

# quarl_check_release EXE: prints what it found; returns non-zero on the first broken rule.
quarl_check_release() {
    local exe=$1 kind dll allowed bad=0
    if [[ ! -f "$exe" ]]; then
        quarl_log "release: $exe is missing"
        return 1
    fi
    kind=$(file -b "$exe")
    quarl_log "release: $kind"
    if [[ "$kind" != "PE32 "* || "$kind" != *"Intel 80386"* || "$kind" != *"(GUI)"* ]]; then
        quarl_log "release: not a 32-bit Intel GUI program"
        bad=1
    fi
    while read -r dll; do
        allowed=0
        for system in "${QUARL_SYSTEM_DLLS[@]}"; do
            if [[ "${dll,,}" == "$system.dll" || "${dll,,}" == "$system" ]]; then
                allowed=1
            fi
        done
        if ((allowed)); then
            quarl_log "release: imports $dll"
        else
            quarl_log "release: imports $dll, which is no system DLL"
            bad=1
        fi
    done < <(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { print $3 }')
    quarl_log "release: $(stat -c %s "$exe") bytes"
    return "$bad"
}
