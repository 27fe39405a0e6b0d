#!/bin/sh
# Regenerates the bundled sample with Debian's ffmpeg: 6 s of a two-note
# chord (A4 left, C#5 right), AAC-LC 44100 Hz stereo, written by the ipod
# muxer (brand "M4A "). Not needed to build, test or run the demo.
set -e
cd "$(dirname "$0")"
ffmpeg -y -hide_banner -loglevel error \
  -f lavfi -i "aevalsrc=0.4*sin(2*PI*440*t)|0.4*sin(2*PI*554.37*t):sample_rate=44100:duration=6" \
  -c:a aac -b:a 64k -map_metadata -1 -fflags +bitexact -flags:a +bitexact \
  -metadata title="trnhost sample" -f ipod chord-44100-stereo.m4a
# iTunes lists mp42 among the compatible brands, which lets a server offer
# the file unchanged as audio/mp4; patch ffmpeg's last brand (same size).
python3 -c 'import sys; p=sys.argv[1]; d=bytearray(open(p,"rb").read()); assert d[24:28]==b"iso2"; d[24:28]=b"mp42"; open(p,"wb").write(d)' chord-44100-stereo.m4a
