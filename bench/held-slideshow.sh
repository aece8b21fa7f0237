#!/usr/bin/env bash
# A slideshow of held pictures: 12 pictures at 1920 × 1080, each held 5 s with a 1 s crossfade
# into the next (60 s, 30 fps, Motion JPEG at q 3), rendered by talmora and by an ffmpeg
# filtergraph (xfade), alternating; prints the medians of wall and processor time and peak memory,
# and the ratios ffmpeg ÷ talmora. Frames that only hold a picture are where talmora writes the
# packet before again instead of drawing and encoding.
# usage: held-slideshow.sh [TALMORA] [ROUNDS]     (needs the ffmpeg command and /usr/bin/time)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
talmora=$(realpath "${1:-$here/../build/talmora}")
rounds=${2:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

inputs=() graph="" script="$work/show.xml"
{
  echo '<talmora width="1920" height="1080" fps="30" length="60" r="0" g="0" b="0" a="1">'
  for i in $(seq 0 11); do
    ff -f lavfi -i "testsrc2=s=1920x1080:d=1,hue=h=$((i * 30))" -frames:v 1 -q:v 2 "$work/p$i.jpg"
    # The crossfade in, above the picture before, then the hold.
    if [ "$i" -gt 0 ]; then
      echo "  <image src=\"p$i.jpg\" time=\"$((5 * i - 1))\" duration=\"1\" x=\"0\" y=\"0\" width=\"1920\" height=\"1080\" z=\"1\" a=\"0\" aend=\"1\"/>"
    fi
    echo "  <image src=\"p$i.jpg\" time=\"$((5 * i))\" duration=\"5\" x=\"0\" y=\"0\" width=\"1920\" height=\"1080\"/>"
    inputs+=(-framerate 30 -loop 1 -t "$([ "$i" -eq 0 ] && echo 5 || echo 6)" -i "$work/p$i.jpg")
    if [ "$i" -gt 0 ]; then
      from=$([ "$i" -eq 1 ] && echo "[0:v]" || echo "[x$((i - 1))]")
      graph+="${from}[$i:v]xfade=transition=fade:duration=1:offset=$((5 * i - 1))[x$i];"
    fi
  done
  echo '</talmora>'
} >"$script"
graph+="[x11]format=yuvj420p[out]"

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
: >"$work/t" ; : >"$work/f"
for ((r = 0; r < rounds; r++)); do
  (cd "$work" && /usr/bin/time -f '%e %U %S %M' -a -o "$work/t" "$talmora" --codec MJPG show.xml >/dev/null </dev/null)
  /usr/bin/time -f '%e %U %S %M' -a -o "$work/f" ffmpeg -nostdin -hide_banner -nostats -loglevel error -y "${inputs[@]}" \
    -filter_complex "$graph" -map '[out]' -frames:v 1800 -c:v mjpeg -q:v 3 -f avi "$work/ffmpeg.avi"
done
report() {  # NAME FILE
  local wall cpu peak
  wall=$(awk '{ print $1 }' "$2" | median); cpu=$(awk '{ print $2 + $3 }' "$2" | median); peak=$(awk '{ print $4 }' "$2" | median)
  printf '%-8s wall %7.2f s  processor %7.2f s  peak %7.1f MiB\n' "$1" "$wall" "$cpu" "$(echo "$peak / 1024" | bc -l)"
  echo "$wall $cpu" >"$work/$1.m"
}
echo "60 s held slideshow, 1920x1080, 12 pictures, MJPG; medians of $rounds alternating rounds, $(nproc) cores"
report talmora "$work/t"
report ffmpeg "$work/f"
read -r tw tc <"$work/talmora.m"; read -r fw fc <"$work/ffmpeg.m"
awk -v a="$fw" -v b="$tw" -v c="$fc" -v d="$tc" 'BEGIN { printf "ffmpeg / talmora: wall %.2fx, processor %.2fx\n", a / b, c / d }'
