#include "recorder/wave_format.h"

namespace tarnwick {

namespace {

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p) { return le16(p) | (static_cast<std::uint32_t>(le16(p + 2)) << 16); }

}  // namespace

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

std::optional<WaveFormat> WaveFormat::parse(const std::uint8_t* bytes, std::size_t length) {
    if (!bytes || length < kBaseSize) return std::nullopt;
    WaveFormat f;
    f.formatTag = le16(bytes);
    f.channels = le16(bytes + 2);
    f.samplesPerSec = le32(bytes + 4);
    f.avgBytesPerSec = le32(bytes + 8);
    f.blockAlign = le16(bytes + 12);
    f.bitsPerSample = le16(bytes + 14);
    const std::uint16_t extraSize = le16(bytes + 16);
    if (length < kBaseSize + extraSize) return std::nullopt;
    f.extra.assign(bytes + kBaseSize, bytes + kBaseSize + extraSize);
    return f;
}

std::vector<std::uint8_t> WaveFormat::bytes() const {
    std::vector<std::uint8_t> out;
    out.reserve(kBaseSize + extra.size());
    putLe16(out, formatTag);
    putLe16(out, channels);
    putLe32(out, samplesPerSec);
    putLe32(out, avgBytesPerSec);
    putLe16(out, blockAlign);
    putLe16(out, bitsPerSample);
    putLe16(out, static_cast<std::uint16_t>(extra.size()));
    out.insert(out.end(), extra.begin(), extra.end());
    return out;
}

std::uint16_t WaveFormat::samplesPerBlock() const { return extra.size() >= 2 ? le16(extra.data()) : 0; }

void putLe16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void putLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    putLe16(out, static_cast<std::uint16_t>(v));
    putLe16(out, static_cast<std::uint16_t>(v >> 16));
}

}  // namespace tarnwick
