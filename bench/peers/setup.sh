#!/bin/bash
# Installs what the peer benchmark compares against (libserialport-dev and qt6-serialport-dev, for
# the benchmark only), builds it and runs it; arguments go to bench_peers (--runs 5, --pin 0, ...).
# Usage: bench/peers/setup.sh [bench_peers options]; TESSAL_BUILD_DIR picks the build directory.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/setup.sh
tessal_install_missing libserialport-dev qt6-serialport-dev pkg-config
dir=${TESSAL_BUILD_DIR:-build}
cmake -S . -B "$dir" -DTESSAL_BENCH=ON
cmake --build "$dir" --parallel "$(nproc)" --target bench_peers
"$dir"/bench/bench_peers "$@"
