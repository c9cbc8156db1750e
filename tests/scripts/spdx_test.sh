#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source file of the project (C++, CMake, shell scripts) names its licence in an
# SPDX line within its first three lines.
#
#   spdx_test.sh ROOT      ROOT: the project's source folder (a git checkout)
set -uo pipefail
root="${1:?usage: spdx_test.sh ROOT}"
cd "$root" || exit 2

missing=0
checked=0
while IFS= read -r file; do
    [ -f "$file" ] || continue
    checked=$((checked + 1))
    if ! head -n 3 "$file" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later'; then
        echo "FAIL: $file has no SPDX line"
        missing=$((missing + 1))
    fi
done < <(git ls-files --cached --others --exclude-standard |
    grep -E '(\.(cpp|h|h\.in|cmake|sh)$|(^|/)CMakeLists\.txt$|^\.ci/run$)')

if [ "$checked" -eq 0 ]; then
    echo "FAIL: no source files found under $root"
    exit 1
fi
echo "$checked source files checked, $missing without an SPDX line"
[ "$missing" -eq 0 ]
