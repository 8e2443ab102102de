#!/usr/bin/env bash
# Sets up what is missing, builds Lumbra and its tests, and runs the whole suite twice:
# first built with AddressSanitizer and UndefinedBehaviorSanitizer, then as shipped.
# Between the two, each fuzz target runs briefly (LUMBRA_FUZZ_SECONDS each, default 60).
# CTest's summary of the plain run is the last thing printed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh test

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMBRA_SANITIZE=ON -DLUMBRA_BUILD_TESTS=ON \
      -DLUMBRA_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan
echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ctest --test-dir build-asan --output-on-failure -j2

echo "== fuzz targets, ${LUMBRA_FUZZ_SECONDS:-60} s each"
bash scripts/fuzz.sh "${LUMBRA_FUZZ_SECONDS:-60}"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMBRA_BUILD_TESTS=ON \
      -DLUMBRA_BUILD_BENCH=ON >/dev/null
cmake --build build
echo "== tests"
ctest --test-dir build --output-on-failure -j2
