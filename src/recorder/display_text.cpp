#include "recorder/display_text.h"

namespace tarnwick {

std::string FormatFileSize(std::int64_t) { return {}; }
std::string FormatMinutesSeconds(std::int64_t) { return {}; }
std::string EqualizerBandLabel(std::int32_t) { return {}; }

}  // namespace tarnwick
