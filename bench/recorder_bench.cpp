// Speed of the recorder's sound work on a WAV file of 16-bit stereo: the whole effects chain
// (amplifier, echo, phaser, seven-band equalizer) in capture-sized buffers, the 1024-point spectrum
// and the waveform display, each in samples per second and as a multiple of real time, beside sox
// running the same effects on the same file.
//
//   tarnwick-recorder-bench FILE.wav

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "recorder/dsp/draw.h"
#include "recorder/dsp/dsp.h"

using namespace tarnwick;
using Clock = std::chrono::steady_clock;

namespace {

constexpr float kBandGains[7] = {3, -3, 2, -2, 4, -4, 1};
constexpr int kRounds = 5;

struct Wav {
    int rate = 0, channels = 0;
    std::vector<std::int16_t> samples;
};

std::uint32_t le32(const char* p) {
    return std::uint8_t(p[0]) | std::uint8_t(p[1]) << 8 | std::uint8_t(p[2]) << 16 | std::uint32_t(std::uint8_t(p[3])) << 24;
}

bool readWav(const std::string& path, Wav& wav) {
    std::ifstream in(path, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), {});
    if (all.size() < 12 || all.compare(0, 4, "RIFF") != 0 || all.compare(8, 4, "WAVE") != 0) return false;
    for (std::size_t at = 12; at + 8 <= all.size();) {
        const std::uint32_t size = le32(all.data() + at + 4);
        const char* body = all.data() + at + 8;
        if (all.compare(at, 4, "fmt ") == 0 && size >= 16) {
            wav.channels = std::uint8_t(body[2]) | std::uint8_t(body[3]) << 8;
            wav.rate = static_cast<int>(le32(body + 4));
        } else if (all.compare(at, 4, "data") == 0) {
            const std::size_t bytes = std::min<std::size_t>(size, all.size() - at - 8);
            wav.samples.resize(bytes / 2);
            std::memcpy(wav.samples.data(), body, wav.samples.size() * 2);
        }
        at += 8 + size + (size & 1);
    }
    return wav.rate > 0 && wav.channels > 0 && !wav.samples.empty();
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.wav\n", argv[0]);
        return 2;
    }
    Wav wav;
    if (!readWav(argv[1], wav)) {
        std::fprintf(stderr, "%s: not a 16-bit PCM WAV file\n", argv[1]);
        return 1;
    }
    const double audioSeconds = double(wav.samples.size()) / wav.channels / wav.rate;
    std::printf("input: %s, %d Hz, %d channels, %.1f s\n", argv[1], wav.rate, wav.channels, audioSeconds);

    // The effects chain, in the capture's buffers of 5120 samples.
    clsDSP dsp;
    dsp.setSamplerate(wav.rate);
    dsp.setChannels(static_cast<std::int16_t>(wav.channels));
    for (int band = 0; band < 7; ++band) dsp.setEqualizerBandGainDB(band, kBandGains[band]);
    dsp.setEffectsUsed(clsDSP::Amplify | clsDSP::Echo | clsDSP::Phaser | clsDSP::Equalizer);
    // Best of several rounds, each on a fresh copy of the file through a fresh chain, so that a
    // busy moment on a shared machine does not decide the figure; sox gets the same treatment.
    double chainSeconds = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        clsDSP fresh = dsp;
        std::vector<std::int16_t> work = wav.samples;
        const auto start = Clock::now();
        for (std::size_t at = 0; at < work.size(); at += 5120)
            fresh.ProcessSamples(std::span<std::int16_t>(work).subspan(at, std::min<std::size_t>(5120, work.size() - at)));
        chainSeconds = std::min(chainSeconds, secondsSince(start));
    }
    const double chainRate = double(wav.samples.size()) / chainSeconds;
    std::printf("effects chain:   %12.0f samples/s  %8.1f x real time\n", chainRate, audioSeconds / chainSeconds);

    // The spectrum display on consecutive 1024-sample blocks.
    clsDraw draw;
    Picture spectrum("picFreq", 100, 50);
    auto start = Clock::now();
    std::size_t calls = 0;
    for (std::size_t at = 0; at + 1024 <= wav.samples.size(); at += 1024, ++calls)
        draw.DrawFrequencies(std::span<const std::int16_t>(wav.samples).subspan(at, 1024), spectrum);
    const double spectrumSeconds = secondsSince(start);
    std::printf("1024-point spectrum: %8.0f samples/s  %8.1f x real time  (%.3f ms a call)\n",
                calls * 1024.0 / spectrumSeconds, audioSeconds / spectrumSeconds, spectrumSeconds / calls * 1000);

    // The waveform display of a capture buffer.
    Picture trace("picAmpl", 100, 50);
    start = Clock::now();
    std::size_t traces = 0;
    for (std::size_t at = 0; at + 5120 <= wav.samples.size(); at += 5120, ++traces)
        draw.DrawAmplitudes(std::span<const std::int16_t>(wav.samples).subspan(at, 5120), trace);
    const double traceCall = secondsSince(start) / std::max<std::size_t>(traces, 1);

    // While recording: the chain on every captured second, and both displays on each 25 ms tick.
    const double load = (chainSeconds / audioSeconds + 40 * (spectrumSeconds / calls + traceCall)) * 100;
    std::printf("recording with every display on: %.2f %% of one core\n", load);

    // sox with the same effects on the same file, written nowhere.
    std::string command = std::string("sox -D \"") + argv[1] + "\" -n gain 3 echo 1 1 100 0.4 phaser 1 1 3 0.5 1 -s";
    // The chain's own band centres; its bandwidth, ln(14700 / 80) / 4 octaves, is 1.3034 at 44.1 kHz.
    for (int band = 0; band < 7; ++band)
        command += " equalizer " + std::to_string(dsp.EqualizerBandFrequency(band)) + " 1.3034o " +
                   std::to_string(int(kBandGains[band]));
    command += " 2>/dev/null";
    double soxSeconds = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        start = Clock::now();
        if (std::system(command.c_str()) != 0) {
            std::printf("sox -D: could not run (%s)\n", command.c_str());
            return 0;
        }
        soxSeconds = std::min(soxSeconds, secondsSince(start));
    }
    std::printf("sox -D, same effects: %9.0f samples/s  %8.1f x real time\n", double(wav.samples.size()) / soxSeconds,
                audioSeconds / soxSeconds);
    std::printf("\nbest of %d rounds each, same file, same effects and settings:\n", kRounds);
    std::printf("  tarnwick effects chain  %8.1f x real time\n", audioSeconds / chainSeconds);
    std::printf("  sox -D                  %8.1f x real time\n", audioSeconds / soxSeconds);
    std::printf("  tarnwick / sox          %8.2f   (aim: at least 2)\n", soxSeconds / chainSeconds);
    return 0;
}
