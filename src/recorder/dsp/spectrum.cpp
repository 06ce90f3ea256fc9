#include "recorder/dsp/spectrum.h"

namespace tarnwick {

clsFourier::clsFourier() : pi_(0), twoPi_(0), values_(1) {}
double clsFourier::ComplexOut(std::int32_t) { return 0; }
double clsFourier::ImagOut(std::int32_t) { return 0; }
double clsFourier::RealOut(std::int32_t) { return 0; }
void clsFourier::RealIn(std::int32_t, double) {}
void clsFourier::ImagIn(std::int32_t, double) {}
void clsFourier::setNumberOfSamples(std::int32_t) {}
float clsFourier::Timing() const { return 0; }
std::int32_t clsFourier::ReverseBits(std::int32_t, std::int32_t) { return 0; }

}  // namespace tarnwick
