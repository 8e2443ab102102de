#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang (build-fuzz/) and runs each for the given
# number of seconds (default 60) on a scratch copy of its seed corpus, so nothing is written
# into the source tree. One summary line per target; a crash input is kept under
# build-fuzz/fuzz-artifacts/<target>/ and its path printed. Exits non-zero if any target fails.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [seconds per target]" >&2
    exit 2
fi
if ! command -v clang++ >/dev/null; then
    echo "fuzz.sh: clang++ is missing (Debian packages clang and libclang-rt-14-dev)" >&2
    exit 1
fi

build=build-fuzz
export QT_QPA_PLATFORM=offscreen
# Leaks are checked, both per input and at exit, except inside the libraries named in
# tests/lsan.supp (Qt, fontconfig and GLib keep their caches until the process ends).
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DLUMBRA_FUZZ=ON -DLUMBRA_BUILD_TESTS=OFF \
    -DLUMBRA_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target fuzz_intake fuzz_maskedbox fuzz_rdap >"$build/fuzz-build.log" 2>&1 || {
    tail -n 40 "$build/fuzz-build.log" >&2
    echo "fuzz.sh: build failed (full log: $build/fuzz-build.log)" >&2
    exit 1
}

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build/fuzz-logs"

failed=0
# run <target> <max input length> [extra libFuzzer options...]
run() {
    local target="$1" max_len="$2"
    shift 2
    local corpus="$scratch/$target" artifacts="$PWD/$build/fuzz-artifacts/$target/"
    local log="$PWD/$build/fuzz-logs/$target.log"
    mkdir -p "$corpus" "$artifacts"
    cp fuzz/corpus/"$target"/* "$corpus"/
    local status=0
    "$build/fuzz/$target" "$corpus" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
        -max_len="$max_len" -print_final_stats=1 -artifact_prefix="$artifacts" "$@" \
        >"$log" 2>&1 || status=$?

    local runs cov
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
    cov="$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)"
    if [ "$status" -eq 0 ]; then
        printf '%-15s %9s runs  coverage %5s  ok\n' "$target" "${runs:-?}" "${cov:-?}"
        return
    fi
    failed=1
    local what input
    what="$(grep -m1 -oE 'ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer): [a-z-]+|fuzz check failed: .*|runtime error: .*' "$log" || true)"
    input="$(sed -n 's/.*Test unit written to //p' "$log" | tail -n 1)"
    printf '%-15s %9s runs  coverage %5s  FAILED (exit %s): %s\n' "$target" "${runs:-?}" \
        "${cov:-?}" "$status" "${what:-see log}"
    echo "    input: ${input:-none written}"
    echo "    log:   $log"
}

run fuzz_intake 65536 -dict=fuzz/intake.dict
run fuzz_maskedbox 1024
run fuzz_rdap 16384 -dict=fuzz/rdap.dict
exit "$failed"
