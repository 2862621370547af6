#!/usr/bin/env bash
# Runs clang-tidy with the repository's checks over the product's sources; any finding fails.
# Usage: scripts/check-tidy.sh BUILD_DIR   (a GCC build with compile_commands.json)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: check-tidy.sh BUILD_DIR}
# clang does not know GCC's -fcoroutines (coroutines are on in its C++20 mode) nor some of the
# GCC-only warnings, so tidy reads a copy of the compile database without them.
db=$(mktemp -d)
trap 'rm -rf "$db"' EXIT
sed -e 's/ -fcoroutines//g' "$build/compile_commands.json" > "$db/compile_commands.json"
run-clang-tidy -p "$db" -j"$(nproc)" -quiet -extra-arg=-Wno-unknown-warning-option \
  "$PWD/src/.*\.cpp\$" > "$db/tidy.log" 2>&1 || true
if grep -E '(warning|error): ' "$db/tidy.log" | sort -u | grep -q .; then
  grep -E -A3 '(warning|error): ' "$db/tidy.log"
  echo "clang-tidy: findings above"
  exit 1
fi
echo "clang-tidy: no findings"
