#!/usr/bin/env bash
# Fails when clang-format (with the repository's .clang-format) would change any C++ source or
# header that git tracks, and names the files; `clang-format -i FILE` puts one right.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check_format.sh: clang-format is missing" >&2; exit 1; }
if ! report=$(git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror 2>&1); then
    echo "$report" | grep -o '^[^:]*:[0-9]*:[0-9]*: error' | cut -d: -f1 | sort -u |
        sed 's/^/not formatted: /' >&2
    exit 1
fi
echo "every C++ file is formatted"
