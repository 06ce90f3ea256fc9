#include "recorder/display_text.h"

#include <cmath>
#include <cstdio>

namespace tarnwick {

namespace {

// One decimal, the half to the even neighbour, as every conversion of the recorder rounds.
std::string oneDecimal(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", std::rint(v * 10.0) / 10.0);
    return text;
}

}  // namespace

std::string FormatFileSize(std::int64_t bytes) {
    if (bytes < 0) return {};
    if (bytes < 1024) return std::to_string(bytes) + " bytes";
    if (bytes < 1048576) return std::to_string(static_cast<long long>(std::rint(bytes / 1024.0))) + " KB";
    if (bytes < 1073741824) return oneDecimal(bytes / 1048576.0) + " MB";
    return oneDecimal(bytes / 1073741824.0) + " GB";
}

std::string FormatMinutesSeconds(std::int64_t milliseconds) {
    const long long seconds = static_cast<long long>(std::rint(static_cast<double>(milliseconds) / 1000.0));
    const long long rest = seconds % 60;
    return std::to_string(seconds / 60) + (rest >= 0 && rest < 10 ? ":0" : ":") + std::to_string(rest);
}

std::string EqualizerBandLabel(std::int32_t hz) {
    if (hz <= 1000) return std::to_string(hz) + " Hz";
    return std::to_string(hz / 1000) + " kHz";
}

}  // namespace tarnwick
