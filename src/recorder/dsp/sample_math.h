#pragma once
// Conversions of real numbers to whole numbers as the recorder makes them: to the nearest whole
// number with a half going to the even neighbour (std::rint in the default rounding mode, never std::round), and
// to 16-bit samples, limited to the 16-bit range first. A NaN becomes 0 rather than undefined.

#include <cmath>
#include <cstdint>

namespace tarnwick {

// Nearest whole number, halves to even. NaN gives 0; values beyond the 64-bit range are limited.
inline long long roundEven(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9.2e18) return 9200000000000000000LL;
    if (v <= -9.2e18) return -9200000000000000000LL;
    return static_cast<long long>(std::rint(v));
}

// A 16-bit sample: 32767 above 32767, -32768 below -32768, otherwise the value rounded; NaN gives 0.
inline std::int16_t toSample16(float v) {
    // Written without branches on the value, so that loops over samples stay straight.
    v = v > 32767.0f ? 32767.0f : v;
    v = v < -32768.0f ? -32768.0f : v;
    v = v == v ? v : 0.0f;
    return static_cast<std::int16_t>(std::lrint(v));
}

// sample / 32767 as a float. Multiplying by the reciprocal in double and rounding once to float gives
// the correctly rounded quotient for every 16-bit value, at a fraction of a division's cost.
inline float unitFromSample(std::int16_t sample) {
    return static_cast<float>(static_cast<double>(sample) * (1.0 / 32767.0));
}

}  // namespace tarnwick
