#pragma once
// The codecs a recording can be written with, converting from 16-bit PCM at the recording's rate
// and channels: PCM 16-bit and unsigned 8-bit, A-law, mu-law and IMA ADPCM of our own, GSM 6.10
// (mono) through an outside library, each mono or stereo at the common rates. A rate that differs
// from the source's is converted by an outside resampler. The two outside libraries sit behind the
// interfaces below; the program registers them, tests may leave them out (then only the source's
// own rate is offered, and no GSM).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/controls.h"
#include "recorder/wave_format.h"

namespace tarnwick {

// Converts interleaved float frames from one rate to another.
class RateConverter {
public:
    virtual ~RateConverter() = default;
    // Appends the frames ready so far to out; false when the converter failed.
    virtual bool process(const float* in, std::size_t frames, std::vector<float>& out) = 0;
    // Appends everything still held, at the end of the stream.
    virtual bool flush(std::vector<float>& out) = 0;
};
using RateConverterFactory =
    std::function<std::unique_ptr<RateConverter>(double inRate, double outRate, unsigned channels)>;

// GSM 6.10 in the WAV packing: 320 samples make one 65-byte block (two frames).
class GsmEncoder {
public:
    virtual ~GsmEncoder() = default;
    static constexpr std::size_t kBlockSamples = 320;
    static constexpr std::size_t kBlockBytes = 65;
    virtual void encodeBlock(const std::int16_t* samples, std::uint8_t* block) = 0;
};
using GsmEncoderFactory = std::function<std::unique_ptr<GsmEncoder>()>;

// The outside libraries the program registers.
struct CodecLibraries {
    RateConverterFactory rateConverter;
    GsmEncoderFactory gsm;
};

// One format the chooser offers: its record, its description and the name of its format tag.
struct FormatChoice {
    WaveFormat format;
    std::string description;  // "44.100 kHz, 16 Bit, Stereo"
    std::string tagName;      // "PCM"
};

// One open conversion from 16-bit PCM into a target format.
class CodecStream {
public:
    virtual ~CodecStream() = default;
    // The most bytes one call may produce for sourceBytes of source.
    virtual std::size_t targetSize(std::size_t sourceBytes) const = 0;
    // Takes the source bytes (a partial frame or codec block is carried into the next call, so
    // sourceUsed is the whole length) and writes at most targetCapacity converted bytes; what does
    // not fit waits for the next call. With end set it also empties what it holds, a last partial
    // block padded with silence; call it again while it fills the target. False when the
    // conversion failed; sourceUsed then tells how much was taken.
    virtual bool convert(const std::uint8_t* source, std::size_t sourceLength, std::uint8_t* target,
                         std::size_t targetCapacity, std::size_t& sourceUsed, std::size_t& targetUsed,
                         bool end) = 0;
};

class CodecRegistry {
public:
    explicit CodecRegistry(CodecLibraries libraries = {});

    // The rates every codec is offered at.
    static const std::vector<std::uint32_t>& rates();
    // Every target format 16-bit PCM of this rate and channel count converts into.
    std::vector<FormatChoice> choicesFor(std::uint32_t rate, std::uint16_t channels) const;
    // The description and tag name of a target format ("" for one this registry does not know).
    std::string describe(const WaveFormat& format) const;
    std::string tagName(std::uint16_t formatTag) const;
    // Opens a conversion from 16-bit PCM (source) into target; nullptr when it cannot be done.
    std::unique_ptr<CodecStream> open(const WaveFormat& source, const WaveFormat& target) const;

private:
    CodecLibraries libs_;
};

// The format chooser: shows the choices under the title, modal over the owner window (which may be
// null), with current preselected (-1 for none); returns the index chosen, or -1 when cancelled.
using FormatChooser = std::function<int(const std::vector<FormatChoice>& choices, int current,
                                        const std::string& title, const Window* owner)>;

}  // namespace tarnwick
