#include "recorder/codecs.h"

namespace tarnwick {

CodecRegistry::CodecRegistry(CodecLibraries libraries) : libs_(std::move(libraries)) {}
const std::vector<std::uint32_t>& CodecRegistry::rates() {
    static const std::vector<std::uint32_t> r{8000, 11025, 16000, 22050, 32000, 44100, 48000};
    return r;
}
std::vector<FormatChoice> CodecRegistry::choicesFor(std::uint32_t, std::uint16_t) const { return {}; }
std::string CodecRegistry::describe(const WaveFormat&) const { return {}; }
std::string CodecRegistry::tagName(std::uint16_t) const { return {}; }
std::unique_ptr<CodecStream> CodecRegistry::open(const WaveFormat&, const WaveFormat&) const { return nullptr; }

}  // namespace tarnwick
