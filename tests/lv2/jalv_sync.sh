#!/bin/sh
# The LV2 edition in jalv, a real LV2 host, under JACK's dummy driver, with
# jack_song as the transport's timebase master, rolling in freewheel:
#   - sync on at 90, 128 and 140 BPM, 1 and 4 beats a cycle, ten minutes of
#     song: every cycle starts at the first LFO step at or after its beat;
#   - bars 17 and 18 played from their start sound as inside bars 1 to 32;
#   - sync off and every control at its default, a song from its start
#     sounds as fxrender's render of the library at its defaults.
# Usage: jalv_sync.sh JACK_SONG LV2_FOLDER URI FXRENDER
set -eu
song=$1
export LV2_PATH=$2
uri=$3
fxrender=$4
rate=44100
work=$(mktemp -d)
export JACK_DEFAULT_SERVER="tf-jalv-$$"
jackd_pid=""
cleanup() {
    exec 3>&- 2>/dev/null || true
    [ -z "$jackd_pid" ] || kill "$jackd_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

jackd --no-realtime -d dummy -r "$rate" -p 1024 >"$work/jackd.log" 2>&1 &
jackd_pid=$!
tries=0
until jack_lsp >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ "$tries" -lt 50 ] || { cat "$work/jackd.log"; echo "jalv_sync: jackd did not start" >&2; exit 1; }
    sleep 0.1
done

# jalv runs until its standard input closes: a fifo held open on fd 3.
start_jalv() {
    rm -f "$work/stdin"
    mkfifo "$work/stdin"
    jalv -x -n tf "$@" "$uri" <"$work/stdin" >"$work/jalv.log" 2>&1 &
    exec 3>"$work/stdin"
    tries=0
    until jack_lsp 2>/dev/null | grep -q '^tf:out_r$'; do
        tries=$((tries + 1))
        [ "$tries" -lt 100 ] || { cat "$work/jalv.log"; echo "jalv_sync: jalv did not start" >&2; exit 1; }
        sleep 0.1
    done
}
stop_jalv() {
    exec 3>&-
    tries=0
    while jack_lsp 2>/dev/null | grep -q '^tf:'; do
        tries=$((tries + 1))
        [ "$tries" -lt 100 ] || { echo "jalv_sync: jalv did not stop" >&2; exit 1; }
        sleep 0.1
    done
}

# Ten minutes of song and a little more, for each tempo and cycle.
for bpm in 90 128 140; do
    for beats in 1 4; do
        start_jalv -c sync=1 -c resolution="$beats" -c waveform=2 -c mod_amount=100 -c feedback=0
        "$song" record --client tf --bpm "$bpm" --from 0 --to $((601 * rate)) --output "$work/beats.wav"
        stop_jalv
        "$song" beats --bpm "$bpm" --beats "$beats" --from 0 "$work/beats.wav"
    done
done

# Bars 17 and 18 at 128 BPM and 4 beats a bar: 82687.5 frames a bar. Without
# feedback the lines hold no more than 99 frames of what came before, so
# from 100 frames into bar 17 on the two must be the same.
bar17=1323000
bar19=1488375
start_jalv -c sync=1 -c resolution=4 -c feedback=0
"$song" record --client tf --bpm 128 --from 0 --to 2646000 --output "$work/whole.wav"
stop_jalv
start_jalv -c sync=1 -c resolution=4 -c feedback=0
"$song" record --client tf --bpm 128 --from "$bar17" --to "$bar19" --output "$work/alone.wav"
stop_jalv
if ! "$song" same --skip-a $((bar17 + 100)) --skip-b 100 "$work/whole.wav" "$work/alone.wav"; then
    echo "jalv_sync: bars 17 and 18 played from their start differ from the same bars inside the song" >&2
    exit 1
fi
echo "128 BPM: bars 17 and 18 played from their start sound as inside bars 1 to 32"

# Defaults, sync off: twelve seconds of noise from the song's start.
sox -n -r "$rate" -c 1 -e float -b 32 "$work/mono.wav" synth 12 whitenoise vol 0.5 2>/dev/null
sox "$work/mono.wav" -c 2 "$work/noise.wav"
start_jalv
"$song" record --client tf --bpm 128 --from 0 --to $((12 * rate)) --input "$work/mono.wav" --output "$work/jalv.wav"
stop_jalv
"$fxrender" render "$work/noise.wav" -o "$work/library.wav" --tail 0 --float -q
if ! "$song" same "$work/jalv.wav" "$work/library.wav"; then
    echo "jalv_sync: at the defaults with sync off, jalv's render differs from fxrender's" >&2
    exit 1
fi
echo "defaults, sync off: jalv's render of a song from its start is fxrender's render, sample for sample"
