#pragma once
// The recorder's effects chain and its second-order (biquad) filter. Every captured buffer passes
// through clsDSP::ProcessSamples before it is written and drawn. Arithmetic on samples and
// parameters is 32-bit float; powers, logarithms, roots and trigonometric functions are evaluated
// in double and stored as float. This target is compiled without fused multiply-add, so results
// are the same on every machine.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "recorder/dsp/sample_math.h"

namespace tarnwick {

// A second-order filter after the audio-equalizer cookbook formulas. A new filter has Enabled true
// and every other field 0, so it passes silence until its first design.
class IIRFilter {
public:
    enum Type : std::int32_t { LowPass = 0, HighPass = 1, BandPass = 2, Peaking = 3 };

    bool Enabled() const { return enabled_; }
    void setEnabled(bool on) { enabled_ = on; }
    // Writing bandwidth, gain, frequency or rate designs the filter again once the rate is above 0.
    float Bandwidth() const { return bandwidth_; }
    void setBandwidth(float octaves);
    std::int32_t IIRType() const { return type_; }
    float GainDB() const { return gainDB_; }
    void setGainDB(float dB);
    float Frequency() const { return frequency_; }
    void setFrequency(float hz);
    std::int32_t samplerate() const { return samplerate_; }
    void setSamplerate(std::int32_t hz);

    // Unsigned 8-bit samples centred on 128, in place.
    void ProcessSamples_8bit(std::span<std::uint8_t> samples);
    // 16-bit samples, in place.
    void ProcessSamples_16bit(std::span<std::int16_t> samples);
    // The same filter over every stride-th sample from data[0] on (one channel of an interleaved
    // buffer), count samples in all.
    void ProcessStrided16(std::int16_t* data, std::size_t count, std::size_t stride);
    // Stores the arguments and designs the filter; clears the history. A type other than 0 to 3
    // raises error 11 (division by zero) after the history has been cleared.
    void CreateBiquadIIR(std::int32_t type, float gainDB, float frequency, float samplerate, float bandwidth);

    // One 16-bit sample through the filter (unchanged while disabled).
    std::int16_t processOne(std::int16_t sample) {
        if (!enabled_) return sample;
        const float y = step(unitFromSample(sample));
        return clippedSample(y);
    }

    // y scaled to a sample: above 1 gives 32767, below -1 gives -32768 (so -1 itself gives -32767),
    // NaN gives 0; chosen without branches, which a clipping signal would keep mispredicting.
    static std::int16_t clippedSample(float y) {
        float v = y * 32767.0f;
        v = y > 1.0f ? 32767.0f : v;
        v = y < -1.0f ? -32768.0f : v;
        v = v == v ? v : 0.0f;
        return static_cast<std::int16_t>(std::lrint(v));
    }

private:
    friend class clsDSP;
    void redesign();
    // The sum is formed in double and kept as float: a flat filter (b0 = 1, b1 = a1, b2 = a2) then
    // gives back its input exactly instead of drifting by a step through its own rounding. The
    // older output goes in first, so the newest one waits on as little as possible.
    float step(float x) {
        const double feedForward = b0_ * x + b1_ * x1_ + b2_ * x2_;
        const float y = static_cast<float>(feedForward - a2_ * y2_ - a1_ * y1_);
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

    // Coefficients and history are 32-bit float values, held in doubles so that the sum above
    // needs no conversions.
    double b0_ = 0, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
    double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
    std::int32_t samplerate_ = 0;
    std::int32_t type_ = 0;
    float gainDB_ = 0;
    float frequency_ = 0;
    float bandwidth_ = 0;
    bool enabled_ = true;
};

// The effects chain: amplify, echo, phaser and equalizer, each switched by a bit of EffectsUsed,
// run in that order over a buffer of interleaved 16-bit samples, in place. In stereo each channel
// has its own echo line, phaser stages and equalizer filters; the phaser's sweep is one for both. A
// stereo buffer may end inside a frame: the next buffer's first sample is that frame's right one.
// Nothing runs until samplerate and Channels are both set.
class clsDSP {
public:
    enum Effect : std::int32_t { Echo = 1, Phaser = 2, Amplify = 4, Equalizer = 8 };

    clsDSP();

    // 1 to 96000; otherwise error 32000 with source "invalid samplerate", nothing stored.
    std::int32_t samplerate() const { return samplerate_; }
    void setSamplerate(std::int32_t hz);
    // 1 or 2; otherwise error 32000 with source "invalid channels", nothing stored.
    std::int16_t Channels() const { return channels_; }
    void setChannels(std::int16_t channels);

    std::int32_t EffectsUsed() const { return effectsUsed_; }
    void setEffectsUsed(std::int32_t bits) { effectsUsed_ = bits; }

    // Echo delay in milliseconds and feedback factor (at most 0.9); each write empties the echo line.
    std::int32_t EchoLength() const { return echoLength_; }
    void setEchoLength(std::int32_t ms);
    float EchoAmp() const { return echoAmp_; }
    void setEchoAmp(float factor);

    std::int32_t AmplifyDB() const { return amplifyDB_; }
    void setAmplifyDB(std::int32_t dB) { amplifyDB_ = dB; }

    // Phaser parameters; each write restarts the sweep at its minimum and keeps the stage memories.
    float PhaseShiftWet() const { return wet_; }
    void setPhaseShiftWet(float v);
    float PhaseShiftDry() const { return dry_; }
    void setPhaseShiftDry(float v);
    float PhaseShiftFeedback() const { return feedback_; }
    void setPhaseShiftFeedback(float v);
    float PhaseShiftSweepRate() const { return sweepRatePerSecond_; }
    void setPhaseShiftSweepRate(float sweepsPerSecond);
    float PhaseShiftSweepRange() const { return sweepRangeOctaves_; }
    void setPhaseShiftSweepRange(float octaves);
    // Lowest phaser frequency in Hz; a value below 0 is stored as 0.
    float PhaseShiftFrequency() const { return frequency_; }
    void setPhaseShiftFrequency(float hz);

    // band runs from 0 to EqualizerBands - 1; any other index raises error 9.
    std::int32_t EqualizerBandFrequency(std::int32_t band) const;
    float EqualizerBandGainDB(std::int32_t band) const;
    // Stores the gain and designs every band again (every band filter restarts from silence).
    void setEqualizerBandGainDB(std::int32_t band, float dB);
    // 1 to 10; otherwise error 32000 with source "Out Of Bounds!", nothing changed. A new count
    // starts every band at 0 dB.
    std::int32_t EqualizerBands() const { return bands_; }
    void setEqualizerBands(std::int32_t bands);

    // Runs the switched-on effects over the samples in place; does nothing until the chain is ready.
    void ProcessSamples(std::span<std::int16_t> samples);

private:
    bool ready() const { return samplerate_ != 0 && channels_ != 0; }
    int lanes() const { return channels_ == 2 ? 2 : 1; }
    void rebuildEcho();
    void recomputeSweep();
    void designBands();
    void fullRebuild();
    void checkBand(std::int32_t band) const;
    void amplify(std::span<std::int16_t> samples) const;
    template <int Lanes>
    void echo(std::span<std::int16_t> samples);
    template <int Lanes>
    void phaser(std::span<std::int16_t> samples);
    template <int Lanes>
    void equalize(std::span<std::int16_t> samples);
    // The right sample that completes a frame begun at the end of the last buffer, through each effect.
    void completeFrame(std::int16_t& sample);
    // One step of the phaser's sweep: w moves by the factor, which turns beyond either end (a w equal
    // to an end does not turn it).
    void turnSweep(float& w, float& factor) const {
        w = w * factor;
        if (w > sweepMax_)
            factor = 1.0f / sweepRate_;
        else if (w < sweepMin_)
            factor = sweepRate_;
    }

    std::int32_t effectsUsed_ = 0;
    // The echo line, frame by frame with room for two channels in each (the channels side by side,
    // as in the buffers, so that a run of frames is one run of samples in both); a mono line uses
    // the first echoFrames() places. The position counts frames.
    std::vector<std::int16_t> echoLine_;
    std::int32_t echoFrames() const { return static_cast<std::int32_t>(echoLine_.size() / 2); }
    std::int32_t echoPosition_ = 0;
    float echoFactorInUse_ = 0;
    std::int32_t echoLength_ = 100;
    float echoAmp_ = 0.4f;
    std::int32_t amplifyDB_ = 3;
    // Last input and output of each of the four all-pass stages, per channel.
    std::array<std::array<float, 4>, 2> stageIn_{};
    std::array<std::array<float, 4>, 2> stageOut_{};
    float sweepMin_ = 0, sweepMax_ = 0, sweepValue_ = 0, sweepRate_ = 0, sweepFactor_ = 0;
    float dry_ = 1.0f, wet_ = 1.0f, feedback_ = 0.5f;
    float sweepRatePerSecond_ = 1.0f, sweepRangeOctaves_ = 4.0f, frequency_ = 100.0f;
    std::int32_t bands_ = 7;
    std::vector<float> gains_;
    // filters_[channel][band]
    std::array<std::vector<IIRFilter>, 2> filters_;
    std::int32_t samplerate_ = 0;
    std::int16_t channels_ = 0;
    // In stereo: the last buffer ended on the left half of a frame.
    bool halfFrame_ = false;
};

}  // namespace tarnwick
