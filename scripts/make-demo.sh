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

# Words for two songs, so the lyrics side works without a network: plain lyrics beside the
# first song and timed lyrics beside the third. Written once; edits made to them are kept.
# Args: file, then its lines (written with CR LF line breaks).
write_words() {
  local file=$1
  shift
  [ -f "$file" ] && return 0
  printf '%s\r\n' "$@" > "$file.tmp"
  mv "$file.tmp" "$file"
}
write_words "$dir/The Sine Waves - Morning Tone.lyr" \
  "A single tone across the room," \
  "it hums before the kettle sings," \
  "the café door, the street in bloom," \
  "the morning tuned to simple things." \
  "" \
  "Three hundred thirty times a second" \
  "the air goes round and comes again;" \
  "no note is lost, no beat is reckoned," \
  "a line of light, a steady pen." \
  "" \
  "So let it ring until the noon," \
  "a plain sine wave, a patient tune."
write_words "$dir/Pink Noise Orchestra - Soft Rain.lrc" \
  "[00:00.50]Soft rain upon the window pane," \
  "[00:03.20]a hush of static, grey and kind," \
  "[00:06.00]it falls and never falls in vain," \
  "[00:08.80]it rinses noise out of my mind." \
  "[00:11.50]Soft rain, soft rain," \
  "[00:14.00]the pink-noise sky goes on tonight," \
  "[00:16.80]soft rain until the morning light." \
  "[00:19.20](the rain goes on)"

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
