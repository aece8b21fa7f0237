#!/usr/bin/env bash
# The reference scene with its first picture replaced by a 1920 × 1080 H.264 clip shrunk to
# 640 × 360, rendered by talmora and by ffmpeg's filtergraph (the clip as an overlay input),
# alternating; prints frames per second, peak memory and the ratios talmora ÷ ffmpeg.
# usage: run-clip-scene.sh [TALMORA] [ROUNDS] [CODECS]   (CODECS defaults to "dib mjpg")
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
talmora=$(realpath "${1:-$here/../build/talmora}")
rounds=${2:-3}
codecs=${3:-dib mjpg}
[ -x "$talmora" ] || { echo "no talmora binary at $talmora (build it first)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
scene=$work/scene
"$here/make-assets.sh" "$scene" >/dev/null
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=s=1920x1080:r=30:d=12 \
  -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p "$scene/assets/clip.mp4"
# The two windows of the first picture play the clip on, the second from where the first ends.
sed -e '/p1.png.*time="0"/s/src="assets\/p1.png"/src="assets\/clip.mp4"/' \
    -e '/p1.png.*time="now"/s/src="assets\/p1.png"/src="assets\/clip.mp4" clipstart="1"/' \
    "$scene/scene.xml" >"$scene/clip.xml"
grep -q clip.mp4 "$scene/clip.xml" || { echo "scene.xml changed: no p1.png to replace" >&2; exit 2; }
sed -e 's/^\[0:v\]format=rgba,loop=loop=359:size=1:start=0,/[0:v]scale=640:360,format=rgba,/' \
  "$scene/scene.ffgraph" >"$scene/clip.ffgraph"

measure() {
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>&1 </dev/null || { echo "failed: $*" >&2; exit 1; }
  cat "$work/time"
}
run_ffmpeg() {  # codec
  local enc
  case "$1" in
    dib)  enc=(-c:v rawvideo -pix_fmt bgra) ;;
    mjpg) enc=(-c:v mjpeg -q:v 3 -pix_fmt yuvj420p) ;;
    h264) enc=(-c:v libx264 -preset veryfast -crf 23 -pix_fmt yuv420p) ;;
  esac
  (cd "$scene" && measure ffmpeg -nostdin -hide_banner -nostats -loglevel error -y \
    -i assets/clip.mp4 -i assets/p2.png -i assets/p3.png -i assets/p4.png \
    -filter_complex_script clip.ffgraph -map '[out]' -frames:v 600 "${enc[@]}" -f avi "$work/ffmpeg.avi")
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "Reference scene with a 1920x1080 H.264 clip at 640x360: 600 frames; median of $rounds rounds, alternating."
printf '%-6s %12s %12s %8s %14s %14s\n' codec talmora_fps ffmpeg_fps ratio talmora_MiB ffmpeg_MiB
for codec in $codecs; do
  : >"$work/t"; : >"$work/f"
  for ((i = 0; i < rounds; i++)); do
    (cd "$scene" && measure "$talmora" --codec "${codec^^}" clip.xml) >>"$work/t"
    run_ffmpeg "$codec" >>"$work/f"
  done
  t_sec=$(cut -d' ' -f1 "$work/t" | median); t_kb=$(cut -d' ' -f2 "$work/t" | median)
  f_sec=$(cut -d' ' -f1 "$work/f" | median); f_kb=$(cut -d' ' -f2 "$work/f" | median)
  awk -v c="$codec" -v ts="$t_sec" -v tk="$t_kb" -v fs="$f_sec" -v fk="$f_kb" 'BEGIN {
    printf "%-6s %12.1f %12.1f %8.2f %14.1f %14.1f\n", c, 600 / ts, 600 / fs, fs / ts, tk / 1024, fk / 1024 }'
done
