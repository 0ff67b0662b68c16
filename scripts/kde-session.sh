#!/usr/bin/env bash
# A headless KDE Plasma session to try the player's Wayland side in: KWin (kwin_wayland
# --virtual, with its kglobalaccel), xdg-desktop-portal and KDE's portal on a private session
# bus whose configuration starts nothing installed. Its home, settings and sockets are in DIR.
#
#   scripts/kde-session.sh start DIR   # prints the environment to eval
#   eval "$(scripts/kde-session.sh start /tmp/kde)"; build/larkspur list.txt
#   scripts/kde-session.sh stop DIR    # ends what it started, each by its process id
#
# Needs kwin-wayland, xdg-desktop-portal, xdg-desktop-portal-kde and qtwayland5; exits 77
# naming the first that is missing.
set -euo pipefail
command=${1:-}
dir=${2:-}
if [ -z "$dir" ] || { [ "$command" != start ] && [ "$command" != stop ]; }; then
  echo "usage: $0 start|stop DIR" >&2
  exit 2
fi
if [ "$command" = stop ]; then
  [ -f "$dir/pids" ] || exit 0
  pids=$(tac "$dir/pids")
  kill $pids 2>/dev/null || true
  for _ in $(seq 50); do kill -0 $pids 2>/dev/null || break; sleep 0.1; done
  kill -9 $pids 2>/dev/null || true
  rm -f "$dir/pids"
  exit 0
fi

kde_portal=$(ls /usr/lib/*/libexec/xdg-desktop-portal-kde 2>/dev/null | head -n 1 || true)
for need in kwin-wayland:/usr/bin/kwin_wayland \
            xdg-desktop-portal:/usr/libexec/xdg-desktop-portal \
            xdg-desktop-portal-kde:"$kde_portal" \
            qtwayland5:"$(ls /usr/lib/*/qt5/plugins/platforms/libqwayland-generic.so 2>/dev/null |
                         head -n 1 || true)"; do
  if [ ! -e "${need#*:}" ] || [ -z "${need#*:}" ]; then
    echo "${need%%:*} is not installed" >&2
    exit 77
  fi
done

mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
mkdir -p -m 700 "$dir/run"
mkdir -p "$dir/home/.config" "$dir/bin"
: >"$dir/pids"
# The session bus's own configuration, less its service folders.
cat >"$dir/bus.conf" <<EOF
<busconfig><type>session</type><listen>unix:dir=$dir</listen><auth>EXTERNAL</auth>
<policy context="default"><allow own="*"/><allow send_destination="*" eavesdrop="true"/>
<allow eavesdrop="true"/></policy></busconfig>
EOF
dbus-daemon --config-file="$dir/bus.conf" --fork --print-address=1 --print-pid=1 >"$dir/bus.out"
bus=$(sed -n 1p "$dir/bus.out")
sed -n 2p "$dir/bus.out" >>"$dir/pids"
# What KDE's portal opens (its settings page) is written to DIR/opened instead.
printf '#!/bin/sh\necho "$@" >> "%s/opened"\n' "$dir" >"$dir/bin/xdg-open"
chmod +x "$dir/bin/xdg-open"
export DBUS_SESSION_BUS_ADDRESS=$bus XDG_RUNTIME_DIR=$dir/run HOME=$dir/home \
  XDG_CONFIG_HOME=$dir/home/.config XDG_DATA_HOME=$dir/home/.local/share \
  XDG_CURRENT_DESKTOP=KDE WAYLAND_DISPLAY=wayland-kde PATH=$dir/bin:$PATH
unset DISPLAY

owned() {
  for _ in $(seq 200); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
      org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q true && return 0
    sleep 0.1
  done
  echo "$1 did not come up; see $dir/*.log" >&2
  "$0" stop "$dir"
  exit 1
}
# The installed binary carries a file capability a container may refuse; a copy has none.
cp /usr/bin/kwin_wayland "$dir/kwin_wayland"
"$dir/kwin_wayland" --virtual --no-lockscreen --socket wayland-kde >"$dir/kwin.log" 2>&1 &
echo $! >>"$dir/pids"
owned org.kde.kglobalaccel
QT_QPA_PLATFORM=wayland QT_LOGGING_RULES=xdp-kde-GlobalShortcuts=true "$kde_portal" \
  >"$dir/kde-portal.log" 2>&1 &
echo $! >>"$dir/pids"
owned org.freedesktop.impl.portal.desktop.kde
/usr/libexec/xdg-desktop-portal >"$dir/portal.log" 2>&1 &
echo $! >>"$dir/pids"
owned org.freedesktop.portal.Desktop

for name in DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR HOME XDG_CONFIG_HOME XDG_DATA_HOME \
  XDG_CURRENT_DESKTOP WAYLAND_DISPLAY PATH; do
  printf 'export %s=%q\n' "$name" "${!name}"
done
echo "unset DISPLAY; export QT_QPA_PLATFORM=wayland"
