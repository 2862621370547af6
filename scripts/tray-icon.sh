#!/usr/bin/env bash
# Finds the app's icon in the system tray of the current X display and clicks it.
#
#   scripts/tray-icon.sh wait    waits (up to 20 s) until the icon is embedded; prints its geometry
#   scripts/tray-icon.sh click   clicks the middle of the icon
set -euo pipefail

# The tray host's windows hold the icons it embedded; the app's icon is the one whose window
# carries the app's class.
icon_window() {
  xdotool search --classname '^skerrow$' 2>/dev/null | while read -r id; do
    if xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable'; then
      local w h
      w=$(xwininfo -id "$id" | awk '/Width:/ {print $2}')
      h=$(xwininfo -id "$id" | awk '/Height:/ {print $2}')
      # The icon is small and square-ish; the panel is 340 wide.
      if [ "$w" -le 64 ] && [ "$h" -le 64 ]; then
        echo "$id"
        return 0
      fi
    fi
  done
}

wait_icon() {
  for _ in $(seq 200); do
    id=$(icon_window || true)
    if [ -n "$id" ]; then
      xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
        /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
      return 0
    fi
    sleep 0.1
  done
  echo "tray-icon: the app's icon did not appear in the tray" >&2
  return 1
}

case "${1:-}" in
  wait) wait_icon ;;
  click)
    read -r x y w h < <(wait_icon)
    xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
    ;;
  *) echo "usage: $0 wait|click" >&2; exit 2 ;;
esac
