#!/usr/bin/env bash
# A virtual X desktop for running and trying the app as a user would: Xvfb, the openbox window
# manager and a trayer system tray along the top edge.
#
#   scripts/virtual-desktop.sh start [DISPLAY]   starts all three, waits until each is up and
#                                                prints the display (for example ":1")
#   scripts/virtual-desktop.sh stop DISPLAY      stops what `start` started for that display
#   scripts/virtual-desktop.sh start --no-tray   the same without the tray
#   scripts/virtual-desktop.sh start --dark-tray a dark tray instead of a light one
#
# The pids are kept in /tmp/skerrow-desktop<DISPLAY>.pids; only those processes are stopped.
set -euo pipefail

size=1280x800x24
tray=1
tint=0xe8e8e8

pidfile() { echo "/tmp/skerrow-desktop${1}.pids"; }

# Waits up to 10 s for a command to succeed.
wait_for() {
  for _ in $(seq 100); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "virtual-desktop: timed out waiting for: $*" >&2
  return 1
}

# Succeeds once the process has exited (a zombie counts as exited); fails after 5 s.
wait_gone() {
  for _ in $(seq 50); do
    [ -e "/proc/$1" ] || return 0
    [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" = Z ] && return 0
    sleep 0.1
  done
  return 1
}

start() {
  local display=""
  for arg in "$@"; do
    case "$arg" in
      --no-tray) tray=0 ;;
      --dark-tray) tint=0x202020 ;;
      :*) display="$arg" ;;
    esac
  done
  # -noreset: by default the server resets when its last client leaves, and a client connecting
  # during that (the window manager, just after the readiness check) is cut off.
  local number pid
  number=$(mktemp)
  if [ -n "$display" ]; then
    Xvfb "$display" -screen 0 "$size" -nolisten tcp -noreset >/dev/null 2>&1 &
    pid=$!
  else
    # The server picks a free display itself and writes its number once it accepts clients,
    # so two desktops starting at once never take the same one.
    Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp -noreset 3>"$number" >/dev/null 2>&1 &
    pid=$!
    if ! wait_for test -s "$number"; then
      echo "virtual-desktop: Xvfb did not start" >&2
      kill -TERM "$pid" 2>/dev/null
      rm -f "$number"
      return 1
    fi
    display=":$(head -n1 "$number")"
  fi
  rm -f "$number"
  local pids
  pids=$(pidfile "$display")
  echo "$pid" >"$pids"
  export DISPLAY="$display"
  wait_for xdotool getdisplaygeometry || { stop "$display"; return 1; }
  openbox >/dev/null 2>&1 &
  echo $! >>"$pids"
  # openbox owns the window-manager selection once it runs: its root-window property shows it.
  wait_for sh -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" ||
    { stop "$display"; return 1; }
  if [ "$tray" = 1 ]; then
    trayer --edge top --align right --widthtype request --height 24 --iconspacing 4 \
      --SetDockType true --SetPartialStrut true --transparent true --alpha 0 \
      --tint "$tint" >/dev/null 2>&1 &
    echo $! >>"$pids"
    wait_for sh -c "xprop -root -notype | grep -q _NET_SUPPORTING_WM_CHECK && xdotool search --classname trayer" ||
      { stop "$display"; return 1; }
  fi
  echo "$display"
}

stop() {
  local display="${1:?stop needs the display}"
  local pids
  pids=$(pidfile "$display")
  [ -f "$pids" ] || return 0
  # Newest first: the tray and the window manager before the X server.
  tac "$pids" | while read -r pid; do
    kill -TERM "$pid" 2>/dev/null || true
  done
  # Gone before this returns, so a desktop started next never meets a server still closing.
  # An X server caught in a reset can miss the TERM; it must not outlive its desktop.
  while read -r pid; do
    wait_gone "$pid" || kill -KILL "$pid" 2>/dev/null || true
  done <"$pids"
  rm -f "$pids"
}

case "${1:-}" in
  start) shift; start "$@" ;;
  stop) shift; stop "$@" ;;
  *) echo "usage: $0 start [DISPLAY] [--no-tray|--dark-tray] | stop DISPLAY" >&2; exit 2 ;;
esac
