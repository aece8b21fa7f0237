#!/usr/bin/env bash
# Lays out the examples in examples/out and renders them with the built program to Motion JPEG.
# usage: render.sh [NAME...]   (NAME: an example's script without ".xml"; default: intro)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/examples/out"
[ $# -eq 0 ] && set -- intro
bash "$root/examples/make-assets.sh" "$out" "$@"
for name in "$@"; do
  "$root/build/talmora" --codec MJPG "$out/$name.xml" < /dev/null
  ls -l "$out/$name.avi" $([ -f "$out/$name.wav" ] && echo "$out/$name.wav")
done
