// Speed of the recorder's sound work on a WAV file of 16-bit stereo, each beside a reference timed in
// the same run: the whole effects chain (amplifier, echo, phaser, seven-band equalizer) in
// capture-sized buffers beside sox running comparable effects on the same file, and the spectrum's
// 1024-point transform beside FFTW computing the same transform.
//
//   tarnwick-recorder-bench FILE.wav

#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "recorder/dsp/draw.h"
#include "recorder/dsp/dsp.h"
#include "recorder/dsp/spectrum.h"

using namespace tarnwick;
using Clock = std::chrono::steady_clock;

namespace {

constexpr float kBandGains[7] = {3, -3, 2, -2, 4, -4, 1};
constexpr int kRounds = 5;
constexpr int kPoints = 1024;
constexpr int kBins = kPoints / 2 + 1;

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

// The best of several rounds of fn, in seconds: a busy moment on a shared machine does not decide.
template <class Fn>
double best(Fn fn) {
    double seconds = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = Clock::now();
        fn();
        seconds = std::min(seconds, secondsSince(start));
    }
    return seconds;
}

// Runs a shell command kRounds times; its best time in seconds, or a negative value when it fails.
double bestRun(const std::string& command) {
    bool failed = false;
    const double seconds = best([&] { failed = failed || std::system(command.c_str()) != 0; });
    return failed ? -1 : seconds;
}

// The spectrum's transform of consecutive 1024-sample blocks: the Blackman window, the transform and
// the 513 magnitudes the display reads, through the display's own transform and through FFTW.
void spectrumBesideFftw(const std::vector<std::int16_t>& samples) {
    const std::size_t blocks = samples.size() / kPoints;
    std::vector<double> ours(kBins), theirs(kBins);
    double sink = 0;

    clsFourier fourier;
    fourier.setNumberOfSamples(kPoints);
    fourier.setWithTimeWindow(true);
    const double oursSeconds = best([&] {
        for (std::size_t b = 0; b < blocks; ++b) {
            fourier.RealInAll(&samples[b * kPoints]);
            fourier.ComplexOutRange(ours.data(), kBins);
            sink += ours[7];
        }
    });

    // The same window values, made once as the display makes them.
    std::vector<double> window(kPoints);
    const double twoPi = 8.0 * std::atan(1.0);
    for (int i = 0; i < kPoints; ++i) {
        const double theta = twoPi * i / (kPoints - 1);
        window[static_cast<std::size_t>(i)] = 0.42 - 0.5 * std::cos(theta) + 0.08 * std::cos(2.0 * theta);
    }
    double* real = fftw_alloc_real(kPoints);
    fftw_complex* half = fftw_alloc_complex(kBins);
    fftw_complex* full = fftw_alloc_complex(kPoints);
    const fftw_plan r2c = fftw_plan_dft_r2c_1d(kPoints, real, half, FFTW_MEASURE);
    const fftw_plan c2c = fftw_plan_dft_1d(kPoints, full, full, FFTW_BACKWARD, FFTW_MEASURE);
    const double r2cSeconds = best([&] {
        for (std::size_t b = 0; b < blocks; ++b) {
            const std::int16_t* in = &samples[b * kPoints];
            for (int i = 0; i < kPoints; ++i) real[i] = in[i] * window[static_cast<std::size_t>(i)];
            fftw_execute(r2c);
            for (int k = 0; k < kBins; ++k)
                theirs[static_cast<std::size_t>(k)] = std::sqrt(half[k][0] * half[k][0] + half[k][1] * half[k][1]);
            sink += theirs[7];
        }
    });
    const double c2cSeconds = best([&] {
        for (std::size_t b = 0; b < blocks; ++b) {
            const std::int16_t* in = &samples[b * kPoints];
            for (int i = 0; i < kPoints; ++i) {
                full[i][0] = in[i] * window[static_cast<std::size_t>(i)];
                full[i][1] = 0.0;
            }
            fftw_execute(c2c);
            for (int k = 0; k < kBins; ++k)
                theirs[static_cast<std::size_t>(k)] = std::sqrt(full[k][0] * full[k][0] + full[k][1] * full[k][1]);
            sink += theirs[7];
        }
    });

    // Both give the same bins (the last block's), to rounding.
    fourier.RealInAll(&samples[(blocks - 1) * kPoints]);
    fourier.ComplexOutRange(ours.data(), kBins);
    double worst = 0, scale = 1e-300;
    for (int k = 0; k < kBins; ++k) {
        worst = std::max(worst, std::abs(ours[static_cast<std::size_t>(k)] - theirs[static_cast<std::size_t>(k)]));
        scale = std::max(scale, theirs[static_cast<std::size_t>(k)]);
    }
    fftw_destroy_plan(r2c);
    fftw_destroy_plan(c2c);
    fftw_free(real);
    fftw_free(half);
    fftw_free(full);

    const double perOurs = oursSeconds / double(blocks) * 1e6;
    const double perR2c = r2cSeconds / double(blocks) * 1e6;
    const double perC2c = c2cSeconds / double(blocks) * 1e6;
    const double reference = std::min(perR2c, perC2c);
    std::printf("\n1024-point spectrum (Blackman window, transform, 513 magnitudes), best of %d rounds:\n", kRounds);
    std::printf("  tarnwick                 %8.2f us a transform\n", perOurs);
    std::printf("  FFTW, real input         %8.2f us a transform\n", perR2c);
    std::printf("  FFTW, complex input      %8.2f us a transform\n", perC2c);
    const bool same = worst <= 1e-9 * scale;
    std::printf("  tarnwick / FFTW's best   %8.2f%s\n", perOurs / reference, same ? "" : "   BINS DIFFER");
    std::printf("aim, the transform at most 3 times FFTW's faster with the same bins: %s\n",
                same && perOurs / reference <= 3 ? "met" : "not met");
    if (sink == 0.5) std::printf(" ");
}

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

    // The effects chain, in the capture's buffers of 5120 samples, each round on a fresh copy of the
    // file through a fresh chain.
    clsDSP dsp;
    dsp.setSamplerate(wav.rate);
    dsp.setChannels(static_cast<std::int16_t>(wav.channels));
    for (int band = 0; band < 7; ++band) dsp.setEqualizerBandGainDB(band, kBandGains[band]);
    dsp.setEffectsUsed(clsDSP::Amplify | clsDSP::Echo | clsDSP::Phaser | clsDSP::Equalizer);
    std::vector<std::int16_t> work;
    const double chainSeconds = best([&] {
        clsDSP fresh = dsp;
        work = wav.samples;
        for (std::size_t at = 0; at < work.size(); at += 5120)
            fresh.ProcessSamples(std::span<std::int16_t>(work).subspan(at, std::min<std::size_t>(5120, work.size() - at)));
    });

    // The displays' calls, for what one 25 ms tick costs them.
    clsDraw draw;
    Picture spectrum("picFreq", 100, 50), trace("picAmpl", 100, 50);
    std::size_t calls = 0;
    const double spectrumSeconds = best([&] {
        calls = 0;
        clsDraw fresh;
        for (std::size_t at = 0; at + kPoints <= wav.samples.size(); at += kPoints, ++calls)
            fresh.DrawFrequencies(std::span<const std::int16_t>(wav.samples).subspan(at, kPoints), spectrum);
    });
    std::size_t traces = 0;
    const double traceSeconds = best([&] {
        traces = 0;
        for (std::size_t at = 0; at + 5120 <= wav.samples.size(); at += 5120, ++traces)
            draw.DrawAmplitudes(std::span<const std::int16_t>(wav.samples).subspan(at, 5120), trace);
    });
    std::printf("effects chain:        %12.0f samples/s  %8.1f x real time  (%.2f %% of one core while recording)\n",
                double(wav.samples.size()) / chainSeconds, audioSeconds / chainSeconds,
                100.0 * chainSeconds / audioSeconds);
    std::printf("spectrum display:     %8.1f us a call, trace display: %.1f us a call\n",
                spectrumSeconds / double(calls) * 1e6, traceSeconds / double(std::max<std::size_t>(traces, 1)) * 1e6);

    spectrumBesideFftw(wav.samples);

    // sox with comparable effects on the same file, written nowhere; and its fixed part alone (start,
    // reading and decoding the file), which the chain, given the samples in memory, does not pay.
    const std::string input = std::string("sox -D \"") + argv[1] + "\" -n";
    std::string effects = " gain 3 echo 1 1 100 0.4 phaser 1 1 3 0.5 1 -s";
    // The chain's own band centres; its bandwidth, ln(14700 / 80) / 4 octaves, is 1.3034 at 44.1 kHz.
    for (int band = 0; band < 7; ++band)
        effects += " equalizer " + std::to_string(dsp.EqualizerBandFrequency(band)) + " 1.3034o " +
                   std::to_string(int(kBandGains[band]));
    const double soxSeconds = bestRun(input + effects + " 2>/dev/null");
    const double fixedSeconds = bestRun(input + " 2>/dev/null");
    if (soxSeconds < 0 || fixedSeconds < 0) {
        std::printf("\nsox -D: could not run (%s)\n", (input + effects).c_str());
        std::printf("aim, the chain at least twice as fast as sox without its fixed part: not measured\n");
        return 1;
    }
    const double soxEffects = std::max(soxSeconds - fixedSeconds, 1e-9);
    std::printf("\neffects chain beside sox -D on the same file, best of %d rounds each:\n", kRounds);
    std::printf("  tarnwick effects chain          %8.1f x real time\n", audioSeconds / chainSeconds);
    std::printf("  sox -D, whole run               %8.1f x real time\n", audioSeconds / soxSeconds);
    std::printf("  sox -D, fixed part alone        %8.3f s (start, reading and decoding the file)\n", fixedSeconds);
    std::printf("  sox -D, effects without it      %8.1f x real time\n", audioSeconds / soxEffects);
    std::printf("  tarnwick / sox, whole run       %8.2f\n", soxSeconds / chainSeconds);
    std::printf("  tarnwick / sox, without fixed   %8.2f\n", soxEffects / chainSeconds);
    // Judged without sox's fixed part: the chain too is timed on samples already in memory.
    std::printf("aim, the chain at least twice as fast as sox without its fixed part: %s\n",
                soxEffects / chainSeconds >= 2 ? "met" : "not met");
    std::printf("sox gets the chain's gain, echo delay and factor, phaser feedback and sweep and equalizer bands,\n"
                "but its echo and phaser are other algorithms than the chain's (sox's echo has no feedback line,\n"
                "its phaser is a modulated delay, not four all-pass stages), so the ratio compares like work,\n"
                "not the same arithmetic.\n");
    return 0;
}
