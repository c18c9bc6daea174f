#!/usr/bin/env bash
# Builds Tamarind with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test suite. The window tests (label "window") start their own
# virtual X server through xvfb-run -a (tests/window/run-under-xvfb.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
build=build-asan
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DTAMARIND_SANITIZE=ON -DTAMARIND_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@"

# The loader thread's hand-over under ThreadSanitizer, which does not mix
# with AddressSanitizer: a build of its own holding only the loader test.
# Any report fails the run.
tsan=build-tsan
cmake -S . -B "$tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
  -DTAMARIND_SANITIZE=OFF -DTAMARIND_TESTS=ON >/dev/null
cmake --build "$tsan" -j"$(nproc)" --target loader_tsan_tests
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "$tsan/tests/loader_tsan_tests"
