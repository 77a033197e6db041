#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 60),
# printing how many inputs each one ran. Crashes land in build-fuzz/crashes/.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
targets=$(sed -n 's/^foreach(target \(.*\))$/\1/p' tests/fuzz/CMakeLists.txt)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSUICHUAN_FUZZ=ON -DSUICHUAN_TESTS=OFF -DSUICHUAN_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target $targets

mkdir -p build-fuzz/crashes
for t in $targets; do
    corpus=build-fuzz/corpus/$t
    mkdir -p "$corpus"
    [ -d "tests/fuzz/seeds/$t" ] && cp -n tests/fuzz/seeds/$t/* "$corpus"/ 2>/dev/null || true
    log=build-fuzz/$t.log
    if ! build-fuzz/tests/fuzz/$t -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix=build-fuzz/crashes/ \
        -rss_limit_mb=2048 "$corpus" >"$log" 2>&1; then
        tail -40 "$log"
        echo "$t: FAILED"
        exit 1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$t: $runs inputs in ${seconds}s, no failure"
done
