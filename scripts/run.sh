#!/usr/bin/env bash
# Sets up the machine, builds Skerrow with the local link service and tunnel client, starts the
# service and runs the app until it gets SIGTERM or SIGINT.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset local
cmake --build --preset local -j"$(nproc)" --target skerrow skerrow-link-service skerrow_local_tunnel_client
bin=build/local/bin
service_pid=
if [ -x "$bin/skerrow-link-service" ]; then
  "$bin/skerrow-link-service" &
  service_pid=$!
fi
stop() {
  [ -n "${app_pid:-}" ] && kill -TERM "$app_pid" 2>/dev/null || true
  [ -n "$service_pid" ] && kill -TERM "$service_pid" 2>/dev/null || true
  [ -n "${desktop:-}" ] && scripts/virtual-desktop.sh stop "$desktop"
  return 0
}
trap stop TERM INT
# Without a display of its own the app runs on a virtual desktop with a system tray, so the tray
# icon and the panel still exist: look with `DISPLAY=<display> import -window root shot.png` and
# open the panel with `DISPLAY=<display> scripts/tray-icon.sh click`.
desktop=
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  desktop=$(scripts/virtual-desktop.sh start)
  export DISPLAY=$desktop
  echo "run: the app runs on the virtual display $desktop"
  echo "run: open its panel:   DISPLAY=$desktop scripts/tray-icon.sh click"
  echo "run: take a screenshot: DISPLAY=$desktop import -window root skerrow.png"
fi
# With a systemd journal the app logs there; elsewhere its lines appear in this terminal.
if [ -S /run/systemd/journal/socket ]; then
  echo "run: the app's log: journalctl -f -t skerrow"
fi
"$bin/skerrow" &
app_pid=$!
wait "$app_pid" || true
stop
wait || true
