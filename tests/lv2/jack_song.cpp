// A song for an LV2 host running under JACK (jalv): this program is the
// transport's timebase master at a steady tempo, plays an input by song
// frame into the host's plug-in and records what comes out, with the
// transport rolling in freewheel (as fast as the machine goes). Then it
// writes the recording, or checks that a sawtooth sweep starts each cycle
// on its beat.
//
//   jack_song record --client NAME --bpm B --from FRAME --to FRAME --input impulses|FILE.wav --output FILE.wav
//   jack_song beats --bpm B --beats R --from FRAME FILE.wav
//   jack_song same [--skip-a N] [--skip-b N] A.wav B.wav
//   jack_song write --signal impulses|noise --frames N --output FILE.wav
//   jack_song delays --from FRAME FILE.wav
//
// `record` connects to NAME:in_l, NAME:in_r, NAME:out_l and NAME:out_r;
// the recording holds song frames FROM to TO of the left output, as 32-bit
// float. `beats` reads such a recording of an impulse train through the
// sweep and says where each cycle starts against its beat. `same` compares
// the first channels of two files, sample for sample, from frame N of each
// to the end of the shorter. `write` makes a stereo file of a song's test
// signal (song_signal.h) from song frame 0. `delays` prints, for each LFO
// step of a recording of the impulse train, its song frame and the delay it
// shows.
#include <jack/jack.h>
#include <jack/transport.h>
#include <sndfile.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lfo_cycle.h"
#include "song_signal.h"

namespace {

constexpr std::int64_t kStep = 100;
constexpr double kBeatsPerBar = 4.0;
constexpr double kTicksPerBeat = 1920.0;

struct Song {
    double bpm = 120.0;
    std::int64_t from = 0;
    std::int64_t to = 0;
    std::vector<float> input;  // by song frame from 0; empty: an impulse train
    std::vector<float> recorded;
    jack_client_t* player = nullptr;
    jack_client_t* recorder = nullptr;
    jack_port_t* out[2] = {};
    jack_port_t* in[2] = {};
    std::atomic<std::int64_t> reached{0};
    double rate = 44100.0;

    float inputAt(std::int64_t frame) const {
        if (frame < 0) return 0.0f;
        if (input.empty()) return songsignal::impulses(frame);
        return frame < static_cast<std::int64_t>(input.size()) ? input[static_cast<std::size_t>(frame)] : 0.0f;
    }
};

// The player's cycle: the input at the transport's frames while it rolls.
int play(jack_nframes_t frames, void* arg) {
    auto* song = static_cast<Song*>(arg);
    jack_position_t position;
    const bool rolling = jack_transport_query(song->player, &position) == JackTransportRolling;
    for (auto* port : song->out) {
        auto* buffer = static_cast<float*>(jack_port_get_buffer(port, frames));
        for (jack_nframes_t i = 0; i < frames; ++i) buffer[i] = rolling ? song->inputAt(position.frame + i) : 0.0f;
    }
    return 0;
}

// The recorder's cycle, after the plug-in's in the same cycle.
int record(jack_nframes_t frames, void* arg) {
    auto* song = static_cast<Song*>(arg);
    jack_position_t position;
    if (jack_transport_query(song->recorder, &position) != JackTransportRolling) return 0;
    const auto* left = static_cast<const float*>(jack_port_get_buffer(song->in[0], frames));
    for (jack_nframes_t i = 0; i < frames; ++i) {
        const std::int64_t at = static_cast<std::int64_t>(position.frame) + i - song->from;
        if (at >= 0 && at < static_cast<std::int64_t>(song->recorded.size())) {
            song->recorded[static_cast<std::size_t>(at)] = left[i];
        }
    }
    song->reached = static_cast<std::int64_t>(position.frame) + frames;
    return 0;
}

// Bars, beats and ticks of the frame at a steady tempo, 4 beats a bar.
void timebase(jack_transport_state_t, jack_nframes_t, jack_position_t* position, int, void* arg) {
    const auto* song = static_cast<const Song*>(arg);
    const double beats = static_cast<double>(position->frame) / position->frame_rate * song->bpm / 60.0;
    const double bar = std::floor(beats / kBeatsPerBar);
    const double beat = std::floor(beats - bar * kBeatsPerBar);
    position->valid = JackPositionBBT;
    position->bar = static_cast<std::int32_t>(bar) + 1;
    position->beat = static_cast<std::int32_t>(beat) + 1;
    position->tick = static_cast<std::int32_t>((beats - bar * kBeatsPerBar - beat) * kTicksPerBeat);
    position->bar_start_tick = bar * kBeatsPerBar * kTicksPerBeat;
    position->beats_per_bar = static_cast<float>(kBeatsPerBar);
    position->beat_type = 4.0f;
    position->ticks_per_beat = kTicksPerBeat;
    position->beats_per_minute = song->bpm;
}

std::string option(int argc, char** argv, const std::string& name, const std::string& fallback = "") {
    for (int i = 1; i + 1 < argc; ++i) {
        if (argv[i] == name) return argv[i + 1];
    }
    return fallback;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "jack_song: %s\n", message.c_str());
    return 2;
}

bool writeWav(const std::string& path, const std::vector<float>& samples, int rate) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) return false;
    const auto written = sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    return sf_close(file) == 0 && written == static_cast<sf_count_t>(samples.size());
}

bool readWav(const std::string& path, std::vector<float>& samples) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return false;
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    samples.resize(static_cast<std::size_t>(info.frames));
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = interleaved[i * static_cast<std::size_t>(info.channels)];
    return true;
}

int recordSong(int argc, char** argv) {
    Song song;
    const std::string client = option(argc, argv, "--client", "tf");
    song.bpm = std::atof(option(argc, argv, "--bpm", "120").c_str());
    song.from = std::atoll(option(argc, argv, "--from", "0").c_str());
    song.to = std::atoll(option(argc, argv, "--to", "0").c_str());
    const std::string input = option(argc, argv, "--input", "impulses");
    const std::string output = option(argc, argv, "--output");
    if (song.to <= song.from || output.empty()) return fail("record needs --to after --from, and --output");
    if (input != "impulses" && !readWav(input, song.input)) return fail("cannot read " + input);
    song.recorded.assign(static_cast<std::size_t>(song.to - song.from), 0.0f);

    jack_status_t status;
    jack_client_t* player = song.player = jack_client_open("song-play", JackNoStartServer, &status);
    jack_client_t* recorder = song.recorder = jack_client_open("song-rec", JackNoStartServer, &status);
    if (player == nullptr || recorder == nullptr) return fail("no JACK server");
    song.rate = jack_get_sample_rate(player);
    const char* sides[] = {"l", "r"};
    for (int c = 0; c < 2; ++c) {
        song.out[c] = jack_port_register(player, (std::string("out_") + sides[c]).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                         JackPortIsOutput, 0);
        song.in[c] = jack_port_register(recorder, (std::string("in_") + sides[c]).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                        JackPortIsInput, 0);
    }
    jack_set_process_callback(player, play, &song);
    jack_set_process_callback(recorder, record, &song);
    if (jack_set_timebase_callback(player, 0, timebase, &song) != 0) return fail("cannot be the timebase master");
    jack_transport_stop(player);
    if (jack_activate(player) != 0 || jack_activate(recorder) != 0) return fail("cannot activate");
    for (int c = 0; c < 2; ++c) {
        const std::string side = sides[c];
        if (jack_connect(player, jack_port_name(song.out[c]), (client + ":in_" + side).c_str()) != 0 ||
            jack_connect(recorder, (client + ":out_" + side).c_str(), jack_port_name(song.in[c])) != 0) {
            return fail("cannot connect to " + client);
        }
    }
    // A moment standing still, as a host before the user presses play.
    usleep(200000);
    jack_transport_locate(player, static_cast<jack_nframes_t>(song.from));
    usleep(100000);
    jack_transport_start(player);
    jack_set_freewheel(player, 1);
    while (song.reached < song.to) usleep(10000);
    jack_set_freewheel(player, 0);
    jack_transport_stop(player);
    jack_client_close(recorder);
    jack_client_close(player);
    if (!writeWav(output, song.recorded, static_cast<int>(song.rate))) return fail("cannot write " + output);
    return 0;
}

int checkBeats(int argc, char** argv) {
    const double bpm = std::atof(option(argc, argv, "--bpm", "120").c_str());
    const double beats = std::atof(option(argc, argv, "--beats", "1").c_str());
    const std::int64_t from = std::atoll(option(argc, argv, "--from", "0").c_str());
    const double rate = std::atof(option(argc, argv, "--rate", "44100").c_str());
    std::vector<float> left;
    if (!readWav(argv[argc - 1], left)) return fail(std::string("cannot read ") + argv[argc - 1]);
    const double cycleFrames = rate * 60.0 / bpm * beats;
    std::size_t before = 0;
    int cycles = 0;
    double worst = 0.0;
    for (std::int64_t frame = (from + kStep - 1) / kStep * kStep;
         frame - from + kStep < static_cast<std::int64_t>(left.size()); frame += kStep) {
        const std::size_t delay = lfocycle::delayAt(left.data() + (frame - from));
        if (frame > from && delay + 50 < before) {
            // A cycle starts: at the first step at or after its beat.
            const double cycle = std::round(static_cast<double>(frame) / cycleFrames);
            const double late = static_cast<double>(frame) - cycle * cycleFrames;
            if (late < 0.0 || late >= kStep) {
                std::printf("FAIL: the cycle at frame %lld starts %.1f frames after its beat\n",
                            static_cast<long long>(frame), late);
                return 1;
            }
            worst = std::max(worst, late);
            ++cycles;
        }
        before = delay;
    }
    const double expected = std::floor(static_cast<double>(from + static_cast<std::int64_t>(left.size()) - kStep) /
                                       cycleFrames) - std::floor(static_cast<double>(from) / cycleFrames);
    if (std::fabs(cycles - expected) > 1.0) {
        std::printf("FAIL: %d cycles where %.0f beats make %.0f\n", cycles, beats, expected);
        return 1;
    }
    std::printf("%.0f BPM, %g %s a cycle: %d cycles over %.1f min, each starting 0 to %.0f frames after its beat\n",
                bpm, beats, beats == 1.0 ? "beat" : "beats", cycles, static_cast<double>(left.size()) / rate / 60.0, worst);
    return 0;
}

}  // namespace

int compare(int argc, char** argv) {
    const auto skipA = static_cast<std::size_t>(std::atoll(option(argc, argv, "--skip-a", "0").c_str()));
    const auto skipB = static_cast<std::size_t>(std::atoll(option(argc, argv, "--skip-b", "0").c_str()));
    std::vector<float> a, b;
    if (!readWav(argv[argc - 2], a) || !readWav(argv[argc - 1], b)) return fail("cannot read the files to compare");
    if (skipA > a.size() || skipB > b.size()) return fail("nothing to compare");
    const std::size_t frames = std::min(a.size() - skipA, b.size() - skipB);
    for (std::size_t i = 0; i < frames; ++i) {
        if (std::memcmp(&a[skipA + i], &b[skipB + i], sizeof(float)) != 0) {
            std::printf("differ at frame %zu: %.9g and %.9g\n", i, static_cast<double>(a[skipA + i]),
                        static_cast<double>(b[skipB + i]));
            return 1;
        }
    }
    if (frames == 0) return fail("nothing to compare");
    return 0;
}

int writeSignal(int argc, char** argv) {
    const bool noise = option(argc, argv, "--signal", "impulses") == "noise";
    const auto frames = std::atoll(option(argc, argv, "--frames", "0").c_str());
    const std::string output = option(argc, argv, "--output");
    if (frames <= 0 || output.empty()) return fail("write needs --frames and --output");
    std::vector<float> samples(static_cast<std::size_t>(frames) * 2);
    for (std::int64_t f = 0; f < frames; ++f) {
        samples[static_cast<std::size_t>(2 * f)] = samples[static_cast<std::size_t>(2 * f + 1)] =
            noise ? songsignal::noise(f) : songsignal::impulses(f);
    }
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(output.c_str(), SFM_WRITE, &info);
    if (file == nullptr) return fail("cannot write " + output);
    const auto written = sf_writef_float(file, samples.data(), frames);
    return sf_close(file) == 0 && written == frames ? 0 : fail("cannot write " + output);
}

int printDelays(int argc, char** argv) {
    const std::int64_t from = std::atoll(option(argc, argv, "--from", "0").c_str());
    std::vector<float> left;
    if (!readWav(argv[argc - 1], left)) return fail(std::string("cannot read ") + argv[argc - 1]);
    for (std::int64_t frame = (from + kStep - 1) / kStep * kStep;
         frame - from + kStep < static_cast<std::int64_t>(left.size()); frame += kStep) {
        std::printf("%lld %zu\n", static_cast<long long>(frame), lfocycle::delayAt(left.data() + (frame - from)));
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "delays") == 0) return printDelays(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "write") == 0) return writeSignal(argc, argv);
    if (argc > 3 && std::strcmp(argv[1], "same") == 0) return compare(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "record") == 0) return recordSong(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "beats") == 0) return checkBeats(argc, argv);
    return fail("usage: jack_song record ... | jack_song beats ... FILE.wav");
}
