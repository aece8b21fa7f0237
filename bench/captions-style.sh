#!/usr/bin/env bash
# A 1080p caption scene: 20 lines with an outline, a shadow and a box over a 1920 × 1080 H.264
# clip, rendered by talmora and by ffmpeg's drawtext (borderw, shadowx/shadowy, box), both to
# Motion JPEG, alternating; then the same lines plain and no lines at all, for what a styled
# line costs per frame against a plain one. Prints CPU seconds (user + system) and wall seconds,
# medians of the rounds, and the load average before and after: on a shared machine compare CPU.
# usage: captions-style.sh [TALMORA] [ROUNDS] [SECONDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
talmora=$(realpath "${1:-$here/../build/talmora}")
rounds=${2:-3}
seconds=${3:-6}
[ -x "$talmora" ] || { echo "no talmora binary at $talmora (build it first)" >&2; exit 2; }
font=$(fc-match -f '%{file}' IPAGothic)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "testsrc2=s=1920x1080:r=30:d=$seconds" \
  -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p "$work/clip.mp4"

style='outline="3" outlinecolor="#000" shadowx="2" shadowy="2" shadowcolor="#000" box="yes" boxcolor="#00000080" boxpadding="6"'
scene() {  # FILE LINE-ATTRIBUTES|none
  {
    echo "<talmora width=\"1920\" height=\"1080\" fps=\"30\" length=\"$seconds\">"
    echo "<image src=\"clip.mp4\" time=\"0\" duration=\"$seconds\" width=\"1920\" height=\"1080\"/>"
    if [ "$2" != none ]; then
      for i in $(seq 0 19); do
        echo "<text sentence=\"Caption line $i: the quick brown fox\" face=\"IPAGothic\" fontsize=\"-40\" x=\"60\" y=\"$((20 + 52 * i))\" width=\"1800\" height=\"52\" time=\"0\" duration=\"$seconds\" $2/>"
      done
    fi
    echo "</talmora>"
  } >"$1"
}
scene "$work/styled.xml" "$style"
scene "$work/plain.xml" ""
scene "$work/none.xml" none
graph=""
for i in $(seq 0 19); do
  graph+="${graph:+,}drawtext=fontfile=$font:text='Caption line $i\\: the quick brown fox':fontsize=40:fontcolor=white"
  graph+=":x=60:y=$((20 + 52 * i)):borderw=3:bordercolor=black:shadowx=2:shadowy=2:shadowcolor=black"
  graph+=":box=1:boxcolor=black@0.5:boxborderw=6"
done

measure() {  # prints CPU and wall seconds
  /usr/bin/time -f '%U %S %e' -o "$work/time" "$@" >/dev/null 2>&1 </dev/null || { echo "failed: $*" >&2; exit 1; }
  awk '{ printf "%.2f %.2f\n", $1 + $2, $3 }' "$work/time"
}
run_talmora() { (cd "$work" && measure "$talmora" --codec MJPG "$1.xml"); }
run_ffmpeg() {
  measure ffmpeg -nostdin -hide_banner -nostats -loglevel error -y -i "$work/clip.mp4" -vf "$graph" \
    -c:v mjpeg -q:v 3 -pix_fmt yuvj420p -f avi "$work/ffmpeg.avi"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
for ((r = 0; r < rounds; r++)); do
  for run in styled ffmpeg plain none; do
    if [ "$run" = ffmpeg ]; then run_ffmpeg; else run_talmora "$run"; fi >>"$work/$run"
  done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
frames=$((seconds * 30))
echo "1920x1080, $frames frames, 20 lines; median of $rounds rounds"
printf '%-28s %8s %8s\n' run cpu_s wall_s
for run in styled ffmpeg plain none; do
  printf '%-28s %8s %8s\n' "$run" "$(cut -d' ' -f1 "$work/$run" | median)" "$(cut -d' ' -f2 "$work/$run" | median)"
done
cpu() { cut -d' ' -f1 "$work/$1" | median; }
awk -v s="$(cpu styled)" -v f="$(cpu ffmpeg)" -v p="$(cpu plain)" -v n="$(cpu none)" -v frames="$frames" 'BEGIN {
  printf "ffmpeg / talmora, CPU: %.2f\n", f / s
  printf "per frame, 20 lines: styled %.2f ms, plain %.2f ms of CPU; styled / plain %.2f\n",
         1000 * (s - n) / frames, 1000 * (p - n) / frames, (p > n) ? (s - n) / (p - n) : 0
}'
