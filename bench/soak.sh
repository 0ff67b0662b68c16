#!/usr/bin/env bash
# bench/soak.sh [SECONDS] [BUILD_DIR]   A long run of the real player on a private X display:
# 200 two-second songs, a third of them broken or missing, with Next and Pause/Play pressed at
# random every few seconds. Ends with the figures: songs played, failures logged, key presses,
# resident memory at start and end; fails when the player died, stopped playing, or its saved
# counts disagree with its log.
set -uo pipefail
secs=${1:-600}
build=${2:-build}
bin="$(cd "$build" 2>/dev/null && pwd)/larkspur"
[ -x "$bin" ] || { echo "soak: no $build/larkspur; run make build first"; exit 1; }
need=()
for c in Xvfb:xvfb xdotool:xdotool openbox:openbox gst-launch-1.0:gstreamer1.0-tools; do
  command -v "${c%%:*}" >/dev/null || need+=("${c##*:}")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=; [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; rm -rf "$work"; }
trap cleanup EXIT

# One encoded song, copied: 134 playable, 33 broken (noise), 33 missing.
gst-launch-1.0 -q audiotestsrc num-buffers=86 freq=440 ! audioconvert ! lamemp3enc ! \
  filesink location="$work/tone.mp3" >/dev/null 2>&1 || { echo "soak: cannot encode MP3"; exit 1; }
list="$work/list.txt"
: >"$list"
for i in $(seq -w 1 200); do
  f="$work/Soak Artist $i - Song $i.mp3"
  if [ $((10#$i % 3)) -ne 0 ]; then cp "$work/tone.mp3" "$f"
  elif [ $((10#$i % 2)) -eq 0 ]; then head -c 40000 /dev/urandom >"$f"
  fi # else: missing
  printf '0|%s\r\n' "$f" >>"$list"
done

for d in $(seq 140 200); do [ -e "/tmp/.X11-unix/X$d" ] || [ -e "/tmp/.X$d-lock" ] || break; done
Xvfb ":$d" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$d" ] && break; sleep 0.05; done
export DISPLAY=":$d"
openbox >/dev/null 2>&1 & pids+=($!)
mkdir -p "$work/run" && chmod 700 "$work/run"
export XDG_CONFIG_HOME="$work/cfg" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" \
  XDG_RUNTIME_DIR="$work/run" LARKSPUR_AUDIO_SINK=fakesink
cd "$work" || exit 1
"$bin" "$list" >"$work/out.txt" 2>&1 & p=$!
pids+=("$p")

w=""
for _ in $(seq 80); do
  w=$(xdotool search --onlyvisible --name 'Larkspur' 2>/dev/null | head -1)
  [ -n "$w" ] && break
  sleep 0.25
done
[ -n "$w" ] || { echo "soak: the window did not appear"; cat "$work/out.txt"; exit 1; }
sleep 3
rss() { awk '/VmRSS/{print $2}' "/proc/$1/status" 2>/dev/null; }
rss_start=$(rss "$p")
songlines() { grep -c " - $work/" "$work/log.txt" 2>/dev/null || echo 0; }

next=0 pauses=0 paused=0
end=$((SECONDS + secs))
while [ $SECONDS -lt $end ] && kill -0 "$p" 2>/dev/null; do
  sleep "$((2 + RANDOM % 5)).$((RANDOM % 10))"
  xdotool windowactivate --sync "$w" >/dev/null 2>&1 || xdotool windowfocus "$w" >/dev/null 2>&1
  if [ $((RANDOM % 2)) -eq 0 ]; then
    xdotool key F3; next=$((next + 1)); paused=0
  else
    xdotool key F4; pauses=$((pauses + 1)); paused=$((1 - paused))
  fi
done
alive=no; kill -0 "$p" 2>/dev/null && alive=yes
[ "$paused" = 1 ] && xdotool key F4
before=$(songlines); sleep 10; after=$(songlines)
rss_end=$(rss "$p")
kill -TERM "$p" 2>/dev/null
for _ in $(seq 100); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
exited=no; kill -0 "$p" 2>/dev/null || exited=yes

played=$(songlines)
failures=$(grep -c 'ABSPIELFEHLER' "$work/log.txt")
counted=$(awk -F'|' '{n = $1 + 0; if (n > 0) s += n} END {print s + 0}' "$list")
echo "soak: $secs s, 200 songs (134 playable, 33 broken, 33 missing)"
echo "soak: song lines $played, failures logged $failures, played through $((played - failures))"
echo "soak: Next pressed $next, Pause/Play pressed $pauses"
echo "soak: RSS at start ${rss_start:-?} kB, at end ${rss_end:-?} kB"
echo "soak: saved play counts $counted (song lines in the log: $played)"
ok=1
[ "$alive" = yes ] || { echo "soak: FAIL the player died"; ok=0; }
[ "$after" -gt "$before" ] || { echo "soak: FAIL no song started in the last 10 s"; ok=0; }
[ "$exited" = yes ] || { echo "soak: FAIL still running after SIGTERM"; ok=0; }
[ "$counted" = "$played" ] || { echo "soak: FAIL counts and log disagree"; ok=0; }
[ "$ok" = 1 ] && echo "soak: ok" || { tail -20 "$work/out.txt"; exit 1; }
