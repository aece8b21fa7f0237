#!/usr/bin/env bash
# A lyric video side by side: a 1920 × 1080 clip of four seconds looping under 200 cues of an SRT
# file, words lit one after the other, each line outlined on a half-transparent box, rendered by talmora (captions, highlight="word") and by
# ffmpeg's subtitles filter (libass, karaoke \k tags for the same word timing) on the same SRT;
# both to Motion JPEG, alternating. Prints wall seconds, CPU seconds (user + system) and peak
# memory of each, and the ratios ffmpeg ÷ talmora.
# usage: lyrics.sh [TALMORA] [SECONDS] [ROUNDS]   (SECONDS of movie, default 600; needs ffmpeg with
# libass, /usr/bin/time and the IPA Gothic font of fonts-ipafont-gothic)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
talmora=$(realpath "${1:-$here/../build/talmora}")
seconds=${2:-600}
rounds=${3:-1}
[ -x "$talmora" ] || { echo "no talmora binary at $talmora (build it first)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (package time)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
ffmpeg -nostdin -hide_banner -loglevel error -y \
  -f lavfi -i "gradients=s=1920x1080:d=4:r=25:speed=0.02:c0=0x102040:c1=0x204080:c2=0x603070:nb_colors=3" \
  -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p clip.mp4

# 200 cues of six words spread over the movie, each shown for 80 % of its slot; the karaoke copy
# gives each word its even share in centiseconds, as highlight="word" does.
awk -v n=200 -v total="$seconds" '
  function stamp(t,  h, m, s, ms) { ms = int(t * 1000 + 0.5); h = int(ms / 3600000); m = int(ms / 60000) % 60;
    s = int(ms / 1000) % 60; return sprintf("%02d:%02d:%02d,%03d", h, m, s, ms % 1000) }
  BEGIN {
    split("light the harbour lamps tonight and every ship comes home across the quiet sea", w, " ")
    slot = total / n
    for (i = 0; i < n; i++) {
      start = i * slot; end = start + 0.8 * slot; line = ""; k = ""
      for (j = 0; j < 6; j++) { word = w[(i + j) % 15 + 1]; line = line (j ? " " : "") word
        k = k sprintf("{\\k%d}%s%s", int(0.8 * slot * 100 / 6), word, j < 5 ? " " : "") }
      printf "%d\n%s --> %s\n%s\n\n", i + 1, stamp(start), stamp(end), line > "lyrics.srt"
      printf "%d\n%s --> %s\n%s\n\n", i + 1, stamp(start), stamp(end), k > "karaoke.srt"
    }
  }'

cat >lyrics.xml <<EOF
<talmora width="1920" height="1080" fps="25" length="$seconds">
  <image src="clip.mp4" time="0" cliploop="yes" width="1920" height="1080"/>
  <captions src="lyrics.srt" x="0" y="0" width="1920" height="1020" fontsize="72" face="IPAGothic"
            align="center" valign="bottom" highlight="word" highlightcolor="#ffd040" z="1"
            outline="4" outlinecolor="#000" box="yes" boxcolor="#00000080" boxpadding="8"/>
</talmora>
EOF

measure() {  # prints "wall cpu peak_MiB"
  /usr/bin/time -f '%e %U %S %M' -o time "$@" >/dev/null 2>&1 </dev/null || { echo "failed: $*" >&2; exit 1; }
  awk '{ printf "%.1f %.1f %.0f\n", $1, $2 + $3, $4 / 1024 }' time
}
: >t.txt
: >f.txt
for ((i = 0; i < rounds; i++)); do
  measure "$talmora" --codec MJPG lyrics.xml >>t.txt
  # libass karaoke: SecondaryColour until a word's turn, PrimaryColour (&H0040D0FF = #ffd040) after;
  # its sizes are in a 288-line script space: 19 is about a 72-pixel line at 1080, Outline 1 about
  # 4 pixels. BorderStyle 4 (libass 0.17) draws the box in BackColour behind the outlined glyphs.
  measure ffmpeg -nostdin -hide_banner -nostats -loglevel error -y -stream_loop -1 -i clip.mp4 -t "$seconds" \
    -vf "subtitles=karaoke.srt:force_style='FontName=IPAGothic,Fontsize=19,PrimaryColour=&H0040D0FF,SecondaryColour=&H00FFFFFF,OutlineColour=&H00000000,BackColour=&H80000000,BorderStyle=4,Outline=1,Shadow=0,MarginV=16'" \
    -c:v mjpeg -q:v 3 -pix_fmt yuvj420p -an -f avi ffmpeg.avi >>f.txt
done
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
col() { awk -v c="$2" '{ print $c }' "$1" | median; }
echo "Lyric video 1920x1080 at 25 fps, $seconds s, 200 cues, Motion JPEG, $(nproc) cores; medians of $rounds rounds."
printf '%-8s %8s %8s %9s\n' tool wall_s cpu_s peak_MiB
printf '%-8s %8s %8s %9s\n' talmora "$(col t.txt 1)" "$(col t.txt 2)" "$(col t.txt 3)"
printf '%-8s %8s %8s %9s\n' ffmpeg "$(col f.txt 1)" "$(col f.txt 2)" "$(col f.txt 3)"
awk -v tw="$(col t.txt 1)" -v tc="$(col t.txt 2)" -v fw="$(col f.txt 1)" -v fc="$(col f.txt 2)" \
  'BEGIN { printf "ffmpeg ÷ talmora: wall %.2f×, CPU %.2f×\n", fw / tw, fc / tc }'
