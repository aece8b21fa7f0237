#!/usr/bin/env bash
# A 1080p slideshow of 20 pictures, each zooming in by a fifth over its 4 seconds (a Ken Burns
# move), one crossfading into the next over a second: rendered by talmora (keys, "now-1",
# fadeout) and by an ffmpeg filtergraph (zoompan, xfade), both to Motion JPEG, alternating.
# Prints the CPU time (user + system) and the wall time of each, and the ratios ffmpeg ÷ talmora.
# usage: kenburns.sh [TALMORA] [ROUNDS] [PICTURES]   (needs ffmpeg and /usr/bin/time)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
talmora=$(realpath "${1:-$here/../build/talmora}")
rounds=${2:-1}
count=${3:-20}
[ -x "$talmora" ] || { echo "no talmora binary at $talmora (build it first)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (package time)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
seconds=4 fps=25
frames=$((count * (seconds - 1) + 1))
frames=$((frames * fps))

# The pictures: one test pattern in 20 hues, at the movie's size.
for ((i = 1; i <= count; i++)); do
  ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=s=1920x1080:r=1 -frames:v 1 \
    -vf "hue=h=$((i * 360 / count))" -q:v 2 "$(printf 'p%02d.jpg' "$i")"
done

# talmora: each picture starts a second before the one above ends and lies under it, which fades out.
{
  echo '<talmora width="1920" height="1080" fps="25" r="0" g="0" b="0" a="1">'
  for ((i = 1; i <= count; i++)); do
    time=$([ "$i" = 1 ] && echo 0 || echo now-1)
    fade=$([ "$i" = "$count" ] && echo 0 || echo 1)
    printf '  <image src="p%02d.jpg" time="%s" duration="%d" fadeout="%d" x="0" y="0" width="1920" height="1080">\n' \
      "$i" "$time" "$seconds" "$fade"
    printf '    <key at="%d" x="-192" y="-108" width="2304" height="1296"/>\n  </image>\n' "$seconds"
  done
  echo '</talmora>'
} >slides.xml

# ffmpeg: zoompan makes each picture's frames, xfade joins them.
{
  d=$((seconds * fps))
  for ((i = 0; i < count; i++)); do
    echo "[$i:v]zoompan=z='1+0.2*on/$d':x='iw/2-iw/zoom/2':y='ih/2-ih/zoom/2':d=$d:s=1920x1080:fps=$fps,format=yuv420p[v$i];"
  done
  last=v0
  for ((i = 1; i < count; i++)); do
    out=$([ "$i" = $((count - 1)) ] && echo out || echo x$i)
    echo "[$last][v$i]xfade=transition=fade:duration=1:offset=$((i * (seconds - 1)))[$out];"
    last=$out
  done
} | sed '$ s/;$//' >slides.ffgraph
inputs=()
for ((i = 1; i <= count; i++)); do inputs+=(-i "$(printf 'p%02d.jpg' "$i")"); done

# Runs a command; prints "cpu_seconds wall_seconds".
measure() {
  /usr/bin/time -f '%U %S %e' -o time.txt "$@" >/dev/null 2>&1 </dev/null || { echo "failed: $*" >&2; exit 1; }
  awk '{ printf "%.2f %.2f\n", $1 + $2, $3 }' time.txt
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >t.txt
: >f.txt
for ((r = 0; r < rounds; r++)); do
  measure "$talmora" --codec MJPG slides.xml >>t.txt
  measure ffmpeg -nostdin -hide_banner -nostats -loglevel error -y "${inputs[@]}" -filter_complex_script slides.ffgraph \
    -map '[out]' -c:v mjpeg -q:v 3 -pix_fmt yuvj420p -f avi ffmpeg.avi >>f.txt
done
[ "$(ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames -of csv=p=0 ffmpeg.avi)" = "$frames" ] ||
  echo "note: ffmpeg made another number of frames than $frames" >&2

echo "Ken Burns slideshow: $count pictures, 1920x1080, $fps fps, $frames frames, Motion JPEG; median of $rounds rounds."
printf '%-8s %10s %10s\n' '' cpu_s wall_s
for who in talmora ffmpeg; do
  file=$([ $who = talmora ] && echo t.txt || echo f.txt)
  printf '%-8s %10s %10s\n' "$who" "$(cut -d' ' -f1 $file | median)" "$(cut -d' ' -f2 $file | median)"
done
awk -v tc="$(cut -d' ' -f1 t.txt | median)" -v tw="$(cut -d' ' -f2 t.txt | median)" \
    -v fc="$(cut -d' ' -f1 f.txt | median)" -v fw="$(cut -d' ' -f2 f.txt | median)" \
    'BEGIN { printf "ffmpeg / talmora: cpu %.2fx, wall %.2fx\n", fc / tc, fw / tw }'
