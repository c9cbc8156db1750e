#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The three programs answer --help and --version in the usual form (--version with the
# licence, as their manual pages give it), refuse a wrong option with the exit status their
# manual page gives, and their manual pages name every option that --help lists.
#
#   program_options_test.sh VERSION MANDIR CONTROLLER SIM CLI
set -euo pipefail

version="$1"
mandir="$2"
declare -A program=([kelvandor-controller]="$3" [kelvandor-sim]="$4" [kelvandor-cli]="$5")
# The exit status of a wrong command line.
declare -A usage_status=([kelvandor-controller]=1 [kelvandor-sim]=2 [kelvandor-cli]=2)
export QT_QPA_PLATFORM=offscreen KELVANDOR_PORT_DIR=/nonexistent
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

for name in kelvandor-controller kelvandor-sim kelvandor-cli; do
    bin="${program[$name]}"
    page="$mandir/$name.1.in"
    # The page's text with groff's minus signs as plain hyphens.
    text="$(sed 's/\\-/-/g' "$page")"

    shown="$(env -u DISPLAY -u WAYLAND_DISPLAY "$bin" --version)" || fail "$name --version failed"
    [ "$(head -n 1 <<<"$shown")" = "$name $version" ] || fail "$name --version printed \"$shown\""
    grep -q '^License GPL-3.0-or-later: ' <<<"$shown" ||
        fail "$name --version does not name the licence: \"$shown\""
    grep -q 'GPL-3.0-or-later' <<<"$(sed -n '/^\.SH COPYRIGHT/,/^\.SH /p' <<<"$text")" ||
        fail "the manual page of $name has no COPYRIGHT section naming the licence"

    help="$(env -u DISPLAY -u WAYLAND_DISPLAY "$bin" --help)" || fail "$name --help failed"
    grep -qi "^usage: $name" <<<"$help" || fail "$name --help has no usage line"
    options="$(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u)"
    [ -n "$options" ] || fail "$name --help lists no option"
    for option in $options; do
        grep -q -- "$option\b" <<<"$text" || fail "the manual page of $name lacks $option"
    done

    status=0
    "$bin" --no-such-option >/dev/null 2>&1 || status=$?
    [ "$status" = "${usage_status[$name]}" ] ||
        fail "$name --no-such-option exited with $status, not ${usage_status[$name]}"
    exit_section="$(sed -n '/^\.SH EXIT STATUS/,/^\.SH /p' "$page")"
    grep -qx "\.B $status" <<<"$exit_section" ||
        fail "the manual page of $name does not list exit status $status"
done

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "PASS: --help, --version with the licence, wrong options and the manual pages of all three" \
    "programs agree"
