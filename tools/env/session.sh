#!/usr/bin/env bash
# Inside the root: starts Xvfb, a PulseAudio null sink and a persistent wineserver, runs the command,
# then stops them by their process ids. Exit status is the command's.
set -u
cwd=$1; shift
cd "$cwd" || exit 1

export XDG_RUNTIME_DIR=/tmp/xdg-runtime
# Mesa's on-disk shader cache is shared by every program of the run; under many parallel programs
# it makes process exit slow enough that Wine kills a process that is still exiting (seen as rare
# "Subprocess killed" test results). Shaders are compiled afresh instead; the game (tools/play.py)
# and `vorn bench`, one program at a time, turn it back on.
export MESA_SHADER_CACHE_DISABLE=true
mkdir -p -m 700 "$XDG_RUNTIME_DIR"

xvfb_pid= pulse_pid=
cleanup() {
    wineserver -k >/dev/null 2>&1
    [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
}
trap cleanup EXIT
trap 'exit 143' TERM INT

if [ -n "${VORN_HOST_DISPLAY:-}" ]; then
    export DISPLAY=$VORN_HOST_DISPLAY
else
    [ -n "${XAUTHORITY:-}" ] || unset XAUTHORITY
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>/tmp/xvfb.display 2>/tmp/xvfb.log &
    xvfb_pid=$!
    for _ in $(seq 1 100); do [ -s /tmp/xvfb.display ] && break; sleep 0.05; done
    [ -s /tmp/xvfb.display ] || { echo "[vorn] FAILED: Xvfb did not start: $(cat /tmp/xvfb.log)" >&2; exit 1; }
    export DISPLAY=:$(head -n1 /tmp/xvfb.display)
fi

pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    -L "module-null-sink sink_name=nullsink rate=44100" -L module-native-protocol-unix \
    -L module-always-sink >/tmp/pulse.log 2>&1 &
pulse_pid=$!
for _ in $(seq 1 100); do pactl info >/dev/null 2>&1 && break; sleep 0.05; done
pactl set-default-sink nullsink >/dev/null 2>&1 || echo "[vorn] warning: PulseAudio null sink not ready (sound tests will fail)" >&2

if [ -d "$WINEPREFIX" ]; then
    wineserver -p
    # Start Wine's own background processes now, detached from the command's pipes: a tool that
    # waits for its child's output to close (CTest discovery) would otherwise wait for them.
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1
fi
"$@"
rc=$?
exit $rc
