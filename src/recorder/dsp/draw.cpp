#include "recorder/dsp/draw.h"

namespace tarnwick {

void clsDraw::DrawRect(Picture&, std::int32_t, std::int32_t, std::int32_t, std::int32_t, Colour) {}
void clsDraw::DrawAmplitudes(std::span<const std::int16_t>, Picture&) {}
void clsDraw::DrawFrequencies(std::span<const std::int16_t>, Picture&) {}
void clsSmooth::SmoothNew(std::int32_t) {}
void clsSmooth::SmoothAdd(float) {}
float clsSmooth::SmoothGetMax() const { return 0; }
Colour GradientColour(float, float, Colour, Colour, Colour) { return 0; }
void DrawEqualizerCurve(Picture&, const std::vector<int>&) {}

}  // namespace tarnwick
