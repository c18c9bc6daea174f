#!/usr/bin/env bash
# Load-speed benchmark: times whole processes side by side, several runs
# each, and prints the minimum and median wall time and the peak resident
# memory. Generated spheres of 10,000, 100,000 and 1,000,000 polygons are
# written to a temporary folder (never committed); the large corpus objects
# are added when present. The peer importer is measured when installed
# (Debian package assimp-utils), raw (-r) and with its post-processing.
# Rows: read (tamarind-info FILE), viewer (--viewer: the viewer's options,
# keeping the whole object for its summary) and model (--model: the
# program's own load, which keeps only the model); ratios and growth are
# the model row's.
#   bench/load_bench.sh [RUNS]
# The build folder is build-release unless TAMARIND_BENCH_BUILD names another.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
build=${TAMARIND_BENCH_BUILD:-build-release}
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

# Prints "min median peakKB" of a command over $runs runs. Wall time is
# taken around the process in milliseconds (time's own %e has 10 ms steps).
# One run first goes unmeasured: the first process after another one that
# freed much memory pays for pages the host has taken back meanwhile.
measure() {
  local times=() peak=0 t m start end
  "$@" >/dev/null 2>&1 || true
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    /usr/bin/time -o "$work/time" -f "%M" "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
    m=$(tail -n 1 "$work/time")
    times+=("$t")
    [ "$m" -gt "$peak" ] && peak=$m
  done
  printf '%s\n' "${times[@]}" | sort -n | awk -v peak="$peak" '{a[NR]=$1} END {printf "%s %s %d\n", a[1], a[int((NR+1)/2)], peak}'
}

# ratio A B: A / B with three decimals, "-" when B is zero.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else printf "-" }'; }

have_peer=0
command -v assimp >/dev/null 2>&1 && have_peer=1
echo "date: $(date -u '+%Y-%m-%d %H:%M UTC'); nproc: $(nproc);" \
  "cpu: $(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo); runs: $runs"
printf '%-20s %-9s %8s %9s %9s\n' file command min_s median_s peak_MB
declare -A med=() mem=()
ratios=()
for f in "${files[@]}"; do
  name=$(basename "$f")
  rows=("read|$info $f" "viewer|$info --viewer $f" "model|$info --model $f")
  if [ $have_peer = 1 ]; then rows+=("peer-raw|assimp info $f -r" "peer-pp|assimp info $f"); fi
  for row in "${rows[@]}"; do
    label=${row%%|*}; cmd=${row#*|}
    read -r mn md pk < <(measure $cmd)
    med[$name/$label]=$md
    mem[$name/$label]=$pk
    printf '%-20s %-9s %8s %9s %9.1f\n' "$name" "$label" "$mn" "$md" "$(awk -v k="$pk" 'BEGIN { print k / 1024 }')"
  done
  if [ $have_peer = 1 ]; then
    ratios+=("$(printf '%-20s model/peer-pp time %s, model/peer-raw time %s, model/peer-pp memory %s' "$name" \
      "$(ratio "${med[$name/model]}" "${med[$name/peer-pp]}")" \
      "$(ratio "${med[$name/model]}" "${med[$name/peer-raw]}")" \
      "$(ratio "${mem[$name/model]}" "${mem[$name/peer-pp]}")")")
  fi
done
echo
echo "ratios (median times, peak memory; below 1 means the viewer's load is faster or leaner):"
for r in "${ratios[@]+"${ratios[@]}"}"; do echo "$r"; done
echo "growth of the viewer's load, sphere 10k -> 100k -> 1M polygons:"
for kind in time memory; do
  line="  $kind:"
  prev=""
  for n in 10000 100000 1000000; do
    if [ $kind = time ]; then v=${med[sphere-$n.lwo/model]}; else v=${mem[sphere-$n.lwo/model]}; fi
    [ -n "$prev" ] && line+=" x$(ratio "$v" "$prev")"
    prev=$v
  done
  echo "$line"
done
