#pragma once
// Test signals for the recorder's sound classes: deterministic noise and tones as 16-bit samples.

#include <cmath>
#include <cstdint>
#include <vector>

namespace tarnwick::test {

// A tone of the given frequency plus a little noise, mono, amplitude peak in steps.
inline std::vector<std::int16_t> toneWithNoise(int rate, double hz, double peak, std::size_t count,
                                               std::uint32_t seed = 12345) {
    std::vector<std::int16_t> out(count);
    std::uint32_t state = seed;
    for (std::size_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(state >> 8) / 16777216.0 - 0.5) * peak * 0.2;
        out[i] = static_cast<std::int16_t>(std::lrint(peak * 0.8 * std::sin(2 * M_PI * hz * i / rate) + noise));
    }
    return out;
}

// Uniform noise over the whole 16-bit range.
inline std::vector<std::int16_t> noise(std::size_t count, std::uint32_t seed = 99) {
    std::vector<std::int16_t> out(count);
    std::uint32_t state = seed;
    for (auto& s : out) {
        state = state * 1664525u + 1013904223u;
        s = static_cast<std::int16_t>(state >> 16);
    }
    return out;
}

// Steady-state peak of a buffer from index `from` on.
inline int peakFrom(const std::vector<std::int16_t>& v, std::size_t from, std::size_t step = 1, std::size_t first = 0) {
    int peak = 0;
    for (std::size_t i = from + first; i < v.size(); i += step) peak = std::max(peak, std::abs(int(v[i])));
    return peak;
}

}  // namespace tarnwick::test
