#!/usr/bin/env bash
# Installs what building, running and testing Skerrow need on Debian 12, when it is missing.
set -euo pipefail
packages=(
  cmake g++ ninja-build git pkg-config
  qt6-base-dev qcoro-qt6-dev qt6-httpserver-dev qt6-websockets-dev libqt6svg6 libqt6sql6-sqlite
  libgtest-dev libgmock-dev libqrencode-dev zbar-tools
  libsqlite3-dev
  lsof procps dbus xvfb xauth iproute2 libsm-dev
  openbox trayer xdotool x11-utils imagemagick adwaita-icon-theme
  dpkg-dev lintian
  clang clang-format clang-tidy libclang-rt-14-dev
  curl wrk haproxy chromium
  xclip at-spi2-core python3-pyatspi python3-websockets
  sway waybar grim foot wtype wl-clipboard qt6-wayland qt6-gtk-platformtheme gnome-themes-extra
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The HAR export test checks its output with the npm package har-validator, under node.
if ! command -v npm >/dev/null; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends nodejs npm
fi
har_tools="$(dirname "$0")/../tests/history/har"
[ -d "$har_tools/node_modules/har-validator" ] ||
  npm ci --prefix "$har_tools" --no-audit --no-fund
