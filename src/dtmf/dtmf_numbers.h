#pragma once
// Numbers as Form4 reads them from its boxes and count labels.

#include <algorithm>
#include <limits>
#include <string>

#include "controls/controls.h"
#include "settings/settings_file.h"

namespace tarnwick {

// A box's or label's text as a number: its leading number, else 0, in the whole 64-bit range: every
// use compares it with 0, floors it at 0 or goes through minutesToSeconds, none of which overflows.
inline long long boxNumber(const std::string& text) {
    return boxCount(text, std::numeric_limits<long long>::max());
}
inline long long boxNumber(const TextBox& box) { return boxNumber(box.text()); }
inline long long boxNumber(const Label& label) { return boxNumber(label.text()); }

// Minutes to seconds, held within range so a long row of digits cannot overflow.
inline long long minutesToSeconds(long long minutes) {
    constexpr long long kMost = std::numeric_limits<long long>::max() / 60;
    return std::clamp(minutes, -kMost, kMost) * 60;
}

// One second off a count label; a count at or below 0 is over and goes no lower than -1.
inline void countDown(Label& seconds) { seconds.setText(std::to_string(std::max(boxNumber(seconds), 0LL) - 1)); }

// The acceptance-delay count: never below 0.
inline long long delayCount(const Label& label) { return std::max(boxNumber(label), 0LL); }

}  // namespace tarnwick
