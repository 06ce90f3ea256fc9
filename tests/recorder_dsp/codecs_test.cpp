// The codecs behind the encoder: exact G.711 bytes, whole blocks with the tail carried from call to
// call, the formats offered, and every codec's file decoded again by sox.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/gsm/gsm_encoder.h"
#include "platform/soxr/soxr_rate_converter.h"
#include "recorder/codecs.h"
#include "recorder/encoder_wav.h"
#include "support/temp_dir.h"

namespace tarnwick {
namespace {

CodecLibraries realLibraries() { return {makeSoxrRateConverter, makeLibGsmEncoder}; }

WaveFormat formatFor(std::uint16_t tag, std::uint32_t rate, std::uint16_t channels, std::uint16_t bits = 16) {
    if (tag == wave_tags::kPcm) return WaveFormat::pcm(rate, channels, bits);
    for (const auto& c : CodecRegistry(realLibraries()).choicesFor(rate, channels))
        if (c.format.formatTag == tag && c.format.samplesPerSec == rate && c.format.channels == channels) return c.format;
    ADD_FAILURE() << "no format " << tag << " " << rate << " " << channels;
    return {};
}

// Records interleaved samples into a file with the given target format, in blocks of blockBytes.
void record(const std::string& path, const WaveFormat& target, int rate, int channels,
            const std::vector<std::int16_t>& samples, std::size_t blockBytes = 10240) {
    EncoderWAV encoder(realLibraries());
    const auto bytes = target.bytes();
    encoder.SetFormat(bytes.data(), static_cast<std::int32_t>(bytes.size()), "test", "test");
    ASSERT_EQ(encoder.Encoder_EncoderInit(rate, static_cast<std::int16_t>(channels), path), 0);
    const auto* data = reinterpret_cast<const std::uint8_t*>(samples.data());
    const std::size_t total = samples.size() * 2;
    for (std::size_t done = 0; done < total; done += blockBytes) {
        const auto length = static_cast<std::int32_t>(std::min(blockBytes, total - done));
        std::int32_t used = 0;
        ASSERT_EQ(encoder.Encoder_Encode(data + done, length, used), 0);
        ASSERT_EQ(used, length);  // a partial block is carried, not dropped
    }
    ASSERT_EQ(encoder.Encoder_EncoderClose(), 0);
}

std::vector<std::int16_t> tone(int rate, int channels, double seconds, double hz = 440, double amplitude = 8000) {
    const auto frames = static_cast<std::size_t>(rate * seconds);
    std::vector<std::int16_t> out(frames * channels);
    for (std::size_t f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            out[f * channels + c] = static_cast<std::int16_t>(std::lrint(amplitude * std::sin(2 * M_PI * hz * f / rate)));
    return out;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// ---- exact bytes ----

TEST(Codecs, G711CodesOfSilenceAndFullScale) {
    testing::TempDir dir;
    const std::vector<std::int16_t> samples = {0, 32767, -32768, 0, 1000, -1000};
    struct Case {
        std::uint16_t tag;
        std::string bytes;
    } cases[] = {
        {wave_tags::kALaw, std::string("\xD5\xAA\x2A\xD5\xFA\x7A", 6)},
        {wave_tags::kMuLaw, std::string("\xFF\x80\x00\xFF\xCE\x4E", 6)},
        {wave_tags::kPcm, std::string("\x80\xFF\x00\x80\x83\x7C", 6)},  // unsigned 8 bit
    };
    for (const auto& c : cases) {
        const auto format = formatFor(c.tag, 8000, 1, 8);
        record(dir.file("g.wav"), format, 8000, 1, samples);
        const std::string file = readFile(dir.file("g.wav"));
        ASSERT_EQ(file.size(), 46u + 6);
        EXPECT_EQ(file.substr(46), c.bytes) << c.tag;
        EXPECT_EQ(file.substr(20, 18), std::string(reinterpret_cast<const char*>(format.bytes().data()), 18));
    }
}

// The G.711 segment tables: at every segment's first input and the input below it, in both signs.
// mu-law quantises sample >> 2 with the bias 33 (0x84 on the 16-bit scale): its segments begin at
// the magnitudes 31, 95, 223, 479, 991, 2015 and 4063; A-law quantises sample >> 3 in segments
// beginning at 32, 64, 128, 256, 512, 1024 and 2048.
TEST(Codecs, G711CodesFollowTheSegmentTables) {
    testing::TempDir dir;
    struct Row {
        std::int16_t sample;
        std::uint8_t muLaw, aLaw;
    };
    const Row rows[] = {
        {0, 0xFF, 0xD5},         {3, 0xFF, 0xD5},        {4, 0xFE, 0xD5},         {123, 0xF0, 0xD2},
        {124, 0xEF, 0xD2},       {255, 0xE7, 0xDA},      {256, 0xE7, 0xC5},       {379, 0xE0, 0xC2},
        {380, 0xDF, 0xC2},       {511, 0xDB, 0xCA},      {512, 0xDB, 0xF5},       {891, 0xD0, 0xFE},
        {892, 0xCF, 0xFE},       {1023, 0xCD, 0xFA},     {1024, 0xCD, 0xE5},      {1915, 0xC0, 0xE8},
        {1916, 0xBF, 0xE8},      {2047, 0xBE, 0xEA},     {2048, 0xBE, 0x95},      {3963, 0xB0, 0x9B},
        {3964, 0xAF, 0x9B},      {4095, 0xAF, 0x9A},     {4096, 0xAF, 0x85},      {8059, 0xA0, 0x8A},
        {8060, 0x9F, 0x8A},      {8191, 0x9F, 0x8A},     {8192, 0x9F, 0xB5},      {16251, 0x90, 0xBA},
        {16252, 0x8F, 0xBA},     {16383, 0x8F, 0xBA},    {16384, 0x8F, 0xA5},     {32767, 0x80, 0xAA},
        {-1, 0x7E, 0x55},        {-4, 0x7E, 0x55},       {-5, 0x7E, 0x55},        {-120, 0x70, 0x52},
        {-121, 0x6F, 0x52},      {-256, 0x67, 0x5A},     {-257, 0x67, 0x45},      {-376, 0x60, 0x42},
        {-377, 0x5F, 0x42},      {-512, 0x5B, 0x4A},     {-513, 0x5B, 0x75},      {-1024, 0x4D, 0x7A},
        {-1025, 0x4D, 0x65},     {-4060, 0x2F, 0x1A},    {-8192, 0x1F, 0x0A},     {-8193, 0x1F, 0x35},
        {-16384, 0x0F, 0x3A},    {-16385, 0x0F, 0x25},   {-32768, 0x00, 0x2A},
    };
    std::vector<std::int16_t> samples;
    for (const Row& r : rows) samples.push_back(r.sample);
    for (bool mu : {true, false}) {
        record(dir.file("g.wav"), formatFor(mu ? wave_tags::kMuLaw : wave_tags::kALaw, 8000, 1, 8), 8000, 1, samples);
        const std::string codes = readFile(dir.file("g.wav")).substr(46);
        ASSERT_EQ(codes.size(), samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i)
            EXPECT_EQ(std::uint8_t(codes[i]), mu ? rows[i].muLaw : rows[i].aLaw)
                << (mu ? "mu-law of " : "A-law of ") << samples[i];
    }
}

TEST(Codecs, BlockCodecsCarryTheTailOfEachCallIntoTheNext) {
    testing::TempDir dir;
    // 3001 mono samples in calls of 999 bytes (odd, so even single samples are split).
    const auto samples = tone(8000, 1, 3001.0 / 8000);
    const auto ima = formatFor(wave_tags::kImaAdpcm, 8000, 1);
    ASSERT_EQ(ima.blockAlign, 256);
    ASSERT_EQ(ima.samplesPerBlock(), 505);
    record(dir.file("ima.wav"), ima, 8000, 1, samples, 999);
    const std::string file = readFile(dir.file("ima.wav"));
    // ceil(3001 / 505) = 6 blocks; the header carries the 2-byte samples-per-block field.
    EXPECT_EQ(file.size(), 48u + 6 * 256);
    EXPECT_EQ(file.substr(16, 4), std::string("\x14\0\0\0", 4));
    // Each block starts with its first sample as is.
    for (int block = 0; block < 6; ++block) {
        const auto first = static_cast<std::int16_t>((std::uint8_t(file[48 + 256 * block])) |
                                                     (std::uint8_t(file[49 + 256 * block]) << 8));
        EXPECT_EQ(first, samples[505 * block]) << block;
    }

    const auto gsm = formatFor(wave_tags::kGsm610, 8000, 1);
    EXPECT_EQ(gsm.avgBytesPerSec, 1625u);
    record(dir.file("gsm.wav"), gsm, 8000, 1, samples, 999);
    EXPECT_EQ(readFile(dir.file("gsm.wav")).size(), 48u + 10 * 65);  // ceil(3001 / 320) = 10
}

// 16-bit PCM of the recording's own rate and channels goes to the file as it came, in calls of any
// length: a frame split between calls is joined again.
TEST(Codecs, PcmOfTheSourcesOwnFormatIsWrittenAsItCame) {
    testing::TempDir dir;
    const auto samples = tone(22050, 2, 0.3, 1000, 20000);
    for (std::size_t blockBytes : {std::size_t{999}, std::size_t{1}, std::size_t{44100}}) {
        record(dir.file("pcm.wav"), WaveFormat::pcm(22050, 2, 16), 22050, 2, samples, blockBytes);
        const std::string file = readFile(dir.file("pcm.wav"));
        ASSERT_EQ(file.size(), 46 + samples.size() * 2) << blockBytes;
        EXPECT_TRUE(std::memcmp(file.data() + 46, samples.data(), samples.size() * 2) == 0) << blockBytes;
    }
}

TEST(Codecs, ImaAdpcmCodesFollowTheStandardStepTables) {
    testing::TempDir dir;
    // One block: a first sample of 0 in the header, then a step to 1000. Worked by hand: the codes
    // 7, 7, 7, 7 climb through steps 7, 16, 34 and 73; then 5 (step 157... 337), 0 and 8 settle.
    std::vector<std::int16_t> step(505, 1000);
    step[0] = 0;
    record(dir.file("ima.wav"), formatFor(wave_tags::kImaAdpcm, 8000, 1), 8000, 1, step);
    const std::string file = readFile(dir.file("ima.wav"));
    ASSERT_EQ(file.size(), 48u + 256);
    EXPECT_EQ(file.substr(48, 8), std::string("\0\0\0\0\x77\x77\x57\x80", 8));
}

TEST(Codecs, OfferedFormatsCoverEveryRateMonoAndStereo) {
    const auto all = CodecRegistry(realLibraries()).choicesFor(44100, 2);
    // PCM twice (8 and 16 bit), A-law, mu-law and IMA ADPCM: mono and stereo; GSM mono only.
    EXPECT_EQ(all.size(), CodecRegistry::rates().size() * (2 * 5 + 1));
    int gsmStereo = 0;
    for (const auto& c : all) gsmStereo += c.format.formatTag == wave_tags::kGsm610 && c.format.channels == 2;
    EXPECT_EQ(gsmStereo, 0);
    EXPECT_EQ(CodecRegistry().choicesFor(22050, 1).size(), 2u * (2 + 3));  // no resampler, no GSM
    EXPECT_TRUE(CodecRegistry().choicesFor(0, 1).empty());
    EXPECT_EQ(CodecRegistry().describe(WaveFormat::pcm(44100, 2)), "44.100 kHz, 16 Bit, Stereo");
    EXPECT_EQ(CodecRegistry().describe(formatFor(wave_tags::kGsm610, 8000, 1)), "8.000 kHz, Mono");
}

TEST(Codecs, AFormatThatNeedsAMissingLibraryCannotBeOpened) {
    CodecRegistry bare;
    EXPECT_EQ(bare.open(WaveFormat::pcm(22050, 2), WaveFormat::pcm(44100, 2)), nullptr);
    EXPECT_EQ(bare.open(WaveFormat::pcm(8000, 1), formatFor(wave_tags::kGsm610, 8000, 1)), nullptr);
    EXPECT_NE(bare.open(WaveFormat::pcm(8000, 2), WaveFormat::pcm(8000, 1)), nullptr);
    WaveFormat broken = formatFor(wave_tags::kImaAdpcm, 8000, 1);
    broken.blockAlign = 255;
    EXPECT_EQ(bare.open(WaveFormat::pcm(8000, 1), broken), nullptr);
}

// ---- decoded again by sox ----

bool haveSox() { return std::system("command -v sox > /dev/null 2>&1") == 0; }

struct Fit {
    double amplitude, snrDb;
};

// Least-squares fit of a tone of the given frequency to one channel, over the middle of the signal.
Fit fitTone(const std::vector<std::int16_t>& s, int channels, int channel, int rate, double hz) {
    const std::size_t frames = s.size() / channels, from = frames / 4, to = 3 * frames / 4;
    double ss = 0, sc = 0;
    for (std::size_t f = from; f < to; ++f) {
        ss += s[f * channels + channel] * std::sin(2 * M_PI * hz * f / rate);
        sc += s[f * channels + channel] * std::cos(2 * M_PI * hz * f / rate);
    }
    const double n = double(to - from), a = 2 * ss / n, b = 2 * sc / n;
    double signal = 0, noise = 0;
    for (std::size_t f = from; f < to; ++f) {
        const double fit = a * std::sin(2 * M_PI * hz * f / rate) + b * std::cos(2 * M_PI * hz * f / rate);
        signal += fit * fit;
        noise += (s[f * channels + channel] - fit) * (s[f * channels + channel] - fit);
    }
    return {std::sqrt(a * a + b * b), 10 * std::log10(signal / std::max(noise, 1e-9))};
}

TEST(Codecs, EveryCodecsFileDecodesToTheToneThatWasRecorded) {
    if (!haveSox()) GTEST_SKIP() << "sox is not installed";
    struct Case {
        const char* name;
        std::uint16_t tag, bits;
        int sourceRate, sourceChannels, targetRate, targetChannels;
        double minSnrDb;
    } cases[] = {
        {"pcm8", wave_tags::kPcm, 8, 8000, 1, 8000, 1, 30},
        {"alaw", wave_tags::kALaw, 8, 8000, 1, 8000, 1, 30},
        {"mulaw-stereo", wave_tags::kMuLaw, 8, 8000, 2, 8000, 2, 30},
        {"ima", wave_tags::kImaAdpcm, 4, 8000, 1, 8000, 1, 20},
        {"ima-stereo", wave_tags::kImaAdpcm, 4, 44100, 2, 44100, 2, 20},
        {"gsm", wave_tags::kGsm610, 0, 8000, 1, 8000, 1, 8},
        {"down-and-mono", wave_tags::kPcm, 16, 44100, 2, 8000, 1, 40},
        {"up", wave_tags::kPcm, 16, 22050, 1, 48000, 2, 40},
        {"ima-resampled", wave_tags::kImaAdpcm, 4, 44100, 2, 11025, 1, 20},
    };
    testing::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto target = formatFor(c.tag, c.targetRate, static_cast<std::uint16_t>(c.targetChannels), c.bits);
        record(dir.file("in.wav"), target, c.sourceRate, c.sourceChannels, tone(c.sourceRate, c.sourceChannels, 1.0));
        const std::string command = "sox " + dir.file("in.wav") + " -t raw -e signed-integer -b 16 " +
                                    dir.file("out.raw") + " 2>" + dir.file("sox.err");
        ASSERT_EQ(std::system(command.c_str()), 0) << readFile(dir.file("sox.err"));
        const std::string raw = readFile(dir.file("out.raw"));
        std::vector<std::int16_t> decoded(raw.size() / 2);
        std::memcpy(decoded.data(), raw.data(), decoded.size() * 2);
        const std::size_t frames = decoded.size() / c.targetChannels;
        EXPECT_GE(frames, static_cast<std::size_t>(c.targetRate));  // a second, plus at most a padded block
        EXPECT_LT(frames, static_cast<std::size_t>(c.targetRate) + 2100);
        for (int ch = 0; ch < c.targetChannels; ++ch) {
            const Fit fit = fitTone(decoded, c.targetChannels, ch, c.targetRate, 440);
            EXPECT_NEAR(fit.amplitude, 8000, 8000 * 0.1) << "channel " << ch;
            EXPECT_GT(fit.snrDb, c.minSnrDb) << "channel " << ch;
        }
    }
}

}  // namespace
}  // namespace tarnwick
