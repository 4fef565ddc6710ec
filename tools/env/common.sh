# Shared settings of the root scripts.
VORN_CACHE=${VORN_CACHE:-/var/cache/vorn}
VORN_ROOT=$VORN_CACHE/trixie
VORN_PREFIX=/opt/wineprefix
_vorn_t0=${_vorn_t0:-$(date +%s)}
_vorn_step=start
step() { _vorn_step=$*; printf '[vorn %4ds] %s\n' $(( $(date +%s) - _vorn_t0 )) "$*"; }
fail() { printf '[vorn] FAILED during "%s": %s\n' "$_vorn_step" "$*" >&2; exit 1; }
# Unmounts whatever is still mounted at or below a folder (left by a killed run).
umount_below() {
    local m
    for m in $(awk -v d="$1" '$2 == d || index($2, d "/") == 1 { print $2 }' /proc/mounts | sort -r); do
        umount -l "$m" 2>/dev/null || true
    done
}
