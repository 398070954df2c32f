#!/usr/bin/env bash
# Installs what is missing, builds the benchmark and runs it. It makes its
# own data under /tmp (and /dev/shm for the move across filesystems) and
# removes it at the end. Arguments go to the program: --quick skips the
# 1,000,000-file folder, --repeat N runs the whole set N times and then
# sums up each figure's ratios, --only SECTION,... runs only those sections.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --bench
cmake --preset bench
cmake --build --preset bench
build/bench/bin/shoebox_bench "$@" # offscreen: the program chooses it itself
