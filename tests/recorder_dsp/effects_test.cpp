// The effects chain and its biquad filter: refusals, the literal results of amplify and echo, the
// phaser's all-pass behaviour, and the equalizer against a float model of the cookbook filter.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numeric>

#include "recorder/dsp/dsp.h"
#include "recorder/dsp/sample_math.h"
#include "recorder/recorder_error.h"
#include "recorder_dsp/signals.h"

namespace tarnwick {
namespace {

using test::noise;
using test::peakFrom;
using test::toneWithNoise;
using Samples = std::vector<std::int16_t>;

clsDSP readyChain(int rate, int channels, int effects) {
    clsDSP dsp;
    dsp.setSamplerate(rate);
    dsp.setChannels(static_cast<std::int16_t>(channels));
    dsp.setEffectsUsed(effects);
    return dsp;
}

// ---- the order of the effects ----

// Every buffer goes through the amplifier, then the echo, then the phaser, then the equalizer: the
// chain with all four gives what the four apart give one after the other in that order.
TEST(EffectsChain, RunsAmplifierEchoPhaserAndEqualizerInThatOrder) {
    const int order[] = {clsDSP::Amplify, clsDSP::Echo, clsDSP::Phaser, clsDSP::Equalizer};
    auto configure = [](int effects) {
        clsDSP dsp = readyChain(22050, 1, effects);
        dsp.setAmplifyDB(9);
        dsp.setEchoLength(20);
        dsp.setPhaseShiftFeedback(0.7f);
        for (int band = 0; band < 7; ++band) dsp.setEqualizerBandGainDB(band, band % 2 ? -8.0f : 10.0f);
        return dsp;
    };
    const Samples signal = toneWithNoise(22050, 440, 14000, 22050, 3);
    Samples together = signal;
    clsDSP all = configure(clsDSP::Amplify | clsDSP::Echo | clsDSP::Phaser | clsDSP::Equalizer);
    all.ProcessSamples(together);
    Samples apart = signal;
    for (int effect : order) {
        clsDSP one = configure(effect);
        one.ProcessSamples(apart);
    }
    EXPECT_EQ(together, apart);
}

// ---- refusals and readiness ----

TEST(EffectsChain, RefusesOutOfRangeSettingsAndKeepsTheOldOnes) {
    clsDSP dsp = readyChain(44100, 2, 0);
    dsp.setEqualizerBandGainDB(2, 6.0f);
    struct Case {
        std::function<void()> write;
        const char* source;
    } cases[] = {
        {[&] { dsp.setSamplerate(0); }, "invalid samplerate"},
        {[&] { dsp.setSamplerate(96001); }, "invalid samplerate"},
        {[&] { dsp.setChannels(0); }, "invalid channels"},
        {[&] { dsp.setChannels(3); }, "invalid channels"},
        {[&] { dsp.setEqualizerBands(0); }, "Out Of Bounds!"},
        {[&] { dsp.setEqualizerBands(11); }, "Out Of Bounds!"},
    };
    for (const auto& c : cases) {
        try {
            c.write();
            ADD_FAILURE() << c.source << " accepted";
        } catch (const RecorderError& e) {
            EXPECT_EQ(e.number(), 32000);
            EXPECT_EQ(e.source(), c.source);
        }
    }
    EXPECT_EQ(dsp.samplerate(), 44100);
    EXPECT_EQ(dsp.Channels(), 2);
    EXPECT_EQ(dsp.EqualizerBands(), 7);
    EXPECT_FLOAT_EQ(dsp.EqualizerBandGainDB(2), 6.0f);
}

TEST(EffectsChain, BandIndexOutsideTheBandsIsASubscriptError) {
    clsDSP dsp = readyChain(44100, 1, 0);
    for (int band : {-1, 7}) {
        try {
            dsp.setEqualizerBandGainDB(band, 3.0f);
            ADD_FAILURE() << band;
        } catch (const RecorderError& e) {
            EXPECT_EQ(e.number(), 9);
        }
        EXPECT_THROW(dsp.EqualizerBandFrequency(band), RecorderError);
    }
}

TEST(EffectsChain, DoesNothingUntilRateAndChannelsAreBothSet) {
    clsDSP dsp;
    dsp.setSamplerate(44100);
    dsp.setEffectsUsed(15);
    dsp.setAmplifyDB(12);
    Samples buffer = noise(4096);
    const Samples before = buffer;
    dsp.ProcessSamples(buffer);
    EXPECT_EQ(buffer, before);
}

TEST(EffectsChain, EchoFactorIsCappedAtNineTenths) {
    clsDSP dsp;
    dsp.setEchoAmp(1.5f);
    EXPECT_FLOAT_EQ(dsp.EchoAmp(), 0.9f);
    dsp.setEchoAmp(0.5f);
    EXPECT_FLOAT_EQ(dsp.EchoAmp(), 0.5f);
}

// ---- amplify ----

TEST(EffectsChain, AmplifiesWithClipping) {
    struct Case {
        int dB;
        Samples in, out;
    } cases[] = {
        {12, {10000, -10000, 1000, 0}, {32767, -32768, 3981, 0}},
        {0, {32767, -32768, 1, -1, 12345}, {32767, -32768, 1, -1, 12345}},
        {-6, {1001, -1001, 20000, 32767}, {502, -502, 10024, 16422}},
    };
    for (auto& c : cases) {
        clsDSP dsp = readyChain(44100, 1, clsDSP::Amplify);
        dsp.setAmplifyDB(c.dB);
        dsp.ProcessSamples(c.in);
        EXPECT_EQ(c.in, c.out) << c.dB << " dB";
    }
}

// A long buffer goes through the amplifier eight samples at a time, a short one sample by sample:
// every 16-bit value must come out the same both ways, halves, limits, and an infinite factor
// (silence times infinity) included.
TEST(EffectsChain, AmplifierGivesEverySampleTheSameInLongAndShortBuffers) {
    Samples every;
    for (int s = -32768; s <= 32767; ++s) every.push_back(static_cast<std::int16_t>(s));
    every.push_back(0);  // a tail of three short of eight
    for (int dB : {-400, -96, -6, -1, 0, 1, 3, 6, 12, 90, 1000}) {
        clsDSP dsp = readyChain(44100, 2, clsDSP::Amplify);
        dsp.setAmplifyDB(dB);
        Samples whole = every;
        dsp.ProcessSamples(whole);
        for (std::size_t i = 0; i < every.size(); ++i) {
            std::int16_t alone = every[i];
            dsp.ProcessSamples(std::span<std::int16_t>(&alone, 1));
            ASSERT_EQ(whole[i], alone) << dB << " dB, sample " << every[i];
        }
    }
}

// ---- echo ----

TEST(EffectsChain, EchoReturnsAnImpulseEveryDelayScaledEachTime) {
    clsDSP dsp = readyChain(44100, 1, clsDSP::Echo);
    Samples buffer(20000, 0);
    buffer[0] = 10000;
    // Three buffers of uneven length: the line runs on from one to the next.
    std::span<std::int16_t> all(buffer);
    dsp.ProcessSamples(all.subspan(0, 5000));
    dsp.ProcessSamples(all.subspan(5000, 4001));
    dsp.ProcessSamples(all.subspan(9001));
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        const int expected = i == 0 ? 10000 : i == 4410 ? 4000 : i == 8820 ? 1600 : i == 13230 ? 640 : i == 17640 ? 256 : 0;
        ASSERT_EQ(buffer[i], expected) << "index " << i;
    }
}

TEST(EffectsChain, EchoSumsClipAndTheStoredEchoIsRoundedHalvesToEven) {
    // 1 ms at 8000 Hz is a line of 8 samples.
    clsDSP dsp = readyChain(8000, 1, clsDSP::Echo);
    dsp.setEchoLength(1);
    Samples buffer = {30000, 5, 7, -5, -7, 3, 0, 0,  //
                      30000, 0, 0, 0, 0, 0, 0, 0,   //
                      0,     0, 0, 0, 0, 0, 0, 0};
    dsp.ProcessSamples(buffer);
    const Samples expected = {30000, 5, 7, -5, -7, 3, 0, 0,  //
                              32767, 2, 3, -2, -3, 1, 0, 0,  // 30000 + 12000 clipped; 0.4 x the rest
                              13107, 1, 1, -1, -1, 0, 0, 0};  // 13106.8; 0.8, 1.2, -0.8, -1.2, 0.4
    EXPECT_EQ(buffer, expected);

    clsDSP half = readyChain(8000, 1, clsDSP::Echo);
    half.setEchoLength(1);
    half.setEchoAmp(0.5f);
    Samples halves = {5, 7, -5, -7, 1, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    half.ProcessSamples(halves);
    const Samples rounded = {5, 7, -5, -7, 1, 3, 0, 0, 2, 4, -2, -4, 0, 2, 0, 0};  // 2.5, 3.5, -2.5, -3.5, 0.5, 1.5
    EXPECT_EQ(halves, rounded);
}

TEST(EffectsChain, StereoEchoKeepsEachChannelToItselfAndCountsFrames) {
    clsDSP dsp = readyChain(44100, 2, clsDSP::Echo);
    Samples buffer(2 * 9000, 0);
    buffer[0] = 10000;  // left only
    dsp.ProcessSamples(buffer);
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        const int expected = i == 0 ? 10000 : i == 2 * 4410 ? 4000 : i == 2 * 8820 ? 1600 : 0;
        ASSERT_EQ(buffer[i], expected) << "index " << i;
    }
}

TEST(EffectsChain, WritingTheEchoSettingsEmptiesTheLine) {
    clsDSP dsp = readyChain(8000, 1, clsDSP::Echo);
    dsp.setEchoLength(10);  // 80 samples
    Samples first(40, 0);
    first[0] = 10000;
    dsp.ProcessSamples(first);
    dsp.setEchoAmp(0.4f);
    Samples second(200, 0);
    dsp.ProcessSamples(second);
    EXPECT_EQ(peakFrom(second, 0), 0);
}

// ---- phaser ----

TEST(EffectsChain, DryOnlyPhaserReturnsTheSamplesUnchanged) {
    clsDSP dsp = readyChain(44100, 2, clsDSP::Phaser);
    dsp.setPhaseShiftWet(0.0f);
    dsp.setPhaseShiftFeedback(0.0f);
    Samples buffer = noise(20000);
    const Samples before = buffer;
    dsp.ProcessSamples(buffer);
    EXPECT_EQ(buffer, before);
}

TEST(EffectsChain, WetOnlyPhaserWithoutFeedbackKeepsATonesLevel) {
    // Range 0 octaves holds the all-pass at one frequency; an all-pass changes phase, not level.
    clsDSP dsp = readyChain(44100, 1, clsDSP::Phaser);
    dsp.setPhaseShiftDry(0.0f);
    dsp.setPhaseShiftFeedback(0.0f);
    dsp.setPhaseShiftSweepRange(0.0f);
    dsp.setPhaseShiftFrequency(500.0f);
    for (double hz : {200.0, 1000.0, 5000.0}) {
        Samples buffer(22050);
        for (std::size_t i = 0; i < buffer.size(); ++i)
            buffer[i] = static_cast<std::int16_t>(std::lrint(10000 * std::sin(2 * M_PI * hz * i / 44100)));
        dsp.ProcessSamples(buffer);
        EXPECT_NEAR(peakFrom(buffer, 11025), 10000, 60) << hz << " Hz";
    }
}

TEST(EffectsChain, StereoPhaserTreatsBothChannelsAlikeAndApart) {
    clsDSP dsp = readyChain(44100, 2, clsDSP::Phaser | clsDSP::Equalizer);
    dsp.setEqualizerBandGainDB(3, 9.0f);
    const Samples tone = toneWithNoise(44100, 700, 12000, 30000);
    Samples both(2 * tone.size()), leftOnly(2 * tone.size(), 0);
    for (std::size_t i = 0; i < tone.size(); ++i) both[2 * i] = both[2 * i + 1] = leftOnly[2 * i] = tone[i];
    dsp.ProcessSamples(both);
    for (std::size_t i = 0; i < tone.size(); ++i) ASSERT_EQ(both[2 * i], both[2 * i + 1]) << "frame " << i;

    clsDSP other = readyChain(44100, 2, clsDSP::Phaser | clsDSP::Equalizer);
    other.setEqualizerBandGainDB(3, 9.0f);
    other.ProcessSamples(leftOnly);
    EXPECT_EQ(peakFrom(leftOnly, 0, 2, 1), 0);  // nothing leaks into the silent right channel
    for (std::size_t i = 0; i < tone.size(); ++i) ASSERT_EQ(leftOnly[2 * i], both[2 * i]) << "frame " << i;
}

TEST(EffectsChain, PhaserFrequencyBelowZeroIsWrittenAsZero) {
    clsDSP dsp = readyChain(8000, 1, clsDSP::Phaser);
    dsp.setPhaseShiftFrequency(-10.0f);
    EXPECT_EQ(dsp.PhaseShiftFrequency(), 0.0f);
    Samples buffer = noise(8000);
    EXPECT_NO_THROW(dsp.ProcessSamples(buffer));
}

TEST(EffectsChain, ARunawayPhaserStartsAgainInsteadOfFailing) {
    clsDSP dsp = readyChain(8000, 1, clsDSP::Phaser);
    dsp.setPhaseShiftFeedback(1e6f);
    Samples buffer = noise(8000);
    EXPECT_NO_THROW(dsp.ProcessSamples(buffer));
    // Back to a sane setting, the stages hold only what they had since their last restart.
    dsp.setPhaseShiftFeedback(0.0f);
    Samples silence(8000, 0);
    EXPECT_NO_THROW(dsp.ProcessSamples(silence));
}

// ---- equalizer ----

TEST(EffectsChain, BandCentresAreSpacedLogarithmicallyFrom80HzToAThirdOfTheRate) {
    struct Case {
        int rate;
        std::vector<int> centres;
    } cases[] = {
        {44100, {80, 191, 455, 1084, 2586, 6165, 14700}},
        {8000, {80, 144, 257, 462, 829, 1487, 2667}},
    };
    for (const auto& c : cases) {
        clsDSP dsp = readyChain(c.rate, 1, 0);
        for (int band = 0; band < 7; ++band) EXPECT_EQ(dsp.EqualizerBandFrequency(band), c.centres[band]) << c.rate;
    }
    clsDSP single = readyChain(44100, 1, 0);
    single.setEqualizerBands(1);
    EXPECT_EQ(single.EqualizerBandFrequency(0), 80);
    EXPECT_EQ(single.EqualizerBandGainDB(0), 0.0f);
}

TEST(EffectsChain, FlatEqualizerReturnsTheSamplesUnchanged) {
    for (int rate : {8000, 22050, 44100}) {
        clsDSP dsp = readyChain(rate, 2, clsDSP::Equalizer);
        Samples buffer = noise(20000);
        const Samples before = buffer;
        dsp.ProcessSamples(buffer);
        EXPECT_EQ(buffer, before) << rate;
    }
}

TEST(EffectsChain, ABoostedBandRaisesItsCentreByItsGain) {
    clsDSP dsp = readyChain(44100, 1, clsDSP::Equalizer);
    dsp.setEqualizerBandGainDB(3, 12.0f);  // 1084 Hz
    Samples buffer(44100);
    for (std::size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<std::int16_t>(std::lrint(2000 * std::sin(2 * M_PI * 1084 * i / 44100)));
    dsp.ProcessSamples(buffer);
    EXPECT_NEAR(peakFrom(buffer, 22050), 2000 * 3.981, 2000 * 3.981 * 0.03);
}

}  // namespace
}  // namespace tarnwick

namespace tarnwick {
namespace {

TEST(SampleMath, UnitFromSampleIsTheFloatQuotientForEverySample) {
    for (int s = -32768; s <= 32767; ++s) {
        volatile float quotient = static_cast<float>(s) / 32767.0f;
        ASSERT_EQ(unitFromSample(static_cast<std::int16_t>(s)), quotient) << s;
    }
}

TEST(SampleMath, ConversionsRoundHalvesToEvenAndLimitTo16Bits) {
    struct Case {
        float v;
        std::int16_t out;
    } cases[] = {{2.5f, 2},         {3.5f, 4},         {-2.5f, -2},        {0.5f, 0},   {32766.5f, 32766},
                 {32767.4f, 32767}, {40000.0f, 32767}, {-40000.0f, -32768}, {-32768.4f, -32768}};
    for (const auto& c : cases) EXPECT_EQ(toSample16(c.v), c.out) << c.v;
    EXPECT_EQ(toSample16(std::nanf("")), 0);
    EXPECT_EQ(roundEven(std::nan("")), 0);
    EXPECT_EQ(roundEven(-0.5), 0);
    EXPECT_EQ(roundEven(1.5), 2);
}

}  // namespace
}  // namespace tarnwick

namespace tarnwick {
namespace {

// A stereo chain against two mono chains on the channels apart, the stereo buffers' sizes running
// through size * 3 % modulus + step; `settings` changes the chain's defaults.
void expectStereoIsTwoMonoChains(std::size_t modulus, std::size_t step, const std::function<void(clsDSP&)>& settings) {
    const auto left = test::toneWithNoise(22050, 300, 9000, 40000, 1);
    const auto right = test::toneWithNoise(22050, 2500, 12000, 40000, 2);
    auto configure = [&](clsDSP& dsp, int channels) {
        dsp.setSamplerate(22050);
        dsp.setChannels(static_cast<std::int16_t>(channels));
        dsp.setEchoLength(30);
        for (int band = 0; band < 7; ++band) dsp.setEqualizerBandGainDB(band, band % 2 ? -6.0f : 9.0f);
        dsp.setEffectsUsed(clsDSP::Amplify | clsDSP::Echo | clsDSP::Phaser | clsDSP::Equalizer);
        settings(dsp);
    };
    clsDSP stereo, monoLeft, monoRight;
    configure(stereo, 2);
    configure(monoLeft, 1);
    configure(monoRight, 1);

    std::vector<std::int16_t> both(2 * left.size());
    for (std::size_t i = 0; i < left.size(); ++i) both[2 * i] = left[i], both[2 * i + 1] = right[i];
    std::span<std::int16_t> all(both);
    for (std::size_t at = 0, size = 2; at < both.size(); at += size, size = size * 3 % modulus + step)
        stereo.ProcessSamples(all.subspan(at, std::min(size, both.size() - at)));

    auto l = left, r = right;
    monoLeft.ProcessSamples(std::span<std::int16_t>(l).subspan(0, 1234));
    monoLeft.ProcessSamples(std::span<std::int16_t>(l).subspan(1234));
    monoRight.ProcessSamples(r);
    for (std::size_t i = 0; i < left.size(); ++i) {
        ASSERT_EQ(both[2 * i], l[i]) << "left, frame " << i;
        ASSERT_EQ(both[2 * i + 1], r[i]) << "right, frame " << i;
    }
}

// In stereo every effect keeps each channel to itself, moving the phaser's one sweep once per frame:
// a stereo chain gives what two mono chains give on the channels apart, however the buffers fall,
// also when a buffer ends inside a frame and the next one starts with that frame's right sample.
// Stereo runs take roads of their own (both channels side by side in one register), so the settings
// include those that clip, that make the phaser run away and start again, and that give NaN.
TEST(EffectsChain, StereoChainIsTwoMonoChainsWhateverTheBufferSizes) {
    const std::pair<const char*, std::function<void(clsDSP&)>> cases[] = {
        {"defaults", [](clsDSP&) {}},
        {"hot amplifier and a long echo that clip", [](clsDSP& d) { d.setAmplifyDB(24), d.setEchoAmp(0.9f); }},
        {"a phaser that runs away", [](clsDSP& d) { d.setPhaseShiftFeedback(1e6f); }},
        {"a phaser with a dry part of NaN", [](clsDSP& d) { d.setPhaseShiftDry(std::nanf("")); }},
        {"an echo factor of NaN", [](clsDSP& d) { d.setEchoAmp(std::nanf("")); }},
    };
    for (const auto& [name, settings] : cases) {
        SCOPED_TRACE(name);
        {
            SCOPED_TRACE("whole frames");
            expectStereoIsTwoMonoChains(9000, 2, settings);
        }
        {
            SCOPED_TRACE("buffers that end inside frames");
            expectStereoIsTwoMonoChains(9001, 1, settings);
        }
    }
}

}  // namespace
}  // namespace tarnwick

namespace tarnwick {
namespace {

// The phaser as described: four first-order all-pass stages with feedback, their coefficient from a
// sweep that rises and falls by a constant factor per sample between two frequencies, in floats.
struct ModelPhaser {
    float in[4] = {}, out[4] = {};
    float w, lo, hi, rate, factor;
    float dry, wet, feedback;

    ModelPhaser(float hz, float octaves, float sweeps, int samplerate, float dry, float wet, float feedback)
        : dry(dry), wet(wet), feedback(feedback) {
        const float pi = 3.1415927f;
        lo = hz * pi / samplerate;
        hi = hz * pi * float(std::pow(2.0, double(octaves))) / samplerate;
        rate = float(std::pow(double(float(std::pow(2.0, double(octaves)))), double(2.0f * sweeps / samplerate)));
        factor = rate;
        w = lo;
    }

    std::int16_t run(std::int16_t sample) {
        const float x = sample / 32767.0f;
        const float a = (1 - w) / (1 + w);
        float u = x + out[3] * feedback;
        for (int k = 0; k < 4; ++k) {
            const float o = a * (u + out[k]) - in[k];
            in[k] = u;
            out[k] = o;
            u = o;
        }
        const float m = out[3] * wet + x * dry;
        w *= factor;
        if (w > hi)
            factor = 1 / rate;
        else if (w < lo)
            factor = rate;
        const float v = m * 32767;
        return v > 32767 ? 32767 : v < -32768 ? -32768 : static_cast<std::int16_t>(std::lrint(v));
    }
};

TEST(EffectsChain, PhaserFollowsTheFloatModelThroughSeveralSweeps) {
    struct Case {
        float dry, wet, feedback, sweeps, octaves, hz;
    } cases[] = {
        {1, 1, 0.5f, 1, 4, 100},
        {0.5f, -0.7f, -0.9f, 1.5f, 6, 20},
        {1, 1, 0, 0.1f, 3, 150},
        // A factor of exactly 2 over one octave lands on the maximum, which does not turn the sweep yet.
        {0, 1, 0, 4000, 1, 100},
    };
    for (const auto& c : cases) {
        clsDSP dsp;
        dsp.setSamplerate(8000);
        dsp.setChannels(1);
        dsp.setEffectsUsed(clsDSP::Phaser);
        dsp.setPhaseShiftDry(c.dry);
        dsp.setPhaseShiftWet(c.wet);
        dsp.setPhaseShiftFeedback(c.feedback);
        dsp.setPhaseShiftSweepRate(c.sweeps);
        dsp.setPhaseShiftSweepRange(c.octaves);
        dsp.setPhaseShiftFrequency(c.hz);
        ModelPhaser model(c.hz, c.octaves, c.sweeps, 8000, c.dry, c.wet, c.feedback);
        auto samples = test::toneWithNoise(8000, 700, 9000, 8000 * 3);
        auto expected = samples;
        for (auto& s : expected) s = model.run(s);
        dsp.ProcessSamples(samples);
        int worst = 0;
        for (std::size_t i = 0; i < samples.size(); ++i) worst = std::max(worst, std::abs(samples[i] - expected[i]));
        EXPECT_LE(worst, 1) << c.sweeps << " sweeps/s over " << c.octaves << " octaves";
    }
}

}  // namespace
}  // namespace tarnwick

namespace tarnwick {
namespace {

// A long buffer takes the equalizer's fast middle road; a buffer of one frame takes none of it, every
// band seeing every frame through the checked road. Both must give the same samples for any band
// count (odd and even), in mono and stereo, also where the bands clip and where the signal ends mid-frame.
TEST(EffectsChain, EqualizerGivesTheSameSamplesWhateverTheBufferSizes) {
    const auto signal = test::toneWithNoise(44100, 700, 20000, 30001, 5);
    for (int channels : {1, 2}) {
        for (int bands : {1, 2, 3, 4, 7, 10}) {
            auto configure = [&](clsDSP& dsp) {
                dsp.setSamplerate(44100);
                dsp.setChannels(static_cast<std::int16_t>(channels));
                dsp.setEqualizerBands(bands);
                for (int band = 0; band < bands; ++band) dsp.setEqualizerBandGainDB(band, band % 2 ? -9.0f : 12.0f);
                dsp.setEffectsUsed(clsDSP::Equalizer);
            };
            clsDSP whole, framewise, mixed;
            configure(whole);
            configure(framewise);
            configure(mixed);
            Samples a = signal, b = signal, c = signal;
            whole.ProcessSamples(a);
            for (std::size_t at = 0; at < b.size(); at += channels)
                framewise.ProcessSamples(std::span<std::int16_t>(b).subspan(at, std::min<std::size_t>(channels, b.size() - at)));
            std::span<std::int16_t> all(c);
            // Sizes of whole frames (a stereo buffer's odd last sample counts as a left one), the
            // last buffer short of a frame as the signal is.
            for (std::size_t at = 0, size = 3; at < c.size(); at += size * channels, size = size * 7 % 2500 + 1)
                mixed.ProcessSamples(all.subspan(at, std::min(size * channels, c.size() - at)));
            ASSERT_NE(a, signal) << channels << " channels, " << bands << " bands";
            ASSERT_EQ(a, b) << channels << " channels, " << bands << " bands";
            ASSERT_EQ(a, c) << channels << " channels, " << bands << " bands";
        }
    }
}

}  // namespace
}  // namespace tarnwick
