#pragma once
// The format record at the head of a WAV file's "fmt " chunk: format tag, channels, rate, average
// bytes per second, block align, bits per sample, extra size (all little-endian) and the extra
// bytes, 18 bytes plus the extra ones.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tarnwick {

namespace wave_tags {
constexpr std::uint16_t kPcm = 0x0001;
constexpr std::uint16_t kALaw = 0x0006;
constexpr std::uint16_t kMuLaw = 0x0007;
constexpr std::uint16_t kImaAdpcm = 0x0011;
constexpr std::uint16_t kGsm610 = 0x0031;
}  // namespace wave_tags

struct WaveFormat {
    std::uint16_t formatTag = wave_tags::kPcm;
    std::uint16_t channels = 2;
    std::uint32_t samplesPerSec = 44100;
    std::uint32_t avgBytesPerSec = 176400;
    std::uint16_t blockAlign = 4;
    std::uint16_t bitsPerSample = 16;
    std::vector<std::uint8_t> extra;

    static constexpr std::size_t kBaseSize = 18;

    // PCM of the given rate, channels and bits: block align bits / 8 * channels, average bytes per
    // second block align * rate, no extra bytes.
    static WaveFormat pcm(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits = 16);
    // Reads a record of length bytes; nullopt when it is shorter than 18 bytes or than its extra size says.
    static std::optional<WaveFormat> parse(const std::uint8_t* bytes, std::size_t length);
    // The record: 18 bytes, then the extra bytes.
    std::vector<std::uint8_t> bytes() const;
    // The extra bytes' first 16-bit word (samples per block of the block codecs), 0 without one.
    std::uint16_t samplesPerBlock() const;
    bool operator==(const WaveFormat&) const = default;
};

void putLe16(std::vector<std::uint8_t>& out, std::uint16_t v);
void putLe32(std::vector<std::uint8_t>& out, std::uint32_t v);

}  // namespace tarnwick
