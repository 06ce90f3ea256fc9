// The biquad against a float32 model of the audio-equalizer cookbook filter, its clipping and its
// refusal of an unknown type; the seven-band equalizer chain against seven such models in a row.

#include <gtest/gtest.h>

#include <cmath>

#include "recorder/dsp/dsp.h"
#include "recorder/recorder_error.h"
#include "recorder_dsp/signals.h"

namespace tarnwick {
namespace {

using Samples = std::vector<std::int16_t>;

// The cookbook biquad in float: each design step and the history kept as floats (transcendental
// functions taken in double, sinh as such rather than from two exponentials). Each output is summed
// in double before it is kept, as the filter does, so that a flat band gives back its input.
struct ModelBiquad {
    float b0, b1, b2, a1, a2;
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;

    ModelBiquad(int type, float gainDB, float f, float fs, float octaves) {
        const float A = float(std::pow(10.0, double(gainDB / 40)));
        const float w0 = float(2 * M_PI) * f / fs;
        const float sn = float(std::sin(double(w0))), cs = float(std::cos(double(w0)));
        const float alpha = sn * float(std::sinh(double(float(std::log(2.0)) / 2 * octaves * w0 / sn)));
        float c[6];
        switch (type) {
        case 0: c[0] = (1 - cs) / 2, c[1] = 1 - cs, c[2] = (1 - cs) / 2, c[3] = 1 + alpha, c[4] = -2 * cs, c[5] = 1 - alpha; break;
        case 1: c[0] = (1 + cs) / 2, c[1] = -(1 + cs), c[2] = (1 + cs) / 2, c[3] = 1 + alpha, c[4] = -2 * cs, c[5] = 1 - alpha; break;
        case 2: c[0] = alpha, c[1] = 0, c[2] = -alpha, c[3] = 1 + alpha, c[4] = -2 * cs, c[5] = 1 - alpha; break;
        default:
            c[0] = 1 + alpha * A, c[1] = -2 * cs, c[2] = 1 - alpha * A, c[3] = 1 + alpha / A, c[4] = -2 * cs, c[5] = 1 - alpha / A;
        }
        b0 = c[0] / c[3], b1 = c[1] / c[3], b2 = c[2] / c[3], a1 = c[4] / c[3], a2 = c[5] / c[3];
    }

    void run(Samples& samples) {
        for (auto& s : samples) {
            const float x = s / 32767.0f;
            const double terms[5] = {double(b0) * x, double(b1) * x1, double(b2) * x2, -double(a1) * y1, -double(a2) * y2};
            const float y = float(terms[0] + terms[1] + terms[2] + terms[3] + terms[4]);
            x2 = x1, x1 = x, y2 = y1, y1 = y;
            s = y > 1 ? 32767 : y < -1 ? -32768 : static_cast<std::int16_t>(std::lrint(y * 32767));
        }
    }
};

int maxDifference(const Samples& a, const Samples& b) {
    int worst = 0;
    for (std::size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

TEST(Biquad, EachTypeFollowsTheFloatModelWithinOneStep) {
    struct Case {
        int type;
        float gain, frequency, rate, octaves;
    } cases[] = {
        {0, 0, 1000, 44100, 1}, {1, 0, 300, 22050, 2},   {2, 0, 2000, 8000, 0.5f},
        {3, 12, 80, 44100, 1.3034f}, {3, -12, 1084, 44100, 1.3034f}, {3, 6, 1487, 8000, 0.8767f},
    };
    for (const auto& c : cases) {
        const Samples input = test::toneWithNoise(int(c.rate), c.frequency, 6000, 20000);
        Samples ours = input, model = input;
        IIRFilter filter;
        filter.CreateBiquadIIR(c.type, c.gain, c.frequency, c.rate, c.octaves);
        filter.ProcessSamples_16bit(ours);
        ModelBiquad(c.type, c.gain, c.frequency, c.rate, c.octaves).run(model);
        EXPECT_LE(maxDifference(ours, model), 1) << "type " << c.type << " at " << c.frequency << " Hz";
        EXPECT_EQ(filter.IIRType(), c.type);
        EXPECT_EQ(filter.samplerate(), int(c.rate));
    }
}

TEST(Biquad, SevenBandChainFollowsSevenModelsInARow) {
    const float gains[7] = {6, -3, 0, 12, -12, 3, -6};
    for (int rate : {8000, 44100}) {
        clsDSP dsp;
        dsp.setSamplerate(rate);
        dsp.setChannels(1);
        dsp.setEffectsUsed(clsDSP::Equalizer);
        for (int band = 0; band < 7; ++band) dsp.setEqualizerBandGainDB(band, gains[band]);

        Samples ours = test::toneWithNoise(rate, 440, 4000, 3 * 8192);
        Samples model = ours;
        for (std::size_t from = 0; from < ours.size(); from += 8192)
            dsp.ProcessSamples(std::span<std::int16_t>(ours).subspan(from, 8192));
        const float fmax = std::nearbyint(rate / 3.0f);
        const float octaves = float(std::log(double(fmax / 80))) / 4;
        for (int band = 0; band < 7; ++band) {
            const float centre = 80 * float(std::pow(double(fmax / 80), double(band / 6.0f)));
            ModelBiquad(3, gains[band], centre, float(rate), octaves).run(model);
        }
        EXPECT_LE(maxDifference(ours, model), 1) << rate;
    }
}

TEST(Biquad, OutputBeyondFullScaleClipsAndMinusOneGivesMinus32767) {
    // At 0 dB the peaking filter's first output equals its input.
    struct Case {
        std::int16_t in, out;
    } cases[] = {{-32768, -32768}, {-32767, -32767}, {32767, 32767}, {1, 1}, {0, 0}};
    for (const auto& c : cases) {
        IIRFilter filter;
        filter.CreateBiquadIIR(3, 0, 1000, 44100, 1);
        Samples one = {c.in};
        filter.ProcessSamples_16bit(one);
        EXPECT_EQ(one[0], c.out) << c.in;
    }
    IIRFilter boost;
    boost.CreateBiquadIIR(3, 12, 1000, 44100, 4);
    Samples loud = {30000};
    boost.ProcessSamples_16bit(loud);
    EXPECT_EQ(loud[0], 32767);
}

TEST(Biquad, EightBitSamplesAreCentredOn128) {
    struct Case {
        std::uint8_t in, out;
    } cases[] = {{0, 0}, {1, 1}, {128, 128}, {200, 200}, {255, 255}};
    for (const auto& c : cases) {
        IIRFilter filter;
        filter.CreateBiquadIIR(3, 0, 1000, 44100, 1);
        std::vector<std::uint8_t> one = {c.in};
        filter.ProcessSamples_8bit(one);
        EXPECT_EQ(one[0], c.out) << int(c.in);
    }
}

TEST(Biquad, DisabledFilterLeavesTheSamplesAlone) {
    IIRFilter filter;
    filter.CreateBiquadIIR(3, 12, 1000, 44100, 1);
    filter.setEnabled(false);
    Samples buffer = test::noise(100);
    const Samples before = buffer;
    filter.ProcessSamples_16bit(buffer);
    EXPECT_EQ(buffer, before);
}

TEST(Biquad, WritingAPropertyDesignsAgainFromTheStoredValues) {
    IIRFilter rewritten, direct;
    rewritten.CreateBiquadIIR(3, 0, 1000, 44100, 1);
    rewritten.setGainDB(9);
    rewritten.setFrequency(500);
    direct.CreateBiquadIIR(3, 9, 500, 44100, 1);
    Samples a = test::toneWithNoise(44100, 500, 3000, 4000), b = a;
    rewritten.ProcessSamples_16bit(a);
    direct.ProcessSamples_16bit(b);
    EXPECT_EQ(a, b);
}

TEST(Biquad, UnknownTypeIsADivisionByZeroAfterTheHistoryIsCleared) {
    IIRFilter filter;
    filter.CreateBiquadIIR(3, 6, 1000, 44100, 1);
    Samples warm = test::noise(50);
    filter.ProcessSamples_16bit(warm);
    try {
        filter.CreateBiquadIIR(4, 6, 1000, 44100, 1);
        FAIL() << "type 4 accepted";
    } catch (const RecorderError& e) {
        EXPECT_EQ(e.number(), 11);
    }
    EXPECT_EQ(filter.IIRType(), 4);
}

}  // namespace
}  // namespace tarnwick
