#!/usr/bin/env bash
# Takes review screenshots of the panel in its main states from the real app, on a virtual
# desktop with a system tray, against real dev servers and the local link service. Writes
# docs/panel/<state>.png. They are for people to look at, not golden images for tests.
#
#   scripts/panel-screenshots.sh [BUILD_DIR]     (default build/dev; needs skerrow,
#                                                 skerrow-link-service and the tunnel client)
#
# As root it runs in a network namespace of its own, so only the dev servers it starts are
# listening and the panel shows nothing of the machine's other servers.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" = 0 ] && [ -z "${SKERROW_SHOTS_NETNS:-}" ]; then
  exec env SKERROW_SHOTS_NETNS=1 unshare -n "$0" "$@"
fi
[ -n "${SKERROW_SHOTS_NETNS:-}" ] && ip link set lo up

bin=$PWD/${1:-build/dev}/bin
out=$PWD/docs/panel
mkdir -p "$out"
work=$(mktemp -d)
display=
service_pid=
app_pid=
servers=()

cleanup() {
  stop_app
  stop_service
  for pid in "${servers[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  [ -n "$display" ] && scripts/virtual-desktop.sh stop "$display"
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

display=$(scripts/virtual-desktop.sh start)
export DISPLAY=$display
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

home_count=0
fresh_home() {
  home_count=$((home_count + 1))
  local h=$work/home$home_count
  export HOME=$h XDG_DATA_HOME=$h/.local/share XDG_CONFIG_HOME=$h/.config
  export XDG_STATE_HOME=$h/.local/state XDG_CACHE_HOME=$h/.cache XDG_RUNTIME_DIR=$h/run
  mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME" \
    "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
}

start_service() {
  "$bin/skerrow-link-service" --ephemeral "$@" >"$work/service.log" 2>&1 &
  service_pid=$!
  wait_for curl -sf -o /dev/null http://127.0.0.1:20251/requests
}
stop_service() {
  [ -n "$service_pid" ] && kill -TERM "$service_pid" 2>/dev/null && wait "$service_pid" || true
  service_pid=
}
control() { curl -sf -X "$1" -d "${3:-}" "http://127.0.0.1:20251$2" >/dev/null; }

# A dev server: a project directory with a page, served on a fixed port.
start_server() {
  local name=$1 port=$2 title=$3
  mkdir -p "$work/projects/$name"
  printf '<!doctype html><title>%s</title><h1>%s</h1>\n' "$title" "$title" \
    >"$work/projects/$name/index.html"
  (cd "$work/projects/$name" && exec python3 -m http.server "$port" --bind 127.0.0.1 \
    >/dev/null 2>&1) &
  servers+=($!)
  wait_for curl -sf -o /dev/null "http://127.0.0.1:$port/"
}
stop_servers() {
  for pid in "${servers[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  servers=()
}

start_app() {
  "$bin/skerrow" >"$work/app.log" 2>&1 &
  app_pid=$!
  scripts/tray-icon.sh wait >/dev/null
}
stop_app() {
  [ -n "$app_pid" ] && kill -TERM "$app_pid" 2>/dev/null && wait "$app_pid" || true
  app_pid=
}

wait_for() {
  for _ in $(seq 200); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "panel-screenshots: timed out waiting for: $*" >&2
  return 1
}

# The open panel: the app's one viewable window 340 wide.
panel_window() {
  xdotool search --onlyvisible --classname '^skerrow$' 2>/dev/null | while read -r id; do
    if xwininfo -id "$id" | grep -q 'Width: 340'; then
      echo "$id"
      return 0
    fi
  done
}
panel_open() { [ -n "$(panel_window)" ]; }
open_panel() {
  scripts/tray-icon.sh click
  wait_for panel_open
  sleep 0.5
}
close_panel() { xdotool key Escape; sleep 0.3; }

# The panel and the tray above it, cut from the screen.
shot() {
  local name=$1 id x y w h
  id=$(panel_window)
  read -r x y w h < <(xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$4}
    /Absolute upper-left Y/ {y=$4} /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}')
  local left=$((x - 20))
  import -window root -crop "$((1280 - left))x$((y + h + 20))+${left}+0" +repage "$out/$name.png"
  echo "panel-screenshots: $out/$name.png"
}

# Offline: no link service to install with.
fresh_home
start_server shop 3000 "Shop"
start_app
sleep 3
open_panel
shot offline
close_panel
stop_app

# Starting: the service holds the install request.
fresh_home
start_service
control POST /faults '{"path": "/v1/install", "method": "POST", "delay": 30}'
start_app
sleep 2
open_panel
shot starting
close_panel
stop_app
stop_service

# Installed, nothing listening.
stop_servers
fresh_home
start_service
start_app
sleep 4
open_panel
shot no-apps
close_panel

# Apps listed.
start_server shop 3000 "Shop"
start_server blog 4321 "Blog"
start_server docs 8000 "Docs"
start_server api 5173 "API"
sleep 5
open_panel
shot apps
close_panel
stop_app
stop_service
