#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The layers of src/ include downward only, and the pure ones stay free of Qt.
#
#   layers_test.sh ROOT      ROOT: the project's source folder
#
# A quoted include "X/..." in src/Y is allowed when X is Y or a layer below Y. The order
# is the one the folders are built in, lowest first. kelvandor-cli (tools/cli) stays off
# Qt Widgets.
set -uo pipefail
root="${1:?usage: layers_test.sh ROOT}"

LAYERS=(version protocol geo defaults unit report link ui host pages shell)
PURE=(version protocol geo defaults unit)
declare -A rank
for i in "${!LAYERS[@]}"; do rank[${LAYERS[$i]}]=$i; done

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for dir in "$root"/src/*/; do
    layer="$(basename "$dir")"
    [ -n "${rank[$layer]+x}" ] || fail "src/$layer is not a known layer"
done

for layer in "${LAYERS[@]}"; do
    [ -d "$root/src/$layer" ] || { fail "src/$layer is missing"; continue; }
    while IFS=: read -r file line include; do
        target="${include#*\"}"
        target="${target%%/*}"
        [ -n "${rank[$target]+x}" ] || continue  # not a layer: sim/, cli/, generated headers
        if [ "${rank[$target]}" -gt "${rank[$layer]}" ]; then
            fail "${file#"$root"/}:$line includes $target/, a layer above $layer/"
        fi
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z_]+/' "$root/src/$layer")
done

# The pure C++ libraries, and the conversions that kelvandor-cli's layers may share.
pure_files=()
for layer in "${PURE[@]}"; do pure_files+=("$root/src/$layer"); done
pure_files+=("$root"/src/ui/lenient_numbers.*)
while IFS= read -r hit; do
    fail "${hit#"$root"/} brings Qt into a pure library"
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+<Q' "${pure_files[@]}")

while IFS= read -r hit; do
    fail "${hit#"$root"/} brings Qt Widgets into kelvandor-cli"
done < <(grep -rnE '#[[:space:]]*include[[:space:]]+<(QtWidgets|QApplication|QWidget|QDialog)' \
             "$root/tools/cli")

if [ "$failures" -gt 0 ]; then
    echo "$failures layering fault(s)"
    exit 1
fi
echo "layers: every include points downward"
