# The Wine that runs every Windows program here, 64-bit and 32-bit: a Debian root with wine64
# and wine32 in build/wine-root, and qemu-user for the 32-bit code. Sourced by env.sh.
#
# Why a root of its own: this machine's package index for i386 is not in step with its amd64
# packages (the security archive's i386 index is stale), so wine32:i386 does not install here,
# while a root made from the main archive alone installs wine, wine64 and wine32 cleanly.
# Why qemu-user: the kernel runs no 32-bit code. qemu-user 10 (bookworm-backports), registered
# for i386 programs in binfmt_misc with the F flag, runs them, also inside the root; bookworm's
# own 7.2 spends some 50 s starting each 32-bit Wine process.

QUARL_DEBIAN_MIRROR=${QUARL_DEBIAN_MIRROR:-http://deb.debian.org/debian}
QUARL_BACKPORTS_LIST=/etc/apt/sources.list.d/quarl-bookworm-backports.list
QUARL_BINFMT=/proc/sys/fs/binfmt_misc
# What the root holds; a change here makes the next run build it anew. fonts-wine, which Debian
# only recommends, holds Wine's own fonts: Marlett for the caption buttons and the stand-ins for
# MS Sans Serif and Tahoma, as an operator who installs Wine from Debian has them.
QUARL_ROOT_PACKAGES=(wine wine64 wine32:i386 fonts-wine libxrender1 libxrandr2 libxi6
    libxcursor1 libxinerama1 libxcomposite1 libxfixes3 libxxf86vm1 libxrender1:i386
    libxrandr2:i386 libxi6:i386 libxcursor1:i386 libxinerama1:i386 libxcomposite1:i386
    libxfixes3:i386 libxxf86vm1:i386)
QUARL_TRAPNO_SOURCE="$QUARL_ROOT/tools/wine32/trapno.c"

quarl_fail_32bit() {
    quarl_log "32-bit Wine cannot run here: $*"
    return 1
}

# quarl_enter_mount_namespace ARGS...: runs the calling script again in a private mount
# namespace (once), so that the root's mounts vanish with the script, however it ends.
quarl_enter_mount_namespace() {
    [[ -n "${QUARL_MOUNT_NAMESPACE:-}" ]] && return 0
    export QUARL_MOUNT_NAMESPACE=1
    exec unshare --mount --propagation private "$BASH" "$0" "$@"
}

# Installs qemu-user 10 from bookworm-backports unless it is there. Only this one package comes
# from backports: `-t bookworm-backports` would upgrade other qemu packages too.
quarl_install_qemu() {
    local version
    version=$(/usr/bin/qemu-i386 --version 2>/dev/null | sed -n 's/.*version \([0-9]*\)\..*/\1/p')
    if [[ -n "$version" ]] && ((version >= 10)); then
        return 0
    fi
    quarl_log "32-bit: installing qemu-user from bookworm-backports"
    if [[ ! -f "$QUARL_BACKPORTS_LIST" ]]; then
        echo "deb $QUARL_DEBIAN_MIRROR bookworm-backports main" >"$QUARL_BACKPORTS_LIST" ||
            quarl_fail_32bit "cannot add $QUARL_BACKPORTS_LIST" || return 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q </dev/null >&2 || true
    apt-get install -y -q --no-install-recommends qemu-user/bookworm-backports </dev/null >&2 ||
        quarl_fail_32bit "qemu-user could not be installed from bookworm-backports" || return 1
}

# Registers qemu-i386 for i386 programs in binfmt_misc, with the F flag so that the interpreter
# also serves programs inside the root. Replaces a registration that lacks F or another qemu's.
quarl_register_qemu() {
    local conf=/usr/share/qemu/binfmt.d/qemu-i386.conf entry="$QUARL_BINFMT/qemu-i386" line
    if [[ ! -e "$QUARL_BINFMT/register" ]]; then
        mount -t binfmt_misc binfmt_misc "$QUARL_BINFMT" 2>/dev/null ||
            quarl_fail_32bit "binfmt_misc is not available (mount -t binfmt_misc failed)" ||
            return 1
    fi
    [[ -f "$conf" ]] || quarl_fail_32bit "$conf is missing (qemu-user 10 not installed?)" ||
        return 1
    line=$(<"$conf")
    [[ "${line##*:}" == *F* ]] || line+=F
    local interpreter=${line%:*}
    interpreter=${interpreter##*:}
    if [[ -f "$entry" ]]; then
        if grep -qx enabled "$entry" && grep -qx "interpreter $interpreter" "$entry" &&
            grep -q '^flags: .*F' "$entry"; then
            return 0
        fi
        echo -1 >"$entry" || quarl_fail_32bit "cannot replace the i386 entry of binfmt_misc" ||
            return 1
    fi
    echo "$line" >"$QUARL_BINFMT/register" ||
        quarl_fail_32bit "cannot register qemu-i386 in binfmt_misc" || return 1
    quarl_log "32-bit: qemu-i386 registered in binfmt_misc"
}

# The root's own mounts: the kernel's file systems, /tmp (X and wineserver sockets) and this
# repository at the same path, so paths mean the same inside and out.
quarl_mount_wine_root() {
    local root=$QUARL_WINE_ROOT target
    for target in proc sys dev tmp; do
        mountpoint -q "$root/$target" && continue
        case $target in
        proc) mount -t proc proc "$root/proc" ;;
        *) mount --rbind "/$target" "$root/$target" ;;
        esac || quarl_fail_32bit "cannot mount /$target in $root" || return 1
    done
    if ! mountpoint -q "$root$QUARL_ROOT"; then
        mkdir -p "$root$QUARL_ROOT" &&
            mount --bind "$QUARL_ROOT" "$root$QUARL_ROOT" ||
            quarl_fail_32bit "cannot mount $QUARL_ROOT in $root" || return 1
    fi
    # An X display of the operator's own may need its cookie.
    local cookie=${XAUTHORITY:-${HOME:-/root}/.Xauthority}
    if [[ -f "$cookie" ]] && ! mountpoint -q "$root$cookie"; then
        mkdir -p "$root$(dirname "$cookie")" && touch "$root$cookie" &&
            mount --bind "$cookie" "$root$cookie" || true
    fi
}

# Builds the root once (about 1 to 5 minutes, mostly downloads) and keeps it under build/.
quarl_make_wine_root() {
    local root=$QUARL_WINE_ROOT marker="$QUARL_WINE_ROOT/.quarl-root"
    local want="packages: ${QUARL_ROOT_PACKAGES[*]}; $(sha256sum "$QUARL_TRAPNO_SOURCE" | cut -c1-16)"
    if [[ -f "$marker" && "$(<"$marker")" == "$want" ]]; then
        return 0
    fi
    if [[ "${QUARL_MOUNT_NAMESPACE:-}" != 1 ]]; then
        quarl_fail_32bit "the root must be built inside the scripts' mount namespace"
        return 1
    fi
    quarl_log "32-bit: building the Wine root in $root (debootstrap, a few minutes)"
    rm -rf "$root"
    debootstrap --variant=minbase --arch=amd64 bookworm "$root" "$QUARL_DEBIAN_MIRROR" \
        >"$QUARL_ROOT/build/debootstrap.log" 2>&1 ||
        quarl_fail_32bit "debootstrap failed (see build/debootstrap.log)" || return 1
    quarl_mount_wine_root || return 1
    chroot "$root" /bin/sh -c "dpkg --add-architecture i386 && apt-get update -q &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        ${QUARL_ROOT_PACKAGES[*]}" </dev/null >"$QUARL_ROOT/build/wine-root-install.log" 2>&1 ||
        quarl_fail_32bit "Wine did not install in the root (see build/wine-root-install.log)" ||
        return 1
    quarl_install_trapno || return 1
    echo "$want" >"$marker"
}

# qemu-user hands a signal handler a trap number of -1, and 32-bit Wine picks the Windows
# exception by that number: tools/wine32/trapno.c puts the kernel's number back. Every process
# of the root preloads it; $LIB picks the 32-bit or 64-bit build (the 64-bit one never has
# anything to fix on a native kernel).
quarl_install_trapno() {
    local root=$QUARL_WINE_ROOT
    gcc -m32 -shared -fPIC -O2 -Wall -Wextra -Werror -o "$root/usr/lib/i386-linux-gnu/libquarl-trapno.so" \
        "$QUARL_TRAPNO_SOURCE" &&
        gcc -shared -fPIC -O2 -Wall -Wextra -Werror \
            -o "$root/usr/lib/x86_64-linux-gnu/libquarl-trapno.so" "$QUARL_TRAPNO_SOURCE" ||
        quarl_fail_32bit "the trap-number library did not build" || return 1
    echo '/usr/$LIB/libquarl-trapno.so' >"$root/etc/ld.so.preload"
}

# quarl_link_wine_fonts PREFIX: makes Wine's own fonts (fonts-wine, in the root's
# /usr/share/wine/fonts) fonts of the prefix. This Wine looks for the fonts its registry names
# ("MS Sans Serif"="sserife.fon", ...) in C:\windows\Fonts and then in /usr/share/fonts, where the
# package does not put them; without the links every window falls back to a Linux font and
# the caption buttons show letters instead of Marlett's symbols. The links point into the root,
# where Wine runs.
quarl_link_wine_fonts() {
    local fonts="$1/drive_c/windows/Fonts" file
    mkdir -p "$fonts" || return 1
    for file in "$QUARL_WINE_ROOT"/usr/share/wine/fonts/*; do
        [[ -e "$file" ]] || continue
        ln -sfn "/usr/share/wine/fonts/${file##*/}" "$fonts/${file##*/}" || return 1
    done
}

# quarl_setup_wine: everything above, idempotent; fails with a message that says what is
# missing. Call it from a script that has entered its mount namespace.
quarl_setup_wine() {
    quarl_install_qemu || return 1
    quarl_register_qemu || return 1
    quarl_make_wine_root || return 1
    quarl_mount_wine_root || return 1
    chroot "$QUARL_WINE_ROOT" /usr/lib/wine/wine --version >/dev/null 2>&1 ||
        quarl_fail_32bit "the root's 32-bit wine loader does not start under qemu" || return 1
}
