#!/usr/bin/env bash
# Runs every benchmark program and prints its figures.
set -uo pipefail
build=${1:-build}
status=0
for b in "$build"/bench/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  # A bare window for the launch benchmark to measure beside the player, not a benchmark.
  [ "$(basename "$b")" = bench_floor_window ] && continue
  echo "== $(basename "$b")"
  QT_QPA_PLATFORM=offscreen "$b" || status=1
done
# The player beside gst-play-1.0: launch, memory, CPU and exit (about ten minutes).
echo "== launch_bench.py"
python3 "$(dirname "$0")/../bench/launch_bench.py" "$build" || status=1
exit $status
