// The GStreamer file player on real files through the silent sink that keeps real time.

#include <gst/gst.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "platform/gstreamer/gst_audio.h"
#include "platform/gstreamer/gst_media_player.h"
#include "support/wav.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using testing::writeNoteMidi;
using testing::writeToneWav;
using Clock = std::chrono::steady_clock;

constexpr double kToneSeconds = 1.5;

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

bool haveElement(const char* name) {
    GstElementFactory* f = gst_element_factory_find(name);
    if (f) gst_object_unref(f);
    return f != nullptr;
}

// Encodes a tone to a constant-rate MP3 with GStreamer itself, without a length header, the hard
// case for knowing the duration up front; false when no encoder is installed.
bool writeToneMp3(const fs::path& path, double seconds) {
    if (!haveElement("lamemp3enc")) return false;
    const int rate = 44100, perBuffer = 441;
    const std::string desc = "audiotestsrc num-buffers=" + std::to_string(static_cast<int>(seconds * rate / perBuffer)) +
                             " samplesperbuffer=" + std::to_string(perBuffer) +
                             " ! audio/x-raw,rate=44100,channels=1 ! audioconvert ! lamemp3enc target=bitrate cbr=true bitrate=64 ! filesink name=out";
    GError* err = nullptr;
    GstElement* pipe = gst_parse_launch(desc.c_str(), &err);
    if (!pipe) {
        if (err) g_error_free(err);
        return false;
    }
    GstElement* out = gst_bin_get_by_name(GST_BIN(pipe), "out");
    g_object_set(out, "location", path.c_str(), nullptr);
    gst_object_unref(out);
    gst_element_set_state(pipe, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipe);
    GstMessage* msg = gst_bus_timed_pop_filtered(bus, 10 * GST_SECOND,
                                                 static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    bool ok = msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS;
    if (msg) gst_message_unref(msg);
    gst_object_unref(bus);
    gst_element_set_state(pipe, GST_STATE_NULL);
    gst_object_unref(pipe);
    return ok && fs::file_size(path) > 0;
}

class MediaFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(ensureGstInit());
        dir_ = fs::temp_directory_path() / ("tarnwick-media-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        // Blanks, '#', '?' and brackets must reach the player as part of the name.
        wav_ = dir_ / "news #1 (test)?.wav";
        writeToneWav(wav_.string(), kToneSeconds);
        mid_ = dir_ / "beacon.mid";
        writeNoteMidi(mid_, kToneSeconds);
        mp3_ = dir_ / "news.mp3";
        haveMp3_ = writeToneMp3(mp3_, kToneSeconds) && haveElement("mpg123audiodec");
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    static fs::path dir_, wav_, mp3_, mid_;
    static bool haveMp3_;
    GstMediaPlayer player_;
};
fs::path MediaFiles::dir_, MediaFiles::wav_, MediaFiles::mp3_, MediaFiles::mid_;
bool MediaFiles::haveMp3_ = false;

class PlaysToTheEnd : public MediaFiles, public ::testing::WithParamInterface<const char*> {};

TEST_P(PlaysToTheEnd, DurationKnownAfterRenderAndEndReportedOnTime) {
    const std::string kind = GetParam();
    if (kind == "mp3" && !haveMp3_) GTEST_SKIP() << "no MP3 encoder or decoder installed";
    // MIDI is one of the player's listed kinds: its decoder and sound font are installed with the
    // program (scripts/packages.txt), so a missing one is a failure, not a skip.
    const fs::path file = kind == "mp3" ? mp3_ : kind == "mid" ? mid_ : wav_;

    std::string error;
    ASSERT_TRUE(player_.render(file.string(), error)) << error;
    EXPECT_TRUE(player_.loaded());
    const double length = player_.duration();
    EXPECT_NEAR(length, kToneSeconds, 0.1);
    EXPECT_NEAR(player_.position(), 0.0, 0.01);
    EXPECT_FALSE(player_.ended());

    const auto t0 = Clock::now();
    player_.run();
    std::string endError = "untouched";
    while (!player_.ended(&endError) && secondsSince(t0) < length + 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const double took = secondsSince(t0);

    ASSERT_TRUE(player_.ended());
    EXPECT_EQ(endError, "untouched") << "a clean end carries no error";
    EXPECT_GT(took, length - 0.15) << "the silent sink must take real time";
    EXPECT_LT(took, length + 5.0) << "a loaded machine may hold the sound back a little, never for long";
    // At the end the position reads the full length, which the player's display compares against.
    EXPECT_DOUBLE_EQ(player_.position(), player_.duration());

    player_.release();
    EXPECT_FALSE(player_.loaded());
}

INSTANTIATE_TEST_SUITE_P(Formats, PlaysToTheEnd, ::testing::Values("wav", "mp3", "mid"));

TEST_F(MediaFiles, StopKeepsPositionSeekMovesItAndRunContinues) {
    std::string error;
    ASSERT_TRUE(player_.render(wav_.string(), error)) << error;
    player_.run();
    auto t = Clock::now();
    while (player_.position() < 0.3 && secondsSince(t) < 10) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    player_.stop();
    const double stoppedAt = player_.position();
    EXPECT_GE(stoppedAt, 0.3);
    EXPECT_LT(stoppedAt, 1.2);
    // A second player plays the same file meanwhile: once it has moved a quarter of a second, the
    // first would have moved as far had it not stopped, however slowly the machine runs both.
    GstMediaPlayer witness;
    ASSERT_TRUE(witness.render(wav_.string(), error)) << error;
    witness.run();
    t = Clock::now();
    while (witness.position() < 0.25 && secondsSince(t) < 10) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(witness.position(), 0.25) << "the second player never played";
    EXPECT_NEAR(player_.position(), stoppedAt, 0.02) << "stopped playback must not move";
    EXPECT_FALSE(player_.ended());
    witness.release();

    player_.setPosition(1.2);
    EXPECT_NEAR(player_.position(), 1.2, 0.05);
    const auto t0 = Clock::now();
    player_.run();
    // Only the rest after the seek is played: the position never goes back before it.
    double lowest = player_.position();
    while (!player_.ended() && secondsSince(t0) < 10) {
        lowest = std::min(lowest, player_.position());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(player_.ended());
    EXPECT_GE(lowest, 1.2 - 0.05) << "only the rest after the seek is played";
    // The rest takes its 0.3 s (a loaded machine may add to it, never take from it).
    EXPECT_GE(secondsSince(t0), kToneSeconds - 1.2 - 0.15);
}

TEST_F(MediaFiles, ASeekToTheStartOfAFileStillAtItsStartIsLeftOut) {
    std::string error;
    ASSERT_TRUE(player_.render(wav_.string(), error)) << error;
    player_.setPosition(0);  // just loaded
    player_.run();
    player_.setPosition(0);  // just set running, as the player does with every file
    EXPECT_EQ(player_.seeks(), 0);
    const auto t0 = Clock::now();
    while (player_.position() < 0.2 && secondsSince(t0) < 10) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    player_.setPosition(0);  // a real rewind
    EXPECT_EQ(player_.seeks(), 1);
    EXPECT_LT(player_.position(), 0.1);
}

TEST_F(MediaFiles, UnplayableFilesAreRefusedWithAReason) {
    const fs::path text = dir_ / "notes.mp3";
    std::ofstream(text) << "This is not sound at all, just some words in a file.\n";
    const fs::path empty = dir_ / "empty.wav";
    std::ofstream{empty};
    const fs::path folder = dir_ / "folder.wav";
    fs::create_directories(folder);

    for (const fs::path& p : {dir_ / "missing.wav", text, empty, folder, fs::path()}) {
        SCOPED_TRACE(p.string());
        std::string error;
        EXPECT_FALSE(player_.render(p.string(), error));
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(player_.loaded());
        EXPECT_EQ(player_.duration(), 0.0);
    }
    // The player is still usable after a refusal.
    std::string error;
    EXPECT_TRUE(player_.render(wav_.string(), error)) << error;
}

TEST_F(MediaFiles, VolumeIsClampedAndNeedsALoadedFile) {
    player_.setVolume(-1500);
    EXPECT_EQ(player_.volume(), 0) << "without a file the call changes nothing";

    std::string error;
    ASSERT_TRUE(player_.render(wav_.string(), error)) << error;
    struct Case {
        int in, stored;
    };
    for (Case c : {Case{-1404, -1404}, Case{-20000, -10000}, Case{250, 0}, Case{-3000, -3000}}) {
        player_.setVolume(c.in);
        EXPECT_EQ(player_.volume(), c.stored) << c.in;
    }
    ASSERT_TRUE(player_.render(wav_.string(), error)) << error;
    EXPECT_EQ(player_.volume(), 0) << "a new file starts at full volume";
}

TEST(LinearVolume, TenToTheHundredthsOverTwoThousand) {
    EXPECT_DOUBLE_EQ(linearVolume(0), 1.0);
    EXPECT_NEAR(linearVolume(-2000), 0.1, 1e-12);
    EXPECT_NEAR(linearVolume(-3000), std::pow(10.0, -1.5), 1e-12);
    EXPECT_EQ(linearVolume(-10000), 0.0) << "the bottom of the scale is silence";
}

}  // namespace
}  // namespace tarnwick
