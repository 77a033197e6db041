#!/usr/bin/env bash
# The flavours beyond the plain build, run by scripts/test.sh: the whole suite under
# AddressSanitizer + UndefinedBehaviorSanitizer, the engine and pool tests under
# ThreadSanitizer, each fuzzer for a short while, and the smoke test of the real
# executable under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSUICHUAN_ASAN=ON -DSUICHUAN_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE slow_under_sanitizers

echo "== ThreadSanitizer (engine and pool)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSUICHUAN_TSAN=ON -DSUICHUAN_BENCH=OFF >/dev/null
cmake --build build-tsan -j "$jobs" --target task_store_test worker_pool_test extraction_test encoding_test fetch_test
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L tsan

if [ -x scripts/fuzz.sh ]; then
    echo "== fuzzers (brief)"
    scripts/fuzz.sh 15
fi

if [ -x scripts/smoke-test.sh ]; then
    echo "== smoke test under Xvfb"
    scripts/smoke-test.sh build
fi
