#!/usr/bin/env bash
# Builds the benchmarks (optimised, in build-bench/) and runs them:
#   bench/run.sh [--size MiB] [--runs N] [--dir DIR]
# --size chooses the generated file's size (default 1024 MiB); the files go
# into a temporary directory under DIR (default $TMPDIR or /tmp), which must
# be on a disk, not in memory, for figures that mean anything.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVEXO_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j2 >/dev/null
echo "machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p' | head -1), kernel $(uname -r)"
echo "        $(df -hT "${TMPDIR:-/tmp}" | awk 'NR==2 {print $2 " on " $1}')"
./build-bench/bench/move_bench "$@"
