#!/usr/bin/env bash
# Router benchmark: wrk on loopback, one request per connection, small and 1 MiB responses,
# three ways in the same run: the app directly, through LinkRouter, and through HAProxy routing
# by the same header to the same app. Prints requests/s and p99 latency, and their ratios
# against the direct figure and against HAProxy.
#
# usage: run-router-bench.sh <dir with skerrow_bench_app and skerrow_bench_router> [seconds]
set -euo pipefail
bin=${1:?directory of the benchmark executables}
seconds=${2:-6}
connections=32
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
  default_backend app
backend app
  http-request set-header Host localhost
  http-response set-header Connection close
  server app 127.0.0.1:$app_port
CFG
haproxy -q -f "$work/haproxy.cfg" & pids+=($!)
wait_for_port "$haproxy_port"

cat > "$work/headers.lua" <<'LUA'
wrk.headers["x-skerrow-host"] = "bench.test"
wrk.headers["cf-connecting-ip"] = "198.51.100.9"
LUA

# Prints "<requests per second> <p99 in microseconds> <errors>" for one wrk run.
measure() {
  local out
  out=$(wrk -t1 -c"$connections" -d"${seconds}s" --latency -s "$work/headers.lua" "$1")
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

printf "wrk: 1 thread, %d connections, %d s per run, one request per connection\n" \
  "$connections" "$seconds"
for size in small large; do
  path=/; [ "$size" = large ] && path=/large
  # A short warm-up of each way, so first-connection effects stay out of the figures.
  for port in "$app_port" "$router_port" "$haproxy_port"; do
    wrk -t1 -c4 -d1s -s "$work/headers.lua" "http://127.0.0.1:$port$path" >/dev/null
  done
  read -r d_rps d_p99 d_err <<<"$(measure "http://127.0.0.1:$app_port$path")"
  read -r r_rps r_p99 r_err <<<"$(measure "http://127.0.0.1:$router_port$path")"
  read -r h_rps h_p99 h_err <<<"$(measure "http://127.0.0.1:$haproxy_port$path")"
  label="small response"; [ "$size" = large ] && label="1 MiB response"
  echo
  echo "== $label =="
  printf "%-8s %12s %12s   %s\n" way "requests/s" "p99 (us)" errors
  printf "%-8s %12.0f %12.0f   %s\n" direct "$d_rps" "$d_p99" "$d_err"
  printf "%-8s %12.0f %12.0f   %s\n" router "$r_rps" "$r_p99" "$r_err"
  printf "%-8s %12.0f %12.0f   %s\n" haproxy "$h_rps" "$h_p99" "$h_err"
  echo "router / direct:  requests/s $(ratio "$r_rps" "$d_rps")   p99 $(ratio "$r_p99" "$d_p99")"
  echo "router / haproxy: requests/s $(ratio "$r_rps" "$h_rps")   p99 $(ratio "$r_p99" "$h_p99")"
  echo "haproxy / direct: requests/s $(ratio "$h_rps" "$d_rps")   p99 $(ratio "$h_p99" "$d_p99")"
done
