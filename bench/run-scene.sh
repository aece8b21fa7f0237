#!/usr/bin/env bash
# Renders the reference scene with talmora and with ffmpeg's filtergraph, alternating the two, and
# prints frames per second, peak memory and the ratios talmora ÷ ffmpeg for DIB, MJPG and H.264.
# Then renders the scene at 20 s and at 200 s to show that peak memory does not grow with length.
# usage: run-scene.sh [TALMORA] [ROUNDS]   (TALMORA defaults to build/talmora of this checkout;
# needs ffmpeg, /usr/bin/time and the IPA Gothic font, see scripts/install-deps.sh)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
talmora=$(realpath "${1:-$here/../build/talmora}")
rounds=${2:-3}
[ -x "$talmora" ] || { echo "no talmora binary at $talmora (build it first)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (package time)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$here/make-assets.sh" "$work/scene" >/dev/null
frames=600

# Runs a command; prints "seconds peak_kilobytes".
measure() {
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>&1 </dev/null || { echo "failed: $*" >&2; exit 1; }
  cat "$work/time"
}

run_talmora() {  # CODEC SCRIPT
  (cd "$work/scene" && measure "$talmora" --codec "$1" "$2")
}

run_ffmpeg() {  # codec
  measure "$here/render-ffmpeg.sh" "$work/scene" "$1" "$work/ffmpeg.avi"
}

# The median of the numbers on standard input.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "Reference scene: 1280x720, 30 fps, $frames frames; median of $rounds rounds, talmora and ffmpeg alternating."
echo "talmora's time includes its sound pass (the WAV file); ffmpeg renders the picture only."
printf '%-6s %12s %12s %8s %14s %14s %8s\n' codec talmora_fps ffmpeg_fps ratio talmora_MiB ffmpeg_MiB ratio
for codec in dib mjpg h264; do
  : >"$work/t" ; : >"$work/f"
  for ((i = 0; i < rounds; i++)); do
    run_talmora "$codec" scene.xml >>"$work/t"
    run_ffmpeg "$codec" >>"$work/f"
  done
  t_sec=$(cut -d' ' -f1 "$work/t" | median); t_kb=$(cut -d' ' -f2 "$work/t" | median)
  f_sec=$(cut -d' ' -f1 "$work/f" | median); f_kb=$(cut -d' ' -f2 "$work/f" | median)
  awk -v c="$codec" -v n=$frames -v ts="$t_sec" -v tk="$t_kb" -v fs="$f_sec" -v fk="$f_kb" 'BEGIN {
    printf "%-6s %12.1f %12.1f %8.2f %14.1f %14.1f %8.2f\n", c, n / ts, n / fs, fs / ts, tk / 1024, fk / 1024, tk / fk }'
done

echo
echo "Peak memory against movie length (talmora, same scene, length 20 s and 200 s):"
sed 's/length="20"/length="200"/' "$work/scene/scene.xml" >"$work/scene/scene200.xml"
printf '%-6s %14s %14s\n' codec 20s_MiB 200s_MiB
for codec in mjpg h264; do
  short=$(run_talmora "$codec" scene.xml | cut -d' ' -f2)
  long=$(run_talmora "$codec" scene200.xml | cut -d' ' -f2)
  awk -v c="$codec" -v s="$short" -v l="$long" 'BEGIN { printf "%-6s %14.1f %14.1f\n", c, s / 1024, l / 1024 }'
done
