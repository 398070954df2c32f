#!/usr/bin/env bash
# Formats every C++ file that git tracks with the repository's .clang-format,
# or with --check only reports the files that differ and fails. The output
# of clang-format changes between major versions, so the one Debian 12 ships
# (14) is the reference.
set -euo pipefail
cd "$(dirname "$0")/.."
formatter=$(command -v clang-format-14 || command -v clang-format || true)
if [[ -z "$formatter" ]]; then
    echo "format: clang-format is not installed (Debian package clang-format)" >&2
    exit 2
fi
mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
if [[ "${1:-}" == "--check" ]]; then
    if ! "$formatter" --dry-run --Werror "${files[@]}"; then
        echo "format: the files above differ from .clang-format; run 'cmake --build --preset release --target format'" >&2
        exit 1
    fi
else
    "$formatter" -i "${files[@]}"
fi
