# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the project's scripts: installs what the build needs and builds it.
# shellcheck shell=bash

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="${JOBS:-$(nproc 2>/dev/null || echo 2)}"

# Debian packages that building and running the controller and the simulator need: what
# scripts/run.sh installs.
RUN_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl-dev
    fonts-dejavu-core
)
# Debian packages that only the tests, the benchmarks and the package check need: the
# sanitizer and fuzzing compiler, GoogleTest and Google Benchmark, a virtual X display,
# the tools that check the Debian package, a real ser2net, and the locales (a desktop
# locale with a decimal comma is made for the tests).
TEST_PACKAGES=(
    clang libclang-rt-14-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth x11-utils
    librsvg2-bin dpkg-dev file
    desktop-file-utils appstream lintian man-db groff-base
    ser2net locales
)

# Debian packages of the antenna service, kelvandor-agent, and its tests, which only the
# test command installs. To build it: Qt HttpServer and Qt WebSockets serve HTTP (Qt
# Network comes with Qt Base), libmosquitto is its MQTT client (what the Debian package
# needs to hold the agent). For its tests: a real Prometheus (and its promtool, which
# checks the metrics page), a real mosquitto broker with its clients, and systemd-analyze
# (from systemd) for the service's unit in the package check. The build leaves out what
# misses its packages, so the run command does without them.
AGENT_BUILD_PACKAGES=(qt6-httpserver-dev qt6-websockets-dev libmosquitto-dev)
AGENT_PACKAGES=(
    "${AGENT_BUILD_PACKAGES[@]}"
    prometheus systemd mosquitto mosquitto-clients
)

# Debian packages of the agent's browser test: Chromium and its driver, Selenium for
# Debian's Python, and Node.js, whose npm installs axe-core for the test (Debian's npm
# package comes too where Node.js lacks it).
WEB_PACKAGES=(
    chromium chromium-driver python3-selenium
    nodejs
)

log() { printf '== %s\n' "$*" >&2; }

# missing_packages PACKAGE...: prints those of the packages that are not installed.
missing_packages() {
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            echo "$pkg"
        fi
    done
}

# ensure_packages PACKAGE...: installs the missing ones through apt-get; returns at once
# when all are there.
ensure_packages() {
    local missing=()
    mapfile -t missing < <(missing_packages "$@")
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

# ensure_decimal_comma_locale: makes de_DE.UTF-8 (a desktop locale with a decimal comma,
# which some GUI tests run under) when the machine lacks it.
ensure_decimal_comma_locale() {
    if locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
        return 0
    fi
    log "making the locale de_DE.UTF-8 for the tests"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" localedef -i de_DE -c -f UTF-8 -A /usr/share/locale/locale.alias de_DE.UTF-8
}

# The everyday build: g++, optimised with debug information. Targets given as arguments
# are built alone; none builds everything (tests, benchmarks, tools). The tests and
# benchmarks are configured when their packages are there (the test command installs
# them), so that a machine that only runs the controller needs none of them.
build_main() {
    local targets=() with_tests=ON
    if [ $# -gt 0 ]; then
        targets=(--target "$@")
        if [ -n "$(missing_packages libgtest-dev libgmock-dev libbenchmark-dev)" ]; then
            with_tests=OFF
        fi
    fi
    cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKELVANDOR_TESTS="$with_tests" -DKELVANDOR_BENCH="$with_tests" >/dev/null
    cmake --build "$ROOT/build" -j "$JOBS" "${targets[@]}"
}
