#!/usr/bin/env bash
# Makes a small demo library: a few short MP3 songs and a song list for them.
set -euo pipefail
dir=${1:-demo}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
# artist - title : test-source waveform : frequency
songs=(
  "The Sine Waves - Morning Tone:sine:330"
  "Square Dance Band - Square One:square:220"
  "Pink Noise Orchestra - Soft Rain:pink-noise:440"
  "The Saw Brothers - Cutting Edge:saw:262"
  "Ticking Clocks - Midnight:ticks:440"
)
list="$dir/demo.txt"
[ -f "$list" ] && exit 0
: > "$list.tmp"
for s in "${songs[@]}"; do
  IFS=: read -r name wave freq <<<"$s"
  file="$dir/$name.mp3"
  if [ ! -s "$file" ]; then
    # About 20 seconds each: 861 buffers of 1024 samples at 44.1 kHz.
    gst-launch-1.0 -q audiotestsrc num-buffers=861 wave="$wave" volume=0.3 freq="$freq" \
      ! audioconvert ! lamemp3enc ! id3v2mux ! filesink location="$file"
  fi
  printf '0|%s\r\n' "$file" >> "$list.tmp"
done
mv "$list.tmp" "$list"
echo "Demo song list: $list"
