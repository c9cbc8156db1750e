#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Refreshes every picture that the README and the AppStream metainfo show, in
# docs/screenshots/: the screenshot tool runs the main window offscreen against its
# in-process simulator, and the pictures used are copied in under their lasting names.
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_packages "${RUN_PACKAGES[@]}"
build_main kelvandor-screenshot

shots="$(mktemp -d)"
trap 'rm -rf "$shots"' EXIT
QT_QPA_PLATFORM=offscreen "$ROOT/build/tools/screenshot/kelvandor-screenshot" --out "$shots" >/dev/null

# The name in docs/screenshots, and the tool's picture it is taken from.
declare -A pictures=(
    [main-window.png]=01-gps.png  # README and metainfo: after Get Antenna Information
    [sky-view.png]=08-sky-view.png  # README: the sky view and signal history page
)
mkdir -p "$ROOT/docs/screenshots"
for name in "${!pictures[@]}"; do
    cp "$shots/${pictures[$name]}" "$ROOT/docs/screenshots/$name"
    log "docs/screenshots/$name"
done

# The agent's dashboard (desktop and phone, day and night): the browser test's own tooling
# against the agent and the simulator.
ensure_packages "${AGENT_PACKAGES[@]}" "${WEB_PACKAGES[@]}"
build_main kelvandor-agent kelvandor-sim
/usr/bin/python3 "$ROOT/tests/web/web_test.py" --sim "$ROOT/build/sim/kelvandor-sim" \
    --agent "$ROOT/build/agent/kelvandor-agent" --work "$ROOT/build/tests/web" \
    --screenshots "$ROOT/docs/screenshots" >/dev/null
log "docs/screenshots/dashboard-*.png"
