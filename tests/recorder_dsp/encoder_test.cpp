// The WAV encoder: the exact header bytes, its result codes, the format it writes, and what it does
// when the file cannot take the bytes.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/gsm/gsm_encoder.h"
#include "platform/soxr/soxr_rate_converter.h"
#include "recorder/encoder_wav.h"
#include "recorder/recorder_error.h"
#include "support/temp_dir.h"

namespace tarnwick {
namespace {

using Bytes = std::string;

Bytes le32(std::uint32_t v) {
    return Bytes{char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char((v >> 24) & 0xFF)};
}

// The header of the default format for a given amount of audio.
Bytes defaultHeader(std::uint32_t dataBytes) {
    const unsigned char format[18] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 0, 0};
    return "RIFF" + le32(38 + dataBytes) + "WAVE" + "fmt " + le32(18) + Bytes(reinterpret_cast<const char*>(format), 18) +
           "data" + le32(dataBytes);
}

std::vector<std::int16_t> ramp(std::size_t count) {
    std::vector<std::int16_t> out(count);
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::int16_t>(i * 37 - 20000);
    return out;
}

struct EncoderTest : ::testing::Test {
    testing::TempDir dir;
    EncoderWAV encoder{CodecLibraries{makeSoxrRateConverter, makeLibGsmEncoder}};
};

TEST_F(EncoderTest, OpenAndCloseGivesThe46ByteHeaderOfTheDefaultFormat) {
    EXPECT_EQ(encoder.FormatTag(), "PCM");
    EXPECT_EQ(encoder.FormatID(), "44.1 kHz 16 Bit Stereo");
    ASSERT_EQ(encoder.Encoder_EncoderInit(44100, 2, dir.file("a.wav")), 0);
    // Until it is closed the file already holds a header, with sizes 0.
    const Bytes placeholder = "RIFF" + le32(0) + defaultHeader(0).substr(8);
    EXPECT_EQ(dir.read("a.wav"), placeholder);
    EXPECT_EQ(encoder.Encoder_EncoderClose(), 0);
    EXPECT_EQ(dir.read("a.wav"), defaultHeader(0));
}

TEST_F(EncoderTest, OneSecondOfCdAudioIsWrittenAsItCameBehindItsHeader) {
    ASSERT_EQ(encoder.Encoder_EncoderInit(44100, 2, dir.file("a.wav")), 0);
    const auto samples = ramp(88200);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(samples.data());
    std::size_t done = 0;
    while (done < 176400) {
        const std::int32_t length = static_cast<std::int32_t>(std::min<std::size_t>(10240, 176400 - done));
        std::int32_t used = -1;
        ASSERT_EQ(encoder.Encoder_Encode(bytes + done, length, used), 0);
        EXPECT_EQ(used, length);
        done += static_cast<std::size_t>(length);
    }
    ASSERT_EQ(encoder.Encoder_EncoderClose(), 0);
    const Bytes file = dir.read("a.wav");
    ASSERT_EQ(file.size(), 176446u);
    EXPECT_EQ(file.substr(0, 46), defaultHeader(176400));
    EXPECT_EQ(std::memcmp(file.data() + 46, bytes, 176400), 0);
}

// A recording cut short by kill -9 keeps what it wrote but its last second: the header's sizes follow
// the file while it grows, so sox and Python's wave read the rest.
TEST_F(EncoderTest, AKilledRecordingReadsAsAllButItsLastSecond) {
    const std::string path = dir.file("killed.wav");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        EncoderWAV recording;
        if (recording.Encoder_EncoderInit(44100, 2, path) != 0) _exit(2);
        const auto block = ramp(5120);
        std::int32_t used = 0;
        // 2.6 seconds in capture-sized blocks, then the process dies where it stands.
        for (int i = 0; i < 45; ++i) recording.Encoder_Encode(block.data(), 10240, used);
        raise(SIGKILL);
        _exit(3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

    std::ifstream in(path, std::ios::binary);
    const Bytes file{std::istreambuf_iterator<char>(in), {}};
    ASSERT_EQ(file.size(), 46u + 45 * 10240);
    const auto at = [&](std::size_t i) {
        return std::uint32_t(std::uint8_t(file[i])) | std::uint32_t(std::uint8_t(file[i + 1])) << 8 |
               std::uint32_t(std::uint8_t(file[i + 2])) << 16 | std::uint32_t(std::uint8_t(file[i + 3])) << 24;
    };
    const std::uint32_t data = at(42);
    EXPECT_GE(data, 2u * 176400);
    EXPECT_LE(46u + data, file.size());
    EXPECT_EQ(at(4), data + 38);

    if (std::system("command -v sox > /dev/null 2>&1") == 0) {
        const std::string out = dir.file("sox.txt");
        ASSERT_EQ(std::system(("sox '" + path + "' -n stat 2> '" + out + "'").c_str()), 0);
        std::ifstream report(out);
        const std::string text{std::istreambuf_iterator<char>(report), {}};
        const auto length = text.find("Length (seconds):");
        ASSERT_NE(length, std::string::npos) << text;
        EXPECT_GE(std::stod(text.substr(length + 17)), 2.0) << text;
    }
    const std::string python = "python3 -c \"import sys, wave; w = wave.open(sys.argv[1]); "
                               "sys.exit(0 if w.getnframes() >= 2 * 44100 else 1)\" '" + path + "'";
    EXPECT_EQ(std::system(python.c_str()), 0) << "Python's wave refuses the file or reads less than 2 s";
}

TEST_F(EncoderTest, CloseWithoutAFileSaysSoEveryTime) {
    EXPECT_EQ(encoder.Encoder_EncoderClose(), 2);
    EXPECT_EQ(encoder.Encoder_EncoderClose(), 2);
}

TEST_F(EncoderTest, RateOrChannelsOutOfRangeCreateNoFile) {
    struct Case {
        int rate, channels;
    } cases[] = {{0, 2}, {44100, 0}, {-8000, 1}, {96001, 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(encoder.Encoder_EncoderInit(c.rate, static_cast<std::int16_t>(c.channels), dir.file("x.wav")), 7)
            << c.rate << "/" << c.channels;
        EXPECT_FALSE(dir.exists("x.wav"));
    }
}

TEST_F(EncoderTest, BlocksOfMoreThanOneSecondAreRefused) {
    ASSERT_EQ(encoder.Encoder_EncoderInit(8000, 1, dir.file("a.wav")), 0);
    std::vector<std::uint8_t> block(16002, 0);
    std::int32_t used = -1;
    EXPECT_EQ(encoder.Encoder_Encode(block.data(), 16002, used), 8);
    EXPECT_EQ(used, -1);
    EXPECT_EQ(encoder.Encoder_Encode(block.data(), 16000, used), 0);
    EXPECT_EQ(used, 16000);
}

TEST_F(EncoderTest, AFileThatCannotBeCreatedIsCode2AndTheNextOpenStillWorks) {
    EXPECT_EQ(encoder.Encoder_EncoderInit(44100, 2, dir.file("missing/a.wav")), 2);
    EXPECT_FALSE(encoder.isOpen());
    EXPECT_EQ(encoder.Encoder_EncoderInit(44100, 2, dir.file("a.wav")), 0);
    EXPECT_EQ(encoder.Encoder_EncoderClose(), 0);
}

TEST_F(EncoderTest, ReopeningFinishesTheFileThatWasOpen) {
    ASSERT_EQ(encoder.Encoder_EncoderInit(44100, 2, dir.file("a.wav")), 0);
    std::int32_t used = 0;
    const auto samples = ramp(200);
    ASSERT_EQ(encoder.Encoder_Encode(samples.data(), 400, used), 0);
    ASSERT_EQ(encoder.Encoder_EncoderInit(44100, 2, dir.file("b.wav")), 0);
    EXPECT_EQ(dir.read("a.wav").substr(0, 46), defaultHeader(400));
}

TEST_F(EncoderTest, HeaderSwitchIsRefusedWhileOpenAndWithoutItTheFileIsBareAudio) {
    ASSERT_EQ(encoder.Encoder_EncoderInit(44100, 2, dir.file("a.wav")), 0);
    try {
        encoder.setWriteHeader(false);
        FAIL() << "accepted while open";
    } catch (const RecorderError& e) {
        EXPECT_EQ(e.number(), 90);
        EXPECT_STREQ(e.what(), "Encoder already running!");
    }
    EXPECT_TRUE(encoder.WriteHeader());
    encoder.Encoder_EncoderClose();
    encoder.setWriteHeader(false);
    ASSERT_EQ(encoder.Encoder_EncoderInit(44100, 2, dir.file("bare.raw")), 0);
    const auto samples = ramp(100);
    std::int32_t used = 0;
    encoder.Encoder_Encode(samples.data(), 200, used);
    encoder.Encoder_EncoderClose();
    EXPECT_EQ(dir.read("bare.raw"), Bytes(reinterpret_cast<const char*>(samples.data()), 200));
}

TEST_F(EncoderTest, AnOddFormatLengthGetsNoPadByte) {
    auto format = WaveFormat::pcm(44100, 2).bytes();
    format[16] = 1;  // one extra byte
    format.push_back(0x5A);
    encoder.SetFormat(format.data(), 19, "odd", "PCM");
    ASSERT_EQ(encoder.Encoder_EncoderInit(44100, 2, dir.file("a.wav")), 0);
    ASSERT_EQ(encoder.Encoder_EncoderClose(), 0);
    const Bytes file = dir.read("a.wav");
    ASSERT_EQ(file.size(), 47u);
    EXPECT_EQ(file.substr(16, 4), le32(19));
    EXPECT_EQ(file[38], 0x5A);
    EXPECT_EQ(file.substr(39, 4), "data");
    EXPECT_EQ(file.substr(4, 4), le32(39));
}

TEST_F(EncoderTest, TheHeaderDescribesTheFormatTheFileWasOpenedWith) {
    ASSERT_EQ(encoder.Encoder_EncoderInit(44100, 2, dir.file("a.wav")), 0);
    const auto other = WaveFormat::pcm(8000, 1).bytes();
    encoder.SetFormat(other.data(), 18, "8 kHz", "PCM");
    ASSERT_EQ(encoder.Encoder_EncoderClose(), 0);
    EXPECT_EQ(dir.read("a.wav"), defaultHeader(0));
}

TEST_F(EncoderTest, MetricsTellTheSourceWhileOpen) {
    EXPECT_EQ(encoder.Encoder_EncoderMetrics(1), -1);
    EXPECT_EQ(encoder.Encoder_EncoderMetrics(0), -1);
    EXPECT_EQ(encoder.Encoder_EncoderMetrics(5), 0);
    ASSERT_EQ(encoder.Encoder_EncoderInit(8000, 1, dir.file("a.wav")), 0);
    EXPECT_EQ(encoder.Encoder_EncoderMetrics(1), 16000);
    EXPECT_EQ(encoder.Encoder_EncoderMetrics(0), 2);
    EXPECT_EQ(encoder.Encoder_Description(), "Wave ACM Encoder");
    EXPECT_EQ(encoder.Encoder_Extension(), "wav");
}

TEST_F(EncoderTest, PcmFormatNamesItselfByRateAndChannels) {
    struct Case {
        int rate, channels;
        const char* id;
    } cases[] = {{44100, 2, "44.1 16 Bit stereo"}, {8000, 1, "8 16 Bit mono"}, {22050, 1, "22 16 Bit mono"}, {11025, 2, "11 16 Bit stereo"}, {16000, 1, "16 16 Bit mono"}};
    for (const auto& c : cases) {
        encoder.SetPCMFormat(c.rate, static_cast<std::int16_t>(c.channels));
        EXPECT_EQ(encoder.FormatID(), c.id);
        EXPECT_EQ(encoder.FormatTag(), "PCM");
        EXPECT_EQ(encoder.targetFormatBytes(), WaveFormat::pcm(c.rate, c.channels).bytes());
    }
    encoder.SetPCMFormat(8000, 1, "mine", "tag");
    EXPECT_EQ(encoder.FormatID(), "mine");
    EXPECT_EQ(encoder.FormatTag(), "tag");
}

TEST_F(EncoderTest, WriteFailuresAreReportedAsCode10) {
    // Every write to /dev/full fails for want of space.
    ASSERT_EQ(encoder.Encoder_EncoderInit(44100, 2, "/dev/full"), 0);
    const auto samples = ramp(2000);
    std::int32_t used = 0;
    EXPECT_EQ(encoder.Encoder_Encode(samples.data(), 4000, used), 10);
    EXPECT_EQ(encoder.Encoder_EncoderClose(), 10);

    encoder.setWriteHeader(false);
    ASSERT_EQ(encoder.Encoder_EncoderInit(44100, 2, "/dev/full"), 0);
    EXPECT_EQ(encoder.Encoder_EncoderClose(), 0);  // nothing was written, nothing failed
}

// A disk that fills up mid-block takes part of the last write. The recording ends on whole blocks
// of its format, with the header's sizes those of the audio kept, so every reader takes the file;
// a reader that found half a frame at the end would refuse it or read the channels swapped.
TEST_F(EncoderTest, AFullDiskEndsTheFileOnAWholeBlock) {
    auto choose = [](EncoderWAV& e, std::uint16_t tag, int channels) {
        for (const auto& c : CodecRegistry().choicesFor(8000, static_cast<std::uint16_t>(channels)))
            if (c.format.formatTag == tag && c.format.samplesPerSec == 8000) {
                const auto bytes = c.format.bytes();
                e.SetFormat(bytes.data(), static_cast<std::int32_t>(bytes.size()), c.description, c.tagName);
                return true;
            }
        return false;
    };
    struct Case {
        const char* name;
        int rate, channels;
        std::uint16_t tag;  // 0: 16-bit PCM of the recording's rate and channels
        bool header;
        std::int32_t block;  // bytes of sound given at a time
    };
    const Case cases[] = {
        {"CD stereo, 4-byte frames", 44100, 2, 0, true, 10240},
        {"mono 16 bit, 2-byte frames", 8000, 1, 0, true, 3000},
        {"IMA ADPCM stereo blocks", 8000, 2, wave_tags::kImaAdpcm, true, 4000},
        {"mu-law stereo", 8000, 2, wave_tags::kMuLaw, true, 4000},
        {"CD stereo without a header", 44100, 2, 0, false, 10240},
    };
    // The disk takes this much and no more: an odd count, so the last write ends inside a frame of
    // every format here, with or without a header.
    constexpr rlim_t kDiskRoom = 1048577;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const std::string path = dir.file("full.wav");
        std::filesystem::remove(path);
        EncoderWAV recording;
        if (k.tag) {
            ASSERT_TRUE(choose(recording, k.tag, k.channels));
        } else {
            recording.SetPCMFormat(k.rate, static_cast<std::int16_t>(k.channels));
        }
        recording.setWriteHeader(k.header);
        const std::uint16_t blockAlign = WaveFormat::parse(recording.targetFormatBytes().data(),
                                                           recording.targetFormatBytes().size())
                                             ->blockAlign;
        // The limit is the child's own, so the disk fills for it alone.
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit room{kDiskRoom, kDiskRoom};
            if (setrlimit(RLIMIT_FSIZE, &room) != 0) _exit(2);
            if (recording.Encoder_EncoderInit(k.rate, static_cast<std::int16_t>(k.channels), path) != 0) _exit(3);
            const auto block = ramp(static_cast<std::size_t>(k.block / 2));
            std::int32_t used = 0, code = 0;
            for (int i = 0; i < 100000 && code == 0; ++i) code = recording.Encoder_Encode(block.data(), k.block, used);
            if (code != 10) _exit(4);
            // Its length as the status line shows it is the file's.
            const std::int64_t shown = recording.fileLength();
            if (shown != static_cast<std::int64_t>(std::filesystem::file_size(path))) _exit(5);
            recording.Encoder_EncoderClose();
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << status;
        ASSERT_EQ(WEXITSTATUS(status), 0);

        const Bytes file = dir.read("full.wav");
        const std::size_t headerBytes = k.header ? 46 + (recording.targetFormatBytes().size() - 18) : 0;
        ASSERT_GT(file.size(), headerBytes + 1000000 - 10000);
        const std::size_t data = file.size() - headerBytes;
        EXPECT_EQ(data % blockAlign, 0u) << data << " bytes of audio in blocks of " << blockAlign;
        if (!k.header) continue;
        EXPECT_EQ(file.substr(0, 4), "RIFF");
        EXPECT_EQ(file.substr(4, 4), le32(static_cast<std::uint32_t>(file.size() - 8)));
        EXPECT_EQ(file.substr(headerBytes - 8, 4), "data");
        EXPECT_EQ(file.substr(headerBytes - 4, 4), le32(static_cast<std::uint32_t>(data)));
        if (k.tag == 0) {
            const std::string python = "python3 -c \"import sys, wave; w = wave.open(sys.argv[1]); "
                                       "sys.exit(0 if w.getnframes() * w.getsampwidth() * w.getnchannels() == " +
                                       std::to_string(data) + " else 1)\" '" + path + "'";
            EXPECT_EQ(std::system(python.c_str()), 0) << "Python's wave refuses the file or reads another length";
        }
    }
}

TEST_F(EncoderTest, ClosingAtDestructionFinishesTheFile) {
    {
        EncoderWAV scoped;
        ASSERT_EQ(scoped.Encoder_EncoderInit(44100, 2, dir.file("a.wav")), 0);
        const auto samples = ramp(100);
        std::int32_t used = 0;
        scoped.Encoder_Encode(samples.data(), 200, used);
    }
    EXPECT_EQ(dir.read("a.wav").substr(0, 46), defaultHeader(200));
}

// ---- the chooser ----

TEST_F(EncoderTest, ChooserPicksATargetOrLeavesTheOldOneWhenCancelled) {
    std::vector<FormatChoice> offered;
    int preselected = -2;
    std::string shownTitle;
    int answer = -1;
    EncoderWAV chosen({}, [&](const std::vector<FormatChoice>& choices, int current, const std::string& title, const Window*) {
        offered = choices;
        preselected = current;
        shownTitle = title;
        return answer;
    });
    EXPECT_EQ(chosen.SelectFormat(8000, 1, nullptr, "Select WAV output format"), 11);
    EXPECT_EQ(shownTitle, "Select WAV output format");
    EXPECT_EQ(chosen.FormatTag(), "PCM");
    EXPECT_EQ(chosen.FormatID(), "44.1 kHz 16 Bit Stereo");
    // Without a resampler only the recording's own rate is offered, each codec mono and stereo.
    for (const auto& c : offered) EXPECT_EQ(c.format.samplesPerSec, 8000u) << c.description;
    ASSERT_FALSE(offered.empty());

    int ima = -1;
    for (std::size_t i = 0; i < offered.size(); ++i)
        if (offered[i].tagName == "IMA ADPCM" && offered[i].format.channels == 1) ima = static_cast<int>(i);
    ASSERT_GE(ima, 0);
    answer = ima;
    EXPECT_EQ(chosen.SelectFormat(8000, 1, nullptr, "Select WAV output format"), 0);
    EXPECT_EQ(chosen.FormatTag(), "IMA ADPCM");
    EXPECT_EQ(chosen.FormatID(), "8.000 kHz, 4 Bit, Mono");
    EXPECT_EQ(chosen.targetFormatBytes().size(), 20u);

    // The held format comes preselected next time.
    answer = -1;
    chosen.SelectFormat(8000, 1, nullptr, "Select WAV output format");
    EXPECT_EQ(preselected, ima);

    EncoderWAV noChooser;
    EXPECT_EQ(noChooser.SelectFormat(8000, 1, nullptr, "t"), 11);
}

}  // namespace
}  // namespace tarnwick
