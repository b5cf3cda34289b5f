#!/usr/bin/env bash
# Re-creates the small reference files in tests/data with programs we did not write
# (ImageMagick, libtiff's tools, astropy, cjpeg, ffmpeg), so our readers are checked
# against other people's writers. The files are committed; run this only to change them.
# Each format has its own script in fixtures/; they run in name order.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
for script in "$here"/fixtures/*.sh; do
  echo "== $(basename "$script")"
  bash "$script" "$here"
done
