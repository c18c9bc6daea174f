#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS, one after another.
#
#   fuzz/run-all.sh SECONDS [TARGET...]
#
# TARGETs default to all of them (fuzz_surf ... fuzz_lwo2). Environment:
#   FUZZ_BUILD   build folder (default build-fuzz), configured with clang
#   CORPUS_DIR   the shared corpus (default ../shared/corpus beside the checkout)
# Seed folders are made afresh under the build folder from samples/, the
# corpus and a few texts written here; what a run learns is kept in
# FUZZ_BUILD/fuzz-work/TARGET. A finding's input is written to
# fuzz/regressions/TARGET/, which the test suite replays.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if [[ $# -lt 1 || ! $1 =~ ^[0-9]+$ ]]; then
  echo "usage: $0 SECONDS [TARGET...]" >&2
  exit 2
fi
seconds=$1
shift
all=(fuzz_surf fuzz_clip fuzz_envl fuzz_uv fuzz_vcl fuzz_tga fuzz_ini fuzz_lws fuzz_lwob fuzz_lwo2)
if [[ $# -gt 0 ]]; then targets=("$@"); else targets=("${all[@]}"); fi
build=${FUZZ_BUILD:-build-fuzz}
corpus=${CORPUS_DIR:-$root/../shared/corpus}

CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S . -B "$build" -DTAMARIND_FUZZ=ON -DTAMARIND_TESTS=OFF -DTAMARIND_GUI=OFF >/dev/null || exit 1
nice -n 10 cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null || {
  echo "build failed" >&2
  exit 1
}

seeds=$build/fuzz-seeds
rm -rf "$seeds"
mkdir -p "$seeds"

# Seeds cut from the object files: SURF, CLIP and ENVL bodies.
python3 - "$seeds" "$root/samples" "$corpus" <<'EOF'
import os, struct, sys
out, folders = sys.argv[1], sys.argv[2:]
def files(ext):
    for folder in folders:
        for d, _, names in os.walk(folder):
            for n in sorted(names):
                if n.lower().endswith(ext):
                    yield os.path.join(d, n)
def copy(target, path, data):
    os.makedirs(os.path.join(out, target), exist_ok=True)
    name = path.replace('/', '_')[-80:]
    with open(os.path.join(out, target, name), 'wb') as f:
        f.write(data)
def s0(b, at):
    end = b.find(b'\0', at)
    end = len(b) if end < 0 else end + 1
    return end + (end - at) % 2
def vx(b, at):
    return at + (4 if at < len(b) and b[at] == 0xFF else 2)
for path in files('.lwo'):
    data = open(path, 'rb').read()
    if len(data) < 12 or data[:4] != b'FORM':
        continue
    form = data[8:12]
    copy('fuzz_lwob' if form == b'LWOB' else 'fuzz_lwo2', path, data)
    at, n = 12, 0
    while at + 8 <= len(data) and n < 4000:
        tag, size = data[at:at + 4], struct.unpack('>I', data[at + 4:at + 8])[0]
        body = data[at + 8:at + 8 + size]
        at += 8 + size + (size & 1)
        n += 1
        if tag == b'SURF':
            start = s0(body, 0) if form == b'LWOB' else s0(body, s0(body, 0))
            copy('fuzz_surf', '%s_%d' % (path, n), body[start:])
        elif tag == b'CLIP' and len(body) > 4:
            copy('fuzz_clip', '%s_%d' % (path, n), body[4:])
        elif tag == b'ENVL':
            copy('fuzz_envl', '%s_%d' % (path, n), body[vx(body, 0):])
for path in files('.lws'):
    copy('fuzz_lws', path, open(path, 'rb').read())
for path in files('.tga'):
    copy('fuzz_tga', path, open(path, 'rb').read())
EOF

# Side files for the fuzzers' fixed object (quads on A and B, a triangle on C).
mkdir -p "$seeds/fuzz_uv" "$seeds/fuzz_vcl" "$seeds/fuzz_ini"
printf '2\n3\nA\nB\nC\nwood.tga\nNULL\nNULL\n3\n0 4\n0 0 0\n0 1 0\n1 1 0\n1 0 0\n1 4\n1 0 0\n1 1 0\n2 1 0\n2 0 0\n2 3\n0 0 0\n1 1 0\n1 0 0\n' \
  >"$seeds/fuzz_uv/version2.uv"
{
  printf 'VERSION 4\nSURFACE_COUNT 2\nSURFACE 0\nSURFACE_NAME\nA\nCLAMP 1\nSURFACE_IMAGE_FILE\n:Images:wood.tga\n'
  printf 'SURFACE 1\nSURFACE_NAME\nB\nSURFACE_IMAGE_FILE\nNULL\nPOLY_COUNT 3\n'
  for p in 0 1 2; do
    printf 'POLY %d\nPOLY_SURF 0\nPOLY_VERT_COUNT %d\n' $p $((p == 2 ? 3 : 4))
    for c in 0 1 2 3; do
      [[ $p == 2 && $c == 3 ]] && continue
      printf 'VERT %d\nVERT_UV 0.25 0.5\nVERT_RGB 1 0.5 0\nVERT_NORMAL 0 0 -1\n' $c
    done
  done
  printf 'CHANNEL 1\nPOLY 0\n'
} >"$seeds/fuzz_uv/version4.uv"
{
  printf 'VCLFILE\nmade here\n#\n7\n10\n'
  for uses in "0" "0" "0 1" "0 1" "1 2" "1 2" "2"; do
    set -- $uses
    printf '%d\n' $#
    for p in "$@"; do printf '%d 255 128 0 255\n' "$p"; done
  done
} >"$seeds/fuzz_vcl/colours.vcl"
printf '[Tamarind]\r\nobj0=C:\\objects\\ship.lwo\r\n; note\r\nWindowWidth = "640"\r\n[Other]\r\nkey=value\r\n' \
  >"$seeds/fuzz_ini/settings.ini"

max_len() {
  case $1 in
    fuzz_lwo2 | fuzz_lwob | fuzz_tga | fuzz_lws) echo 32768 ;;
    *) echo 4096 ;;
  esac
}

status=0
for t in "${targets[@]}"; do
  work=$build/fuzz-work/$t
  found=fuzz/regressions/$t
  mkdir -p "$work" "$found" "$seeds/$t"
  log=$build/fuzz-work/$t.log
  before=$(ls "$found" | wc -l)
  started=$SECONDS
  nice -n 10 "$build/fuzz/$t" -max_total_time="$seconds" -max_len="$(max_len "$t")" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$found/" "$work" "$seeds/$t" >"$log" 2>&1
  rc=$?
  runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$')
  after=$(ls "$found" | wc -l)
  echo "$t: ${runs:-?} runs in $((SECONDS - started))s, exit $rc"
  if [[ $rc -ne 0 || $after -ne $before ]]; then
    status=1
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error:)|Test unit written to|ALARM|out-of-memory' "$log" | head -5 | sed 's/^/  /'
    echo "  log: $log"
  fi
done
exit $status
