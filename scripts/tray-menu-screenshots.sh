#!/usr/bin/env bash
# Takes review screenshots of the tray icon's right-click menu and tooltip from the real app,
# on a virtual desktop with a system tray and a private session bus, against a dev server and the
# local link service. The link is shared from the command line. Writes docs/panel/tray-menu.png
# and docs/panel/tray-tooltip.png; they are for people to look at, not golden images for tests.
#
#   scripts/tray-menu-screenshots.sh [BUILD_DIR]      (default build/dev)
#
# As root it runs in a network namespace of its own, so only its own servers are listening.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" = 0 ] && [ -z "${SKERROW_SHOTS_NETNS:-}" ]; then
  exec env SKERROW_SHOTS_NETNS=1 unshare -n "$0" "$@"
fi
[ -n "${SKERROW_SHOTS_NETNS:-}" ] && ip link set lo up
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] || [ -z "${SKERROW_SHOTS_BUS:-}" ]; then
  exec env SKERROW_SHOTS_BUS=1 dbus-run-session -- "$0" "$@"
fi

build=${1:-build/dev}
case "$build" in
  /*) bin=$build/bin ;;
  *) bin=$PWD/$build/bin ;;
esac
out=$PWD/docs/panel
mkdir -p "$out"
work=$(mktemp -d)
display=
pids=()

cleanup() {
  "$bin/skerrow" stop 3000 >/dev/null 2>&1 || true
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "$display" ] && scripts/virtual-desktop.sh stop "$display"
  rm -rf "$work"
}
trap cleanup EXIT

wait_for() {
  for _ in $(seq 200); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "tray-menu-screenshots: timed out waiting for: $*" >&2
  return 1
}

display=$(scripts/virtual-desktop.sh start)
export DISPLAY=$display
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
h=$work/home
export HOME=$h XDG_DATA_HOME=$h/.local/share XDG_CONFIG_HOME=$h/.config
export XDG_STATE_HOME=$h/.local/state XDG_CACHE_HOME=$h/.cache XDG_RUNTIME_DIR=$h/run
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

"$bin/skerrow-link-service" --ephemeral >"$work/service.log" 2>&1 &
pids+=($!)
wait_for curl -sf -o /dev/null http://127.0.0.1:20251/requests

mkdir -p "$work/projects/storefront"
printf '<!doctype html><title>Storefront</title><h1>Storefront</h1>\n' \
  >"$work/projects/storefront/index.html"
(cd "$work/projects/storefront" && exec python3 -m http.server 3000 --bind 127.0.0.1 \
  >/dev/null 2>&1) &
pids+=($!)
wait_for curl -sf -o /dev/null http://127.0.0.1:3000/

"$bin/skerrow" >"$work/app.log" 2>&1 &
pids+=($!)
scripts/tray-icon.sh wait >/dev/null
url=$("$bin/skerrow" share 3000)
echo "tray-menu-screenshots: shared $url"
# A visitor, so the link has one to count.
curl -sf -o /dev/null "$url"

# True once the screen's region $1 differs from the image $2.
region_changed() {
  import -window root -crop "$1" +repage "$work/now.png"
  ! compare -metric AE "$work/now.png" "$2" null: 2>/dev/null
}

read -r x y w h < <(scripts/tray-icon.sh wait)
# The tooltip: the pointer rests on the icon.
import -window root -crop 640x140+640+0 +repage "$work/before.png"
xdotool mousemove $((x + w / 2)) $((y + h / 2))
wait_for region_changed 640x140+640+0 "$work/before.png"
cp "$work/now.png" "$out/tray-tooltip.png"
echo "tray-menu-screenshots: $out/tray-tooltip.png"

import -window root -crop 640x260+640+0 +repage "$work/before.png"
xdotool click 3
wait_for region_changed 640x260+640+0 "$work/before.png"
cp "$work/now.png" "$out/tray-menu.png"
echo "tray-menu-screenshots: $out/tray-menu.png"
xdotool key Escape
