#!/bin/bash
# Installs what the terminal benchmark compares against (libvterm-dev, for the benchmark only),
# builds it and runs it. Usage: bench/terminal/setup.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/setup.sh
tessal_install_missing libvterm-dev pkg-config
dir=${1:-build}
cmake -S . -B "$dir" -DTESSAL_BENCH=ON
cmake --build "$dir" --parallel "$(nproc)" --target bench_terminal_throughput
"$dir"/bench/bench_terminal_throughput
