#!/bin/sh
# Makes the decoder accuracy files with Debian's ffmpeg and its own decode of
# each as the reference (16-bit little-endian PCM, edit list applied).
# Run from this folder: sh make-aac-tests.sh
set -e
enc() {  # name rate channels source [encoder options...]
    name=$1 rate=$2 channels=$3 source=$4
    shift 4
    ffmpeg -hide_banner -loglevel error -y -f lavfi -i "$source" -ar "$rate" -ac "$channels" \
        -c:a aac -aac_pns 0 "$@" -map_metadata -1 -fflags +bitexact -flags:a +bitexact "$name.m4a"
    ffmpeg -hide_banner -loglevel error -y -i "$name.m4a" -f s16le -acodec pcm_s16le "$name.pcm"
}
# Steady tones, long windows only.
enc tone-8000-mono 8000 1 "sine=frequency=440:sample_rate=8000:duration=1.5" -b:a 24k
enc tones-22050-stereo 22050 2 \
    "aevalsrc=0.3*sin(2*PI*330*t)+0.2*sin(2*PI*2500*t)|0.3*sin(2*PI*550*t)+0.1*sin(2*PI*4000*t):s=22050:d=1.5" -b:a 64k
# Clicks and bursts: sudden onsets force short blocks.
enc clicks-16000-mono 16000 1 \
    "aevalsrc=0.6*sin(2*PI*800*t)*lt(mod(t\,0.3)\,0.03)+0.05*sin(2*PI*200*t):s=16000:d=1.5" -b:a 32k
enc bursts-32000-stereo 32000 2 \
    "aevalsrc=0.5*(random(0)-0.5)*lt(mod(t\,0.4)\,0.05)+0.2*sin(2*PI*700*t)|0.4*sin(2*PI*1200*t)*lt(mod(t\,0.25)\,0.02)+0.1*sin(2*PI*300*t):s=32000:d=1.5" -b:a 96k
enc music-44100-stereo 44100 2 \
    "aevalsrc=0.25*sin(2*PI*261.6*t)+0.2*sin(2*PI*329.6*t)*lt(mod(t\,0.5)\,0.25)+0.3*sin(2*PI*1046*t)*exp(-8*mod(t\,0.5))|0.25*sin(2*PI*392*t)+0.15*sin(2*PI*3136*t)*exp(-10*mod(t\,0.33)):s=44100:d=2" -b:a 128k
enc attack-48000-stereo 48000 2 \
    "aevalsrc=0.7*sin(2*PI*1500*t)*exp(-30*mod(t\,0.35))|0.7*sin(2*PI*900*t)*exp(-30*mod(t+0.1\,0.35)):s=48000:d=1.5" -b:a 128k
# Nearly the same signal in both channels at a low rate: intensity stereo.
enc intensity-44100-stereo 44100 2 \
    "aevalsrc=0.3*sin(2*PI*440*t)+0.2*sin(2*PI*6000*t)+0.1*sin(2*PI*9000*t)|0.3*sin(2*PI*440*t)+0.15*sin(2*PI*6000*t)+0.05*sin(2*PI*9000*t):s=44100:d=1.5" \
    -b:a 48k -aac_is 1 -aac_ms 0
# Noise beside tones at a moderate rate: the encoder substitutes noise (PNS)
# for the bands between about 4 and 8 kHz.
enc noise-44100-stereo 44100 2 \
    "aevalsrc=0.3*sin(2*PI*440*t)+0.2*(random(0)-0.5)|0.3*sin(2*PI*660*t)+0.2*(random(1)-0.5):s=44100:d=1.5" \
    -b:a 48k -aac_pns 1 -aac_is 0
# HE-AAC with a 24000 Hz core (48000 Hz out): LC frames behind an explicit
# SBR configuration, for streaming through the rate conversion at 48000 Hz.
ffmpeg -hide_banner -loglevel error -y -f lavfi \
    -i "aevalsrc=0.3*sin(2*PI*440*t)+0.1*sin(2*PI*3000*t)|0.3*sin(2*PI*660*t)+0.1*sin(2*PI*5000*t):s=24000:d=1.5" \
    -c:a aac -b:a 48k -map_metadata -1 -fflags +bitexact -flags:a +bitexact lc-24000.mp4
python3 make-heaac.py lc-24000.mp4 heaac-24000-stereo.mp4
rm lc-24000.mp4
