#!/usr/bin/env bash
# Takes review screenshots of the panel in its main states from the real app, on a virtual
# desktop with a system tray, against real dev servers and the local link service. Writes
# docs/panel/<state>.png. They are for people to look at, not golden images for tests.
#
#   scripts/panel-screenshots.sh [BUILD_DIR]     (default build/dev; relative to the repository
#                                                 or absolute; needs skerrow,
#                                                 skerrow-link-service and the tunnel client)
#
# With SKERROW_SHOTS_KEEP=1 the work directory with the app's and the service's logs is kept.
#
# As root it runs in a network namespace of its own, so only the dev servers it starts are
# listening and the panel shows nothing of the machine's other servers, and in a mount namespace
# of its own, so that it can slow down the port scan for the "scanning" shot (see slow_scan).
# Without root that shot is skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" = 0 ] && [ -z "${SKERROW_SHOTS_NETNS:-}" ]; then
  exec env SKERROW_SHOTS_NETNS=1 unshare -n -m "$0" "$@"
fi
[ -n "${SKERROW_SHOTS_NETNS:-}" ] && ip link set lo up

build=${1:-build/dev}
case "$build" in
  /*) bin=$build/bin ;;
  *) bin=$PWD/$build/bin ;;
esac
out=$PWD/docs/panel
mkdir -p "$out"
work=$(mktemp -d)
display=
service_pid=
app_pid=
tunnel=
servers=()

cleanup() {
  # A stopped tunnel client would not see the app's request to end.
  if [ -n "$tunnel" ]; then kill -CONT "$tunnel" 2>/dev/null || true; fi
  stop_app
  stop_service
  for pid in "${servers[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  [ -n "$display" ] && scripts/virtual-desktop.sh stop "$display"
  wait 2>/dev/null || true
  if [ -e "$work/lsof" ]; then umount "$lsof" 2>/dev/null || true; fi
  if [ -n "${SKERROW_SHOTS_KEEP:-}" ]; then
    echo "panel-screenshots: logs kept in $work" >&2
  else
    rm -rf "$work"
  fi
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
  # Gone before returning, so that another server can take the same port at once.
  for pid in "${servers[@]}"; do wait "$pid" 2>/dev/null || true; done
  servers=()
}

# With "dark", the app takes the GTK Adwaita-dark theme's palette through Qt's GTK platform theme
# (Debian qt6-gtk-platformtheme and gnome-themes-extra).
start_app() {
  echo "== $HOME ${1:-}" >>"$work/app.log"
  if [ "${1:-}" = dark ]; then
    QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark "$bin/skerrow" >>"$work/app.log" 2>&1 &
  else
    "$bin/skerrow" >>"$work/app.log" 2>&1 &
  fi
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
# Each shot opens the panel afresh, so it is taken as a user first sees that state.
open_panel() {
  close_panel
  scripts/tray-icon.sh click
  wait_for panel_open
  sleep 0.5
}
# After closing, the icon ignores clicks for a moment (so the click that closed it cannot reopen it).
close_panel() {
  panel_open || return 0
  xdotool key Escape
  sleep 0.4
}

# Clicks the share switch of the first local app, with no links shown above it.
first_switch_x=300
first_switch_y=94
share_first_app() {
  local x y
  read -r x y < <(xwininfo -id "$(panel_window)" | awk '/Absolute upper-left X/ {x=$4}
    /Absolute upper-left Y/ {y=$4} END {print x, y}')
  xdotool mousemove $((x + first_switch_x)) $((y + first_switch_y)) click 1
}

# The link service has a link that has not ended.
has_active_link() {
  curl -sf http://127.0.0.1:20251/state | jq -e '[.links[] | select(.ended | not)] | length > 0'
}

# The tunnel client the app started, as named by the pid file it keeps.
tunnel_pid() {
  local file
  file=$(find "$HOME" -name cloudflared.pid -print -quit)
  [ -n "$file" ] && tr -d '[:space:]' <"$file"
}

# A scan shows its spinner only while it runs, and with no dev server listening it takes a few
# milliseconds. For the "scanning" shot the app's lsof is swapped, by a bind mount private to this
# mount namespace, for a wrapper that holds each call while $work/slow-scan exists and then runs a
# copy of the real lsof. The hold stays under the app's 5 s tool timeout, past which the scan
# would count as failed. $work/scan-held exists while a call is held.
lsof=
for candidate in /usr/sbin/lsof /usr/bin/lsof /bin/lsof; do
  if [ -x "$candidate" ]; then
    lsof=$candidate
    break
  fi
done
scan_hold=3.5
slow_scan() {
  cp "$lsof" "$work/lsof"
  cat >"$work/lsof-held" <<EOF
#!/bin/sh
if [ -e "$work/slow-scan" ]; then
  touch "$work/scan-held"
  sleep $scan_hold
  rm -f "$work/scan-held"
fi
exec "$work/lsof" "\$@"
EOF
  chmod +x "$work/lsof-held"
  mount --bind "$work/lsof-held" "$lsof"
}

# The panel and the tray above it, cut from the screen.
shot() {
  local name=$1 id x y w h
  id=$(panel_window)
  if [ -z "$id" ]; then
    echo "panel-screenshots: the panel closed before the $name shot" >&2
    return 1
  fi
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
# The keyboard's focus ring: Tab from the first control to the second.
xdotool key Tab
sleep 0.3
shot apps-focused
close_panel
stop_app

# The same in a dark theme.
start_app dark
sleep 4
open_panel
shot apps-dark
xdotool key Tab
sleep 0.3
shot apps-dark-focused
close_panel
stop_app
stop_service

# Scanning: installed, no local app known yet, a scan under way.
stop_servers
if [ -n "${SKERROW_SHOTS_NETNS:-}" ]; then
  slow_scan
  fresh_home
  start_service
  start_app
  sleep 3
  touch "$work/slow-scan"
  # The start of a fresh hold, so the shot falls well inside it.
  wait_for test ! -e "$work/scan-held"
  wait_for test -e "$work/scan-held"
  open_panel
  shot scanning
  rm -f "$work/slow-scan"
  close_panel
  stop_app
  stop_service
else
  echo "panel-screenshots: skipping scanning: slowing the scan needs root" >&2
fi

# Paused: the shared app's port now belongs to another project.
fresh_home
start_service
start_server shop 3000 "Shop"
start_app
sleep 4
open_panel
share_first_app
wait_for has_active_link
stop_servers
start_server blog 3000 "Blog"
sleep 4
open_panel
shot paused
close_panel

# Connecting: the shared app runs again, but the stopped tunnel client does not answer.
stop_servers
start_server shop 3000 "Shop"
tunnel=$(tunnel_pid)
kill -STOP "$tunnel"
# The app checks the tunnel client's readiness after every scan, every 2 s.
sleep 4
open_panel
shot connecting
kill -CONT "$tunnel"
tunnel=
close_panel
stop_app

# A live link in the dark theme.
start_app dark
sleep 4
open_panel
share_first_app
wait_for has_active_link
sleep 6
open_panel
shot sharing-dark
close_panel
stop_app
stop_service
