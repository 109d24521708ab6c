#!/bin/sh
# Draws what Sync does, from real renders: jalv (an LV2 host) under JACK's
# dummy driver plays an impulse train through the LV2 edition at 128 BPM,
# sync on, 4 beats a sweep, once from bar 1 and once started at bar 3 (as a
# user pressing play there); the delay each LFO step shows is plotted over
# the host's bars. Sync off, for comparison: the sweep keeps the Tempo
# control's 120 BPM, off the host's bars.
# Needs a release build with its tests (scripts/build.sh release), jalv,
# jackd2 and gnuplot (apt-get install gnuplot-nox).
# Usage: scripts/sync-picture.sh [OUTPUT.png [BUILD_FOLDER]]
#        (defaults docs/sync-against-bars.png and build/release)
set -eu
cd "$(dirname "$0")/.."
output=${1:-docs/sync-against-bars.png}
build=${2:-build/release}
song=$(pwd)/$build/tests/jack_song
for needed in jalv jackd gnuplot "$song"; do
    command -v "$needed" >/dev/null || { echo "sync-picture: $needed is missing" >&2; exit 1; }
done
export LV2_PATH="$(pwd)/$build/lib/lv2"
export JACK_DEFAULT_SERVER="tf-picture-$$"
uri=urn:tempo-flanger:lv2:flanger
work=$(mktemp -d)
jackd_pid=""
trap 'exec 3>&- 2>/dev/null || true; [ -z "$jackd_pid" ] || kill "$jackd_pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT INT TERM
jackd --no-realtime -d dummy -r 44100 -p 1024 >"$work/jackd.log" 2>&1 &
jackd_pid=$!
until jack_lsp >/dev/null 2>&1; do sleep 0.1; done

bar=82687.5  # frames of a bar of 4 beats at 128 BPM and 44.1 kHz
bar3=165375
bar9=661500
# render NAME FROM SYNC: the delays of the steps of song frames FROM to bar 9.
render() {
    rm -f "$work/stdin"
    mkfifo "$work/stdin"
    jalv -x -n tf -c sync="$3" -c resolution=4 -c mod_amount=80 -c feedback=0 "$uri" <"$work/stdin" >/dev/null 2>&1 &
    exec 3>"$work/stdin"
    until jack_lsp 2>/dev/null | grep -q '^tf:out_r$'; do sleep 0.1; done
    "$song" record --client tf --bpm 128 --from "$2" --to "$bar9" --output "$work/$1.wav"
    exec 3>&-
    while jack_lsp 2>/dev/null | grep -q '^tf:'; do sleep 0.1; done
    "$song" delays --from "$2" "$work/$1.wav" >"$work/$1.dat"
}
render whole 0 1
render bar3 "$bar3" 1
render free3 "$bar3" 0

mkdir -p "$(dirname "$output")"
gnuplot <<GNUPLOT
set terminal pngcairo size 1000,440 font "sans,10"
set output "$output"
set title "Tempo Flanger (LV2), Sync on, 4 beats a sweep, 128 BPM: the same bar meets the same point of the sweep"
set xlabel "host's bar"
set ylabel "delay (samples)"
set xrange [1:9]
set yrange [0:105]
set xtics 1
set grid xtics lc rgb "#bbbbbb"
set key below horizontal spacing 1.2 width 2
plot "$work/whole.dat" using (\$1/$bar+1):2 with lines lw 3 lc rgb "#1f77b4" title "sync on, played from bar 1", \
     "$work/bar3.dat" using (\$1/$bar+1):2 with lines lw 1.5 dt 2 lc rgb "#d62728" title "sync on, played from bar 3", \
     "$work/free3.dat" using (\$1/$bar+1):2 with lines lw 1 lc rgb "#999999" title "sync off (Tempo 120), played from bar 3"
GNUPLOT
echo "sync-picture: wrote $output" >&2
