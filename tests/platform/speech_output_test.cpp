// The PCM output and the espeak-ng voice through the silent sink that keeps real time.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <gst/gst.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
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

// Watches the GStreamer elements this process makes through a tracer: which thread made each, and
// for every silent sink (the sink the tests play to) when its first buffer reached it, how long that
// buffer was, and how much sound reached it in all. It can also hold the first element another thread
// makes until the test lets go.
class SinkWatch {
public:
    struct Arrival {
        Clock::time_point at;
        GstClockTime duration;
    };
    struct Made {
        Clock::time_point at;
        std::thread::id by;
    };
    static SinkWatch& get() {
        static SinkWatch w;
        return w;
    }
    std::vector<Arrival> arrivals() {
        std::lock_guard<std::mutex> lock(m_);
        return arrivals_;
    }
    // The first buffer that reached a sink since `since`, waiting for one up to half a minute (a
    // busy machine may be slow to start the engines).
    std::optional<Arrival> firstSince(Clock::time_point since) {
        const auto giveUp = Clock::now() + std::chrono::seconds(30);
        for (;;) {
            for (const Arrival& a : arrivals())
                if (a.at >= since) return a;
            if (Clock::now() > giveUp) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    // Seconds of sound that reached the sinks made since `since`.
    double playedSince(Clock::time_point since) {
        std::lock_guard<std::mutex> lock(m_);
        GstClockTime played = 0;
        for (const Sink& s : sinks_)
            if (s.made >= since) played += s.played;
        return static_cast<double>(played) / GST_SECOND;
    }
    // The elements made since `since`.
    std::vector<Made> madeSince(Clock::time_point since) {
        std::lock_guard<std::mutex> lock(m_);
        std::vector<Made> out;
        for (const Made& m : made_)
            if (m.at >= since) out.push_back(m);
        return out;
    }
    // From now on, the first element a thread other than this one makes waits in that thread until
    // release(), for half a minute at most.
    void holdNextElementOffThisThread() {
        std::lock_guard<std::mutex> lock(m_);
        holder_ = std::this_thread::get_id();
        hold_ = Hold::Armed;
    }
    // Lets a held element go on, and any that come later. False when the hold gave up waiting for the
    // test: the element's thread was held for half a minute before the test came here.
    bool release() {
        std::lock_guard<std::mutex> lock(m_);
        const bool inTime = hold_ != Hold::GaveUp;
        hold_ = Hold::Released;
        released_.notify_all();
        return inTime;
    }

private:
    enum class Hold { Off, Armed, Holding, Released, GaveUp };
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
        SinkWatch& w = SinkWatch::get();
        {
            std::unique_lock<std::mutex> lock(w.m_);
            w.made_.push_back({Clock::now(), std::this_thread::get_id()});
            if (w.hold_ == Hold::Armed && std::this_thread::get_id() != w.holder_) {
                w.hold_ = Hold::Holding;
                w.released_.wait_for(lock, std::chrono::seconds(30), [&] { return w.hold_ == Hold::Released; });
                if (w.hold_ == Hold::Holding) w.hold_ = Hold::GaveUp;
            }
        }
        GstElementFactory* factory = gst_element_get_factory(element);
        if (!factory || std::strcmp(GST_OBJECT_NAME(factory), "fakesink") != 0) return;
        std::size_t sink = 0;
        {
            std::lock_guard<std::mutex> lock(w.m_);
            sink = w.sinks_.size();
            w.sinks_.push_back({Clock::now(), false, 0});
        }
        GstPad* pad = gst_element_get_static_pad(element, "sink");
        gst_pad_add_probe(
            pad, GST_PAD_PROBE_TYPE_BUFFER,
            [](GstPad*, GstPadProbeInfo* info, gpointer data) {
                SinkWatch& w = SinkWatch::get();
                std::lock_guard<std::mutex> lock(w.m_);
                const GstClockTime duration = GST_BUFFER_DURATION(GST_PAD_PROBE_INFO_BUFFER(info));
                Sink& s = w.sinks_[reinterpret_cast<std::size_t>(data)];
                if (!s.heard) w.arrivals_.push_back({Clock::now(), duration});
                s.heard = true;
                if (GST_CLOCK_TIME_IS_VALID(duration)) s.played += duration;
                return GST_PAD_PROBE_OK;
            },
            reinterpret_cast<gpointer>(sink), nullptr);
        gst_object_unref(pad);
    }
    // A silent sink: when it was made, and how much sound reached it.
    struct Sink {
        Clock::time_point made;
        bool heard;
        GstClockTime played;
    };
    std::mutex m_;
    std::condition_variable released_;
    std::vector<Arrival> arrivals_;
    std::deque<Sink> sinks_;
    std::vector<Made> made_;
    Hold hold_ = Hold::Off;
    std::thread::id holder_;
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

    // Half a minute in the background: the call comes back while it plays, and a purge ends it.
    SinkWatch& watch = SinkWatch::get();
    std::vector<std::int16_t> long30s(rate * 30, 1000);
    t0 = Clock::now();
    ASSERT_TRUE(playBackground(out, long30s, rate, &error)) << error;
    EXPECT_LT(secondsSince(t0), 15.0) << "background play returns at once, not after the sound";
    EXPECT_TRUE(out.playing());
    ASSERT_TRUE(watch.firstSince(t0).has_value()) << "nothing reached the sink";
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
    // The engines' first element is held where it is made until the caller is back: a caller that
    // waited for the engines would come back only once the hold gave up.
    watch.holdNextElementOffThisThread();
    const auto t0 = Clock::now();
    startSpeechEngines();
    EXPECT_TRUE(watch.release()) << "the caller waited for the engines";
    ASSERT_TRUE(watch.firstSince(t0).has_value()) << "no warm-up sound reached a sink";
    const auto made = watch.madeSince(t0);
    EXPECT_FALSE(made.empty()) << "the engines made no audio elements";
    for (const SinkWatch::Made& m : made)
        EXPECT_NE(m.by, std::this_thread::get_id()) << "an audio element was made on the caller's thread";
}

TEST(EspeakVoice, RateMapsToWordsPerMinute) {
    struct Case {
        int rate, wpm;
    };
    for (Case c : {Case{0, 175}, Case{-5, 101}, Case{5, 303}, Case{10, 450}, Case{-10, 80}})
        EXPECT_EQ(EspeakVoice::wordsPerMinute(c.rate), c.wpm) << c.rate;
}

TEST(EspeakVoice, SyncSpeechTakesRealTimeAndFasterRateIsShorter) {
    SinkWatch& watch = SinkWatch::get();
    EspeakVoice voice;
    const std::string text = "Testing the voice settings";
    // Seconds the call took, and seconds of sound it played.
    auto spoken = [&](int rate) {
        voice.setRate(rate);
        const auto t0 = Clock::now();
        voice.speakSync(text);
        return std::make_pair(secondsSince(t0), watch.playedSince(t0));
    };
    const auto [slowTook, slow] = spoken(-5);
    const auto [fastTook, fast] = spoken(5);
    EXPECT_GT(fast, 0.2) << "speech must be played, not skipped";
    // The call waits for its sound to be played (a loaded machine may add to that, never take from it).
    EXPECT_GE(slowTook, slow - 0.1);
    EXPECT_GE(fastTook, fast - 0.1);
    EXPECT_LT(slowTook, 8.0);
    // Judged by the sound, which no busy machine stretches.
    EXPECT_GT(slow, fast * 1.5) << slow << " s of sound at the slower rate, " << fast << " s at the faster";
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
    SinkWatch& watch = SinkWatch::get();
    const auto t0 = Clock::now();
    // The signal comes once the speech is heard.
    std::optional<Clock::time_point> signalled;
    std::thread stopper([&] {
        if (!watch.firstSince(t0)) return;
        signalled = Clock::now();
        ::kill(::getpid(), SIGTERM);
    });
    voice.speakSync(longText);
    const auto done = Clock::now();
    stopper.join();
    ASSERT_TRUE(signalled.has_value()) << "the speech never reached the sink";
    // A tenth of a second at most on a quiet machine; the bound leaves room for a busy one.
    EXPECT_LT(std::chrono::duration<double>(done - *signalled).count(), 1.0) << "cut short, not spoken to its end";
    // A speech opens an output of its own before its first word: none was opened.
    const auto t1 = Clock::now();
    voice.speakSync("Link on");
    EXPECT_TRUE(watch.madeSince(t1).empty()) << "nothing more is spoken on the way out";
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
