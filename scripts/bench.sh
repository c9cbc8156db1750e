#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, builds and runs every benchmark with its full measuring time (bench_web_page,
# a script, takes the options and leaves them: it loads the page a fixed number of times).
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_packages "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${AGENT_PACKAGES[@]}" \
    "${WEB_PACKAGES[@]}"
build_main
for bench in "$ROOT"/build/bench/bench_*; do
    [ -x "$bench" ] || continue
    log "$(basename "$bench")"
    "$bench" "$@"
done
