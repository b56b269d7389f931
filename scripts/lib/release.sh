# Checks of the 32-bit release program: what it is, what it imports, and that it builds to the
# same bytes wherever it is built.

QUARL_XP_EXPORTS="$QUARL_ROOT/scripts/lib/xp-sp3-exports.txt"

# quarl_check_release EXE: the PE header (i386, GUI, OS and subsystem 5.1, DYNAMIC_BASE and
# NX_COMPAT with relocations), imports only of functions Windows XP SP3 exports, and a second
# build, from a copy of the tree in another folder, byte for byte the same. Prints the SHA-256.
quarl_check_release() {
    local exe=$1 bad=0
    if [[ ! -f "$exe" ]]; then
        quarl_log "release: $exe is missing"
        return 1
    fi
    python3 "$QUARL_ROOT/scripts/lib/pe_check.py" "$exe" "$QUARL_XP_EXPORTS" >&2 || bad=1
    quarl_log "release: $(stat -c %s "$exe") bytes"
    quarl_check_reproducible "$exe" || bad=1
    return "$bad"
}

# quarl_check_reproducible EXE: builds the release program again from a copy of the working
# tree in build/repro, so that both the source and the build folder differ, and compares.
quarl_check_reproducible() {
    local exe=$1 work="$QUARL_ROOT/build/repro" copy
    rm -rf "$work"
    mkdir -p "$work/tree"
    tar -C "$QUARL_ROOT" --exclude=./build --exclude=./.git -cf - . | tar -C "$work/tree" -xf - ||
        return 1
    cmake -S "$work/tree" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$work/tree/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DQUARL_TESTS=OFF >"$work/build.log" 2>&1 &&
        cmake --build "$work/build" --target quarl7term -j"$(nproc)" >>"$work/build.log" 2>&1 || {
        quarl_log "release: the second build failed (see $work/build.log)"
        return 1
    }
    copy="$work/build/quarl7term.exe"
    if ! cmp -s "$exe" "$copy"; then
        quarl_log "release: a build in another folder differs: $(cmp -l "$exe" "$copy" | wc -l) bytes"
        return 1
    fi
    quarl_log "release: a build in another folder is byte-identical;" \
        "SHA-256 $(sha256sum "$exe" | cut -d' ' -f1)"
}
