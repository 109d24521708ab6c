#!/bin/sh
# A real LV2 host, lv2file, renders a file through the bundle with controls
# set by symbol; fxrender renders it through the library of the 1.0
# interface with the same normalized values; the samples must be the same.
set -eu
fxrender=$1
bundle=$2
uri=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Four seconds of stereo noise (past the LFO step at which a tempo of 120
# BPM and the factory's 120.000076 part) and a second of clicks, as 32-bit float.
sox -n -r 44100 -c 2 -e float -b 32 "$work/noise.wav" synth 4 whitenoise vol 0.5 2>/dev/null
sox -n -r 44100 -c 2 -e float -b 32 "$work/clicks.wav" synth 1 square 3 vol 0.3 2>/dev/null

# Control values and the normalized values they stand for: (BPM - 60) / 140,
# the middle of the Resolution zone ((k + 0.5) / 13) and of the Waveform zone
# ((k + 0.5) / 3) but for the factory's zones, percent / 100, 10^(dB/20) / 4.
check() {
    name=$1
    input=$2
    lv2args=$3
    setargs=$4
    # shellcheck disable=SC2086
    LV2_PATH=$(dirname "$bundle") lv2file -i "$work/$input" -o "$work/$name-lv2.wav" --ignore-clipping $lv2args "$uri" \
        >"$work/lv2file.log" 2>&1 || { cat "$work/lv2file.log"; exit 1; }
    # shellcheck disable=SC2086
    "$fxrender" render "$work/$input" -o "$work/$name-fx.wav" --tail 0 --float -q $setargs
    if ! sndfile-cmp "$work/$name-lv2.wav" "$work/$name-fx.wav"; then
        echo "$name: lv2file and fxrender differ" >&2
        exit 1
    fi
    echo "$name: the same samples"
}

# Each at its defaults: the bundle's and the factory program.
check defaults noise.wav "" ""
check triangle clicks.wav \
    "-p tempo:130 -p resolution:4 -p send:70 -p depth:40 -p mod_amount:10 -p waveform:1 -p feedback:90 -p boost:0" \
    "--set tempo=norm:0.5 --set resolution=norm:0.269230783 --set send=norm:0.7 --set depth=norm:0.4 \
     --set mod=norm:0.1 --set waveform=norm:0.5 --set feedback=norm:0.9 --set boost=norm:0.25"
check fixed noise.wav \
    "-p tempo:200 -p resolution:1 -p send:50 -p depth:60 -p mod_amount:0 -p waveform:2 -p feedback:100 -p boost:-90" \
    "--set tempo=norm:1 --set resolution=norm:0.0384615399 --set send=norm:0.5 --set depth=norm:0.6 \
     --set mod=norm:0 --set waveform=norm:0.833333313 --set feedback=norm:1 --set boost=norm:0"
