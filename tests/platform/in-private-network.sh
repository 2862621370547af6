#!/bin/sh
# Runs a command in a network namespace of its own with loopback up, so the fixed ports of the
# app and of the local link service clash with nothing else on the machine. Where namespaces
# are not allowed, runs the command as it is.
if command -v ip >/dev/null && unshare -rn true 2>/dev/null; then
  exec unshare -rn sh -c 'ip link set lo up && exec "$0" "$@"' "$@"
fi
exec "$@"
