#include "recorder/encoder_wav.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "recorder/recorder_error.h"

namespace tarnwick {

namespace {

constexpr std::size_t kChooserBuffer = 131072;

// The RIFF/WAVE header before the audio: RIFF size, the "fmt " chunk with the format record as held
// (no pad byte after an odd length), and the "data" chunk's size.
std::vector<std::uint8_t> waveHeader(const std::vector<std::uint8_t>& format, std::uint64_t fileLength) {
    const std::uint64_t headerLength = 28 + format.size();
    std::vector<std::uint8_t> out;
    out.reserve(headerLength);
    auto tag = [&](const char* fourCC) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(fourCC[i]));
    };
    tag("RIFF");
    putLe32(out, static_cast<std::uint32_t>(fileLength >= 8 ? fileLength - 8 : 0));
    tag("WAVE");
    tag("fmt ");
    putLe32(out, static_cast<std::uint32_t>(format.size()));
    out.insert(out.end(), format.begin(), format.end());
    tag("data");
    putLe32(out, static_cast<std::uint32_t>(fileLength >= headerLength ? fileLength - headerLength : 0));
    return out;
}

std::string cutAtNul(const std::string& text, std::size_t most) {
    std::string out = text.substr(0, std::min(text.find('\0'), most));
    return out;
}

}  // namespace

EncoderWAV::EncoderWAV(CodecLibraries libraries, FormatChooser chooser)
    : registry_(std::move(libraries)), chooser_(std::move(chooser)) {
    const auto defaults = WaveFormat::pcm(44100, 2, 16).bytes();
    SetFormat(defaults.data(), static_cast<std::int32_t>(defaults.size()), "44.1 kHz 16 Bit Stereo", "PCM");
}

EncoderWAV::~EncoderWAV() { Encoder_EncoderClose(); }

void EncoderWAV::setWriteHeader(bool on) {
    if (isOpen()) throw RecorderError(recorder_errors::kEncoderRunning, "Encoder already running!");
    writeHeader_ = on;
}

void EncoderWAV::SetFormat(const std::uint8_t* format, std::int32_t length, std::string id, std::string tag) {
    if (!format || length < 0) return;
    if (target_.size() < static_cast<std::size_t>(length)) target_.resize(static_cast<std::size_t>(length));
    if (length > 0) std::memcpy(target_.data(), format, static_cast<std::size_t>(length));
    targetLength_ = length;
    formatID_ = std::move(id);
    formatTag_ = std::move(tag);
}

void EncoderWAV::SetPCMFormat(std::int32_t rate, std::int16_t channels, std::string id, std::string tag) {
    if (id.empty()) {
        char kHz[32];
        std::snprintf(kHz, sizeof kHz, "%.1f", std::rint(rate / 1000.0 * 10.0) / 10.0);
        std::string text = kHz;
        if (text.size() > 2 && text.compare(text.size() - 2, 2, ".0") == 0) text.resize(text.size() - 2);
        id = text + " 16 Bit " + (channels == 2 ? "stereo" : "mono");
    }
    if (tag.empty()) tag = "PCM";
    const auto bytes = WaveFormat::pcm(static_cast<std::uint32_t>(rate), static_cast<std::uint16_t>(channels), 16).bytes();
    SetFormat(bytes.data(), static_cast<std::int32_t>(bytes.size()), id, tag);
}

std::vector<std::uint8_t> EncoderWAV::targetFormatBytes() const {
    return {target_.begin(), target_.begin() + targetLength_};
}

std::int32_t EncoderWAV::SelectFormat(std::int32_t rate, std::int16_t channels, const Window* owner,
                                      const std::string& title) {
    if (!chooser_ || rate < 1 || channels < 1) return 11;
    const auto choices = registry_.choicesFor(static_cast<std::uint32_t>(rate), static_cast<std::uint16_t>(channels));
    if (choices.empty()) return 11;
    const auto held = targetFormatBytes();
    int current = -1;
    for (std::size_t i = 0; i < choices.size() && current < 0; ++i)
        if (choices[i].format.bytes() == held) current = static_cast<int>(i);
    const int picked = chooser_(choices, current, title, owner);
    if (picked < 0 || static_cast<std::size_t>(picked) >= choices.size()) return 11;

    const auto& choice = choices[static_cast<std::size_t>(picked)];
    const auto bytes = choice.format.bytes();
    target_.assign(std::max(kChooserBuffer, target_.size()), 0);
    std::memcpy(target_.data(), bytes.data(), bytes.size());
    targetLength_ = static_cast<std::int32_t>(bytes.size());
    formatID_ = cutAtNul(choice.description, 128);
    formatTag_ = cutAtNul(choice.tagName, 48);
    return 0;
}

std::int32_t EncoderWAV::Encoder_EncoderInit(std::int32_t rate, std::int16_t channels, const std::string& fileName) {
    Encoder_EncoderClose();
    if (rate < 1 || rate > 96000 || channels < 1) return 7;
    source_ = WaveFormat::pcm(static_cast<std::uint32_t>(rate), static_cast<std::uint16_t>(channels), 16);
    const auto target = WaveFormat::parse(target_.data(), static_cast<std::size_t>(targetLength_));
    if (!target) return 7;
    stream_ = registry_.open(source_, *target);
    if (!stream_) return 7;
    sourceBuffer_.assign(source_.avgBytesPerSec, 0);
    targetBuffer_.assign(stream_->targetSize(sourceBuffer_.size()), 0);

    fd_ = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        releaseStream();
        return 2;
    }
    fileName_ = fileName;
    openedFormat_ = targetFormatBytes();
    blockAlign_ = std::max<std::uint16_t>(target->blockAlign, 1);
    dataBytes_ = 0;
    fileBytes_ = 0;
    sourceSinceRefresh_ = 0;
    writeFailed_ = false;
    if (writeHeader_) {
        // A header with sizes 0 holds the place: a file cut short by a crash is still a WAV file.
        const auto placeholder = waveHeader(openedFormat_, 0);
        const long long written = writeFile(placeholder.data(), placeholder.size());
        if (written > 0) fileBytes_ = static_cast<std::uint64_t>(written);
        if (written != static_cast<long long>(placeholder.size())) writeFailed_ = true;
    }
    return 0;
}

std::int32_t EncoderWAV::Encoder_Encode(const void* data, std::int32_t length, std::int32_t& bytesUsed) {
    if (length < 0 || static_cast<std::size_t>(length) > sourceBuffer_.size()) return 8;
    if (!isOpen()) return 9;
    // The caller's block is converted where it lies; without one the source buffer's last contents are.
    const auto* source = data ? static_cast<const std::uint8_t*>(data) : sourceBuffer_.data();
    std::size_t used = 0, produced = 0;
    const bool ok = stream_->convert(source, static_cast<std::size_t>(length), targetBuffer_.data(),
                                     targetBuffer_.size(), used, produced, false);
    bytesUsed = static_cast<std::int32_t>(used);
    if (!ok) return used == 0 ? 9 : 0;
    // A file whose sizes no longer fit the header is full: the recording ends on the write-error path.
    if (dataBytes_ + produced > dataLimit()) return 10;
    if (!appendAudio(targetBuffer_.data(), produced)) return 10;
    // The header's sizes follow the file each second of sound, so a recording cut short by a crash
    // reads as all but its last second.
    sourceSinceRefresh_ += used;
    if (writeHeader_ && sourceSinceRefresh_ >= source_.avgBytesPerSec) {
        sourceSinceRefresh_ = 0;
        if (!refreshHeader()) return 10;
    }
    return 0;
}

bool EncoderWAV::refreshHeader() {
    const auto header = waveHeader(openedFormat_, 28 + openedFormat_.size() + dataBytes_);
    std::size_t done = 0;
    while (done < header.size()) {
        const ssize_t n = ::pwrite(fd_, header.data() + done, header.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::int32_t EncoderWAV::Encoder_EncoderClose() {
    if (!isOpen()) return 2;
    // Empty what the codec still holds: the resampler's tail and a last partial block.
    for (;;) {
        std::size_t used = 0, produced = 0;
        if (!stream_->convert(nullptr, 0, targetBuffer_.data(), targetBuffer_.size(), used, produced, true)) {
            writeFailed_ = true;
            break;
        }
        if (produced == 0) break;
        // What the header cannot describe is left out, in whole blocks.
        const std::uint64_t room = (dataLimit() - dataBytes_) / blockAlign_ * blockAlign_;
        produced = static_cast<std::size_t>(std::min<std::uint64_t>(produced, room));
        if (!appendAudio(targetBuffer_.data(), produced)) {
            writeFailed_ = true;
            break;
        }
        if (produced == room) break;
    }
    if (writeHeader_ && !writeWaveHeader()) writeFailed_ = true;
    releaseStream();
    if (::close(fd_) != 0) writeFailed_ = true;
    fd_ = -1;
    fileName_.clear();
    return writeFailed_ ? 10 : 0;
}

std::int32_t EncoderWAV::Encoder_EncoderMetrics(std::int32_t which) const {
    if (which != 0 && which != 1) return 0;
    if (!isOpen()) return -1;
    return which == 1 ? static_cast<std::int32_t>(source_.avgBytesPerSec) : source_.blockAlign;
}

bool EncoderWAV::writeWaveHeader() {
    if (::lseek(fd_, 0, SEEK_SET) != 0) return false;
    const auto header = waveHeader(openedFormat_, fileBytes_);
    const bool ok = writeFile(header.data(), header.size()) == static_cast<long long>(header.size());
    ::lseek(fd_, 0, SEEK_END);
    return ok;
}

bool EncoderWAV::appendAudio(const std::uint8_t* data, std::size_t length) {
    const long long written = writeFile(data, length);
    if (written == static_cast<long long>(length)) {
        dataBytes_ += length;
        fileBytes_ += length;
        return true;
    }
    // A full disk takes part of a write: the part of a block it took goes again, so the file ends on
    // whole frames and the header's sizes, brought up to date from what was kept, agree with it.
    if (written > 0) {
        const std::uint64_t kept = (dataBytes_ + static_cast<std::uint64_t>(written)) / blockAlign_ * blockAlign_;
        fileBytes_ = fileBytes_ - dataBytes_ + kept;
        dataBytes_ = kept;
    }
    if (::ftruncate(fd_, static_cast<off_t>(fileBytes_)) != 0 || ::lseek(fd_, 0, SEEK_END) < 0) writeFailed_ = true;
    return false;
}

long long EncoderWAV::writeFile(const std::uint8_t* data, std::size_t length) {
    if (!isOpen()) return 0;
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd_, data + done, length - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            // What went before the failure is in the file.
            return done > 0 ? static_cast<long long>(done) : -1;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(done);
}

std::uint64_t EncoderWAV::dataLimit() const {
    if (!writeHeader_) return UINT64_MAX;
    // The RIFF size (file length - 8) is the first to run out of its 32 bits.
    return 0xFFFFFFFFull + 8 - (28 + openedFormat_.size());
}

void EncoderWAV::releaseStream() {
    stream_.reset();
    sourceBuffer_.clear();
    targetBuffer_.clear();
}

}  // namespace tarnwick
