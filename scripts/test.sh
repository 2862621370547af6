#!/usr/bin/env bash
# Sets up the machine, builds the dev and sanitizer configurations and runs every test in both;
# runs the README's package commands and checks the package they make.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
jobs=$(nproc)
for preset in dev asan-ubsan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j"$jobs"
done
# The README's package commands, as written there; the optimised build is also what the run
# command runs. The install itself is only simulated: the test machine keeps its packages.
cmake --preset local && cmake --build --preset local -j"$(nproc)"
cpack --config build/local/CPackConfig.cmake -B build/package
apt-get install --simulate ./build/package/skerrow_*.deb
# Static analysis: any clang-tidy finding in the product's sources fails the run.
./scripts/check-tidy.sh build/dev
# The package is checked in the optimised build it is made from.
ctest --preset dev -j"$jobs" -LE package
ctest --preset local -L package
# The sanitizer run skips the lint check and the package, which do not depend on the sanitizers,
# and the end-to-end road, which runs in the dev build.
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" \
  ctest --preset asan-ubsan -j"$jobs" -LE 'lint|package|e2e' --output-on-failure
