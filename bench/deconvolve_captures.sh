#!/usr/bin/env bash
# The deconvolution and automatic wavelet measurements of docs/ARCHITECTURE.md: six generated
# captures like real ones (640 x 480: colour, colour with seeing that differs across the field,
# grey, colour under worse seeing, the grey Moon; and a 1920 x 1080 colour planet of fewer
# frames), each stacked by talvenor-cli with its defaults and then measured by
# talvenor-deconvolve against its truth. Captures and stacks are kept and reused.
# Usage: bench/deconvolve_captures.sh [BUILD] [talvenor-deconvolve options, e.g. --grid
#        --per-channel, --wavelets --wavelet-grid]
set -euo pipefail
build=${1:-build}
shift || true
bin="$build/bin"
work="$build/deconvolution"
run() {
  local name=$1
  shift
  mkdir -p "$work/$name"
  if [ ! -f "$work/$name/stack.tif" ]; then
    "$bin/talvenor-capture" "$work/$name/cap.avi" --realistic "$@" > /dev/null
    "$bin/talvenor-cli" stack "$work/$name/cap.avi" -o "$work/$name/stack.tif" --force 2> "$work/$name/stack.log" > /dev/null
  fi
  echo "== $name"
  "$bin/talvenor-deconvolve" "$work/$name/stack.tif" --truth "$work/$name" ${options[@]+"${options[@]}"}
}
options=("$@")
run colour --colour --frames 300 --seed 11
run colour-distorted --colour --frames 300 --seed 12 --distort 1.5 --patchy 0.4
run grey --format avi-grey --frames 300 --seed 13
run colour-poor-seeing --colour --frames 300 --seed 21 --seeing 1.2,4.5
run moon --mode moon --frames 200 --seed 31
run colour-1080p --colour --frames 100 --seed 41 --size 1920x1080
