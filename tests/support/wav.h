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

}  // namespace tarnwick::testing
