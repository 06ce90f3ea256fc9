#include "recorder/codecs.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "recorder/dsp/sample_math.h"

namespace tarnwick {

namespace {

constexpr std::uint32_t kHighestRate = 384000;

// ---- the codecs: each turns whole blocks of interleaved 16-bit frames into bytes ----

class BlockEncoder {
public:
    virtual ~BlockEncoder() = default;
    // Frames per block and bytes per block.
    virtual std::size_t blockFrames() const = 0;
    virtual std::size_t blockBytes() const = 0;
    virtual void encode(const std::int16_t* frames, std::uint8_t* out) = 0;
};

class Pcm16Encoder : public BlockEncoder {
public:
    explicit Pcm16Encoder(unsigned channels) : channels_(channels) {}
    std::size_t blockFrames() const override { return 1; }
    std::size_t blockBytes() const override { return 2 * channels_; }
    void encode(const std::int16_t* frames, std::uint8_t* out) override {
        for (unsigned c = 0; c < channels_; ++c) {
            const auto v = static_cast<std::uint16_t>(frames[c]);
            out[2 * c] = static_cast<std::uint8_t>(v);
            out[2 * c + 1] = static_cast<std::uint8_t>(v >> 8);
        }
    }

private:
    unsigned channels_;
};

// One byte per sample through a table function.
template <std::uint8_t (*Convert)(std::int16_t)>
class ByteEncoder : public BlockEncoder {
public:
    explicit ByteEncoder(unsigned channels) : channels_(channels) {}
    std::size_t blockFrames() const override { return 1; }
    std::size_t blockBytes() const override { return channels_; }
    void encode(const std::int16_t* frames, std::uint8_t* out) override {
        for (unsigned c = 0; c < channels_; ++c) out[c] = Convert(frames[c]);
    }

private:
    unsigned channels_;
};

// Unsigned 8-bit PCM keeps the high byte, centred on 128.
std::uint8_t toUnsigned8(std::int16_t s) { return static_cast<std::uint8_t>((s + 32768) >> 8); }

int segmentOf(int value, const std::array<int, 8>& ends) {
    for (int i = 0; i < 8; ++i)
        if (value <= ends[i]) return i;
    return 8;
}

// G.711 A-law: 13-bit magnitude in segments, even bits inverted.
std::uint8_t toALaw(std::int16_t sample) {
    static constexpr std::array<int, 8> ends = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
    int pcm = sample >> 3;
    int mask = 0xD5;
    if (pcm < 0) {
        mask = 0x55;
        pcm = -pcm - 1;
    }
    const int seg = segmentOf(pcm, ends);
    if (seg >= 8) return static_cast<std::uint8_t>(0x7F ^ mask);
    int value = seg << 4;
    value |= seg < 2 ? (pcm >> 1) & 0x0F : (pcm >> seg) & 0x0F;
    return static_cast<std::uint8_t>(value ^ mask);
}

// G.711 mu-law: 14-bit magnitude with the bias of 33, in segments, all bits inverted.
std::uint8_t toMuLaw(std::int16_t sample) {
    static constexpr std::array<int, 8> ends = {0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF};
    int pcm = sample >> 2;
    int mask = 0xFF;
    if (pcm < 0) {
        pcm = -pcm;
        mask = 0x7F;
    }
    pcm = std::min(pcm, 8159) + (0x84 >> 2);
    const int seg = segmentOf(pcm, ends);
    if (seg >= 8) return static_cast<std::uint8_t>(0x7F ^ mask);
    return static_cast<std::uint8_t>(((seg << 4) | ((pcm >> (seg + 1)) & 0x0F)) ^ mask);
}

// IMA ADPCM in the WAV block layout: per channel a 4-byte header (the block's first sample and the
// step index), then 4-bit codes, eight per channel in turn, the earlier sample in the low nibble.
class ImaAdpcmEncoder : public BlockEncoder {
public:
    ImaAdpcmEncoder(unsigned channels, std::size_t blockAlign, std::size_t samplesPerBlock)
        : channels_(channels), blockAlign_(blockAlign), samplesPerBlock_(samplesPerBlock) {}
    std::size_t blockFrames() const override { return samplesPerBlock_; }
    std::size_t blockBytes() const override { return blockAlign_; }

    void encode(const std::int16_t* frames, std::uint8_t* out) override {
        std::fill(out, out + blockAlign_, 0);
        for (unsigned c = 0; c < channels_; ++c) {
            predictor_[c] = frames[c];
            const auto first = static_cast<std::uint16_t>(frames[c]);
            out[4 * c] = static_cast<std::uint8_t>(first);
            out[4 * c + 1] = static_cast<std::uint8_t>(first >> 8);
            out[4 * c + 2] = static_cast<std::uint8_t>(index_[c]);
        }
        std::uint8_t* data = out + 4 * channels_;
        for (std::size_t group = 0; group * 8 + 1 < samplesPerBlock_; ++group) {
            for (unsigned c = 0; c < channels_; ++c) {
                for (int i = 0; i < 8; ++i) {
                    const std::size_t frame = 1 + group * 8 + i;
                    const std::uint8_t code = frame < samplesPerBlock_ ? encodeSample(c, frames[frame * channels_ + c]) : 0;
                    data[i / 2] |= static_cast<std::uint8_t>((i % 2) ? code << 4 : code);
                }
                data += 4;
            }
        }
    }

private:
    static constexpr std::array<int, 89> kSteps = {
        7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
        31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
        130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
        544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
        2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
        9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
    static constexpr std::array<int, 8> kIndexShift = {-1, -1, -1, -1, 2, 4, 6, 8};

    std::uint8_t encodeSample(unsigned c, std::int16_t sample) {
        int diff = sample - predictor_[c];
        std::uint8_t code = 0;
        if (diff < 0) {
            code = 8;
            diff = -diff;
        }
        int step = kSteps[index_[c]];
        int change = step >> 3;
        if (diff >= step) {
            code |= 4;
            diff -= step;
            change += step;
        }
        step >>= 1;
        if (diff >= step) {
            code |= 2;
            diff -= step;
            change += step;
        }
        step >>= 1;
        if (diff >= step) {
            code |= 1;
            change += step;
        }
        predictor_[c] = std::clamp(predictor_[c] + ((code & 8) ? -change : change), -32768, 32767);
        index_[c] = std::clamp(index_[c] + kIndexShift[code & 7], 0, 88);
        return code;
    }

    unsigned channels_;
    std::size_t blockAlign_, samplesPerBlock_;
    std::array<int, 2> predictor_{};
    std::array<int, 2> index_{};
};

class GsmBlockEncoder : public BlockEncoder {
public:
    explicit GsmBlockEncoder(std::unique_ptr<GsmEncoder> gsm) : gsm_(std::move(gsm)) {}
    std::size_t blockFrames() const override { return GsmEncoder::kBlockSamples; }
    std::size_t blockBytes() const override { return GsmEncoder::kBlockBytes; }
    void encode(const std::int16_t* frames, std::uint8_t* out) override { gsm_->encodeBlock(frames, out); }

private:
    std::unique_ptr<GsmEncoder> gsm_;
};

// ---- formats ----

std::size_t imaBlockAlign(std::uint32_t rate, unsigned channels) {
    return 256 * channels * std::max<std::uint32_t>(1, rate / 11025);
}

std::size_t imaSamplesPerBlock(std::size_t blockAlign, unsigned channels) {
    return (blockAlign - 4 * channels) * 8 / (4 * channels) + 1;
}

WaveFormat makeFormat(std::uint16_t tag, std::uint32_t rate, std::uint16_t channels) {
    WaveFormat f;
    f.formatTag = tag;
    f.channels = channels;
    f.samplesPerSec = rate;
    switch (tag) {
    case wave_tags::kALaw:
    case wave_tags::kMuLaw:
        f.bitsPerSample = 8;
        f.blockAlign = channels;
        f.avgBytesPerSec = rate * channels;
        break;
    case wave_tags::kImaAdpcm: {
        const std::size_t align = imaBlockAlign(rate, channels);
        const std::size_t perBlock = imaSamplesPerBlock(align, channels);
        f.bitsPerSample = 4;
        f.blockAlign = static_cast<std::uint16_t>(align);
        f.avgBytesPerSec = static_cast<std::uint32_t>(std::uint64_t(rate) * align / perBlock);
        putLe16(f.extra, static_cast<std::uint16_t>(perBlock));
        break;
    }
    case wave_tags::kGsm610:
        f.bitsPerSample = 0;
        f.blockAlign = GsmEncoder::kBlockBytes;
        f.avgBytesPerSec = static_cast<std::uint32_t>(std::uint64_t(rate) * GsmEncoder::kBlockBytes / GsmEncoder::kBlockSamples);
        putLe16(f.extra, GsmEncoder::kBlockSamples);
        break;
    default:
        break;
    }
    return f;
}

std::string rateText(std::uint32_t rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%03u kHz", rate / 1000, rate % 1000);
    return text;
}

std::unique_ptr<BlockEncoder> encoderFor(const WaveFormat& t, const CodecLibraries& libs) {
    if (t.channels < 1 || t.channels > 2 || t.samplesPerSec < 1 || t.samplesPerSec > kHighestRate) return nullptr;
    switch (t.formatTag) {
    case wave_tags::kPcm:
        if (t.bitsPerSample == 16 && t.blockAlign == 2 * t.channels) return std::make_unique<Pcm16Encoder>(t.channels);
        if (t.bitsPerSample == 8 && t.blockAlign == t.channels)
            return std::make_unique<ByteEncoder<toUnsigned8>>(t.channels);
        return nullptr;
    case wave_tags::kALaw:
        if (t.bitsPerSample != 8 || t.blockAlign != t.channels) return nullptr;
        return std::make_unique<ByteEncoder<toALaw>>(t.channels);
    case wave_tags::kMuLaw:
        if (t.bitsPerSample != 8 || t.blockAlign != t.channels) return nullptr;
        return std::make_unique<ByteEncoder<toMuLaw>>(t.channels);
    case wave_tags::kImaAdpcm: {
        const std::size_t align = t.blockAlign;
        const std::size_t perGroup = 4 * t.channels;
        if (t.bitsPerSample != 4 || align <= perGroup || align % perGroup != 0) return nullptr;
        if (t.samplesPerBlock() != imaSamplesPerBlock(align, t.channels)) return nullptr;
        return std::make_unique<ImaAdpcmEncoder>(t.channels, align, t.samplesPerBlock());
    }
    case wave_tags::kGsm610: {
        if (t.channels != 1 || t.blockAlign != GsmEncoder::kBlockBytes ||
            t.samplesPerBlock() != GsmEncoder::kBlockSamples || !libs.gsm)
            return nullptr;
        auto gsm = libs.gsm();
        if (!gsm) return nullptr;
        return std::make_unique<GsmBlockEncoder>(std::move(gsm));
    }
    default:
        return nullptr;
    }
}

// 16-bit PCM into 16-bit PCM of the same rate and channels: the bytes go across as they are, whole
// frames only, as the converting stream would write them.
class PcmCopyStream : public CodecStream {
public:
    explicit PcmCopyStream(unsigned channels) : frameBytes_(2 * channels) {}

    std::size_t targetSize(std::size_t sourceBytes) const override { return sourceBytes + frameBytes_; }

    bool convert(const std::uint8_t* source, std::size_t sourceLength, std::uint8_t* target,
                 std::size_t targetCapacity, std::size_t& sourceUsed, std::size_t& targetUsed, bool) override {
        sourceUsed = sourceLength;
        targetUsed = 0;
        if (!source) sourceLength = 0;
        const std::uint8_t* from = source;
        std::size_t have = sourceLength;
        // Bytes held from earlier calls (a partial frame, or frames that found no room) go first.
        if (!held_.empty()) {
            held_.insert(held_.end(), source, source + sourceLength);
            from = held_.data();
            have = held_.size();
        }
        const std::size_t whole = have / frameBytes_ * frameBytes_;
        const std::size_t out = std::min(whole, targetCapacity / frameBytes_ * frameBytes_);
        if (out) std::memcpy(target, from, out);
        targetUsed = out;
        if (from == held_.data())
            held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(out));
        else
            held_.assign(from + out, from + have);
        return true;
    }

private:
    std::size_t frameBytes_;
    std::vector<std::uint8_t> held_;
};

// ---- the stream: channels, then rate, then the codec ----

class ConvertingStream : public CodecStream {
public:
    ConvertingStream(const WaveFormat& source, const WaveFormat& target, std::unique_ptr<BlockEncoder> encoder,
                     std::unique_ptr<RateConverter> resampler)
        : inChannels_(source.channels),
          outChannels_(target.channels),
          ratio_(double(target.samplesPerSec) / source.samplesPerSec),
          encoder_(std::move(encoder)),
          resampler_(std::move(resampler)) {}

    std::size_t targetSize(std::size_t sourceBytes) const override {
        const double frames = double(sourceBytes / (2 * inChannels_) + 1) * ratio_;
        // Room for what the resampler holds back and hands out later, and for a padded last block.
        const std::size_t most = static_cast<std::size_t>(frames) + 8192 + encoder_->blockFrames();
        return (most / encoder_->blockFrames() + 1) * encoder_->blockBytes();
    }

    bool convert(const std::uint8_t* source, std::size_t sourceLength, std::uint8_t* target,
                 std::size_t targetCapacity, std::size_t& sourceUsed, std::size_t& targetUsed, bool end) override {
        sourceUsed = 0;
        targetUsed = 0;
        const std::size_t carried = carry_.size();
        if (source && sourceLength) carry_.insert(carry_.end(), source, source + sourceLength);
        const std::size_t frameBytes = 2 * inChannels_;
        const std::size_t frames = carry_.size() / frameBytes;

        mapped_.clear();
        for (std::size_t f = 0; f < frames; ++f) {
            const std::uint8_t* p = carry_.data() + f * frameBytes;
            const auto left = static_cast<std::int16_t>(p[0] | (p[1] << 8));
            const auto right = inChannels_ == 2 ? static_cast<std::int16_t>(p[2] | (p[3] << 8)) : left;
            if (outChannels_ == 2) {
                mapped_.push_back(left);
                mapped_.push_back(right);
            } else {
                // Stereo to mono: the mean, rounded half to even.
                mapped_.push_back(inChannels_ == 2 ? static_cast<std::int16_t>(roundEven((left + right) / 2.0)) : left);
            }
        }

        if (resampler_) {
            floats_.assign(mapped_.size(), 0.0f);
            for (std::size_t i = 0; i < mapped_.size(); ++i) floats_[i] = mapped_[i] / 32768.0f;
            resampled_.clear();
            bool ok = resampler_->process(floats_.data(), frames, resampled_);
            if (ok && end) ok = resampler_->flush(resampled_);
            if (!ok) {
                carry_.resize(carried);
                return false;
            }
            for (float v : resampled_) pending_.push_back(toSample16(v * 32768.0f));
        } else {
            pending_.insert(pending_.end(), mapped_.begin(), mapped_.end());
        }
        carry_.erase(carry_.begin(), carry_.begin() + static_cast<std::ptrdiff_t>(frames * frameBytes));
        sourceUsed = sourceLength;

        const std::size_t blockSamples = encoder_->blockFrames() * outChannels_;
        if (end && !ended_) {
            ended_ = true;
            const std::size_t partial = (pending_.size() - pendingStart_) % blockSamples;
            if (partial) pending_.resize(pending_.size() + blockSamples - partial, 0);
        }
        const std::size_t blocks =
            std::min((pending_.size() - pendingStart_) / blockSamples, targetCapacity / encoder_->blockBytes());
        for (std::size_t b = 0; b < blocks; ++b) {
            encoder_->encode(pending_.data() + pendingStart_, target + targetUsed);
            pendingStart_ += blockSamples;
            targetUsed += encoder_->blockBytes();
        }
        // Keep the waiting samples at the front once the used ones outweigh them.
        if (pendingStart_ > pending_.size() / 2) {
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pendingStart_));
            pendingStart_ = 0;
        }
        return true;
    }

private:
    unsigned inChannels_, outChannels_;
    double ratio_;
    std::unique_ptr<BlockEncoder> encoder_;
    std::unique_ptr<RateConverter> resampler_;
    std::vector<std::uint8_t> carry_;      // bytes of a partial source frame
    std::vector<std::int16_t> mapped_;     // this call's frames in the target's channels
    std::vector<float> floats_, resampled_;
    std::vector<std::int16_t> pending_;    // converted samples waiting for a whole block
    std::size_t pendingStart_ = 0;
    bool ended_ = false;
};

const std::uint16_t kOfferedTags[] = {wave_tags::kPcm, wave_tags::kALaw, wave_tags::kMuLaw, wave_tags::kImaAdpcm,
                                      wave_tags::kGsm610};

}  // namespace

CodecRegistry::CodecRegistry(CodecLibraries libraries) : libs_(std::move(libraries)) {}

const std::vector<std::uint32_t>& CodecRegistry::rates() {
    static const std::vector<std::uint32_t> r{8000, 11025, 16000, 22050, 32000, 44100, 48000};
    return r;
}

std::string CodecRegistry::tagName(std::uint16_t formatTag) const {
    switch (formatTag) {
    case wave_tags::kPcm: return "PCM";
    case wave_tags::kALaw: return "CCITT A-Law";
    case wave_tags::kMuLaw: return "CCITT u-Law";
    case wave_tags::kImaAdpcm: return "IMA ADPCM";
    case wave_tags::kGsm610: return "GSM 6.10";
    default: return {};
    }
}

std::string CodecRegistry::describe(const WaveFormat& f) const {
    if (tagName(f.formatTag).empty()) return {};
    std::string text = rateText(f.samplesPerSec) + ", ";
    if (f.bitsPerSample) text += std::to_string(f.bitsPerSample) + " Bit, ";
    return text + (f.channels == 2 ? "Stereo" : "Mono");
}

std::vector<FormatChoice> CodecRegistry::choicesFor(std::uint32_t rate, std::uint16_t channels) const {
    std::vector<FormatChoice> out;
    if (rate < 1 || rate > kHighestRate || channels < 1 || channels > 2) return out;
    for (std::uint16_t tag : kOfferedTags) {
        if (tag == wave_tags::kGsm610 && !libs_.gsm) continue;
        for (std::uint32_t r : rates()) {
            if (r != rate && !libs_.rateConverter) continue;
            for (std::uint16_t ch : {std::uint16_t(1), std::uint16_t(2)}) {
                if (tag == wave_tags::kGsm610 && ch == 2) continue;
                std::vector<WaveFormat> formats;
                if (tag == wave_tags::kPcm)
                    formats = {WaveFormat::pcm(r, ch, 8), WaveFormat::pcm(r, ch, 16)};
                else
                    formats = {makeFormat(tag, r, ch)};
                for (auto& f : formats) out.push_back({f, describe(f), tagName(tag)});
            }
        }
    }
    return out;
}

std::unique_ptr<CodecStream> CodecRegistry::open(const WaveFormat& source, const WaveFormat& target) const {
    if (source.formatTag != wave_tags::kPcm || source.bitsPerSample != 16 || source.channels < 1 ||
        source.channels > 2 || source.samplesPerSec < 1 || source.samplesPerSec > kHighestRate)
        return nullptr;
    auto encoder = encoderFor(target, libs_);
    if (!encoder) return nullptr;
    if (target.formatTag == wave_tags::kPcm && target.bitsPerSample == 16 && target.channels == source.channels &&
        target.samplesPerSec == source.samplesPerSec)
        return std::make_unique<PcmCopyStream>(source.channels);
    std::unique_ptr<RateConverter> resampler;
    if (target.samplesPerSec != source.samplesPerSec) {
        if (!libs_.rateConverter) return nullptr;
        resampler = libs_.rateConverter(source.samplesPerSec, target.samplesPerSec, target.channels);
        if (!resampler) return nullptr;
    }
    return std::make_unique<ConvertingStream>(source, target, std::move(encoder), std::move(resampler));
}

}  // namespace tarnwick
