#!/usr/bin/env bash
# Makes the example's pictures and sounds in DIR/assets and copies the script beside them.
# usage: make-assets.sh DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dir=${1:?usage: make-assets.sh DIR}
mkdir -p "$dir/assets"
cp "$here/intro.xml" "$dir/"
cd "$dir/assets"
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
ff -f lavfi -i smptebars=s=320x180:r=1 -frames:v 1 bars.png
# A round badge with soft transparent edges.
ff -f lavfi -i "color=c=0x3070d0:s=256x256:r=1" -frames:v 1 \
   -vf "format=rgba,geq=r='r(X,Y)':g='g(X,Y)+X/2':b='b(X,Y)':a='255*clip((120-hypot(X-128,Y-128))/8,0,1)'" \
   -pix_fmt rgba badge.png
ff -f lavfi -i "sine=f=330:r=44100:d=2" -af "afade=t=out:st=1.5:d=0.5" -ac 2 -c:a pcm_s16le tone.wav
ff -f lavfi -i "sine=f=880:r=48000:d=1.5" -af "afade=t=out:st=0.2:d=1.3" -ac 2 -c:a pcm_s16le chime.wav
