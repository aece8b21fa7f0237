#!/usr/bin/env bash
# Makes the examples' pictures and sounds in DIR/assets and copies the scripts beside them.
# usage: make-assets.sh DIR [NAME...]   (NAME: an example's script without ".xml"; default: all)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dir=${1:?usage: make-assets.sh DIR [NAME...]}
shift
if [ $# -eq 0 ]; then
  set -- $(cd "$here" && ls -- *.xml | sed 's/\.xml$//')
fi
mkdir -p "$dir/assets"
cd "$dir/assets"
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
# One picture drawn by per-pixel expressions: picture SIZE FILE R G B [A].
picture() {
  local size=$1 file=$2 format=rgb24 alpha=""
  [ $# -gt 5 ] && format=rgba alpha=":a='$6'"
  ff -f lavfi -i "color=c=black:s=$size:r=1" -frames:v 1 \
     -vf "format=$format,geq=r='$3':g='$4':b='$5'$alpha" -q:v 3 "$file"
}

intro() {
  ff -f lavfi -i smptebars=s=320x180:r=1 -frames:v 1 bars.png
  # A round badge with soft transparent edges.
  ff -f lavfi -i "color=c=0x3070d0:s=256x256:r=1" -frames:v 1 \
     -vf "format=rgba,geq=r='r(X,Y)':g='g(X,Y)+X/2':b='b(X,Y)':a='255*clip((120-hypot(X-128,Y-128))/8,0,1)'" \
     -pix_fmt rgba badge.png
  ff -f lavfi -i "sine=f=330:r=44100:d=2" -af "afade=t=out:st=1.5:d=0.5" -ac 2 -c:a pcm_s16le tone.wav
  ff -f lavfi -i "sine=f=880:r=48000:d=1.5" -af "afade=t=out:st=0.2:d=1.3" -ac 2 -c:a pcm_s16le chime.wav
}

# Three "camera" photos at 1280 x 720 (larger than the movie).
photos() {
  local sun='lt(hypot(X-820,Y-410),60)' glint='lt(abs(X-820),40+(Y-430)/4)*gt(sin(Y*0.7),0.3)'
  picture 1280x720 harbour.jpg \
    "if($sun,255,if(lt(Y,430),40+200*Y/430,20+40*(1-(Y-430)/290)+60*$glint))" \
    "if($sun,220,if(lt(Y,430),50+90*Y/430,50+30*(1-(Y-430)/290)+50*$glint))" \
    "if($sun,150,if(lt(Y,430),140-40*Y/430,100+20*sin(X/13+Y/4)))"
  local ridge='720-(260+200*abs(sin(X*0.004+1))+30*sin(X*0.03))'
  picture 1280x720 mountains.jpg \
    "if(gt(Y,$ridge),if(lt(Y,$ridge+25),240,60+Y/12),120+Y/6)" \
    "if(gt(Y,$ridge),if(lt(Y,$ridge+25),245,80+Y/14),170+Y/8)" \
    "if(gt(Y,$ridge),if(lt(Y,$ridge+25),255,90+Y/16),230)"
  local tower='gt(Y,720-(180+260*abs(sin(floor(X/90)*12.9898))))'
  local lit='lt(mod(X,22),9)*lt(mod(Y,26),13)*gt(sin(floor(X/22)*7.1+floor(Y/26)*3.3),-0.2)'
  picture 1280x720 city.jpg \
    "if($tower,if($lit,250,25),10)" "if($tower,if($lit,200,25),15+Y/20)" "if($tower,if($lit,120,40),50+Y/10)"
}

# The photos and eight seconds of music.
slideshow() {
  photos
  # Two chords, two seconds each, with a slow tremolo; stereo, as every sound must be.
  local chord='(0.16*sin(2*PI*if(lt(mod(t,4),2),220,293.66)*t)+0.1*sin(2*PI*if(lt(mod(t,4),2),277.18,369.99)*t)+0.1*sin(2*PI*if(lt(mod(t,4),2),329.63,440)*t))'
  local swell='min(1,min(mod(t,2)*8,(2-mod(t,2))*8))'
  ff -f lavfi -i "aevalsrc=exprs='$chord*$swell*(0.8+0.2*sin(6*PI*t))|$chord*$swell*(0.8+0.2*sin(6*PI*t+1))':s=44100:d=8" \
     -c:a libmp3lame -b:a 128k music.mp3
}

# A small dark backdrop (stretched to the frame by the script) and a gold rule fading at its ends.
title-card() {
  picture 320x180 backdrop.png \
    "8+30*exp(-(pow(X-160,2)+pow(Y-90,2))/5000)" "10+32*exp(-(pow(X-160,2)+pow(Y-90,2))/5000)" \
    "25+45*exp(-(pow(X-160,2)+pow(Y-90,2))/5000)"
  picture 512x4 rule.png 230 190 110 "255*min(1,min(X,511-X)/120)"
}

# A blurred studio backdrop at a quarter of the movie's area and a translucent caption bar.
lower-third() {
  local glow='90*exp(-(pow(X-200,2)+pow(Y-150,2))/2250)' cool='70*exp(-(pow(X-750,2)+pow(Y-100,2))/3500)'
  local violet='60*exp(-(pow(X-550,2)+pow(Y-350,2))/5000)'
  picture 960x540 studio.jpg \
    "30+40*Y/540+$glow+$cool+$violet" "35+30*Y/540+0.66*$glow+1.14*$cool+0.66*$violet" \
    "60+20*Y/540+0.33*$glow+1.3*$cool+1.66*$violet"
  picture 1100x150 bar.png "if(lt(X,14),240,20)" "if(lt(X,14),140,24)" "if(lt(X,14),30,36)" \
    "if(lt(X,14),255,215*min(1,(1100-X)/200))"
}

# A moving backdrop with bright and dark parts, and a round badge as an SVG.
captions() {
  ff -f lavfi -i "testsrc2=s=320x180:r=25:d=4" -c:v mpeg4 -q:v 4 scene.mp4
  cat > badge.svg <<'SVG'
<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">
  <circle cx="32" cy="32" r="30" fill="#f0a030"/>
  <circle cx="32" cy="32" r="22" fill="none" stroke="#101820" stroke-width="4"/>
  <path d="M32 14 L38 30 L32 50 L26 30 Z" fill="#101820"/>
</svg>
SVG
}

# A two-second clip of drifting colour gradients to loop, and the lyrics as an SRT file.
lyrics() {
  ff -f lavfi -i "gradients=s=640x360:d=2:r=25:speed=0.03:c0=0x102040:c1=0x204080:c2=0x603070:nb_colors=3" \
     -c:v libx264 -pix_fmt yuv420p waves.mp4
  cat > lyrics.srt <<'SRT'
1
00:00:00,200 --> 00:00:01,400
<b>Harbour Lights</b>

2
00:00:01,500 --> 00:00:03,500
Light the harbour lamps tonight

3
00:00:03,600 --> 00:00:05,600
<i>the sea is calm
海は静か</i>

4
00:00:05,700 --> 00:00:07,800
and every ship comes home
SRT
}

ken-burns() { photos; }
fade-caption() { lower-third; }

for name in "$@"; do
  cp "$here/$name.xml" "$dir/"
  "$name"
done
