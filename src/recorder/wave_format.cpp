#include "recorder/wave_format.h"

namespace tarnwick {

WaveFormat WaveFormat::pcm(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits) {
    WaveFormat f;
    f.formatTag = wave_tags::kPcm;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.bitsPerSample = bits;
    f.blockAlign = static_cast<std::uint16_t>(bits / 8 * channels);
    f.avgBytesPerSec = f.blockAlign * rate;
    return f;
}

std::optional<WaveFormat> WaveFormat::parse(const std::uint8_t*, std::size_t) { return std::nullopt; }
std::vector<std::uint8_t> WaveFormat::bytes() const { return {}; }
std::uint16_t WaveFormat::samplesPerBlock() const { return 0; }
void putLe16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void putLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    putLe16(out, static_cast<std::uint16_t>(v));
    putLe16(out, static_cast<std::uint16_t>(v >> 16));
}

}  // namespace tarnwick
