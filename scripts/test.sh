#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up and runs every test: the unit, GUI and end-to-end tests (g++ build),
# the checks of the Debian package made from that build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer (clang build), each fuzz target for a
# bounded time, and one short pass of every benchmark. It ends with the time each phase
# took.
#
#   scripts/test.sh                   everything (what CI runs)
#   scripts/test.sh --quick [ARGS]    the inner loop: only the g++ build and its tests,
#                                     ARGS going to ctest (-R gps_page, -L gui ...)
#
# CTEST_JOBS (default 6) is how many tests run side by side: most of them wait on a paced
# line or a timer, so more than the cores pay. FUZZ_JOBS (default 3) is how many fuzz
# targets run at once, beside the sanitizer tests and at the lowest priority.
set -euo pipefail
source "$(dirname "$0")/common.sh"

# Seconds each fuzz target runs. FUZZ_SECONDS, when set, applies to every target;
# otherwise each target has its own time below (60 s for one not listed).
declare -A FUZZ_TARGET_SECONDS=(
    [fuzz_receive]=60
    [fuzz_sim]=30
    [fuzz_conversions]=30
    [fuzz_rif]=30
    [fuzz_city_file]=30
    [fuzz_telnet]=30
    [fuzz_http_guard]=20
)
fuzz_seconds() {
    if [ -n "${FUZZ_SECONDS:-}" ]; then
        echo "$FUZZ_SECONDS"
    else
        echo "${FUZZ_TARGET_SECONDS[$1]:-60}"
    fi
}

CTEST_JOBS="${CTEST_JOBS:-6}"
FUZZ_JOBS="${FUZZ_JOBS:-3}"

# Phase names and their seconds, for the table at the end.
PHASES=()
phase_start=0
begin_phase() {
    end_phase
    log "$1"
    PHASES+=("$1")
    phase_start=$SECONDS
}
end_phase() {
    if [ ${#PHASES[@]} -gt 0 ] && [ ${#PHASES[@]} -gt ${#PHASE_SECONDS[@]} ]; then
        PHASE_SECONDS+=("$((SECONDS - phase_start))")
    fi
}
PHASE_SECONDS=()
print_phases() {
    end_phase
    log "time per phase"
    local k
    for k in "${!PHASES[@]}"; do
        printf '   %5d s  %s\n' "${PHASE_SECONDS[$k]}" "${PHASES[$k]}" >&2
    done
    printf '   %5d s  total\n' "$SECONDS" >&2
}

# Runs every fuzz target for its time from the saved inputs, FUZZ_JOBS at once, longest
# first. Any crash or sanitizer report fails the run after its log is shown.
run_fuzzers() {
    local targets=() target name
    for target in "$ROOT"/build-san/fuzz/fuzz_*; do
        [ -x "$target" ] && targets+=("$(fuzz_seconds "$(basename "$target")") $target")
    done
    local failed=0 running=0
    while read -r seconds target; do
        [ -n "$target" ] || continue
        name="$(basename "$target")"
        local seeds="$ROOT/fuzz/corpus/${name#fuzz_}"
        local work="$ROOT/build-san/fuzz/corpus-$name"
        mkdir -p "$work"
        log "$name, $seconds s"
        (cd "$ROOT/build-san/fuzz" &&
            "$target" -max_total_time="$seconds" -print_final_stats=1 "$work" "$seeds" \
                >"$work.log" 2>&1) &
        running=$((running + 1))
        if [ "$running" -ge "$FUZZ_JOBS" ]; then
            wait -n || failed=1
            running=$((running - 1))
        fi
    done < <(printf '%s\n' "${targets[@]}" | sort -rn)
    while [ "$running" -gt 0 ]; do
        wait -n || failed=1
        running=$((running - 1))
    done
    for target in "${targets[@]}"; do
        name="$(basename "${target#* }")"
        local work="$ROOT/build-san/fuzz/corpus-$name"
        if ! grep -q "^Done" "$work.log"; then
            cat "$work.log"
            log "$name found a fault"
            failed=1
        fi
        grep -E "^(Done|stat::number_of_executed_units|stat::peak_rss_mb)" "$work.log" |
            sed "s/^/$name: /" || true
    done
    return "$failed"
}

ensure_packages "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${AGENT_PACKAGES[@]}" \
    "${WEB_PACKAGES[@]}"
command -v npm >/dev/null || ensure_packages npm
ensure_decimal_comma_locale

begin_phase "build (g++)"
build_main
if [ "${1:-}" = "--quick" ]; then
    shift
    begin_phase "tests (g++)"
    (cd "$ROOT/build" && ctest --output-on-failure -j "$CTEST_JOBS" "$@")
    print_phases
    exit 0
fi

# The tests mostly wait (a paced line, timers): the sanitizer build uses the cores beside
# them, at a low priority so that a test that needs the processor gets it first. It
# outlasts them, and the Debian package is made and checked in the meantime.
begin_phase "tests (g++) and the Debian package, with the sanitizer build beside them"
mkdir -p "$ROOT/build-san"
(
    renice -n 10 "$BASHPID" >/dev/null
    CC=clang CXX=clang++ build_tree "$ROOT/build-san" -DCMAKE_BUILD_TYPE=Debug \
        -DKELVANDOR_SANITIZE=ON -DKELVANDOR_FUZZ=ON -DKELVANDOR_BENCH=OFF
) >"$ROOT/build-san/build.log" 2>&1 &
san_build=$!
tests_ok=1
(cd "$ROOT/build" && ctest --output-on-failure -j "$CTEST_JOBS") || tests_ok=0
if [ "$tests_ok" = 1 ]; then
    rm -f "$ROOT"/build/kelvandor_*.deb
    (cd "$ROOT/build" && cpack -G DEB >/dev/null)
    "$ROOT/scripts/check_package.sh" "$ROOT"/build/kelvandor_*.deb
fi
if ! wait "$san_build"; then
    cat "$ROOT/build-san/build.log"
    log "the sanitizer build failed"
    exit 1
fi
[ "$tests_ok" = 1 ] || exit 1

# Likewise the fuzz targets beside the sanitizer tests, at the lowest priority: they run
# for a fixed time and take what the tests leave of the cores.
begin_phase "tests (sanitizers), with the fuzz targets beside them"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0"
(
    renice -n 19 "$BASHPID" >/dev/null
    run_fuzzers
) >"$ROOT/build-san/fuzzing.log" 2>&1 &
fuzzing=$!
tests_ok=1
# The decimal-comma runs (label locale) repeat GUI tests for their texts and files, and the
# browser test (label web) the page's behaviour, which the sanitizers have nothing to add to.
(cd "$ROOT/build-san" && ctest --output-on-failure -j "$CTEST_JOBS" -LE 'locale|web|peers') || tests_ok=0
fuzz_ok=1
wait "$fuzzing" || fuzz_ok=0
cat "$ROOT/build-san/fuzzing.log" >&2
[ "$tests_ok" = 1 ] || exit 1
[ "$fuzz_ok" = 1 ] || exit 1

begin_phase "benchmarks (one short pass; figures, not pass/fail)"
# A whole Update Default (bench_update_default) waits on its paced line and its pauses,
# not on the processor: those runs go side by side, beside the other benchmarks, each with
# a simulated unit of its own, and their figures are shown at the end.
paced_bench="$ROOT/build/bench/bench_update_default"
paced_runs=()
if [ -x "$paced_bench" ]; then
    for name in $("$paced_bench" --benchmark_list_tests 2>/dev/null | sed 's:/.*::' | sort -u); do
        "$paced_bench" --benchmark_filter="^$name/" >"$ROOT/build/bench/$name.out" 2>&1 &
        paced_runs+=("$!:$name")
    done
fi
# The agent's benchmarks start simulators, the agent, a broker and a browser of their own
# and mostly wait on them: in two queues beside the rest (the fleet of bench_agent; the
# streams, MQTT and the page).
agent_benches=()
agent_runs=()
for queue in "bench_agent" "bench_agent_fanout bench_web_page"; do
    benches=()
    for name in $queue; do
        [ -x "$ROOT/build/bench/$name" ] && benches+=("$ROOT/build/bench/$name")
    done
    agent_benches+=("${benches[@]}")
    out="$ROOT/build/bench/${queue%% *}-queue.out"
    (
        for bench in "${benches[@]}"; do
            "$bench" --benchmark_min_time=0.05 || exit 1
        done
    ) >"$out" 2>&1 &
    agent_runs+=("$!:$out")
done
for bench in "$ROOT"/build/bench/bench_*; do
    [ -x "$bench" ] && [ "$bench" != "$paced_bench" ] || continue
    case " ${agent_benches[*]} " in *" $bench "*) continue ;; esac
    "$bench" --benchmark_min_time=0.05
done
paced_ok=1
for run in "${paced_runs[@]}"; do
    wait "${run%%:*}" || paced_ok=0
    cat "$ROOT/build/bench/${run#*:}.out"
done
for run in "${agent_runs[@]}"; do
    wait "${run%%:*}" || paced_ok=0
    cat "${run#*:}"
done
[ "$paced_ok" = 1 ] || exit 1

print_phases
log "all tests passed"
