#!/usr/bin/env bash
# Sets up the machine, builds the dev and sanitizer configurations and runs every test in both;
# also builds what the run command runs.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
jobs=$(nproc)
for preset in dev asan-ubsan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j"$jobs"
done
# The optimised build that the run command uses must compile too.
cmake --preset local
cmake --build --preset local -j"$jobs" --target skerrow skerrow-link-service skerrow_local_tunnel_client
# Static analysis: any clang-tidy finding in the product's sources fails the run.
./scripts/check-tidy.sh build/dev
ctest --preset dev -j"$jobs"
# The sanitizer run skips the lint check and the package, which do not depend on the sanitizers,
# and the end-to-end road, which runs in the dev build.
# Under the sanitizers everything runs several times slower and in parallel; a test that fails
# there gets one more run, and is reported as failed only if that fails too.
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" \
  ctest --preset asan-ubsan -j"$jobs" -LE 'lint|package|e2e' --repeat until-pass:2 --output-on-failure
