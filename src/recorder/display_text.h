#pragma once
// The recorder's status texts: a file size ("1023 bytes", "1 KB", "1.0 MB", "1.0 GB"), a recorded
// length in minutes and seconds ("0:00", "1:05", "61:40") and an equalizer band's label
// ("455 Hz", "1 kHz").

#include <cstdint>
#include <string>

namespace tarnwick {

// Empty for a negative size.
std::string FormatFileSize(std::int64_t bytes);
std::string FormatMinutesSeconds(std::int64_t milliseconds);
std::string EqualizerBandLabel(std::int32_t hz);

}  // namespace tarnwick
