#!/usr/bin/env bash
# Idle cost of the app on a virtual desktop with a system tray, five dev servers listening and the
# local link service and tunnel client running: the CPU share of one core and the resident memory
# of the app process, with its panel closed and with it open, next to the same app built without
# any panel (the baseline), all measured in this run.
#
#   bench/panel/run-idle-bench.sh [SECONDS]    (default 30 s per measurement)
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-30}
settle=8

cmake --preset local >/dev/null
cmake --build --preset local -j2 --target skerrow skerrow_bench_headless skerrow-link-service \
  skerrow_local_tunnel_client >/dev/null
bin=$PWD/build/local/bin

work=$(mktemp -d)
pids=()
display=
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "$display" ] && scripts/virtual-desktop.sh stop "$display"
  rm -rf "$work"
}
trap cleanup EXIT

# A private home: the run touches none of the user's files.
export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share XDG_CONFIG_HOME=$work/home/.config
export XDG_STATE_HOME=$work/home/.local/state XDG_CACHE_HOME=$work/home/.cache
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

display=$(scripts/virtual-desktop.sh start)
export DISPLAY=$display

"$bin/skerrow-link-service" --ephemeral >/dev/null 2>&1 &
pids+=($!)
for i in 1 2 3 4 5; do
  mkdir -p "$work/site$i"
  echo "<title>site $i</title>" >"$work/site$i/index.html"
  python3 -m http.server 0 --bind 127.0.0.1 --directory "$work/site$i" >/dev/null 2>&1 &
  pids+=($!)
done

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
hz=$(getconf CLK_TCK)

# Prints "cpu-percent rss-mib" for the process over the measuring window.
measure() {
  local pid=$1 before after
  before=$(ticks "$pid")
  sleep "$seconds"
  after=$(ticks "$pid")
  awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" -v r="$(rss_kib "$pid")" \
    'BEGIN {printf "%.3f %.1f\n", 100 * t / hz / s, r / 1024}'
}

stop_app() {
  kill -TERM "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

"$bin/skerrow_bench_headless" >/dev/null 2>&1 &
app=$!
sleep "$settle"
read -r base_cpu base_rss < <(measure "$app")
stop_app "$app"

"$bin/skerrow" >/dev/null 2>&1 &
app=$!
pids+=("$app")
scripts/tray-icon.sh wait >/dev/null
sleep "$settle"
read -r closed_cpu closed_rss < <(measure "$app")
scripts/tray-icon.sh click
sleep 1
read -r open_cpu open_rss < <(measure "$app")
stop_app "$app"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.2f", a / b; else print "-"}'; }
printf '%-28s %10s %10s\n' "idle, five dev servers" "CPU %" "RSS MiB"
printf '%-28s %10s %10s\n' "baseline: app, no panel" "$base_cpu" "$base_rss"
printf '%-28s %10s %10s\n' "app, panel closed" "$closed_cpu" "$closed_rss"
printf '%-28s %10s %10s\n' "app, panel open" "$open_cpu" "$open_rss"
printf 'panel closed / baseline: CPU x%s, RSS x%s\n' "$(ratio "$closed_cpu" "$base_cpu")" \
  "$(ratio "$closed_rss" "$base_rss")"
printf 'panel open / baseline:   CPU x%s, RSS x%s\n' "$(ratio "$open_cpu" "$base_cpu")" \
  "$(ratio "$open_rss" "$base_rss")"
printf 'targets with the panel closed: CPU < 1 %% of one core (%s), RSS < 60 MiB (%s)\n' \
  "$(awk -v c="$closed_cpu" 'BEGIN {print (c < 1) ? "met" : "MISSED"}')" \
  "$(awk -v r="$closed_rss" 'BEGIN {print (r < 60) ? "met" : "MISSED"}')"
