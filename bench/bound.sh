#!/usr/bin/env bash
# How close talmora comes to its compressors' own speed: for each compressor, talmora's frame rate
# on the reference scene against the encoder-only bound (bench_bound: the scene's frames decoded
# once into memory, encoded by libavcodec with talmora's settings and threads), the two runs
# alternating, and the ratio talmora ÷ bound. Both also give their CPU time a frame over all
# threads; "ceiling" is the ratio talmora would reach with every core busy all the time on its
# own CPU time (cores ÷ talmora's CPU a frame ÷ bound): ratio ÷ ceiling is how well it keeps the
# cores busy, and a ceiling below 1 is CPU spent besides the encoder's. Several talmora binaries
# (e.g. a baseline and this build) alternate in each round, so that their ratios come from the
# same stretch of machine time. "besides" is talmora's CPU a frame less the encoder's: drawing,
# conversion, the sound pass and start-up, which no number of cores hides.
# usage: bound.sh [-r ROUNDS] [-c "DIB MJPG H264 FFV1"] [TALMORA...]
#   TALMORA defaults to build/talmora; bench_bound is taken from build/ of this checkout.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
rounds=3
codecs="DIB MJPG H264 FFV1"
while getopts r:c: opt; do
  case $opt in
    r) rounds=$OPTARG ;;
    c) codecs=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -gt 0 ] || set -- "$here/../build/talmora"
bound=$(realpath "$here/../build/bench_bound")
[ -x "$bound" ] || { echo "no bench_bound at $bound (build it first)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (package time)" >&2; exit 2; }
binaries=()
for b in "$@"; do binaries+=("$(realpath "$b")"); done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$here/make-assets.sh" "$work/scene" >/dev/null
frames=600

# The frames the bound encodes: the scene rendered once, uncompressed.
(cd "$work/scene" && "${binaries[0]}" --codec DIB scene.xml >/dev/null </dev/null)
mv "$work/scene/scene.avi" "$work/frames.avi"

# Prints "frames_per_second peak_kilobytes cpu_milliseconds_a_frame" of one talmora render.
run_talmora() {  # BINARY CODEC
  (cd "$work/scene" && /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$1" --codec "$2" scene.xml >/dev/null 2>&1 </dev/null) ||
    { echo "failed: $1 --codec $2" >&2; exit 1; }
  awk -v n=$frames '{ print n / $1, $2, ($3 + $4) * 1000 / n }' "$work/time"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "Reference scene 1280x720, $frames frames, $(nproc) cores; medians of $rounds alternating rounds."
echo "talmora's time includes start-up and its sound pass; the bound is the encoder alone."
printf '%-6s %-28s %8s %9s %7s %8s %9s %8s %8s %9s\n' codec talmora fps bound_fps ratio ceiling cpu_ms cpu_ms_b besides peak_MiB
for codec in $codecs; do
  for ((b = 0; b < ${#binaries[@]}; b++)); do : >"$work/t$b"; done
  : >"$work/bound"
  for ((i = 0; i < rounds; i++)); do
    for ((b = 0; b < ${#binaries[@]}; b++)); do
      run_talmora "${binaries[$b]}" "$codec" >>"$work/t$b"
      "$bound" "$work/frames.avi" "$codec" >>"$work/bound"
    done
  done
  bound_fps=$(cut -d' ' -f1 "$work/bound" | median); bound_cpu=$(cut -d' ' -f2 "$work/bound" | median)
  for ((b = 0; b < ${#binaries[@]}; b++)); do
    fps=$(cut -d' ' -f1 "$work/t$b" | median); kb=$(cut -d' ' -f2 "$work/t$b" | median)
    cpu=$(cut -d' ' -f3 "$work/t$b" | median)
    name=$(basename "$(dirname "${binaries[$b]}")")/$(basename "${binaries[$b]}")
    awk -v c="$codec" -v t="$name" -v f="$fps" -v g="$bound_fps" -v k="$kb" -v u="$cpu" -v v="$bound_cpu" -v n="$(nproc)" \
      'BEGIN { printf "%-6s %-28s %8.1f %9.1f %7.2f %8.2f %9.2f %8.2f %8.2f %9.1f\n", c, t, f, g, f / g, n * 1000 / u / g, u, v, u - v, k / 1024 }'
  done
done
