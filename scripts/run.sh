#!/usr/bin/env bash
# Builds Tamarind and opens the viewer on the bundled sample, or on the file
# named after it:
#   scripts/run.sh [FILE]
# The viewer keeps its settings (Tamarind.ini) in the directory it is run
# from, which stays the caller's.
set -euo pipefail
caller=$PWD
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh build
build=${TAMARIND_BUILD_DIR:-build-release}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAMARIND_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target tamarind >/dev/null
cd "$caller"
if [ $# -eq 0 ]; then set -- "$root/samples/sphere.lwo"; fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display to open the window on; run it inside a desktop session (or under xvfb-run -a)." >&2
fi
exec "$root/$build/app/tamarind" --platform gl "$@"
