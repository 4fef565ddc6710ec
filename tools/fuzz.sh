#!/usr/bin/env bash
# The native fuzz targets (fuzz/): builds them with clang and runs them under libFuzzer, ASan and
# UBSan. Runs inside the root (./vorn fuzz, ./vorn test).
#   tools/fuzz.sh build                      configure and build into $VORN_FUZZ_BUILD (build/fuzz)
#   tools/fuzz.sh run SECONDS [TARGET...]    run the targets (all when none is named), up to
#                                            $VORN_JOBS (default: the core count) at a time, and
#                                            print per target: executions, executions per second,
#                                            coverage and findings; exits 1 on any finding
# Each target's growing corpus is build/fuzz/corpus/<target>, read with the generated seeds and the
# regression inputs of fuzz/regressions/<target>; findings land in build/fuzz/findings/<target>,
# logs in build/fuzz/logs/<target>.log.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${VORN_FUZZ_BUILD:-${VORN_BUILD_DIR:-$top/build}/fuzz}

# Quiet unless it fails.
build() {
    mkdir -p "$out"
    if ! { [ -f "$out/build.ninja" ] || CC=clang CXX=clang++ cmake -S "$top/fuzz" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Debug; } \
           >"$out/build.log" 2>&1 || ! cmake --build "$out" >>"$out/build.log" 2>&1; then
        tail -n 40 "$out/build.log" >&2
        echo "fuzz: the native build failed (log: $out/build.log)" >&2
        return 1
    fi
}

# One target for the given time; its summary line goes to $out/logs/<target>.summary.
run_one() {
    local name=$1 seconds=$2 options=$3
    local corpus=$out/corpus/$name findings=$out/findings/$name log=$out/logs/$name.log
    local regressions=$top/fuzz/regressions/$name
    mkdir -p "$corpus" "$findings" "$out/logs"
    local dirs=("$corpus" "$out/seeds/$name")
    [ -d "$regressions" ] && dirs+=("$regressions")
    local before status=0
    before=$(ls "$findings" | wc -l)
    # A hang of 30 s on one input (10 s gave false ones on a loaded machine), 2 GB in all or 256 MB
    # in one allocation is a finding.
    # shellcheck disable=SC2086
    ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0 UBSAN_OPTIONS=print_stacktrace=1 \
        ASAN_SYMBOLIZER_PATH=$(command -v llvm-symbolizer-19 || command -v llvm-symbolizer || true) \
        "$out/fuzz_$name" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -malloc_limit_mb=256 \
        -print_final_stats=1 -artifact_prefix="$findings/" $options "${dirs[@]}" >"$log" 2>&1 || status=$?
    local found=$(( $(ls "$findings" | wc -l) - before ))
    [ "$status" -ne 0 ] && [ "$found" -eq 0 ] && found=1   # stopped without leaving an input
    awk -v name="$name" -v found="$found" -v status="$status" '
        /^#[0-9]+/ { runs = substr($1, 2) }
        / cov: / { for (i = 1; i < NF; ++i) { if ($i == "cov:") cov = $(i + 1); if ($i == "ft:") ft = $(i + 1); if ($i == "corp:") corp = $(i + 1) } }
        /^stat::number_of_executed_units:/ { runs = $2 }
        /^stat::average_exec_per_sec:/ { speed = $2 }
        END {
            printf "%-16s %12s execs %9s execs/s   cov %5s  ft %6s  corpus %-12s findings %d%s\n",
                   name, runs + 0, speed + 0, cov + 0, ft + 0, corp, found, status ? "  (exit " status ")" : ""
        }' "$log" >"$out/logs/$name.summary"
    [ "$found" -eq 0 ]
}

run() {
    local seconds=${1:?seconds}
    shift
    [ -f "$out/targets.txt" ] || { echo "fuzz: not built ($out/targets.txt missing)" >&2; exit 1; }
    local -A options=()
    local all=() name rest
    while read -r name rest; do
        [ -n "$name" ] && { all+=("$name"); options[$name]=$rest; }
    done <"$out/targets.txt"
    local names=("$@")
    [ ${#names[@]} -eq 0 ] && names=("${all[@]}")
    for name in "${names[@]}"; do
        [ -n "${options[$name]+set}" ] || { echo "fuzz: no target '$name' (targets: ${all[*]})" >&2; exit 2; }
    done
    local jobs=${VORN_JOBS:-$(nproc)} failed=0
    for name in "${names[@]}"; do
        while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
        run_one "$name" "$seconds" "${options[$name]}" &
    done
    wait
    for name in "${names[@]}"; do
        cat "$out/logs/$name.summary"
        if ! grep -q 'findings 0$' "$out/logs/$name.summary"; then
            failed=1
            grep -m1 -E 'ERROR|property broken|deadly signal|timeout|out-of-memory' "$out/logs/$name.log" | sed 's/^/    /' || true
            echo "    log: $out/logs/$name.log; inputs: $out/findings/$name"
        fi
    done
    return $failed
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
build) build ;;
run) run "$@" ;;
*) sed -n '2,11p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac
