#!/usr/bin/env bash
# Builds the benchmarks (optimised, in build-bench/) and runs them:
#   bench/run.sh [--size MiB] [--runs N] [--dir DIR]
# First the byte moving: split and join against GNU split, cat and cp on a
# generated file of --size MiB (default 1024) in a temporary directory under
# DIR (default $TMPDIR or /tmp), which must be on a disk, not in memory, for
# figures that mean anything. Then the main window: start-up, memory and a
# directory of 20,000 files, on the X display when there is one, else under
# Xvfb, else on Qt's offscreen platform; and a split and a join of a file
# of --size MiB through the window, from Enter on "決　定" to the painted
# completion message, side by side with GNU split, cat and the engine.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVEXO_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j2 >/dev/null

echo "machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(free -g | awk '/^Mem:/ {print $2}') GiB," \
  "kernel $(uname -r)"
echo "         $(df -hT "${TMPDIR:-/tmp}" | awk 'NR==2 {print $2 " on " $1}')"
./build-bench/bench/move_bench "$@"
./build-bench/bench/par2_bench "$@"

[[ -x build-bench/bench/window_bench ]] || exit 0
work="$(mktemp -d "${TMPDIR:-/tmp}/vexo-run.XXXXXX")"
xvfb=
cleanup() {
  [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
chmod 700 "$work"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$work}"
if [[ -z ${DISPLAY:-} ]] && command -v Xvfb >/dev/null; then
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
  xvfb=$!
  for _ in $(seq 50); do [[ -s $work/display ]] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb
elif [[ -z ${DISPLAY:-} ]]; then
  export QT_QPA_PLATFORM=offscreen
fi
./build-bench/bench/window_bench "$@"
