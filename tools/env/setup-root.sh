#!/usr/bin/env bash
# Makes, or repairs, the Debian 13 root in which Vorn is cross-built and run under Wine.
# Idempotent: a root whose stamp matches the package list is reused in seconds.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/common.sh"

pkgs_file=$here/root-packages.txt
prefix_script=$here/prefix-setup.sh
mirror=${VORN_MIRROR:-http://deb.debian.org/debian}

root_hash=$( { cat "$pkgs_file"; echo "mirror=$mirror"; echo "layout=2"; } | sha256sum | cut -c1-16)
prefix_hash=$( { echo "$root_hash"; cat "$prefix_script"; } | sha256sum | cut -c1-16)

step "checking the root in $VORN_ROOT"
mkdir -p "$VORN_CACHE"

# Only one set-up at a time on this machine.
exec 9>"$VORN_CACHE/setup.lock"
flock 9

if [ "$(cat "$VORN_ROOT/.vorn-root-stamp" 2>/dev/null)" != "$root_hash" ]; then
    if ! command -v debootstrap >/dev/null 2>&1; then
        step "installing debootstrap on the host"
        (apt-get update -qq && apt-get install -y -qq debootstrap >/dev/null) || fail "apt-get install debootstrap failed"
    fi
    new=$VORN_CACHE/root.new
    if [ -d "$new" ]; then
        step "removing a half-made root"
        umount_below "$new"
        rm -rf --one-file-system "$new" || fail "could not remove $new"
    fi
    include=$(grep -v '^\s*#' "$pkgs_file" | grep -v '^\s*$' | paste -sd, -)
    step "debootstrap trixie (about 80 s and 2.6 GB); log in $VORN_CACHE/debootstrap.log"
    ( while sleep 20; do step "  debootstrap still running"; done ) & ticker=$!
    if ! debootstrap --variant=minbase --include="$include" trixie "$new" "$mirror" >"$VORN_CACHE/debootstrap.log" 2>&1; then
        kill $ticker 2>/dev/null || true
        tail -n 20 "$VORN_CACHE/debootstrap.log" >&2
        fail "debootstrap failed (see $VORN_CACHE/debootstrap.log)"
    fi
    kill $ticker 2>/dev/null || true

    step "configuring locales, hosts and fonts"
    printf '127.0.0.1 localhost\n127.0.1.1 %s\n::1 localhost\n' "$(hostname)" > "$new/etc/hosts"
    echo "ja_JP.UTF-8 UTF-8" > "$new/etc/locale.gen"
    echo "en_US.UTF-8 UTF-8" >> "$new/etc/locale.gen"
    chroot "$new" /usr/sbin/locale-gen >/dev/null || fail "locale-gen failed"
    chroot "$new" fc-cache -f >/dev/null 2>&1 || true
    [ -d "$new/usr/src/googletest" ] || fail "googletest sources missing in the root"
    [ -x "$new/usr/bin/x86_64-w64-mingw32-g++-posix" ] || [ -x "$new/usr/bin/x86_64-w64-mingw32-g++" ] || fail "MinGW compiler missing in the root"

    if [ -d "$VORN_ROOT" ]; then
        step "replacing the old root"
        umount_below "$VORN_ROOT"
        rm -rf --one-file-system "$VORN_ROOT" || fail "could not remove the old root"
    fi
    mv "$new" "$VORN_ROOT"
    echo "$root_hash" > "$VORN_ROOT/.vorn-root-stamp"
    step "root ready"
fi

if [ "$(cat "$VORN_ROOT/opt/.vorn-prefix-stamp" 2>/dev/null)" != "$prefix_hash" ]; then
    step "making the Wine prefix (about 10 s)"
    rm -rf "$VORN_ROOT$VORN_PREFIX"
    mkdir -p "$VORN_ROOT/opt"
    # The prefix is made by a plain run of the root, writing straight into it (no overlay).
    VORN_PREFIX_WRITABLE=1 "$here/run-in-root.sh" bash "$prefix_script" || fail "making the Wine prefix failed"
    echo "$prefix_hash" > "$VORN_ROOT/opt/.vorn-prefix-stamp"
    step "Wine prefix ready"
fi
step "set-up done"
