#!/usr/bin/env bash
# The reference scene rendered whole and as PARTS parts, one after the other, then joined: the
# parts' processor time against the render's, the cost balance between parts, and the join's time
# against the render's. Rounds alternate the three; the figures are medians over the rounds.
#
# usage: parts.sh [TALMORA] [CODEC] [PARTS] [ROUNDS] [REPEAT]
#   TALMORA  default build/talmora;  CODEC default H264;  PARTS default 8;  ROUNDS default 3
#   REPEAT   the scene's 20 s played REPEAT times in a row (default 1), to see the parts' fixed
#            cost shrink against longer parts
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
talmora=$(realpath "${1:-build/talmora}")
codec=${2:-H264}
parts=${3:-8}
rounds=${4:-3}
repeat=${5:-1}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
bash "$here/make-assets.sh" "$dir" >/dev/null
cd "$dir"
if [ "$repeat" -gt 1 ]; then
  # Each element with a time of its own again every 20 s; "now" follows the element before.
  {
    sed -n '1,/<talmora /p' scene.xml | sed "s/length=\"20\"/length=\"$((20 * repeat))\"/"
    grep '<template' scene.xml
    for ((r = 0; r < repeat; r++)); do
      grep '<image\|<text\|<sound' scene.xml |
        awk -v shift=$((20 * r)) '{ if (match($0, /time="[0-9.]+"/)) { t = substr($0, RSTART + 6, RLENGTH - 7) + shift;
          $0 = substr($0, 1, RSTART - 1) "time=\"" t "\"" substr($0, RSTART + RLENGTH) } print }'
    done
    echo '</talmora>'
  } >long.xml
  mv long.xml scene.xml
fi

# Processor seconds (user + system, all threads) and wall seconds of one run.
timed() {
  /usr/bin/time -f "%U %S %e" -o time.txt "$talmora" "$@" </dev/null >run.log || true
  awk '{ printf "%.3f %.3f\n", $1 + $2, $3 }' time.txt
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

: >render.txt
: >join.txt
for ((k = 1; k <= parts; k++)); do : >"part$k.txt"; done
same=yes
for ((round = 1; round <= rounds; round++)); do
  timed --codec "$codec" scene.xml >>render.txt
  mv scene.avi single.avi
  mv scene.wav single.wav
  for ((k = 1; k <= parts; k++)); do timed --codec "$codec" --part "$k/$parts" scene.xml >>"part$k.txt"; done
  timed --codec "$codec" --join "$parts" scene.xml >>join.txt
  cmp -s scene.avi single.avi && cmp -s scene.wav single.wav || same=no
done

render_cpu=$(cut -d' ' -f1 render.txt | median)
render_wall=$(cut -d' ' -f2 render.txt | median)
join_cpu=$(cut -d' ' -f1 join.txt | median)
join_wall=$(cut -d' ' -f2 join.txt | median)
echo "scene: $((20 * repeat)) s, $(grep -o 'total_frames=[0-9]*' scene.part-1-of-"$parts".txt | cut -d= -f2) frames, $codec, $parts parts, $rounds rounds (medians)"
printf 'render:   %.2f s processor, %.2f s wall\n' "$render_cpu" "$render_wall"
sum=0
max=0
for ((k = 1; k <= parts; k++)); do
  cpu=$(cut -d' ' -f1 "part$k.txt" | median)
  printf 'part %-3s frames %-11s %.2f s processor\n' "$k" "$(grep '^frames=' "scene.part-$k-of-$parts.txt" | cut -d= -f2)" "$cpu"
  sum=$(awk -v a="$sum" -v b="$cpu" 'BEGIN { print a + b }')
  max=$(awk -v a="$max" -v b="$cpu" 'BEGIN { print (b > a ? b : a) }')
done
awk -v s="$sum" -v r="$render_cpu" -v m="$max" -v n="$parts" 'BEGIN {
  printf "parts:    %.2f s processor in all = %.3f x the render (%+.1f %%)\n", s, s / r, 100 * (s / r - 1)
  printf "balance:  longest part / mean part = %.3f\n", m / (s / n) }'
awk -v jc="$join_cpu" -v jw="$join_wall" -v rc="$render_cpu" -v rw="$render_wall" 'BEGIN {
  printf "join:     %.3f s processor = %.2f %% of the render'"'"'s, %.3f s wall = %.2f %% of its wall time\n", jc, 100 * jc / rc, jw, 100 * jw / rw }'
echo "joined files identical to the single render's: $same"
