#!/usr/bin/env bash
# Builds Tamarind with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
build=build-asan
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DTAMARIND_SANITIZE=ON -DTAMARIND_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@"
