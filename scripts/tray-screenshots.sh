#!/usr/bin/env bash
# Review screenshots of the tray icon on X11: the app in its default light theme on a light and
# on a dark trayer, zoomed 4 times. Writes docs/panel/tray-x11-<light|dark>-bar.png. The app
# takes its fixed ports: on a shared machine run it under `flock -o /work/ports.lock`.
#
#   scripts/tray-screenshots.sh [BUILD_DIR]     (default build/dev)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/dev}
case "$build" in
  /*) bin=$build/bin ;;
  *) bin=$PWD/$build/bin ;;
esac
out=$PWD/docs/panel
# Room around the icon in the shot, in pixels.
pad=6
work=$(mktemp -d)
display=
app=
cleanup() {
  [ -n "$app" ] && kill -TERM "$app" 2>/dev/null && wait "$app" 2>/dev/null || true
  [ -n "$display" ] && scripts/virtual-desktop.sh stop "$display"
  rm -rf "$work"
}
trap cleanup EXIT
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
export HOME=$work/home XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

for bar in light dark; do
  flag=()
  [ "$bar" = dark ] && flag=(--dark-tray)
  display=$(scripts/virtual-desktop.sh start "${flag[@]}")
  export DISPLAY=$display
  "$bin/skerrow" >"$work/app-$bar.log" 2>&1 &
  app=$!
  read -r x y w h < <(scripts/tray-icon.sh wait)
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "$((w + 2 * pad))x$((h + 2 * pad))+$((x - pad))+$((y - pad))" \
    +repage -filter point -resize 400% "$out/tray-x11-$bar-bar.png"
  kill -TERM "$app" && wait "$app" 2>/dev/null || true
  app=
  scripts/virtual-desktop.sh stop "$display"
  display=
done
