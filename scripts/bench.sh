#!/usr/bin/env bash
# Installs what is missing, builds the benchmark and runs it. It makes its
# own data under /tmp and /dev/shm and removes it at the end. Arguments go
# to the program: --quick skips the 1,000,000-file folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --bench
cmake --preset bench
cmake --build --preset bench
QT_QPA_PLATFORM=offscreen build/bench/bin/shoebox_bench "$@"
