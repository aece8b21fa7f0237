#!/usr/bin/env bash
# Lays out the example in examples/out and renders it with the built program to Motion JPEG.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/examples/out"
bash "$root/examples/make-assets.sh" "$out"
"$root/build/talmora" --codec MJPG "$out/intro.xml" < /dev/null
ls -l "$out/intro.avi" "$out/intro.wav"
