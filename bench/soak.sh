#!/usr/bin/env bash
# bench/soak.sh [SECONDS] [BUILD_DIR]   A long run (ten minutes by default) of the real player
# on its own X display and session bus, with loopback lyrics sites, pressed at random every
# few seconds: Next, Pause/Play, volume, Never play again, finder plays, playlist imports and
# lyrics lookups. Prints a table of figures; fails when the player died or stopped playing,
# its saved counts disagree with its play log, a banned song played again, or its memory or
# open files grew. Installs what it needs through apt first; bench/soak.py does the run.
set -uo pipefail
need=()
for c in Xvfb:xvfb xdotool:xdotool openbox:openbox gst-launch-1.0:gstreamer1.0-tools \
         dbus-daemon:dbus gdbus:libglib2.0-bin python3:python3; do
  command -v "${c%%:*}" >/dev/null || need+=("${c##*:}")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=; [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
exec python3 "$(dirname "${BASH_SOURCE[0]}")/soak.py" "$@"
