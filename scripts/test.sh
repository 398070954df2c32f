#!/usr/bin/env bash
# Installs what is missing, builds Shoebox with its tests and runs them all.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/format.sh --check
cmake --preset release
cmake --build --preset release
ctest --preset release
