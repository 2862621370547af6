#!/usr/bin/env bash
# Visitor requests per second through the whole road (edge -> tunnel -> origin) on the link
# service's two faces, against the origin alone: the loopback face (plain HTTP, one port per
# link) and the public face (TLS on one port, names under a domain, tunnel over TLS).
# Usage: bench/link-service/public_face.sh BUILD_DIR [SECONDS]   (needs wrk, curl, openssl)
set -euo pipefail
build=$(realpath "${1:?usage: public_face.sh BUILD_DIR [SECONDS]}")
seconds=${2:-8}
work=$(mktemp -d)
pids=()
cleanup() {
  # Tunnel clients are started inside command substitutions: their pids come back in a file.
  [ -f "$work/tunnel.pids" ] && mapfile -t -O "${#pids[@]}" pids < "$work/tunnel.pids"
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
# Runs "$@" every tenth of a second until it succeeds; fails the bench after ten seconds.
wait_until() {
  for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "public_face: timed out waiting for: $*" >&2
  exit 1
}
listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1"); }

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ca.key \
  -out ca.pem -days 2 -subj "/CN=bench authority" 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout leaf.key \
  -out leaf.csr -subj "/CN=*.share.test" 2>/dev/null
printf 'subjectAltName=DNS:*.share.test,DNS:share.test,DNS:localhost\n' > ext
openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 1 -extfile ext \
  -out leaf.pem 2>/dev/null

origin=$(free_port)
"$build/bin/skerrow_fixture_server" "$origin" 127.0.0.1 bench >origin.log 2>&1 &
pids+=($!)
https=$(free_port); tunnel=$(free_port)
"$build/bin/skerrow-link-service" --domain share.test --tls-cert leaf.pem --tls-key leaf.key \
  --https-port "$https" --http-port 0 --listen 127.0.0.1 --tunnel-port "$tunnel" \
  --tunnel-endpoint "localhost:$tunnel" --ephemeral >public.out 2>public.log &
pids+=($!)
api=$(free_port)
"$build/bin/skerrow-link-service" --api-port "$api" --control-port 0 --tunnel-port 0 \
  --ephemeral >local.out 2>local.log &
pids+=($!)
wait_until listening "$origin"
wait_until listening "$https"
wait_until listening "$api"

# Registers an install, starts its tunnel client and prints the host of a new link.
share() {
  local dir=$1 base=$2 metrics=$3; shift 3
  mkdir -p "$dir"
  curl -sf "$@" -X POST -H 'X-Skerrow-Device: bench' "$base/v1/install" >"$dir/install.json"
  python3 - "$dir" "$metrics" "$origin" <<'PY'
import json, sys
d, metrics, origin = sys.argv[1:]
o = json.load(open(d + '/install.json'))
json.dump(o['credentials'], open(f"{d}/{o['tunnelId']}.json", 'w'))
json.dump({"tunnel": o['tunnelId'], "credentials-file": o['tunnelId'] + '.json',
           "metrics": "127.0.0.1:" + metrics,
           "ingress": [{"service": "http://127.0.0.1:" + origin}]}, open(d + '/config.yml', 'w'))
open(d + '/auth', 'w').write("Bearer " + o['installId'] + "." + o['installToken'])
PY
  (cd "$dir" && SSL_CERT_FILE="$work/ca.pem" exec "$build/libexec/skerrow/cloudflared" tunnel \
     --config "$PWD/config.yml" --no-autoupdate run >tunnel.log 2>&1) &
  echo $! >>"$work/tunnel.pids"
  wait_until curl -sf "http://127.0.0.1:$metrics/ready"
  curl -sf "$@" -X POST -H "Authorization: $(cat "$dir/auth")" -d '{"port":3000}' \
    "$base/v1/links" | python3 -c 'import json, sys; print(json.load(sys.stdin)["host"])'
}
public_host=$(share public "https://api.share.test:$https" "$(free_port)" \
  --cacert ca.pem --resolve "api.share.test:$https:127.0.0.1")
local_host=$(share local "http://127.0.0.1:$api" "$(free_port)")

run() {
  printf '%-22s' "$1"; shift
  wrk -t1 -d"${seconds}s" --latency "$@" 2>&1 |
    awk '/Requests\/sec/ {r=$2} / 50%/ {p50=$2} / 99%/ {p99=$2} END {printf "%9s req/s  p50 %8s  p99 %8s\n", r, p50, p99}'
}
for c in 1 8; do
  echo "connections: $c"
  run "origin alone" -c"$c" "http://127.0.0.1:$origin/"
  run "loopback face" -c"$c" "http://$local_host/"
  run "public face (TLS)" -c"$c" -H "Host: $public_host" "https://127.0.0.1:$https/"
done
