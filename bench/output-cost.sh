#!/usr/bin/env bash
# The extra time `--output` adds to a run: renders the reference scene with H.264, with and
# without `-o movie.mp4` (which adds the copy of the video and the AAC encoding of the sound),
# alternating the two, and prints the medians and the extra time as a fraction of the render;
# then times the join alone (bench_joined_file, built next to TALMORA), which busy machines blur less.
# Then the peak memory of the 20 s and the 200 s scene with `-o`, which should match.
# usage: output-cost.sh [TALMORA] [ROUNDS]   (as run-scene.sh: needs ffmpeg, /usr/bin/time, fonts)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
talmora=$(realpath "${1:-$here/../build/talmora}")
rounds=${2:-5}
[ -x "$talmora" ] || { echo "no talmora binary at $talmora (build it first)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (package time)" >&2; exit 2; }
joiner=$(dirname "$talmora")/bench_joined_file
[ -x "$joiner" ] || { echo "no bench_joined_file next to $talmora (build it first)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$here/make-assets.sh" "$work/scene" >/dev/null

measure() {  # ARGS...: prints "seconds peak_kilobytes processor_seconds"
  (cd "$work/scene" && /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$talmora" "$@" >/dev/null 2>&1 </dev/null) ||
    { echo "failed: talmora $*" >&2; exit 1; }
  awk '{ print $1, $2, $3 + $4 }' "$work/time"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >"$work/plain"; : >"$work/joined"
for ((i = 0; i < rounds; i++)); do
  measure --codec H264 scene.xml >>"$work/plain"
  measure --codec H264 -o "$work/movie.mp4" scene.xml >>"$work/joined"
done
plain=$(cut -d' ' -f1 "$work/plain" | median)
joined=$(cut -d' ' -f1 "$work/joined" | median)
plain_cpu=$(cut -d' ' -f3 "$work/plain" | median)
# The join alone, on this machine's noise: the median of ROUNDS joins of the last render's files.
read -r join join_cpu < <("$joiner" "$work/scene/scene.avi" "$work/scene/scene.wav" "$work/join.mp4" "$rounds")
echo "Reference scene, H.264 to MP4, medians of $rounds rounds:"
awk -v p="$plain" -v pc="$plain_cpu" -v j="$joined" -v o="$join" -v c="$join_cpu" 'BEGIN {
  printf "render without -o   %8.2f s  (%.2f s processor)\n", p, pc
  printf "render with -o      %8.2f s  (+%.1f %%)\n", j, 100 * (j - p) / p
  printf "the join alone      %8.2f s  (%.2f s processor) = %.1f %% of the render (%.1f %% of its processor time)\n",
         o, c, 100 * o / p, 100 * c / pc }'

sed 's/length="20"/length="200"/' "$work/scene/scene.xml" >"$work/scene/scene200.xml"
short=$(measure --codec H264 -o "$work/movie.mp4" scene.xml | cut -d' ' -f2)
long=$(measure --codec H264 -o "$work/movie.mp4" scene200.xml | cut -d' ' -f2)
awk -v s="$short" -v l="$long" 'BEGIN { printf "peak memory with -o: 20 s %.1f MiB, 200 s %.1f MiB\n", s / 1024, l / 1024 }'
