#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up and runs the controller against the simulated antenna control unit.
# The simulator links its pty as COM2 in the port directory, so the controller connects
# to it by itself at start. Without a display the controller runs offscreen (see the
# README for screenshots); set QT_QPA_PLATFORM to choose otherwise.
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_packages "${RUN_PACKAGES[@]}"
# Only the two programs this runs: the tests and benchmarks are left for scripts/test.sh.
build_main kelvandor-controller kelvandor-sim

export KELVANDOR_PORT_DIR="${KELVANDOR_PORT_DIR:-$HOME/.config/kelvandor/ports}"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    export QT_QPA_PLATFORM=offscreen
    log "no display: the controller runs offscreen; stop it with Ctrl-C"
    log "to see the window, run this from a desktop session (or under xvfb-run and take a screenshot)"
fi

# Ni five times a second, busy or idle: the sky view page shows a live curve and cross.
"$ROOT/build/sim/kelvandor-sim" --com 2 --status-period 200 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null || true' EXIT INT TERM

# Wait until the simulator has made its link.
for _ in $(seq 50); do
    [ -e "$KELVANDOR_PORT_DIR/COM2" ] && break
    sleep 0.1
done
log "simulator on $(readlink "$KELVANDOR_PORT_DIR/COM2" || echo '?') as COM2; starting the controller"

# The controller reads and saves its city list (city_E.gps) in its working directory: a
# data folder of the user's own, given the sample list the first time, and the sample
# default set, which "Load Default" offers there.
data_dir="${XDG_DATA_HOME:-$HOME/.local/share}/kelvandor"
mkdir -p "$data_dir"
for sample in city_E.gps sample_default.rif; do
    [ -e "$data_dir/$sample" ] || cp "$ROOT/data/$sample" "$data_dir/$sample"
done
cd "$data_dir"
"$ROOT/build/src/shell/kelvandor-controller"
