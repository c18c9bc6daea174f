#!/usr/bin/env bash
# Builds Tamarind and shows what it reads from an object file (the bundled
# sample when no file is given).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
build=build-release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAMARIND_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target tamarind-info >/dev/null
if [ $# -eq 0 ]; then set -- samples/sphere.lwo; fi
exec "$build/tools/tamarind-info" "$@"
