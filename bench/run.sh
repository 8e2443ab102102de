#!/bin/sh
# Builds the benchmark in Release in build-bench and runs it; the table goes to stdout, the
# JSON to build-bench/bench-results.json.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" lumbra_bench >&2
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
exec "$build/bench/lumbra_bench" --json "$build/bench-results.json" "$@"
