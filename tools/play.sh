#!/usr/bin/env bash
# Starts the built game: on the user's X display when DISPLAY works, otherwise on the root's virtual
# display for a while, writing screenshots (and the log, when one is written) to out/play/.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$top/tools/env/common.sh"
build=${VORN_BUILD_DIR:-$top/build}
host_display_works() {
    [ -n "${DISPLAY:-}" ] || return 1
    local n=${DISPLAY#*:}; n=${n%%.*}
    [ -S "/tmp/.X11-unix/X$n" ]
}
if host_display_works; then
    step "starting the game on your display $DISPLAY (Escape quits)"
    xauth_copy=
    if [ -n "${XAUTHORITY:-}" ] && [ -f "$XAUTHORITY" ]; then
        xauth_copy=$build/.xauthority
        cp "$XAUTHORITY" "$xauth_copy"
    fi
    VORN_HOST_X11=1 VORN_HOST_DISPLAY=$DISPLAY VORN_XAUTHORITY=$xauth_copy \
        "$top/tools/env/run-in-root.sh" python3 "$top/tools/play.py" --build "$build" --interactive "$@"
else
    out=$top/out/play
    mkdir -p "$out"
    step "no usable DISPLAY: running the game on a virtual display; screenshots go to $out"
    "$top/tools/env/run-in-root.sh" python3 "$top/tools/play.py" --build "$build" --out "$out" \
        --seconds "${VORN_PLAY_SECONDS:-20}" "$@"
fi
