#!/usr/bin/env bash
# Sets up what is missing, builds Lumbra and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh run
# Only what runs: the tests and the benchmark need packages of the test set.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMBRA_BUILD_TESTS=OFF \
      -DLUMBRA_BUILD_BENCH=OFF >/dev/null
cmake --build build --target lumbra
# Without a display the program says so in one sentence and exits with status 1.
exec build/src/lumbra
