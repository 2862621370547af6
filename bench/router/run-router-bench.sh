#!/usr/bin/env bash
# Router benchmark: wrk on loopback, one request per connection, small and 1 MiB responses,
# one and 16 connections, five ways in the same run: the app directly, through LinkRouter,
# through LinkRouter with a passphrase on the link (each request carrying the login cookie),
# through LinkRouter capturing every request into a history, and through HAProxy routing by the
# same header to the same app. The ways take turns over three
# rounds, so a change in the machine's load touches all of them alike; each figure is the median
# of its three rounds. Prints requests/s and p99 latency, and their ratios against the direct
# figure, against HAProxy, and of the passphrase check and the capture against the plain router.
#
# usage: run-router-bench.sh <dir with skerrow_bench_app and skerrow_bench_router> [seconds]
#                            [sizes, default "small large"]
set -euo pipefail
bin=${1:?directory of the benchmark executables}
seconds=${2:-5}
sizes=${3:-small large}
rounds=3
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

port_in_use() { ss -Htln "sport = :$1" | grep -q .; }
# Below the kernel's ephemeral range, and with no socket in any state on it: the tens of
# thousands of connections of an earlier run leave their ports in TIME-WAIT, which a new
# listener cannot bind.
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 12000))
    ss -Htan "sport = :$port" | grep -q . || { echo "$port"; return; }
  done
}
wait_for_port() {
  for _ in $(seq 100); do port_in_use "$1" && return 0; sleep 0.05; done
  echo "nothing listens on port $1" >&2; exit 1
}

app_port=$(free_port)
"$bin/skerrow_bench_app" "$app_port" & pids+=($!)
wait_for_port "$app_port"

router_port=$(free_port)
"$bin/skerrow_bench_router" "$router_port" "$app_port" >/dev/null & pids+=($!)
wait_for_port "$router_port"

locked_port=$(free_port)
"$bin/skerrow_bench_router" "$locked_port" "$app_port" --passphrase bench-passphrase \
  >"$work/locked.out" & pids+=($!)
wait_for_port "$locked_port"
cookie=$(awk '/^cookie / { print $2 }' "$work/locked.out")

capture_port=$(free_port)
"$bin/skerrow_bench_router" "$capture_port" "$app_port" --history "$work/history" >/dev/null \
  2>"$work/capture.log" & pids+=($!)
wait_for_port "$capture_port"

haproxy_port=$(free_port)
cat > "$work/haproxy.cfg" <<CFG
global
  nbthread 1
  maxconn 4096
defaults
  mode http
  option httpclose
  timeout connect 5s
  timeout client 30s
  timeout server 30s
frontend links
  bind 127.0.0.1:$haproxy_port
  http-request deny deny_status 404 unless { req.hdr(x-skerrow-host) -i bench.test }
  http-request deny deny_status 421 unless { req.hdr(host) -i bench.test }
  default_backend app
backend app
  http-request set-header Host localhost
  http-response set-header Connection close
  server app 127.0.0.1:$app_port
CFG
haproxy -q -f "$work/haproxy.cfg" & pids+=($!)
wait_for_port "$haproxy_port"

cat > "$work/headers.lua" <<'LUA'
wrk.headers["Host"] = "bench.test"
wrk.headers["x-skerrow-host"] = "bench.test"
wrk.headers["cf-connecting-ip"] = "198.51.100.9"
LUA
{ cat "$work/headers.lua"; echo "wrk.headers[\"Cookie\"] = \"theme=dark; $cookie\""; } \
  > "$work/locked.lua"

# Prints "<requests per second> <p99 in microseconds> <errors>" for one wrk run.
measure() {
  local out
  out=$(wrk -t1 -c"$2" -d"${seconds}s" --latency -s "$3" "$1")
  echo "$out" | awk '
    function us(v) {
      if (v ~ /us$/) return v + 0;
      if (v ~ /ms$/) return v * 1000;
      if (v ~ /s$/) return v * 1000000;
      return v;
    }
    /Requests\/sec:/ { rps = $2 }
    /^ +99%/ { p99 = us($2) }
    /Socket errors/ { errors = $0 }
    /Non-2xx/ { errors = errors " " $0 }
    END { printf "%s %s %s\n", rps, p99, (errors == "" ? "-" : errors) }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
median() { printf "%s\n" "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

ways=(direct router locked capture haproxy)
declare -A ports=([direct]=$app_port [router]=$router_port [locked]=$locked_port
  [capture]=$capture_port [haproxy]=$haproxy_port)
declare -A scripts=([direct]=$work/headers.lua [router]=$work/headers.lua
  [locked]=$work/locked.lua [capture]=$work/headers.lua [haproxy]=$work/headers.lua)

printf "wrk: 1 thread, %d s per run, one request per connection, median of %d rounds\n" \
  "$seconds" "$rounds"
for size in $sizes; do
  path=/; [ "$size" = large ] && path=/large
  label="small response"; [ "$size" = large ] && label="1 MiB response"
  # A short warm-up of each way, so first-connection effects stay out of the figures.
  for way in "${ways[@]}"; do
    wrk -t1 -c4 -d1s -s "${scripts[$way]}" "http://127.0.0.1:${ports[$way]}$path" >/dev/null
  done
  for connections in 1 16; do
    declare -A rps=() p99=() errors=()
    for round in $(seq "$rounds"); do
      # Each round starts with a different way.
      for i in "${!ways[@]}"; do
        way=${ways[$(((i + round) % ${#ways[@]}))]}
        read -r r p e <<<"$(measure "http://127.0.0.1:${ports[$way]}$path" "$connections" \
          "${scripts[$way]}")"
        rps[$way]+="$r "
        p99[$way]+="$p "
        [ "$e" = - ] || errors[$way]+="[$e] "
      done
    done
    declare -A mrps=() mp99=()
    echo
    echo "== $label, $connections connections =="
    printf "%-8s %12s %12s   %s\n" way "requests/s" "p99 (us)" "rounds (requests/s; p99) errors"
    for way in "${ways[@]}"; do
      # shellcheck disable=SC2086
      mrps[$way]=$(median ${rps[$way]})
      # shellcheck disable=SC2086
      mp99[$way]=$(median ${p99[$way]})
      printf "%-8s %12.0f %12.0f   %s; %s %s\n" "$way" "${mrps[$way]}" "${mp99[$way]}" \
        "${rps[$way]}" "${p99[$way]}" "${errors[$way]:-}"
    done
    echo "capture / router: requests/s $(ratio "${mrps[capture]}" "${mrps[router]}")   p99 $(ratio "${mp99[capture]}" "${mp99[router]}")"
    echo "router / direct:  requests/s $(ratio "${mrps[router]}" "${mrps[direct]}")   p99 $(ratio "${mp99[router]}" "${mp99[direct]}")"
    echo "router / haproxy: requests/s $(ratio "${mrps[router]}" "${mrps[haproxy]}")   p99 $(ratio "${mp99[router]}" "${mp99[haproxy]}")"
    echo "locked / router:  requests/s $(ratio "${mrps[locked]}" "${mrps[router]}")   p99 $(ratio "${mp99[locked]}" "${mp99[router]}")"
    echo "haproxy / direct: requests/s $(ratio "${mrps[haproxy]}" "${mrps[direct]}")   p99 $(ratio "${mp99[haproxy]}" "${mp99[direct]}")"
    unset rps p99 errors mrps mp99
  done
done
echo
tail -n 1 "$work/capture.log"
