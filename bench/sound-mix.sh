#!/usr/bin/env bash
# The sound pass from the command line, side by side: two 60-minute sounds mixed into a
# 60-minute track by each talmora binary given and by ffmpeg's amix, then ten overlapping
# 10-minute sounds into a 10-minute track (plainly, and with volume, pan and an endless loop)
# by each binary, alternating; prints the medians of wall time, processor time (user + system)
# and peak memory (/usr/bin/time's maximum resident set), and each run's ratio to ffmpeg or to
# the first binary.
# usage: sound-mix.sh [-r ROUNDS] [-m MINUTES] [TALMORA...]   (default: build/talmora, 3 rounds, 60)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
rounds=3
minutes=60
while getopts "r:m:" option; do
  case $option in
    r) rounds=$OPTARG ;;
    m) minutes=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
binaries=("$@")
[ ${#binaries[@]} -gt 0 ] || binaries=("$here/../build/talmora")
for ((b = 0; b < ${#binaries[@]}; b++)); do
  [ -x "${binaries[b]}" ] || { echo "no talmora binary at ${binaries[b]} (build it first)" >&2; exit 2; }
  binaries[b]=$(realpath "${binaries[b]}")
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seconds=$((minutes * 60))
# Two different stereo sines and a sine with noise: mixes that never clip, so every binary
# writes the same track.
ffmpeg -nostdin -loglevel error -y -f lavfi -i "sine=f=440:d=$seconds" -f lavfi -i "sine=f=660:d=$seconds" \
  -filter_complex amerge=inputs=2 -c:a pcm_s16le "$work/a.wav"
ffmpeg -nostdin -loglevel error -y -f lavfi -i "sine=f=550:d=$seconds" -f lavfi -i "anoisesrc=d=$seconds:a=0.1" \
  -filter_complex amerge=inputs=2 -c:a pcm_s16le "$work/b.wav"
ffmpeg -nostdin -loglevel error -y -f lavfi -i "sine=f=330:d=600" -ac 2 -c:a pcm_s16le "$work/ten.wav"
# A tiny picture at one frame a second: the movie pass costs next to nothing.
root="<talmora width=\"16\" height=\"16\" fps=\"1\""
echo "$root length=\"$seconds\"><sound src=\"a.wav\" time=\"0\"/><sound src=\"b.wav\" time=\"0\"/></talmora>" \
  >"$work/two.xml"
for shaped in plain shaped; do
  settings=""
  [ $shaped = shaped ] && settings=' volume="0.8" pan="0.3" loop="yes" loopcount="-1"'
  body=""
  for ((i = 0; i < 10; i++)); do body+="<sound src=\"ten.wav\" time=\"$((i * 6))\"$settings/>"; done
  echo "$root length=\"600\">$body</talmora>" >"$work/ten-$shaped.xml"
done

measure() {  # command...: wall seconds, processor seconds, peak KiB
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null 2>&1 </dev/null || { echo "failed: $*" >&2; exit 1; }
  awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }' "$work/time"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
report() {  # label file [reference wall]
  local wall cpu kb
  wall=$(cut -d' ' -f1 "$2" | median); cpu=$(cut -d' ' -f2 "$2" | median); kb=$(cut -d' ' -f3 "$2" | median)
  awk -v l="$1" -v w="$wall" -v c="$cpu" -v k="$kb" -v r="${3:-}" 'BEGIN {
    printf "  %-44s wall %6.2f s  processor %6.2f s  peak %6.1f MiB", l, w, c, k / 1024
    if (r != "") printf "  %5.2fx", r / w
    printf "\n" }'
  echo "$wall" >"$2.median"
}

echo "Two $minutes-minute sounds into a $minutes-minute track; median of $rounds rounds, alternating (ratio: ffmpeg's wall time / this one's)."
: >"$work/ffmpeg"
for ((b = 0; b < ${#binaries[@]}; b++)); do : >"$work/two-$b"; done
for ((i = 0; i < rounds; i++)); do
  (cd "$work" && measure ffmpeg -nostdin -loglevel error -y -i a.wav -i b.wav \
    -filter_complex amix=inputs=2:duration=longest:normalize=0 ffmpeg.wav) >>"$work/ffmpeg"
  for ((b = 0; b < ${#binaries[@]}; b++)); do
    (cd "$work" && measure "${binaries[b]}" --codec DIB two.xml) >>"$work/two-$b"
    mv "$work/two.wav" "$work/two-$b.wav"
  done
done
report "ffmpeg amix" "$work/ffmpeg"
for ((b = 0; b < ${#binaries[@]}; b++)); do
  report "${binaries[b]}" "$work/two-$b" "$(cat "$work/ffmpeg.median")"
done
for ((b = 1; b < ${#binaries[@]}; b++)); do
  cmp -s "$work/two-0.wav" "$work/two-$b.wav" || echo "  the tracks of ${binaries[0]} and ${binaries[b]} differ"
done
rm -f "$work"/two-*.wav "$work/ffmpeg.wav"

for shaped in plain shaped; do
  echo "Ten 10-minute sounds, 6 s apart, into a 10-minute track ($shaped); median of $rounds rounds (ratio: the first binary's wall time / this one's)."
  for ((b = 0; b < ${#binaries[@]}; b++)); do : >"$work/ten-$b"; done
  for ((i = 0; i < rounds; i++)); do
    for ((b = 0; b < ${#binaries[@]}; b++)); do
      (cd "$work" && measure "${binaries[b]}" --codec DIB "ten-$shaped.xml") >>"$work/ten-$b"
    done
  done
  report "${binaries[0]}" "$work/ten-0"
  first=$(cat "$work/ten-0.median")
  for ((b = 1; b < ${#binaries[@]}; b++)); do report "${binaries[b]}" "$work/ten-$b" "$first"; done
done
