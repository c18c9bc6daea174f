#!/usr/bin/env bash
# Load-speed benchmark: times whole processes side by side, several runs
# each, and prints the minimum and median wall time and the peak resident
# memory. Generated spheres of 10,000, 100,000 and 1,000,000 polygons are
# written to a temporary folder (never committed); the large corpus objects
# are added when present. The peer importer is measured when installed
# (Debian package assimp-utils).
#   bench/load_bench.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
build=build-release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAMARIND_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target tamarind-info tamarind-big-sphere >/dev/null
info="$build/tools/tamarind-info"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

files=()
for n in 10000 100000 1000000; do
  "$build/tools/tamarind-big-sphere" "$n" "$work/sphere-$n.lwo" >/dev/null
  files+=("$work/sphere-$n.lwo")
done
for f in ../shared/corpus/lwo2/onthez/Objects/LWO2/sign.lwo ../shared/corpus/lwo2/onthez/Objects/LWO2/swingSet.lwo; do
  [ -f "$f" ] && files+=("$f")
done

# Prints "min median peakKB" of a command over $runs runs.
measure() {
  local times=() peak=0 t m
  for _ in $(seq "$runs"); do
    /usr/bin/time -o "$work/time" -f "%e %M" "$@" >/dev/null 2>&1 || true
    read -r t m < <(tail -n 1 "$work/time")
    times+=("$t")
    [ "$m" -gt "$peak" ] && peak=$m
  done
  printf '%s\n' "${times[@]}" | sort -n | awk -v peak="$peak" '{a[NR]=$1} END {printf "%s %s %d\n", a[1], a[int((NR+1)/2)], peak}'
}

have_peer=0
command -v assimp >/dev/null 2>&1 && have_peer=1
printf '%-24s %-22s %9s %9s %10s\n' file command min_s median_s peak_MB
for f in "${files[@]}"; do
  name=$(basename "$f")
  declare -A med=()
  rows=("read|$info $f" "viewer|$info --viewer $f")
  if [ $have_peer = 1 ]; then rows+=("peer-raw|assimp info $f -r" "peer-pp|assimp info $f"); fi
  for row in "${rows[@]}"; do
    label=${row%%|*}; cmd=${row#*|}
    read -r mn md pk < <(measure $cmd)
    med[$label]=$md
    printf '%-24s %-22s %9s %9s %10.1f\n' "$name" "$label" "$mn" "$md" "$(awk -v k="$pk" 'BEGIN { print k / 1024 }')"
  done
  if [ $have_peer = 1 ]; then
    awk -v v="${med[viewer]}" -v r="${med[peer-raw]}" -v p="${med[peer-pp]}" -v n="$name" \
      'BEGIN { if (v > 0) printf "%-24s viewer load: %.1fx faster than peer raw, %.1fx than peer post-processed\n", n, r / v, p / v }'
  fi
  unset med
done
