#!/usr/bin/env bash
# Runs every benchmark program and prints its figures.
set -uo pipefail
build=${1:-build}
status=0
# The local lyrics benchmark reads a dump of a million tracks (about 1.7 GB), made here.
dumps=$(mktemp -d)
trap 'rm -rf "$dumps"' EXIT
for b in "$build"/bench/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue
  # A bare window for the launch benchmark to measure beside the player, not a benchmark.
  [ "$(basename "$b")" = bench_floor_window ] && continue
  echo "== $(basename "$b")"
  args=()
  if [ "$(basename "$b")" = bench_local_lyrics_lookup ]; then
    python3 "$(dirname "$0")/../bench/make_lyrics_dump.py" "$dumps/dump.sqlite3" || status=1
    args=("$dumps/dump.sqlite3")
  fi
  QT_QPA_PLATFORM=offscreen "$b" "${args[@]}" || status=1
  rm -f "$dumps/dump.sqlite3"
done
# The player beside gst-play-1.0: launch, memory, CPU and exit (about ten minutes).
echo "== launch_bench.py"
python3 "$(dirname "$0")/../bench/launch_bench.py" "$build" || status=1
exit $status
