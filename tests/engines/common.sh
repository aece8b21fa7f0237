# Shared by the engine tests: a tiny scene, its single render, and the check that the engine's
# parts joined into the same files. Sourced; TALMORA is the program under test.

# A 64 × 48 scene of 1.5 s at 10 fps with a moving text and a tone, in $1, rendered whole into
# $1/single.avi and $1/single.wav with the options that follow.
make_scene() {
  local dir=$1
  shift
  ffmpeg -nostdin -loglevel error -y -f lavfi -i "sine=f=440:r=44100:d=2" -ac 2 -c:a pcm_s16le "$dir/tone.wav"
  cat >"$dir/movie.xml" <<'XML'
<talmora width="64" height="48" fps="10" length="1.5" r="0.1" g="0.2" b="0.3" a="1">
  <text sentence="Ag" fontsize="20" x="0" xend="40" y="10" width="60" height="30" time="0" duration="1.5"/>
  <sound src="tone.wav" time="0.25" volume="0.5" volumeend="1"/>
</talmora>
XML
  "$TALMORA" "$@" "$dir/movie.xml" </dev/null >"$dir/single.log" || return 1
  mv "$dir/movie.avi" "$dir/single.avi" && mv "$dir/movie.wav" "$dir/single.wav"
}

# Whether the join left in $1 the single render's movie and track, byte for byte, and a
# playable $2 whose every frame decodes.
check_join() {
  local dir=$1 output=$2
  cmp "$dir/movie.avi" "$dir/single.avi" || { echo "the joined movie differs from the single render's"; return 1; }
  cmp "$dir/movie.wav" "$dir/single.wav" || { echo "the joined track differs from the single render's"; return 1; }
  local frames
  frames=$(ffmpeg -nostdin -v error -i "$output" -map 0:v -f framemd5 - | grep -vc '^#')
  [ "$frames" = 15 ] || { echo "$output decodes to $frames frames, not 15"; return 1; }
  echo "joined: the single render's movie and track, and $output with all 15 frames"
}
