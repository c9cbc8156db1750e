#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the Debian package that `cpack -G DEB` made: what it holds and what it depends on,
# the desktop entry, the AppStream metainfo, the manual pages, the antenna service (its
# conffile, its system user and its systemd unit, which systemd-analyze verifies), that
# the AppStream ID, the maintainer and the licence are the same wherever the package names
# them, lintian (no warnings; each override explained), and the programs run from the
# package unpacked into a scratch folder: the agent with the packaged configuration, the
# controller with its desktop entry's command line against the packaged simulator.
#
#   scripts/check_package.sh build/kelvandor_VERSION_ARCH.deb
set -euo pipefail

deb="$1"
app_id=com.kelvandor.Controller
licence=GPL-3.0-or-later
scratch="$(mktemp -d)"
sim_pid=""
controller_pid=""
agent_pid=""
cleanup() {
    for pid in $controller_pid $sim_pid $agent_pid; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    done
    rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
    echo "package check: $*" >&2
    exit 1
}
step() { printf '== package: %s\n' "$*" >&2; }

step "contents of $(basename "$deb")"
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
version="$(dpkg-deb -f "$deb" Version)"
expected=(
    usr/bin/kelvandor-controller usr/bin/kelvandor-sim usr/bin/kelvandor-cli
    usr/bin/kelvandor-agent
    "usr/share/applications/$app_id.desktop"
    "usr/share/metainfo/$app_id.metainfo.xml"
    "usr/share/icons/hicolor/scalable/apps/$app_id.svg"
    usr/share/man/man1/kelvandor-controller.1.gz usr/share/man/man1/kelvandor-sim.1.gz
    usr/share/man/man1/kelvandor-cli.1.gz usr/share/man/man1/kelvandor-agent.1.gz
    etc/kelvandor/agent.conf usr/lib/systemd/system/kelvandor-agent.service
    usr/lib/sysusers.d/kelvandor-agent.conf
    usr/share/kelvandor/city_E.gps usr/share/kelvandor/sample_default.rif
    usr/share/doc/kelvandor/copyright usr/share/doc/kelvandor/changelog.gz
)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${size}x$size/apps/$app_id.png")
done
for path in "${expected[@]}"; do
    [ -s "$root/$path" ] || fail "the package lacks $path"
done
for size in 16 48 256; do
    png="$root/usr/share/icons/hicolor/${size}x$size/apps/$app_id.png"
    file -b "$png" | grep -q "PNG image data, $size x $size" || fail "$png is not $size x $size"
done
unexpected="$(find "$root/usr/bin" -type f ! -name 'kelvandor-controller' ! -name 'kelvandor-sim' \
    ! -name 'kelvandor-cli' ! -name 'kelvandor-agent')"
[ -z "$unexpected" ] || fail "the package holds more programs than the four: $unexpected"
depends="$(dpkg-deb -f "$deb" Depends)"
for library in libqt6widgets6 libstdc++6 qt6-qpa-plugins libqt6httpserver6; do
    [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

step "desktop entry and metainfo"
desktop="$root/usr/share/applications/$app_id.desktop"
metainfo="$root/usr/share/metainfo/$app_id.metainfo.xml"
desktop-file-validate "$desktop"
appstreamcli validate --no-net "$metainfo"
exec_line="$(sed -n 's/^Exec=//p' "$desktop")"
[ -x "$root/usr/bin/${exec_line%% *}" ] || fail "the desktop entry runs ${exec_line%% *}, not packaged"
# The text of the metainfo's element $1 (one per line in the file).
metainfo_value() { sed -n "s:^ *<$1\( [^>]*\)\{0,1\}>\(.*\)</$1>\$:\2:p" "$metainfo"; }
# The files are named after the AppStream ID (above); what they say must name it too.
[ "$(sed -n 's/^Icon=//p' "$desktop")" = "$app_id" ] ||
    fail "the desktop entry's Icon is not $app_id"
[ "$(metainfo_value id)" = "$app_id" ] || fail "the metainfo's id is not $app_id"
[ "$(metainfo_value launchable)" = "$app_id.desktop" ] ||
    fail "the metainfo launches \"$(metainfo_value launchable)\", not $app_id.desktop"

# The agent's service: the configuration it reads is a conffile; the postinst makes its
# user from the packaged sysusers.d file, in dialout; the unit runs the packaged program
# with that configuration as that user, hardened, restarts on failure, is not enabled by
# the package, and is one systemd accepts.
step "the agent's service"
unit="$root/usr/lib/systemd/system/kelvandor-agent.service"
dpkg-deb --ctrl-tarfile "$deb" | tar -x -C "$scratch" ./conffiles ./postinst
grep -qx /etc/kelvandor/agent.conf "$scratch/conffiles" ||
    fail "/etc/kelvandor/agent.conf is not a conffile"
grep -q '^ *systemd-sysusers kelvandor-agent.conf$' "$scratch/postinst" ||
    fail "the postinst does not make the service's user"
# What that makes, made in a scratch system that has only root and dialout.
users="$scratch/sysusers"
mkdir -p "$users/etc"
printf 'root:x:0:0:root:/root:/bin/sh\n' >"$users/etc/passwd"
printf 'root:x:0:\ndialout:x:20:\n' >"$users/etc/group"
systemd-sysusers --root="$users" "$root/usr/lib/sysusers.d/kelvandor-agent.conf" 2>/dev/null
grep -q '^kelvandor:x:[0-9]*:[0-9]*:.*:/var/lib/kelvandor-agent:/usr/sbin/nologin$' \
    "$users/etc/passwd" && grep -qx 'dialout:x:20:kelvandor' "$users/etc/group" ||
    fail "the sysusers.d file does not make the system user kelvandor in dialout"
for setting in 'ExecStart=/usr/bin/kelvandor-agent --config /etc/kelvandor/agent.conf' \
    User=kelvandor SupplementaryGroups=dialout NoNewPrivileges=yes ProtectSystem=strict \
    ProtectHome=yes PrivateTmp=yes 'RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6' \
    StateDirectory=kelvandor-agent Restart=on-failure; do
    grep -qxF "$setting" "$unit" || fail "the unit lacks $setting"
done
[ -z "$(find "$root/etc" -path '*systemd*')" ] || fail "the package enables the service itself"
# Verified as it would run from the unpacked tree (its program there, its Documentation
# looked up in the packaged manual pages); anything verify says, even of an unknown key
# it only warns about, fails.
mkdir -p "$scratch/unit"
sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$unit" >"$scratch/unit/kelvandor-agent.service"
verified="$(MANPATH="$root/usr/share/man" systemd-analyze verify \
    "$scratch/unit/kelvandor-agent.service" 2>&1)" ||
    fail "systemd-analyze verify refuses kelvandor-agent.service: $verified"
[ -z "$verified" ] || fail "systemd-analyze verify says of kelvandor-agent.service: $verified"

# The maintainer comes from one place in the build: every file of the package that names
# the maintainer names the same one.
step "maintainer"
maintainer="$(dpkg-deb -f "$deb" Maintainer)"
maintainer_name="${maintainer% <*}"
maintainer_email="${maintainer##*<}"
maintainer_email="${maintainer_email%>}"
[ "$maintainer" = "$maintainer_name <$maintainer_email>" ] && [ -n "$maintainer_name" ] ||
    fail "the Maintainer field is not \"Name <address>\": $maintainer"
copyright="$root/usr/share/doc/kelvandor/copyright"
grep -qx "Upstream-Contact: $maintainer" "$copyright" ||
    fail "the copyright file's Upstream-Contact is not $maintainer"
trailer="$(zcat "$root/usr/share/doc/kelvandor/changelog.gz" | grep -m 1 '^ -- ')"
[[ "$trailer" == " -- $maintainer  "* ]] ||
    fail "the changelog is signed \"$trailer\", not $maintainer"
[ "$(metainfo_value developer_name)" = "$maintainer_name" ] ||
    fail "the metainfo's developer_name is not $maintainer_name"
[ "$(metainfo_value update_contact)" = "$maintainer_email" ] ||
    fail "the metainfo's update_contact is not $maintainer_email"

# The licence is one decision: every file of the package that names it names the same.
step "licence"
[ "$(head -n 1 "$copyright")" = \
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
    fail "the copyright file is not in the machine-readable format"
[ "$(sed -n '/^Files: \*$/,/^$/s/^License: //p' "$copyright")" = "GPL-3+" ] ||
    fail "the copyright file does not put Files: * under GPL-3+"
grep -q '/usr/share/common-licenses/GPL-3' "$copyright" ||
    fail "the copyright file does not refer to /usr/share/common-licenses/GPL-3"
[ "$(metainfo_value project_license)" = "$licence" ] ||
    fail "the metainfo's project_license is not $licence"
[[ "$(metainfo_value metadata_license)" =~ ^(FSFAP|CC0-1\.0)$ ]] ||
    fail "the metainfo's metadata_license is neither FSFAP nor CC0-1.0"

step "manual pages"
for page in "$root"/usr/share/man/man1/*.1.gz; do
    warnings="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
        man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)"
    [ -z "$warnings" ] || fail "$(basename "$page") renders with warnings: $warnings"
    text="$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$page" 2>/dev/null | col -bx)"
    for expected_text in "$licence" "$maintainer_name" "$maintainer_email"; do
        grep -qF -- "$expected_text" <<<"$text" ||
            fail "$(basename "$page") does not name $expected_text"
    done
done

# Every override in the package's overrides file has a comment above it that says why.
step "lintian"
overrides="$root/usr/share/lintian/overrides/kelvandor"
if [ -e "$overrides" ]; then
    unexplained="$(awk '/^[^#[:space:]]/ && previous !~ /^#/ { print } { previous = $0 }' \
        "$overrides")"
    [ -z "$unexplained" ] ||
        fail "lintian overrides without a comment that explains them: $unexplained"
fi
# Both levels: lintian's "warning" alone would let an error pass.
lintian --fail-on error,warning "$deb"

step "the unpacked programs"
for program in kelvandor-cli kelvandor-sim kelvandor-controller kelvandor-agent; do
    shown="$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/$program" --version)"
    [ "$(head -n 1 <<<"$shown")" = "$program $version" ] &&
        grep -q "^Copyright (C) .* $maintainer_name\$" <<<"$shown" &&
        grep -q "^License $licence: " <<<"$shown" ||
        fail "$program --version printed \"$shown\""
done
[ "$("$root/usr/bin/kelvandor-cli" encode QS | "$root/usr/bin/kelvandor-cli" decode)" = QS ] ||
    fail "kelvandor-cli does not decode what it encodes"

# The agent with the configuration the service reads: it takes it and serves HTTP.
step "kelvandor-agent with the packaged configuration"
"$root/usr/bin/kelvandor-agent" --config "$root/etc/kelvandor/agent.conf" --http 127.0.0.1:0 \
    --token-file "$scratch/agent.token" >"$scratch/agent.out" 2>&1 &
agent_pid=$!
for _ in $(seq 100); do
    grep -q '^kelvandor-agent: HTTP on 127.0.0.1:[0-9]*$' "$scratch/agent.out" && break
    sleep 0.1
done
grep -q '^kelvandor-agent: HTTP on 127.0.0.1:[0-9]*$' "$scratch/agent.out" ||
    fail "kelvandor-agent did not serve with the packaged configuration: $(cat "$scratch/agent.out")"
kill "$agent_pid" && wait "$agent_pid" || fail "kelvandor-agent did not end on SIGTERM with status 0"
agent_pid=""

# The controller as the menu starts it, against the packaged simulator: it works in the
# user's data folder, which it is given the sample city list in, and its traffic log
# shows the simulator's reports arriving.
step "the desktop entry's command line against kelvandor-sim"
home="$scratch/home"
mkdir -p "$home"
export HOME="$home" XDG_DATA_HOME="$home/data" KELVANDOR_PORT_DIR="$home/ports"
export QT_QPA_PLATFORM=offscreen
"$root/usr/bin/kelvandor-sim" >"$scratch/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
    [ -e "$KELVANDOR_PORT_DIR/COM2" ] && break
    sleep 0.1
done
[ -e "$KELVANDOR_PORT_DIR/COM2" ] || fail "kelvandor-sim made no COM2: $(cat "$scratch/sim.out")"
read -r -a command <<<"$exec_line"
log="$scratch/traffic.log"
(cd / && exec "$root/usr/bin/${command[0]}" "${command[@]:1}" --log "$log") \
    >"$scratch/controller.out" 2>&1 &
controller_pid=$!
for _ in $(seq 150); do
    grep -q ' <- ' "$log" 2>/dev/null && break
    sleep 0.1
done
grep -q ' <- ' "$log" 2>/dev/null ||
    fail "the controller logged nothing from the simulator: $(cat "$scratch/controller.out")"
[ "$(readlink "/proc/$controller_pid/cwd")" = "$XDG_DATA_HOME/kelvandor" ] ||
    fail "the controller works in $(readlink "/proc/$controller_pid/cwd"), not its data folder"
for sample in city_E.gps sample_default.rif; do
    cmp -s "$root/usr/share/kelvandor/$sample" "$XDG_DATA_HOME/kelvandor/$sample" ||
        fail "the data folder did not get the sample $sample"
done
echo "package check: $(basename "$deb") passed"
