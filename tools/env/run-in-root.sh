#!/usr/bin/env bash
# Runs one command inside the Vorn root: a private mount namespace with /proc, /dev and the folder
# holding this checkout (and ../shared) bound at the same path, a private /tmp, a private copy-on-write
# view of the Wine prefix, and a session of Xvfb + PulseAudio + wineserver around the command.
# Returns the command's exit status.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"

if [ "${_VORN_INNER:-}" != 1 ]; then
    [ -f "$VORN_ROOT/.vorn-root-stamp" ] || fail "no root at $VORN_ROOT: run tools/env/setup-root.sh first"
    [ $# -gt 0 ] || fail "usage: run-in-root.sh COMMAND [ARGS...]"
    _VORN_INNER=1 _VORN_CWD=$PWD exec unshare -m --propagation private "${BASH_SOURCE[0]}" "$@"
fi

work=$(cd "$here/../../.." && pwd)        # holds the checkout and shared/
R=$VORN_ROOT
mount -t proc proc "$R/proc"
mount --rbind /dev "$R/dev"
mount -t tmpfs -o mode=1777 tmpfs "$R/tmp"
mkdir -p "$R$work"
mount --rbind "$work" "$R$work"
if [ -n "${VORN_HOST_X11:-}" ] && [ -d /tmp/.X11-unix ]; then
    mkdir -p "$R/tmp/.X11-unix"
    mount --bind /tmp/.X11-unix "$R/tmp/.X11-unix"
fi
if [ -z "${VORN_PREFIX_WRITABLE:-}" ]; then
    [ -d "$R$VORN_PREFIX" ] || fail "no Wine prefix in the root: run tools/env/setup-root.sh"
    mkdir -p "$R/run/vorn-overlay"
    mount -t tmpfs tmpfs "$R/run/vorn-overlay"
    mkdir -p "$R/run/vorn-overlay/up" "$R/run/vorn-overlay/work"
    mount -t overlay overlay -o "lowerdir=$R$VORN_PREFIX,upperdir=$R/run/vorn-overlay/up,workdir=$R/run/vorn-overlay/work" "$R$VORN_PREFIX"
fi

cwd=$_VORN_CWD
case "$cwd/" in "$work"/*) ;; *) cwd=$work ;; esac

exec chroot "$R" /usr/bin/env -i \
    HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 TERM="${TERM:-dumb}" \
    WINEPREFIX="$VORN_PREFIX" WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="mscoree,mshtml=" \
    CI="${CI:-}" VORN_HOST_DISPLAY="${VORN_HOST_DISPLAY:-}" XAUTHORITY="${VORN_XAUTHORITY:-}" \
    VORN_TEST_FILTER="${VORN_TEST_FILTER:-}" VORN_JOBS="${VORN_JOBS:-}" \
    bash "$here/session.sh" "$cwd" "$@"
