#!/bin/sh
# Regenerates the sample files of this folder with Debian's ffmpeg and records
# what ffprobe reports for each in ffprobe.txt. Not needed to build or test.
set -e
cd "$(dirname "$0")"
ff="ffmpeg -y -hide_banner -loglevel error"
common="-map_metadata -1 -fflags +bitexact -flags:a +bitexact"

tone() { # rate channels seconds
  echo "-f lavfi -i sine=frequency=440:sample_rate=$1:duration=$3"
}

$ff $(tone 22050 1 1.5) -ac 1 -c:a aac -b:a 24k $common aac-22050-mono.mp4
$ff $(tone 44100 2 2) -ac 2 -c:a aac -b:a 48k $common aac-44100-stereo.mp4
$ff $(tone 48000 2 1) -ac 2 -c:a aac -b:a 48k $common aac-48000-stereo.mp4
$ff $(tone 96000 2 1) -ac 2 -c:a aac -b:a 64k $common aac-96000-stereo.mp4
$ff $(tone 48000 6 1) -af "pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0" \
    -c:a aac -b:a 96k $common aac-48000-6ch.mp4
# Major brand mp42, which marks a file as deliverable unchanged as audio/mp4.
$ff $(tone 48000 2 1) -ac 2 -c:a aac -b:a 48k $common -brand mp42 aac-48000-mp42.mp4
$ff $(tone 32000 2 1) -ac 2 -c:a aac -b:a 48k $common -brand mp42 aac-32000-mp42.mp4
$ff $(tone 96000 2 1) -ac 2 -c:a aac -b:a 64k $common -brand mp42 aac-96000-mp42.mp4
$ff $(tone 48000 6 1) -af "pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0" \
    -c:a aac -b:a 96k $common -brand mp42 aac-48000-6ch-mp42.mp4
# The ipod muxer writes the "M4A " brand.
$ff $(tone 44100 2 1) -ac 2 -c:a aac -b:a 48k $common -f ipod aac-44100-stereo.m4a
# 40 s: longer than the 30 s a DLNA sink buffers, so streaming must wait for reads.
$ff $(tone 22050 1 40) -ac 1 -c:a aac -b:a 16k $common -f ipod aac-22050-mono-long.m4a
$ff $(tone 16000 1 1) -ac 1 -c:a aac -b:a 16k $common -f 3gp -brand 3gp6 aac-16000-mono.3gp
# Make the last compatible brand mp42 (same size, so nothing moves).
python3 -c 'import sys; p=sys.argv[1]; d=bytearray(open(p,"rb").read()); assert d[24:28]==b"iso2"; d[24:28]=b"mp42"; open(p,"wb").write(d)' aac-16000-mono.3gp
# 3GPP user data (titl, auth, perf, gnre, dscp, cprt, yrrc, albm) from tags.
$ff $(tone 16000 1 1) -ac 1 -c:a aac -b:a 16k -fflags +bitexact -flags:a +bitexact \
    -metadata title="Morning Tone" -metadata artist="Test Band" -metadata album="First Album" \
    -metadata date=2010 -metadata genre=Ambient -metadata comment="A sample" -metadata copyright=none \
    -f 3gp -brand 3gp6 aac-16000-tagged.3gp
$ff -f lavfi -i testsrc=size=64x48:rate=10:duration=1 $(tone 44100 1 1) \
    -c:v libx264 -profile:v baseline -pix_fmt yuv420p -b:v 20k \
    -ac 1 -c:a aac -b:a 24k $common -flags:v +bitexact video-and-audio.mp4
$ff $(tone 44100 2 2) -ac 2 -c:a aac -b:a 48k $common \
    -movflags +frag_keyframe+empty_moov+default_base_moof -frag_duration 500000 \
    fragmented-raw.mp4
python3 ./strip-fragment-extras.py fragmented-raw.mp4 aac-44100-fragmented.mp4
rm -f fragmented-raw.mp4

# What ffprobe reports for the first audio stream, one line per file:
#   file sample_rate channels timescale duration_ts duration_seconds
# Edit lists are ignored, so the duration is the whole media duration (with
# the encoder's priming samples), as the track header states it.
: > ffprobe.txt
for f in *.mp4 *.m4a *.3gp; do
  ffprobe -v error -ignore_editlist 1 -select_streams a:0 \
    -show_entries stream=sample_rate,channels,duration_ts,time_base,duration \
    -of default=noprint_wrappers=1 "$f" |
    awk -v f="$f" -F= '{v[$1]=$2} END {split(v["time_base"], tb, "/");
      print f, v["sample_rate"], v["channels"], tb[2], v["duration_ts"], v["duration"]}' \
    >> ffprobe.txt
done

# An audiobook: brand "M4B " from the ipod muxer (compatible M4B, isom, iso2,
# so no MP4 brand), 22050 Hz mono, 3 s. Recorded after the others, so the
# lines above keep their order.
$ff $(tone 22050 1 3) -ac 1 -c:a aac -b:a 24k $common -brand "M4B " -f ipod aac-22050-mono.m4b
for f in *.m4b; do
  ffprobe -v error -ignore_editlist 1 -select_streams a:0 \
    -show_entries stream=sample_rate,channels,duration_ts,time_base,duration \
    -of default=noprint_wrappers=1 "$f" |
    awk -v f="$f" -F= '{v[$1]=$2} END {split(v["time_base"], tb, "/");
      print f, v["sample_rate"], v["channels"], tb[2], v["duration_ts"], v["duration"]}' \
    >> ffprobe.txt
done

# Files derived from the ones above (HE-AAC configuration, damaged copy).
python3 ./make-derived.py
