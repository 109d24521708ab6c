#!/bin/sh
# The LV2 edition in Ardour, headless (Ardour's Lua interpreter makes each
# session on its Dummy backend, ardour7-export renders it): a stereo track
# whose song-source test plug-in plays an impulse train or noise by song
# frame into the flanger, exported as 32-bit float.
#   - sync on at 90, 128 and 140 BPM, 1 and 4 beats a cycle, ten minutes:
#     every cycle starts at the first LFO step at or after its beat;
#   - bars 17 and 18 exported alone sound as inside an export of bars 1 to 32;
#   - sync off at the defaults: the export of twelve seconds of noise is
#     fxrender's render of the same noise, sample for sample, nothing padded.
# Needs Ardour 7 (apt-get install ardour) and a release build with its
# tests (scripts/build.sh release). Not part of CI: an export of ten
# minutes takes Ardour about a minute, and one export in about twenty
# hangs (each runs under a timeout).
# Usage: scripts/ardour-check.sh [BUILD_FOLDER [CHECK...]]
#   BUILD_FOLDER default build/release; CHECK: sync, bars, defaults (default all).
#   KEEP=1 keeps the sessions and exports, and says where.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build/release}
[ $# -le 1 ] || shift
checks=${*:-sync bars defaults}
song=$build/tests/jack_song
fxrender=$build/fxrender
for needed in ardour7-lua ardour7-export "$song" "$fxrender"; do
    command -v "$needed" >/dev/null || { echo "ardour-check: $needed is missing" >&2; exit 1; }
done
export LV2_PATH="$(pwd)/$build/lib/lv2:$(pwd)/$build/tests/lv2"
work=$(mktemp -d "${TMPDIR:-/tmp}/ardour-check.XXXXXX")
if [ "${KEEP:-0}" = 1 ]; then
    echo "ardour-check: working in $work" >&2
else
    trap 'rm -rf "$work"' EXIT INT TERM
fi
rate=44100

# export_session NAME BPM FROM TO SIGNAL PARAMETERS: a session at BPM whose
# range is song frames FROM to TO, exported to $work/NAME.wav. SIGNAL is 0
# for impulses, 1 for noise; PARAMETERS the flanger's control values as
# Lua assignments to p[n] (n counts its control inputs: tempo 0,
# resolution 1, send 2, depth 3, mod_amount 4, waveform 5, feedback 6,
# boost 7, sync 8).
export_session() {
    name=$1 bpm=$2 from=$3 to=$4 signal=$5 parameters=$6
    cat >"$work/$name.lua" <<EOF
AudioEngine:set_backend("None (Dummy)", "", "")
local s = create_session("$work/$name", "$name", $rate)
assert(s, "no session")
local tm = Temporal.TempoMap.fetch_writable()
tm:set_tempo(Temporal.Tempo($bpm, $bpm, 4), Temporal.timepos_t(0))
Temporal.TempoMap.update(tm)
local track = Session:new_audio_track(2, 2, nil, 1, "song", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true):front()
local source = ARDOUR.LuaAPI.new_plugin(Session, "urn:tempo-flanger:test:song-source", ARDOUR.PluginType.LV2, "")
local flanger = ARDOUR.LuaAPI.new_plugin(Session, "urn:tempo-flanger:lv2:flanger", ARDOUR.PluginType.LV2, "")
assert(not source:isnil() and not flanger:isnil(), "a plug-in is missing")
track:add_processor_by_index(source, 0, nil, true)
track:add_processor_by_index(flanger, 1, nil, true)
ARDOUR.LuaAPI.set_processor_param(source, 0, $signal)
local p = {}
$parameters
for n, value in pairs(p) do ARDOUR.LuaAPI.set_processor_param(flanger, n, value) end
Session:locations():add_range(Temporal.timepos_t($from), Temporal.timepos_t($to))
Session:save_state("")
close_session()
EOF
    timeout 120 ardour7-lua "$work/$name.lua" >"$work/$name.log" 2>&1 || { cat "$work/$name.log"; exit 1; }
    # The range marker becomes the session range, which the export renders.
    sed -i 's/name="range1" \(start="a[0-9]*" end="a[0-9]*"\) flags="IsRangeMarker"/name="session" \1 flags="IsSessionRange"/' \
        "$work/$name/$name.ardour"
    grep -q 'flags="IsSessionRange"' "$work/$name/$name.ardour" || { echo "ardour-check: no session range" >&2; exit 1; }
    started=$(date +%s)
    timeout 900 ardour7-export "$work/$name" "$name" -b float -o "$work/$name.wav" >>"$work/$name.log" 2>&1 ||
        { tail "$work/$name.log"; echo "ardour-check: the export of $name failed" >&2; exit 1; }
    echo "ardour-check: exported $name in $(($(date +%s) - started)) s" >&2
}

case " $checks " in *" sync "*)
for bpm in 90 128 140; do
    for beats in 1 4; do
        export_session "sync-$bpm-$beats" "$bpm" 0 $((601 * rate)) 0 \
            "p[8] = 1; p[1] = $beats; p[5] = 2; p[4] = 100; p[6] = 0"
        "$song" beats --bpm "$bpm" --beats "$beats" --from 0 "$work/sync-$bpm-$beats.wav"
        rm -rf "$work/sync-$bpm-$beats.wav" "$work/sync-$bpm-$beats"
    done
done ;;
esac

case " $checks " in *" bars "*)
bar17=1323000
bar19=1488375
export_session whole 128 0 2646000 0 "p[8] = 1; p[1] = 4; p[6] = 0"
export_session alone 128 "$bar17" "$bar19" 0 "p[8] = 1; p[1] = 4; p[6] = 0"
"$song" same --skip-a $((bar17 + 100)) --skip-b 100 "$work/whole.wav" "$work/alone.wav"
echo "128 BPM: bars 17 and 18 exported alone are the same bars exported inside bars 1 to 32" ;;
esac

case " $checks " in *" defaults "*)
export_session defaults 128 0 $((12 * rate)) 1 ""
"$song" write --signal noise --frames $((12 * rate)) --output "$work/noise.wav"
"$fxrender" render "$work/noise.wav" -o "$work/library.wav" --tail 0 --float -q
"$song" same "$work/defaults.wav" "$work/library.wav"
echo "defaults, sync off: Ardour's export is fxrender's render of the library, sample for sample" ;;
esac
