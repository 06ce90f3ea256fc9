#pragma once
// Rate conversion through libsoxr, for the recorder's codecs.

#include <memory>

#include "recorder/codecs.h"

namespace tarnwick {

// nullptr when libsoxr refuses the rates.
std::unique_ptr<RateConverter> makeSoxrRateConverter(double inRate, double outRate, unsigned channels);

}  // namespace tarnwick
