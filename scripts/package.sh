#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up and makes the Debian package of the programs in build-package/
# (an optimised build without the tests and benchmarks), then prints its path. Install it
# with: sudo apt-get install ./build-package/kelvandor_*.deb
set -euo pipefail
source "$(dirname "$0")/common.sh"
ensure_packages "${RUN_PACKAGES[@]}" "${AGENT_BUILD_PACKAGES[@]}" librsvg2-bin dpkg-dev file

dir="$ROOT/build-package"
build_tree "$dir" -DCMAKE_BUILD_TYPE=Release -DKELVANDOR_TESTS=OFF -DKELVANDOR_BENCH=OFF
rm -f "$dir"/kelvandor_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/kelvandor_*.deb
