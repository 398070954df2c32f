#!/usr/bin/env bash
# Installs what is missing, checks the format, builds Shoebox with its tests
# and runs them all; runs clang-tidy over the release build's sources; then
# builds and runs the tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and fuzzes each fuzz target for a short while.
# Every build fails on a compiler warning (SHOEBOX_WERROR in the presets),
# and the clang-tidy stage on any finding. CI runs exactly this. Each stage
# says when it starts and how long it took; the first that fails stops the
# run and is named.
#
# scripts/test.sh --quick runs only the first three stages: the everyday
# check before a commit.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/lib/stage.sh
build() { cmake --preset "$1" && cmake --build --preset "$1"; }

stage "install packages" scripts/install-deps.sh --test
stage "format check" scripts/format.sh --check
stage "release build" build release
stage "release tests" ctest --preset release
if [[ "${1:-}" == "--quick" ]]; then
    exit 0
fi
# The whole tree, with the release build's compile database: about four
# minutes on two cores.
stage "clang-tidy" scripts/tidy.sh
stage "sanitizer build" build sanitize
stage "sanitizer tests" ctest --preset sanitize
stage "fuzz build" build fuzz
stage "fuzz run" ctest --preset fuzz
echo "==> all stages passed in $SECONDS s"
