// The PCM output and the espeak-ng voice through the silent sink that keeps real time.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <gst/gst.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/espeak/espeak_voice.h"
#include "platform/gstreamer/gst_audio.h"
#include "platform/gstreamer/pcm_output.h"
#include "runtime/termination_signals.h"
#include "runtime/virtual_runtime.h"

namespace tarnwick {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Watches every silent sink this process makes (the sink the tests play to) through a GStreamer tracer:
// when the first buffer of each reached it, and how long that buffer was.
class SinkWatch {
public:
    struct Arrival {
        Clock::time_point at;
        GstClockTime duration;
    };
    static SinkWatch& get() {
        static SinkWatch w;
        return w;
    }
    std::vector<Arrival> arrivals() {
        std::lock_guard<std::mutex> lock(m_);
        return arrivals_;
    }
    // The first buffer that reached a sink since `since`, waiting up to a few seconds for one.
    std::optional<Arrival> firstSince(Clock::time_point since) {
        for (int i = 0; i < 500; ++i) {
            for (const Arrival& a : arrivals())
                if (a.at >= since) return a;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return std::nullopt;
    }

private:
    struct Tracer {
        GstTracer parent;
    };
    struct TracerClass {
        GstTracerClass parent;
    };
    SinkWatch() {
        ensureGstInit();
        GType type = g_type_register_static_simple(
            GST_TYPE_TRACER, "TarnwickTestSinkWatch", sizeof(TracerClass), [](gpointer, gpointer) {}, sizeof(Tracer),
            [](GTypeInstance* self, gpointer) {
                gst_tracing_register_hook(GST_TRACER(self), "element-new", G_CALLBACK(&SinkWatch::onElementNew));
            },
            static_cast<GTypeFlags>(0));
        tracer_ = g_object_new(type, nullptr);  // kept for the life of the process
    }
    static void onElementNew(GObject*, GstClockTime, GstElement* element) {
        GstElementFactory* factory = gst_element_get_factory(element);
        if (!factory || std::strcmp(GST_OBJECT_NAME(factory), "fakesink") != 0) return;
        GstPad* pad = gst_element_get_static_pad(element, "sink");
        gst_pad_add_probe(
            pad, GST_PAD_PROBE_TYPE_BUFFER,
            [](GstPad*, GstPadProbeInfo* info, gpointer) {
                SinkWatch& w = SinkWatch::get();
                std::lock_guard<std::mutex> lock(w.m_);
                w.arrivals_.push_back({Clock::now(), GST_BUFFER_DURATION(GST_PAD_PROBE_INFO_BUFFER(info))});
                return GST_PAD_PROBE_REMOVE;
            },
            nullptr, nullptr);
        gst_object_unref(pad);
    }
    std::mutex m_;
    std::vector<Arrival> arrivals_;
    gpointer tracer_ = nullptr;
};

// A whole sound at once, played to its end or left to play on.
bool playBlocking(PcmOutput& out, const std::vector<std::int16_t>& samples, int rate, std::string* error) {
    return out.open(rate, error) && out.write(samples.data(), samples.size(), error) && out.finish(error);
}
bool playBackground(PcmOutput& out, const std::vector<std::int16_t>& samples, int rate, std::string* error) {
    return out.open(rate, error) && out.write(samples.data(), samples.size(), error) && out.finishInBackground(error);
}

TEST(PcmOutput, BlockingPlayTakesTheSoundsLengthAndBackgroundPlayCanBePurged) {
    PcmOutput out;
    const int rate = 16000;
    std::vector<std::int16_t> half(rate / 2, 1000);

    auto t0 = Clock::now();
    std::string error;
    ASSERT_TRUE(playBlocking(out, half, rate, &error)) << error;
    // It takes the sound's length at least; a loaded machine may add to it, never take from it.
    EXPECT_GE(secondsSince(t0), 0.45);
    EXPECT_LT(secondsSince(t0), 3.0);
    EXPECT_FALSE(out.playing());

    std::vector<std::int16_t> long3s(rate * 3, 1000);
    t0 = Clock::now();
    ASSERT_TRUE(playBackground(out, long3s, rate, &error)) << error;
    EXPECT_LT(secondsSince(t0), 1.5) << "background play returns at once, not after the sound's 3 s";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(out.playing());
    out.purge();
    EXPECT_FALSE(out.playing());

    // A short background sound finishes on its own.
    ASSERT_TRUE(playBackground(out, std::vector<std::int16_t>(rate / 10, 1000), rate, &error)) << error;
    for (int i = 0; i < 50 && out.playing(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(out.playing());
}

TEST(PcmOutput, AStreamedSoundIsPlayedFromItsFirstPartOnAndToItsEnd) {
    SinkWatch& watch = SinkWatch::get();
    PcmOutput out;
    const int rate = 16000;
    std::string error;
    const auto t0 = Clock::now();
    ASSERT_TRUE(out.open(rate, &error)) << error;
    const std::vector<std::int16_t> tenth(rate / 10, 1000);
    ASSERT_TRUE(out.write(tenth.data(), tenth.size(), &error)) << error;
    const auto firstWritten = Clock::now();
    const auto first = watch.firstSince(t0);
    ASSERT_TRUE(first.has_value()) << "nothing reached the sink";
    EXPECT_LE(first->at, firstWritten) << "the first part should reach the sink before the caller goes on";
    const std::vector<std::int16_t> rest(rate * 4 / 10, 1000);
    ASSERT_TRUE(out.write(rest.data(), rest.size(), &error)) << error;
    ASSERT_TRUE(out.finish(&error)) << error;
    EXPECT_GE(secondsSince(t0), 0.45) << "the whole sound is played before finish() returns";
    EXPECT_FALSE(out.isOpen());
    EXPECT_FALSE(out.playing());
}

// Speech is heard from its first words while the rest of the text is still being made: the first part
// of a long text reaches the sink before the voice has made all of it, and it is a small part.
TEST(EspeakVoice, SpeechIsHeardWhileTheRestIsStillBeingMade) {
    SinkWatch& watch = SinkWatch::get();
    std::string text;
    for (int i = 0; i < 60; ++i) text += "The quick brown fox jumps over the lazy dog, number " + std::to_string(i) + ". ";
    EspeakVoice voice;
    voice.setRate(5);
    const auto t0 = Clock::now();
    voice.speakAsync(text);  // makes the whole text, then lets it play on
    const auto made = Clock::now();
    const auto first = watch.firstSince(t0);
    voice.purge();
    ASSERT_TRUE(first.has_value()) << "nothing reached the sink";
    EXPECT_LT(first->at, made) << "the sound waited until the whole text was made";
    EXPECT_LT(first->duration, GST_SECOND) << "the first part to play was the whole text";
}

// The engines start on a thread of their own and take one silent sound through the speech chain, so
// the first speech finds everything loaded and prepared; the caller does not wait for it.
TEST(EspeakVoice, EnginesStartInTheBackgroundBeforeAnySpeech) {
    SinkWatch& watch = SinkWatch::get();
    const auto t0 = Clock::now();
    startSpeechEngines();
    EXPECT_LT(secondsSince(t0), 0.5) << "the caller waited for the engines";
    EXPECT_TRUE(watch.firstSince(t0).has_value()) << "no warm-up sound reached a sink";
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

TEST(EspeakVoice, AStopSignalCutsKeyedSpeechShortAndNoNewSpeechBegins) {
    VirtualRuntime rt;
    TerminationSignals signals(rt, [](int) {});
    EspeakVoice voice;
    const std::string longText =
        "This long sentence stands for a chat line of two hundred and fifty six characters that keeps the "
        "transmitter keyed for many seconds while it is spoken, and the operator wants the node to stop now.";
    Clock::time_point signalled;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        signalled = Clock::now();
        ::kill(::getpid(), SIGTERM);
    });
    const auto t0 = Clock::now();
    voice.speakSync(longText);
    const auto done = Clock::now();
    stopper.join();
    EXPECT_GT(std::chrono::duration<double>(done - t0).count(), 0.9) << "the speech was playing";
    // A tenth of a second at most on a quiet machine; the bound leaves room for a busy one.
    EXPECT_LT(std::chrono::duration<double>(done - signalled).count(), 1.0) << "cut short, not spoken to its end";
    const auto t1 = Clock::now();
    voice.speakSync("Link on");
    EXPECT_LT(secondsSince(t1), 0.1) << "nothing more is spoken on the way out";
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
