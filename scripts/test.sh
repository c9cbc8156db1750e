#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up and runs every test: the unit, GUI and end-to-end tests (g++ build),
# the checks of the Debian package made from that build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer (clang build), each fuzz target for a
# bounded time, and one short pass of every benchmark.
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
)
fuzz_seconds() {
    if [ -n "${FUZZ_SECONDS:-}" ]; then
        echo "$FUZZ_SECONDS"
    else
        echo "${FUZZ_TARGET_SECONDS[$1]:-60}"
    fi
}

ensure_packages

log "build (g++)"
build_main
log "tests (g++)"
(cd "$ROOT/build" && ctest --output-on-failure -j "$JOBS")

log "Debian package"
rm -f "$ROOT"/build/kelvandor_*.deb
(cd "$ROOT/build" && cpack -G DEB >/dev/null)
"$ROOT/scripts/check_package.sh" "$ROOT"/build/kelvandor_*.deb

log "build (clang, sanitizers, libFuzzer)"
CC=clang CXX=clang++ build_tree "$ROOT/build-san" -DCMAKE_BUILD_TYPE=Debug \
    -DKELVANDOR_SANITIZE=ON -DKELVANDOR_FUZZ=ON -DKELVANDOR_BENCH=OFF
log "tests (sanitizers)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0"
(cd "$ROOT/build-san" && ctest --output-on-failure -j "$JOBS")

log "fuzzing"
for target in "$ROOT"/build-san/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name="$(basename "$target")"
    seeds="$ROOT/fuzz/corpus/${name#fuzz_}"
    work="$ROOT/build-san/fuzz/corpus-$name"
    seconds="$(fuzz_seconds "$name")"
    mkdir -p "$work"
    log "$name, $seconds s"
    if ! (cd "$ROOT/build-san/fuzz" &&
        "$target" -max_total_time="$seconds" -print_final_stats=1 "$work" "$seeds" \
            >"$work.log" 2>&1); then
        cat "$work.log"
        log "$name found a fault"
        exit 1
    fi
    grep -E "^(Done|stat::number_of_executed_units|stat::peak_rss_mb)" "$work.log" || true
done

log "benchmarks (one short pass; figures, not pass/fail)"
for bench in "$ROOT"/build/bench/bench_*; do
    [ -x "$bench" ] || continue
    "$bench" --benchmark_min_time=0.05
done

log "all tests passed"
