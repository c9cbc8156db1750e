#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# scripts/run.sh builds only the two programs it runs, then starts them, the controller
# in the user's data folder with the sample city list. It runs here in a copy of the
# scripts with stand-ins for cmake, dpkg-query and both programs, so it neither builds nor
# starts anything real; the stand-in cmake records its arguments.
set -euo pipefail

repo="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fake="$work/root"
mkdir -p "$fake/scripts" "$fake/data" "$fake/build/sim" "$fake/build/src/shell" "$work/bin"
cp "$repo/scripts/run.sh" "$repo/scripts/common.sh" "$fake/scripts/"
cp "$repo/data/city_E.gps" "$repo/data/sample_default.rif" "$fake/data/"

cat >"$work/bin/cmake" <<STUB
#!/usr/bin/env bash
echo "\$*" >>"$work/cmake.log"
STUB
# Until $work/installed exists the machine is fresh: nothing is installed, and apt-get
# records what it is asked to install.
cat >"$work/bin/dpkg-query" <<STUB
#!/usr/bin/env bash
[ -e "$work/installed" ] && echo "install ok installed"
exit 0
STUB
cat >"$work/bin/apt-get" <<STUB
#!/usr/bin/env bash
echo "\$*" >>"$work/apt-get.log"
STUB
cat >"$work/bin/sudo" <<'STUB'
#!/usr/bin/env bash
exec "$@"
STUB
# The simulator makes its link and runs until the script ends it.
cat >"$fake/build/sim/kelvandor-sim" <<'STUB'
#!/usr/bin/env bash
mkdir -p "$KELVANDOR_PORT_DIR"
ln -sf /dev/null "$KELVANDOR_PORT_DIR/COM2"
exec sleep 60
STUB
cat >"$fake/build/src/shell/kelvandor-controller" <<STUB
#!/usr/bin/env bash
pwd >"$work/controller.ran"
STUB
chmod +x "$work/bin/"* "$fake/build/sim/kelvandor-sim" "$fake/build/src/shell/kelvandor-controller"

fail() {
    echo "FAIL: $*" >&2
    echo "cmake was called with:" >&2
    cat "$work/cmake.log" >&2 2>/dev/null || true
    exit 1
}

run() {
    PATH="$work/bin:$PATH" KELVANDOR_PORT_DIR="$work/ports" XDG_DATA_HOME="$work/data" \
        QT_QPA_PLATFORM=offscreen JOBS=2 \
        bash "$fake/scripts/run.sh" >"$work/run.out" 2>&1 || fail "run.sh failed: $(cat "$work/run.out")"
}
run

# On a fresh machine it installs what building and running the two programs needs, and
# none of the test toolchain; the build is configured without the tests.
installed="$(grep -- '^install' "$work/apt-get.log" || true)"
case " $installed " in
    *" qt6-base-dev "*) ;;
    *) fail "run.sh did not install Qt: $installed" ;;
esac
for test_only in clang lintian ser2net libgtest-dev libbenchmark-dev xvfb appstream \
    qt6-httpserver-dev; do
    case " $installed " in
        *" $test_only "*) fail "run.sh installed $test_only, which only the tests need" ;;
    esac
done
grep -q -- "-DKELVANDOR_TESTS=OFF" "$work/cmake.log" ||
    fail "without the test packages the build must be configured without the tests"
touch "$work/installed"

[ -e "$work/controller.ran" ] || fail "the controller was not started"
[ "$(cat "$work/controller.ran")" = "$work/data/kelvandor" ] ||
    fail "the controller ran in $(cat "$work/controller.ran"), not in the user's data folder"
cmp -s "$repo/data/city_E.gps" "$work/data/kelvandor/city_E.gps" ||
    fail "the data folder did not get the sample city list"
cmp -s "$repo/data/sample_default.rif" "$work/data/kelvandor/sample_default.rif" ||
    fail "the data folder did not get the sample default set"
# The user's own list is never replaced by the sample.
echo "Mine  1.00 E  1.00 N" >"$work/data/kelvandor/city_E.gps"
rm -f "$work/cmake.log"
run
grep -q "^Mine" "$work/data/kelvandor/city_E.gps" || fail "a second run replaced the user's city list"
builds="$(grep -c -- '--build' "$work/cmake.log" || true)"
[ "$builds" = 1 ] || fail "expected one build, saw $builds"
build_line="$(grep -- '--build' "$work/cmake.log")"
case "$build_line" in
    *"--build $fake/build "*"--target kelvandor-controller kelvandor-sim") ;;
    *) fail "the build is not limited to the controller and the simulator" ;;
esac
echo "PASS: run.sh builds only kelvandor-controller and kelvandor-sim and runs in the data folder"
