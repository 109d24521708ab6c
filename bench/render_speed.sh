#!/bin/sh
# Times fxrender on a 10-minute stereo 16-bit WAV against a plain copy of the
# same file through libsndfile (sndfile-convert), and prints the ratio.
# Usage: bench/render_speed.sh [build folder, default build/release]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/in.wav" <<'PY'
import os, sys, wave
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(2); w.setsampwidth(2); w.setframerate(44100)
    for _ in range(600):  # one second at a time, noise at about -6 dBFS
        w.writeframes(bytes(b & 0x3F if i % 2 else b for i, b in enumerate(os.urandom(44100 * 4))))
PY

best() {  # the fastest of three runs, in seconds
    fastest=""
    for _ in 1 2 3; do
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc -l)
        if [ -z "$fastest" ] || [ "$(echo "$t < $fastest" | bc -l)" = 1 ]; then fastest=$t; fi
    done
    echo "$fastest"
}

copy=$(best sndfile-convert -pcm16 "$work/in.wav" "$work/copy.wav")
render=$(best "$build/fxrender" render "$work/in.wav" -o "$work/out.wav" --tail 0 -q)
printf 'plain copy through libsndfile: %.3f s\n' "$copy"
printf 'fxrender render:               %.3f s\n' "$render"
printf 'ratio:                          %.2f (target: at most 2)\n' "$(echo "$render / $copy" | bc -l)"
