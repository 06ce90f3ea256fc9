#pragma once
// Writes short test sounds: a 16-bit mono PCM WAV of a 440 Hz sine, and a MIDI file of one note.

#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

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

// A Standard MIDI File of one piano note held for `seconds` (at most about 8 s): format 0, 480
// ticks a quarter note at the default 120 beats a minute, so a tick lasts 1/960 s.
inline void writeNoteMidi(const std::string& path, double seconds) {
    const auto ticks = static_cast<std::uint32_t>(seconds * 960);
    std::vector<unsigned char> track = {0x00, 0xC0, 0x00,         // program: acoustic grand piano
                                        0x00, 0x90, 60, 100};     // note on, middle C
    // The note's length as a variable-length quantity.
    std::vector<unsigned char> delta;
    for (std::uint32_t v = ticks; ; v >>= 7) {
        delta.insert(delta.begin(), static_cast<unsigned char>((v & 0x7F) | (delta.empty() ? 0 : 0x80)));
        if (v < 0x80) break;
    }
    track.insert(track.end(), delta.begin(), delta.end());
    for (unsigned char b : {0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00}) track.push_back(b);  // note off, end
    std::ofstream out(path, std::ios::binary);
    auto be = [&out](std::uint32_t v, int bytes) {
        for (int i = bytes - 1; i >= 0; --i) out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    out << "MThd";
    be(6, 4), be(0, 2), be(1, 2), be(480, 2);
    out << "MTrk";
    be(static_cast<std::uint32_t>(track.size()), 4);
    out.write(reinterpret_cast<const char*>(track.data()), static_cast<std::streamsize>(track.size()));
}

// Interleaved 16-bit samples: i * 7 for sample i, so every position is told apart.
inline std::vector<std::int16_t> ramp(std::size_t n) {
    std::vector<std::int16_t> s(n);
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<std::int16_t>(i * 7);
    return s;
}

// A 16-bit PCM WAV of the given interleaved samples.
inline void writeWav(const std::string& path, const std::vector<std::int16_t>& samples, int rate, int channels) {
    auto put = [](std::ofstream& f, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) f.put(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    const auto data = static_cast<std::uint32_t>(samples.size() * 2);
    std::ofstream f(path, std::ios::binary);
    f.write("RIFF", 4);
    put(f, 36 + data, 4);
    f.write("WAVEfmt ", 8);
    put(f, 16, 4);
    put(f, 1, 2);
    put(f, static_cast<std::uint32_t>(channels), 2);
    put(f, static_cast<std::uint32_t>(rate), 4);
    put(f, static_cast<std::uint32_t>(rate * channels * 2), 4);
    put(f, static_cast<std::uint32_t>(channels * 2), 2);
    put(f, 16, 2);
    f.write("data", 4);
    put(f, data, 4);
    f.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(data));
}

}  // namespace tarnwick::testing
