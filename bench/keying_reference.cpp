// The keying benchmark's reference (scripts/bench_keying.sh): the same file and speech output built
// from GStreamer and espeak-ng alone, engines started and warmed beforehand as the tool box starts
// them, timed from the moment a sound is asked for to the first buffer its silent sink plays. What
// the tool box adds on top (the host's round trip, the tools' own steps) is the difference.
//   tarnwick-keying-reference FILE ROUNDS TEXT
// prints one line per sound: "file N MS" or "speech N MS".

#include <espeak-ng/espeak_ng.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The first buffer a sink plays, and when.
struct FirstBuffer {
    std::mutex m;
    std::condition_variable cv;
    bool seen = false;
    Clock::time_point at;

    void reset() {
        std::lock_guard<std::mutex> lock(m);
        seen = false;
    }
    bool wait(int ms) {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return seen; });
    }
};
FirstBuffer gFirst;

void onHandoff(GstElement*, GstBuffer*, GstPad*, gpointer) {
    const auto now = Clock::now();
    std::lock_guard<std::mutex> lock(gFirst.m);
    if (gFirst.seen) return;
    gFirst.seen = true;
    gFirst.at = now;
    gFirst.cv.notify_all();
}

GstElement* silentSink() {
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", TRUE, "silent", TRUE, "enable-last-sample", FALSE, "signal-handoffs", TRUE, nullptr);
    g_signal_connect(sink, "handoff", G_CALLBACK(onHandoff), nullptr);
    return sink;
}

bool waitFor(GstElement* pipeline, GstMessageType types, int ms) {
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* msg = gst_bus_timed_pop_filtered(bus, static_cast<GstClockTime>(ms) * GST_MSECOND,
                                                 static_cast<GstMessageType>(types | GST_MESSAGE_ERROR));
    const bool ok = msg && GST_MESSAGE_TYPE(msg) != GST_MESSAGE_ERROR;
    if (msg) gst_message_unref(msg);
    gst_object_unref(bus);
    return ok;
}

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(gFirst.at - t0).count(); }

// A prepared file set running: the tool box renders each file before keying and runs it after.
bool fileRound(const std::string& uri, double& ms) {
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    g_object_set(playbin, "uri", uri.c_str(), "audio-sink", silentSink(), nullptr);
    gst_util_set_object_arg(G_OBJECT(playbin), "flags", "audio+soft-volume");
    gst_element_set_state(playbin, GST_STATE_PAUSED);
    bool ok = waitFor(playbin, GST_MESSAGE_ASYNC_DONE, 5000);
    gFirst.reset();
    const auto t0 = Clock::now();
    if (ok) ok = gst_element_set_state(playbin, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE && gFirst.wait(5000);
    if (ok) ms = msSince(t0);
    gst_element_set_state(playbin, GST_STATE_NULL);
    gst_object_unref(playbin);
    return ok;
}

GstElement* gSrc = nullptr;
GstElement* gPipeline = nullptr;
guint64 gWritten = 0;
GstClockTime gStart = 0;
int gRate = 0;
FirstBuffer gArrived;  // the first part has reached the sink's pad

GstPadProbeReturn onArrival(GstPad*, GstPadProbeInfo*, gpointer) {
    std::lock_guard<std::mutex> lock(gArrived.m);
    gArrived.seen = true;
    gArrived.cv.notify_all();
    return GST_PAD_PROBE_REMOVE;
}

// Each part is stamped from the moment the first one came; the first is let reach the sink before the
// rest is made, as the tool box does.
int pushSamples(short* wav, int count, espeak_EVENT*) {
    if (!gSrc || !wav || count <= 0) return 0;
    const bool first = gWritten == 0;
    if (first) {
        GstClock* clock = gst_element_get_clock(gPipeline);
        gStart = clock ? gst_clock_get_time(clock) - gst_element_get_base_time(gPipeline) : 0;
        if (clock) gst_object_unref(clock);
    }
    const gsize bytes = static_cast<gsize>(count) * sizeof(short);
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    gst_buffer_fill(buffer, 0, wav, bytes);
    const GstClockTime offset = gst_util_uint64_scale(gWritten, GST_SECOND, gRate);
    gWritten += static_cast<guint64>(count);
    GST_BUFFER_PTS(buffer) = gStart + offset;
    GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(gWritten, GST_SECOND, gRate) - offset;
    if (gst_app_src_push_buffer(GST_APP_SRC(gSrc), buffer) != GST_FLOW_OK) return 1;
    if (first) gArrived.wait(50);
    return 0;
}

// The speech output: samples in, converted, at a gain, to the sink; live, so it plays each part as
// it comes.
GstElement* speechChain(GstElement* sink) {
    GstElement* pipeline = gst_pipeline_new(nullptr);
    gSrc = gst_element_factory_make("appsrc", nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    GstElement* volume = gst_element_factory_make("volume", nullptr);
    gst_bin_add_many(GST_BIN(pipeline), gSrc, convert, resample, volume, sink, nullptr);
    gst_element_link_many(gSrc, convert, resample, volume, sink, nullptr);
    GstCaps* caps = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout", G_TYPE_STRING,
                                        "interleaved", "rate", G_TYPE_INT, gRate, "channels", G_TYPE_INT, 1, nullptr);
    g_object_set(gSrc, "caps", caps, "format", GST_FORMAT_TIME, "is-live", TRUE, nullptr);
    gst_caps_unref(caps);
    g_object_set(sink, "async", FALSE, nullptr);
    return pipeline;
}

bool speechRound(const std::string& text, double& ms) {
    gFirst.reset();
    gArrived.reset();
    const auto t0 = Clock::now();
    GstElement* sink = silentSink();
    gPipeline = speechChain(sink);
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, onArrival, nullptr, nullptr);
    gst_object_unref(pad);
    gst_element_set_state(gPipeline, GST_STATE_PLAYING);
    gWritten = 0;
    espeak_ng_Synthesize(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_AUTO, nullptr, nullptr);
    gst_app_src_end_of_stream(GST_APP_SRC(gSrc));
    bool ok = gFirst.wait(5000);
    if (ok) ms = msSince(t0);
    ok = waitFor(gPipeline, GST_MESSAGE_EOS, 30000) && ok;
    gst_element_set_state(gPipeline, GST_STATE_NULL);
    gst_object_unref(gPipeline);
    gSrc = nullptr;
    return ok;
}

// A moment of silence through the speech chain to a sink that plays nothing, as the tool box warms it.
void warmUp() {
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", TRUE, "silent", TRUE, nullptr);
    gPipeline = speechChain(sink);
    gst_element_set_state(gPipeline, GST_STATE_PLAYING);
    std::vector<short> silence(static_cast<std::size_t>(gRate / 20), 0);
    pushSamples(silence.data(), static_cast<int>(silence.size()), nullptr);
    gst_app_src_end_of_stream(GST_APP_SRC(gSrc));
    waitFor(gPipeline, GST_MESSAGE_EOS, 2000);
    gst_element_set_state(gPipeline, GST_STATE_NULL);
    gst_object_unref(gPipeline);
    gSrc = nullptr;
    gWritten = 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s FILE ROUNDS TEXT\n", argv[0]);
        return 2;
    }
    gst_init(nullptr, nullptr);
    const int rounds = std::atoi(argv[2]);
    const std::string text = argv[3];
    gchar* uri = gst_filename_to_uri(argv[1], nullptr);
    if (!uri) return 1;

    // The engines, started before any sound as the tool box starts them once its loop runs.
    for (const char* name : {"appsrc", "audioconvert", "audioresample", "volume", "fakesink", "playbin"})
        if (GstElement* e = gst_element_factory_make(name, nullptr)) gst_object_unref(gst_object_ref_sink(e));
    espeak_ng_InitializePath(nullptr);
    if (espeak_ng_Initialize(nullptr) != ENS_OK || espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr) != ENS_OK ||
        espeak_ng_SetVoiceByName(ESPEAKNG_DEFAULT_VOICE) != ENS_OK) {
        std::fprintf(stderr, "espeak-ng could not start\n");
        return 1;
    }
    espeak_SetSynthCallback(pushSamples);
    gRate = espeak_ng_GetSampleRate();
    espeak_ng_Synthesize("Link", 5, 0, POS_CHARACTER, 0, espeakCHARS_AUTO, nullptr, nullptr);  // thrown away
    warmUp();

    int failures = 0;
    for (int i = 1; i <= rounds; ++i) {
        double ms = 0;
        if (fileRound(uri, ms))
            std::printf("file %d %.3f\n", i, ms);
        else
            ++failures;
    }
    for (int i = 1; i <= rounds; ++i) {
        double ms = 0;
        if (speechRound(text, ms))
            std::printf("speech %d %.3f\n", i, ms);
        else
            ++failures;
    }
    g_free(uri);
    return failures ? 1 : 0;
}
