# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the project's scripts: installs what the build needs and builds it.
# shellcheck shell=bash

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-$(nproc 2>/dev/null || echo 2)}"

# Debian packages the project builds, tests and runs with.
PACKAGES=(
    cmake ninja-build g++ pkg-config
    clang libclang-rt-14-dev
    qt6-base-dev libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-dejavu-core xvfb xauth x11-utils
    librsvg2-bin dpkg-dev file
    desktop-file-utils appstream lintian man-db groff-base
    ser2net
)

log() { printf '== %s\n' "$*" >&2; }

# Installs the missing packages through apt-get; returns at once when all are there.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "${PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    log "installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}

# build_tree DIR [CMAKE ARGS...]: configures (once) and builds one build tree.
build_tree() {
    local dir="$1"
    shift
    cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}

# The everyday build: g++, optimised with debug information. Targets given as arguments
# are built alone; none builds everything (tests, benchmarks, tools).
build_main() {
    local targets=()
    if [ $# -gt 0 ]; then
        targets=(--target "$@")
    fi
    cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$ROOT/build" -j "$JOBS" "${targets[@]}"
}
