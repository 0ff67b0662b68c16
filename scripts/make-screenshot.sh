#!/usr/bin/env bash
# make-screenshot.sh [BUILD_DIR] [OUT.png]   The README's picture: the window playing a song
# with timed lyrics, the sung line and word lit and the position bar under them. Starts its
# own X server, window manager and silent audio sink, so it can be made again after any change
# of the window. Installs what it needs (Xvfb, openbox, xdotool, ImageMagick) when missing.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
out=${2:-docs/screenshot.png}
[ -x "$build/larkspur" ] || { echo "make-screenshot: no $build/larkspur; run make first" >&2; exit 1; }

missing=()
command -v Xvfb >/dev/null || missing+=(xvfb)
command -v openbox >/dev/null || missing+=(openbox)
command -v xdotool >/dev/null || missing+=(xdotool)
command -v import >/dev/null || missing+=(imagemagick)
if [ ${#missing[@]} -gt 0 ]; then
  sudo=; [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get install -y -q "${missing[@]}" >/dev/null
fi

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

display=90
while [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 640x640x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display"
openbox >/dev/null 2>&1 & pids+=($!)

# A song of 30 s and its lyrics with word stamps, so a word is lit as it is sung.
song="$work/Pink Noise Orchestra - Soft Rain.mp3"
gst-launch-1.0 -q audiotestsrc num-buffers=1300 wave=pink-noise volume=0.2 ! audioconvert \
  ! lamemp3enc ! filesink location="$song"
printf '%s\r\n' \
  "[ar:Pink Noise Orchestra]" "[ti:Soft Rain]" \
  "[00:00.50]<00:00.50>Soft <00:01.20>rain <00:01.90>upon <00:02.40>the <00:02.70>window <00:03.10>pane," \
  "[00:03.20]<00:03.20>a <00:03.40>hush <00:03.90>of <00:04.20>static, <00:05.00>grey <00:05.40>and <00:05.70>kind," \
  "[00:06.00]<00:06.00>it <00:06.30>falls <00:06.90>and <00:07.20>never <00:07.80>falls <00:08.20>in <00:08.40>vain," \
  "[00:08.80]<00:08.80>it <00:09.10>rinses <00:09.80>noise <00:10.30>out <00:10.60>of <00:10.90>my <00:11.10>mind." \
  "[00:11.50]<00:11.50>Soft <00:12.30>rain, <00:13.00>soft <00:13.40>rain," \
  "[00:14.00]<00:14.00>the <00:14.30>pink-noise <00:15.20>sky <00:15.60>goes <00:16.00>on <00:16.30>tonight," \
  "[00:16.80]<00:16.80>soft <00:17.30>rain <00:17.70>until <00:18.20>the <00:18.50>morning <00:19.00>light." \
  > "${song%.mp3}.lrc"
printf '0|%s\r\n' "$song" > "$work/list.txt"

cd "$work"
HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" \
  XDG_CACHE_HOME="$work/cache" LARKSPUR_AUDIO_SINK=fakesink \
  LARKSPUR_SEARCH_URL=http://127.0.0.1:1 LARKSPUR_LYRICS_DB_URL=http://127.0.0.1:1 \
  "$build/larkspur" "$work/list.txt" >/dev/null 2>&1 & pids+=($!)
window=
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --name 'Larkspur' 2>/dev/null | head -1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "make-screenshot: the window did not appear" >&2; exit 1; }
# "never" in the third line is sung from 7.2 s to 7.8 s.
sleep 7.3
cd - >/dev/null
import -window "$window" "$work/shot.png"
convert "$work/shot.png" -colors 64 "PNG8:$out"
echo "make-screenshot: $out, $(stat -c %s "$out") bytes"
