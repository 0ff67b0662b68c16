#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer and the address and undefined-behaviour
# sanitizers, runs each for a while on a scratch copy of its seed corpus and prints a table.
# Fails when any target crashed, leaked, hung or ran out of memory, naming the input.
#   scripts/run-fuzz.sh [BUILD_FOLDER] [SECONDS_PER_TARGET]
# FUZZ_JOBS targets run at once (default: the number of processors); FUZZ_TARGETS picks some.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-fuzz}
seconds=${2:-60}
jobs=${FUZZ_JOBS:-$(nproc 2>/dev/null || echo 2)}
case "$seconds" in ''|*[!0-9]*) echo "seconds must be a whole number, not '$seconds'" >&2; exit 2 ;; esac
case "$build" in /*) ;; *) build="$root/$build" ;; esac

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" \
  -DLARKSPUR_FUZZ=ON -DLARKSPUR_BUILD_TESTS=OFF -DLARKSPUR_BUILD_BENCH=OFF >/dev/null || exit 1
cmake --build "$build" -j "$jobs" --target fuzz_targets || exit 1

if [ -n "${FUZZ_TARGETS:-}" ]; then
  targets=($FUZZ_TARGETS)
else
  targets=()
  for d in "$root"/fuzz/corpus/*/; do targets+=("$(basename "$d")"); done
fi

runs="$build/fuzz-runs"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export LSAN_OPTIONS=suppressions=$root/fuzz/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Faults that need size (a line behind thousands of stamps, an answer or a tag of hundreds of
# kilobytes) get room beyond libFuzzer's default of the largest seed.
declare -A max_len=([lrc_lyrics]=262144 [lyrics_database]=262144 [embedded_lyrics]=1048576
                    [dictd_dictionary]=262144 [challenge_answer]=65536)

run_one() {
  local t=$1 work="$runs/$1"
  rm -rf "$work" && mkdir -p "$work/corpus" "$work/artifacts"
  cp "$root/fuzz/corpus/$t"/* "$work/corpus/"
  local options=()
  [ -f "$root/fuzz/dict/$t.dict" ] && options=(-dict="$root/fuzz/dict/$t.dict")
  [ -n "${max_len[$t]:-}" ] && options+=(-max_len="${max_len[$t]}")
  # -timeout: an input running 10 s hangs; -rss_limit_mb: one using 2 GB runs away.
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -detect_leaks=1 -print_final_stats=1 -artifact_prefix="$work/artifacts/" "${options[@]}" \
    "$work/corpus" >"$work/log.txt" 2>&1
  echo $? >"$work/status"
}

echo "Running ${#targets[@]} fuzz targets for ${seconds} s each, $jobs at a time..."
running=0
for t in "${targets[@]}"; do
  if [ ! -x "$build/fuzz/fuzz_$t" ]; then echo "no fuzz target named $t" >&2; exit 2; fi
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then wait -n; running=$((running - 1)); fi
done
wait

failed=0
printf '\n%-20s %12s %8s %10s  %s\n' target executions inputs bytes result
for t in "${targets[@]}"; do
  work="$runs/$t"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log.txt" | tail -1)
  inputs=$(find "$work/corpus" -type f | wc -l)
  bytes=$(find "$work/corpus" -type f -printf '%s\n' | awk '{s+=$1} END {print s+0}')
  artifact=$(find "$work/artifacts" -type f | head -1)
  result=ok
  if [ "$(cat "$work/status" 2>/dev/null)" != 0 ] || [ -n "$artifact" ]; then
    failed=1
    case "$(basename "${artifact:-none}")" in
      crash-*) result=crash ;;
      leak-*) result=leak ;;
      timeout-*) result=hang ;;
      oom-*) result="out of memory" ;;
      *) result="failed" ;;
    esac
  fi
  printf '%-20s %12s %8s %10s  %s\n' "$t" "${execs:-?}" "$inputs" "$bytes" "$result"
done

if [ "$failed" -ne 0 ]; then
  echo
  for t in "${targets[@]}"; do
    work="$runs/$t"
    [ "$(cat "$work/status" 2>/dev/null)" = 0 ] && [ -z "$(find "$work/artifacts" -type f)" ] && continue
    echo "== $t: log in $work/log.txt"
    grep -m3 -E 'ERROR: |invariant failed|runtime error' "$work/log.txt" | sed 's/^/   /'
    for a in "$work"/artifacts/*; do
      [ -f "$a" ] || continue
      echo "   input: $a"
      echo "   rerun: $build/fuzz/fuzz_$t '$a'"
    done
  done
  exit 1
fi
