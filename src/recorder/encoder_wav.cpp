#include "recorder/encoder_wav.h"

namespace tarnwick {

EncoderWAV::EncoderWAV(CodecLibraries libraries, FormatChooser chooser)
    : registry_(std::move(libraries)), chooser_(std::move(chooser)) {}
EncoderWAV::~EncoderWAV() = default;
void EncoderWAV::setWriteHeader(bool on) { writeHeader_ = on; }
void EncoderWAV::SetPCMFormat(std::int32_t, std::int16_t, std::string, std::string) {}
void EncoderWAV::SetFormat(const std::uint8_t*, std::int32_t, std::string, std::string) {}
std::int32_t EncoderWAV::SelectFormat(std::int32_t, std::int16_t, const Window*, const std::string&) { return 11; }
std::int32_t EncoderWAV::Encoder_EncoderInit(std::int32_t, std::int16_t, const std::string&) { return 7; }
std::int32_t EncoderWAV::Encoder_Encode(const void*, std::int32_t, std::int32_t&) { return 9; }
std::int32_t EncoderWAV::Encoder_EncoderClose() { return 2; }
std::int32_t EncoderWAV::Encoder_EncoderMetrics(std::int32_t) const { return -1; }
std::vector<std::uint8_t> EncoderWAV::targetFormatBytes() const { return target_; }

}  // namespace tarnwick
