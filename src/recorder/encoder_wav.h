#pragma once
// Writes the recorder's blocks of 16-bit PCM into a WAV file in the target format the operator
// picked: each block is converted by a codec stream and appended; closing writes the RIFF/WAVE
// header over the placeholder at the start. Every operation reports an integer code (0 success):
// 2 no file (open) or none open (close), 7 no stream for this source and target, 8 block longer
// than one second, 9 conversion failed, 10 the file lacks bytes, 11 chooser cancelled.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "controls/controls.h"
#include "recorder/codecs.h"
#include "recorder/wave_format.h"

namespace tarnwick {

class EncoderWAV {
public:
    explicit EncoderWAV(CodecLibraries libraries = {}, FormatChooser chooser = {});
    ~EncoderWAV();
    EncoderWAV(const EncoderWAV&) = delete;
    EncoderWAV& operator=(const EncoderWAV&) = delete;

    bool WriteHeader() const { return writeHeader_; }
    // While a file is open: error 90 "Encoder already running!", the old value kept.
    void setWriteHeader(bool on);
    const std::string& FormatTag() const { return formatTag_; }
    const std::string& FormatID() const { return formatID_; }

    // A 16-bit PCM target; an empty id becomes "<kHz> 16 Bit stereo|mono", an empty tag "PCM".
    void SetPCMFormat(std::int32_t rate, std::int16_t channels, std::string id = {}, std::string tag = {});
    // Takes length bytes of a format record as the target; nothing changes for a null address or a
    // length below 0.
    void SetFormat(const std::uint8_t* format, std::int32_t length, std::string id, std::string tag);
    // The format chooser over owner with the given title: 0 when a format was chosen, else 11.
    std::int32_t SelectFormat(std::int32_t rate, std::int16_t channels, const Window* owner, const std::string& title);

    std::string Encoder_Description() const { return "Wave ACM Encoder"; }
    std::string Encoder_Extension() const { return "wav"; }

    // fileName is a path on this machine. 0, 2 (file not created) or 7 (no stream).
    std::int32_t Encoder_EncoderInit(std::int32_t rate, std::int16_t channels, const std::string& fileName);
    // Converts one block of length bytes and appends it. 0, 8, 9 or 10; bytesUsed is what was taken.
    std::int32_t Encoder_Encode(const void* data, std::int32_t length, std::int32_t& bytesUsed);
    // Flushes the codec, writes the header, closes. 0; 2 when no file is open; 10 when a write of
    // the file failed.
    std::int32_t Encoder_EncoderClose();
    // 1: the source's average bytes per second, 0: its block align (-1 while closed); else 0.
    std::int32_t Encoder_EncoderMetrics(std::int32_t which) const;

    bool isOpen() const { return fd_ >= 0; }
    // The open file's length in bytes, as written so far; -1 while none is open.
    std::int64_t fileLength() const { return isOpen() ? static_cast<std::int64_t>(fileBytes_) : -1; }
    // The target format record as held (its valid bytes).
    std::vector<std::uint8_t> targetFormatBytes() const;

private:
    // Writes at the current position; the count written, -1 when the write failed before any byte.
    long long writeFile(const std::uint8_t* data, std::size_t length);
    // Appends converted audio; false when the file did not take all of it (a full disk), which then
    // ends on the last whole block the file holds.
    bool appendAudio(const std::uint8_t* data, std::size_t length);
    bool writeWaveHeader();
    // Writes the header with the sizes of what the file holds now, leaving the write position.
    bool refreshHeader();
    void releaseStream();
    // The most audio bytes the header's 32-bit sizes can describe.
    std::uint64_t dataLimit() const;

    CodecRegistry registry_;
    FormatChooser chooser_;
    std::vector<std::uint8_t> target_;
    std::int32_t targetLength_ = 0;
    std::string formatID_, formatTag_;
    bool writeHeader_ = true;

    // While open.
    WaveFormat source_;
    std::vector<std::uint8_t> openedFormat_;  // the target record the stream was opened with
    std::unique_ptr<CodecStream> stream_;
    std::vector<std::uint8_t> sourceBuffer_, targetBuffer_;
    int fd_ = -1;
    std::string fileName_;
    std::uint64_t dataBytes_ = 0;
    std::uint64_t fileBytes_ = 0;  // the file's length: what of the header and the audio it took
    std::uint16_t blockAlign_ = 1;  // the target's block: audio is kept in whole blocks
    std::uint64_t sourceSinceRefresh_ = 0;  // source bytes taken since the header's sizes were written
    bool writeFailed_ = false;
};

}  // namespace tarnwick
