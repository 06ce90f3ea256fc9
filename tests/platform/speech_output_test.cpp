// The PCM output and the espeak-ng voice through the silent sink that keeps real time.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/espeak/espeak_voice.h"
#include "platform/gstreamer/pcm_output.h"

namespace tarnwick {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

TEST(PcmOutput, BlockingPlayTakesTheSoundsLengthAndBackgroundPlayCanBePurged) {
    PcmOutput out;
    const int rate = 16000;
    std::vector<std::int16_t> half(rate / 2, 1000);

    auto t0 = Clock::now();
    std::string error;
    ASSERT_TRUE(out.playBlocking(half, rate, &error)) << error;
    // It takes the sound's length at least; a loaded machine may add to it, never take from it.
    EXPECT_GE(secondsSince(t0), 0.45);
    EXPECT_LT(secondsSince(t0), 3.0);
    EXPECT_FALSE(out.playing());

    std::vector<std::int16_t> long3s(rate * 3, 1000);
    t0 = Clock::now();
    ASSERT_TRUE(out.playBackground(long3s, rate, &error)) << error;
    EXPECT_LT(secondsSince(t0), 1.5) << "background play returns at once, not after the sound's 3 s";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(out.playing());
    out.purge();
    EXPECT_FALSE(out.playing());

    // A short background sound finishes on its own.
    ASSERT_TRUE(out.playBackground(std::vector<std::int16_t>(rate / 10, 1000), rate, &error)) << error;
    for (int i = 0; i < 50 && out.playing(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(out.playing());
}

TEST(EspeakVoice, RateMapsToWordsPerMinute) {
    struct Case {
        int rate, wpm;
    };
    for (Case c : {Case{0, 175}, Case{-5, 101}, Case{5, 303}, Case{10, 450}, Case{-10, 80}})
        EXPECT_EQ(EspeakVoice::wordsPerMinute(c.rate), c.wpm) << c.rate;
}

TEST(EspeakVoice, SyncSpeechTakesRealTimeAndFasterRateIsShorter) {
    EspeakVoice voice;
    const std::string text = "Testing the voice settings";
    auto timed = [&](int rate) {
        voice.setRate(rate);
        const auto t0 = Clock::now();
        voice.speakSync(text);
        return secondsSince(t0);
    };
    const double slow = timed(-5);
    const double fast = timed(5);
    EXPECT_GT(fast, 0.2) << "speech must be played, not skipped";
    EXPECT_LT(slow, 8.0);
    EXPECT_GT(slow, fast * 1.5);
}

TEST(EspeakVoice, SyncSpeechDiscardsBackgroundSpeech) {
    EspeakVoice voice;
    voice.setRate(5);
    const std::string longText =
        "This is a long sentence spoken in the background that would take many seconds to finish if nobody stopped "
        "it, and it goes on and on.";
    auto t0 = Clock::now();
    voice.speakAsync(longText);
    // Bounds leave room for a machine busy with other tests; the long text alone takes about five seconds.
    EXPECT_LT(secondsSince(t0), 2.0) << "background speech returns at once";

    t0 = Clock::now();
    voice.speakSync("Link on");
    const double took = secondsSince(t0);
    EXPECT_GT(took, 0.2);
    EXPECT_LT(took, 4.0) << "keyed speech must not wait for the background speech";
    voice.purge();
}

TEST(EspeakVoiceDeathTest, MissingVoiceDataIsReportedNotFatal) {
    const std::string empty =
        (std::filesystem::temp_directory_path() / ("tarnwick-no-voice-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(empty);
    EXPECT_EXIT(
        {
            setenv("ESPEAK_DATA_PATH", empty.c_str(), 1);
            EspeakVoice voice;
            voice.speakSync("one");
            voice.speakAsync("two");
            voice.purge();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "ERROR speech: .*ERROR speech: ");
    std::filesystem::remove_all(empty);
}

}  // namespace
}  // namespace tarnwick
