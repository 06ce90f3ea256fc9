#include "platform/gstreamer/pcm_output.h"

#include <gst/app/gstappsrc.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/gstreamer/gst_audio.h"

namespace tarnwick {

namespace {

// A sink that waits to be primed before it counts as started holds the first part of a live sound
// until the pipeline has been told it started; one that does not plays it as it comes. The desktop's
// output is a bin that picks its sink when it opens, so the setting also goes to what it picks then.
void noPreroll(GstElement* sink);

void onSinkPicked(GstBin*, GstElement* element, gpointer) { noPreroll(element); }

void noPreroll(GstElement* sink) {
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(sink), "async")) {
        g_object_set(sink, "async", FALSE, nullptr);
        return;
    }
    if (!GST_IS_BIN(sink)) return;
    g_signal_connect(sink, "element-added", G_CALLBACK(onSinkPicked), nullptr);
    GstIterator* it = gst_bin_iterate_elements(GST_BIN(sink));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        noPreroll(GST_ELEMENT(g_value_get_object(&item)));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
}

}  // namespace

PcmOutput::~PcmOutput() { purge(); }

void PcmOutput::setVolume(double gain) { gain_ = std::clamp(gain, 0.0, 1.0); }

void PcmOutput::purge() {
    src_ = nullptr;
    arrival_.reset();
    if (pipeline_) {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
        pipeline_ = nullptr;
    }
    if (bus_) {
        gst_object_unref(bus_);
        bus_ = nullptr;
    }
}

bool PcmOutput::playing() {
    if (!pipeline_) return false;
    if (src_) return true;  // still being written
    GstMessage* msg = gst_bus_pop_filtered(bus_, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (!msg) return true;
    gst_message_unref(msg);
    // Finished: let go of the output device now rather than at the next sound.
    purge();
    return false;
}

bool PcmOutput::failed(const std::string& why, std::string* error) {
    std::string text = why;
    if (bus_) {
        if (GstMessage* msg = gst_bus_pop_filtered(bus_, GST_MESSAGE_ERROR)) {
            text = gstErrorText(msg);
            gst_message_unref(msg);
        }
    }
    if (error) *error = text;
    purge();
    return false;
}

namespace {

// The chain every sound takes: samples in, converted to what the sink takes, at the set gain. Returns
// the pipeline (a reference the caller owns) with its source in *src, or nullptr with the reason. The
// sink is taken over in every case.
GstElement* buildChain(GstElement* sink, int sampleRate, double gain, GstElement** src, std::string* error) {
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* source = gst_element_factory_make("appsrc", nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    GstElement* volume = gst_element_factory_make("volume", nullptr);
    if (!pipeline || !source || !convert || !resample || !volume || !sink) {
        for (GstElement* e : {pipeline, source, convert, resample, volume, sink})
            if (e) gst_object_unref(gst_object_ref_sink(e));
        if (error) *error = "GStreamer's audio elements are not installed";
        return nullptr;
    }
    gst_bin_add_many(GST_BIN(pipeline), source, convert, resample, volume, sink, nullptr);
    gst_object_ref_sink(pipeline);
    if (!gst_element_link_many(source, convert, resample, volume, sink, nullptr)) {
        gst_object_unref(pipeline);
        if (error) *error = "audio elements could not be linked";
        return nullptr;
    }
    GstCaps* caps = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout", G_TYPE_STRING,
                                        "interleaved", "rate", G_TYPE_INT, sampleRate, "channels", G_TYPE_INT, 1,
                                        nullptr);
    // Live: the output runs before the first samples exist and plays each part the moment it comes,
    // stamped with the time it came, instead of waiting to be primed with the start of the sound.
    g_object_set(source, "caps", caps, "format", GST_FORMAT_TIME, "is-live", TRUE, nullptr);
    gst_caps_unref(caps);
    g_object_set(volume, "volume", gain, nullptr);
    noPreroll(sink);
    *src = source;
    return pipeline;
}

}  // namespace

bool PcmOutput::open(int sampleRate, std::string* error) {
    purge();
    std::string why;
    if (!ensureGstInit(&why)) {
        if (error) *error = why;
        return false;
    }
    if (sampleRate <= 0) {
        if (error) *error = "invalid sample rate";
        return false;
    }
    GstElement* sink = makeAudioSink();
    GstElement* src = nullptr;
    pipeline_ = buildChain(sink, sampleRate, gain_, &src, error);
    if (!pipeline_) return false;
    bus_ = gst_element_get_bus(pipeline_);

    arrival_ = std::make_shared<Arrival>();
    if (GstPad* pad = gst_element_get_static_pad(sink, "sink")) {
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, &PcmOutput::onFirstBuffer, new std::shared_ptr<Arrival>(arrival_),
                          [](gpointer p) { delete static_cast<std::shared_ptr<Arrival>*>(p); });
        gst_object_unref(pad);
    }

    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return failed("the audio output could not be opened", error);
    src_ = src;
    rate_ = sampleRate;
    written_ = 0;
    start_ = 0;
    return true;
}

void PcmOutput::warmUp(int sampleRate) {
    if (!ensureGstInit() || sampleRate <= 0) return;
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    // Keeps to the clock as every sink does, so that way is taken once too.
    if (sink) g_object_set(sink, "sync", TRUE, "silent", TRUE, nullptr);
    GstElement* src = nullptr;
    GstElement* pipeline = buildChain(sink, sampleRate, 1.0, &src, nullptr);
    if (!pipeline) return;
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
        // A twentieth of a second of silence takes the way every sound takes, once.
        const gsize bytes = static_cast<gsize>(sampleRate / 20) * sizeof(std::int16_t);
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
        gst_buffer_memset(buffer, 0, 0, bytes);
        GST_BUFFER_PTS(buffer) = 0;
        GST_BUFFER_DURATION(buffer) = GST_SECOND / 20;
        gst_app_src_push_buffer(GST_APP_SRC(src), buffer);
        gst_app_src_end_of_stream(GST_APP_SRC(src));
        GstBus* bus = gst_element_get_bus(pipeline);
        if (GstMessage* msg = gst_bus_timed_pop_filtered(bus, 2 * GST_SECOND,
                                                         static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)))
            gst_message_unref(msg);
        gst_object_unref(bus);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
}

GstPadProbeReturn PcmOutput::onFirstBuffer(GstPad*, GstPadProbeInfo*, gpointer data) {
    Arrival& a = **static_cast<std::shared_ptr<Arrival>*>(data);
    {
        std::lock_guard<std::mutex> lock(a.m);
        a.arrived = true;
    }
    a.cv.notify_all();
    return GST_PAD_PROBE_REMOVE;
}

GstClockTime PcmOutput::runningTime() const {
    GstClock* clock = gst_element_get_clock(pipeline_);
    if (!clock) return 0;
    const GstClockTime now = gst_clock_get_time(clock);
    gst_object_unref(clock);
    const GstClockTime base = gst_element_get_base_time(pipeline_);
    return now > base ? now - base : 0;
}

bool PcmOutput::write(const std::int16_t* samples, std::size_t count, std::string* error) {
    if (!src_) {
        if (error) *error = "no sound is open";
        return false;
    }
    if (count == 0) return true;
    const bool first = written_ == 0;
    // The sound starts now; every later part follows on without a gap, however fast it was made.
    if (first) start_ = runningTime();
    const gsize bytes = count * sizeof(std::int16_t);
    // Copied: the caller's samples may go at once.
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    gst_buffer_fill(buffer, 0, samples, bytes);
    const GstClockTime offset = gst_util_uint64_scale(written_, GST_SECOND, rate_);
    written_ += count;
    GST_BUFFER_PTS(buffer) = start_ + offset;
    GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(written_, GST_SECOND, rate_) - offset;
    if (gst_app_src_push_buffer(GST_APP_SRC(src_), buffer) != GST_FLOW_OK)
        return failed("the audio output took no more sound", error);
    if (first && arrival_) {
        // The caller goes on making the rest of the sound, which keeps its processor busy: let the
        // output take the first part to the sink before that, or it may wait for the whole sound.
        std::unique_lock<std::mutex> lock(arrival_->m);
        arrival_->cv.wait_for(lock, std::chrono::milliseconds(kFirstArrivalWaitMs), [this] { return arrival_->arrived; });
    }
    return true;
}

bool PcmOutput::finishInBackground(std::string* error) {
    if (!src_) {
        if (error) *error = "no sound is open";
        return false;
    }
    GstElement* src = src_;
    src_ = nullptr;
    if (written_ == 0) {
        purge();  // nothing to play
        return true;
    }
    if (gst_app_src_end_of_stream(GST_APP_SRC(src)) != GST_FLOW_OK)
        return failed("the audio output could not finish the sound", error);
    return true;
}

bool PcmOutput::finish(std::string* error, const std::function<bool()>& stop) {
    // The end of the sound is marked as for one left to play on; then this waits for it.
    if (!finishInBackground(error)) return false;
    if (!pipeline_) return true;
    const GstClockTime length = gst_util_uint64_scale(written_, GST_SECOND, rate_);
    // The wait is cut into tenths of a second so that a stop is seen soon.
    constexpr GstClockTime kSlice = 100 * GST_MSECOND;
    GstClockTime left = length + kBlockingSlackMs * GST_MSECOND;
    GstMessage* msg = nullptr;
    for (;;) {
        const GstClockTime wait = stop ? std::min(left, kSlice) : left;
        msg = gst_bus_timed_pop_filtered(bus_, wait, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        left -= wait;
        if (msg || left == 0) break;
        if (stop && stop()) {
            purge();
            return true;
        }
    }
    bool ok = msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS;
    if (!ok && error) *error = msg ? gstErrorText(msg) : "the audio output stalled";
    if (msg) gst_message_unref(msg);
    purge();
    return ok;
}

}  // namespace tarnwick
