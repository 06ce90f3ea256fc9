#pragma once
// Numbers as the series player reads them from its boxes and labels, and writes them back.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "player/player_text.h"
#include "settings/settings_file.h"

namespace tarnwick::series {

// Counts and periods beyond this are taken as this, so no product or difference overflows.
constexpr double kLargestCount = 1e12;

// A number written back into a box: whole numbers without a decimal point ("6", "150"), other
// values in their shortest plain form ("0.6", "-0.4").
inline std::string numberText(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

// The series numbers (Start, End, the next file): the whole text must be a number, blanks around
// it allowed ("05" is 5); nullopt for anything else, which ends a rotation step.
inline std::optional<double> seriesNumber(const std::string& text) {
    auto v = decimalNumber(text);
    if (!v) return std::nullopt;
    return std::clamp(*v, -kLargestCount, kLargestCount);
}

// A period or count as a box holds it: its leading decimal number ("2.5", "150", "7x" is 7), else 0.
inline double leadingValue(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return 0;
    double v = std::strtod(text.substr(start, i - start).c_str(), nullptr);
    return std::clamp(v, -kLargestCount, kLargestCount);
}

// A whole count (seconds, ticks, minutes in a digits-only box): its leading whole number, else 0.
inline long long leadingCount(const std::string& text) { return boxCount(text, static_cast<long long>(kLargestCount)); }

}  // namespace tarnwick::series
