#pragma once
// GSM 6.10 through libgsm, in the WAV packing, for the recorder's codecs.

#include <memory>

#include "recorder/codecs.h"

namespace tarnwick {

std::unique_ptr<GsmEncoder> makeLibGsmEncoder();

}  // namespace tarnwick
