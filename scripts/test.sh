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

# The executables' own allocation functions (large blocks on mappings of
# their own, freed pages reused; see platform/large_pages.h) are left out of
# sanitizer builds, so a release build loads a generated sphere large enough
# to reuse pages, the samples and the corpus objects: it must print what the
# sanitized build prints.
rel=build-release
cmake -S . -B "$rel" -DCMAKE_BUILD_TYPE=Release -DTAMARIND_TESTS=OFF >/dev/null
cmake --build "$rel" -j"$(nproc)" --target tamarind-info tamarind-big-sphere >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$rel/tools/tamarind-big-sphere" 300000 "$work/sphere.lwo" >/dev/null
checked=0
while IFS= read -r -d '' f; do
  for mode in --model --viewer; do
    if ! diff <("$build/tools/tamarind-info" "$mode" "$f" 2>&1) <("$rel/tools/tamarind-info" "$mode" "$f" 2>&1) >/dev/null; then
      echo "release build differs: tamarind-info $mode $f" >&2
      exit 1
    fi
  done
  checked=$((checked + 1))
done < <(find "$work" samples ../shared/corpus -iname '*.lwo' -print0 2>/dev/null)
echo "release build: $checked objects load as in the sanitized build"
