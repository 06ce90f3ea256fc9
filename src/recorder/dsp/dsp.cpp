#include "recorder/dsp/dsp.h"

#include "recorder/recorder_error.h"

namespace tarnwick {

void IIRFilter::setBandwidth(float octaves) { bandwidth_ = octaves; }
void IIRFilter::setGainDB(float dB) { gainDB_ = dB; }
void IIRFilter::setFrequency(float hz) { frequency_ = hz; }
void IIRFilter::setSamplerate(std::int32_t hz) { samplerate_ = hz; }
void IIRFilter::ProcessSamples_8bit(std::span<std::uint8_t>) {}
void IIRFilter::ProcessSamples_16bit(std::span<std::int16_t>) {}
void IIRFilter::ProcessStrided16(std::int16_t*, std::size_t, std::size_t) {}
void IIRFilter::CreateBiquadIIR(std::int32_t, float, float, float, float) {}

clsDSP::clsDSP() {}
void clsDSP::setSamplerate(std::int32_t hz) { samplerate_ = hz; }
void clsDSP::setChannels(std::int16_t channels) { channels_ = channels; }
void clsDSP::setEchoLength(std::int32_t ms) { echoLength_ = ms; }
void clsDSP::setEchoAmp(float factor) { echoAmp_ = factor; }
void clsDSP::setPhaseShiftWet(float v) { wet_ = v; }
void clsDSP::setPhaseShiftDry(float v) { dry_ = v; }
void clsDSP::setPhaseShiftFeedback(float v) { feedback_ = v; }
void clsDSP::setPhaseShiftSweepRate(float v) { sweepRatePerSecond_ = v; }
void clsDSP::setPhaseShiftSweepRange(float v) { sweepRangeOctaves_ = v; }
void clsDSP::setPhaseShiftFrequency(float v) { frequency_ = v; }
std::int32_t clsDSP::EqualizerBandFrequency(std::int32_t) const { return 0; }
float clsDSP::EqualizerBandGainDB(std::int32_t) const { return 0; }
void clsDSP::setEqualizerBandGainDB(std::int32_t, float) {}
void clsDSP::setEqualizerBands(std::int32_t bands) { bands_ = bands; }
void clsDSP::ProcessSamples(std::span<std::int16_t>) {}

}  // namespace tarnwick
