#pragma once
// Writes short test sounds: a 16-bit mono PCM WAV of a 440 Hz sine.

#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <string>

namespace tarnwick::testing {

inline void writeToneWav(const std::string& path, double seconds, int rate = 22050) {
    auto put16 = [](std::ofstream& f, std::uint16_t v) {
        f.put(static_cast<char>(v & 0xff));
        f.put(static_cast<char>(v >> 8));
    };
    auto put32 = [](std::ofstream& f, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) f.put(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    const auto frames = static_cast<std::uint32_t>(seconds * rate);
    std::ofstream f(path, std::ios::binary);
    f.write("RIFF", 4);
    put32(f, 36 + frames * 2);
    f.write("WAVEfmt ", 8);
    put32(f, 16);
    put16(f, 1);  // PCM
    put16(f, 1);  // mono
    put32(f, static_cast<std::uint32_t>(rate));
    put32(f, static_cast<std::uint32_t>(rate * 2));
    put16(f, 2);
    put16(f, 16);
    f.write("data", 4);
    put32(f, frames * 2);
    for (std::uint32_t i = 0; i < frames; ++i)
        put16(f, static_cast<std::uint16_t>(
                     static_cast<std::int16_t>(8000 * std::sin(2 * std::numbers::pi * 440.0 * i / rate))));
}

}  // namespace tarnwick::testing
