#include "platform/gstreamer/pcm_output.h"

#include <gst/app/gstappsrc.h>

#include <algorithm>
#include <cstring>

#include "platform/gstreamer/gst_audio.h"

namespace tarnwick {

PcmOutput::~PcmOutput() { purge(); }

void PcmOutput::setVolume(double gain) { gain_ = std::clamp(gain, 0.0, 1.0); }

void PcmOutput::purge() {
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
    GstMessage* msg = gst_bus_pop_filtered(bus_, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (!msg) return true;
    gst_message_unref(msg);
    // Finished: let go of the output device now rather than at the next sound.
    purge();
    return false;
}

bool PcmOutput::start(const std::vector<std::int16_t>& samples, int sampleRate, std::string* error) {
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

    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* src = gst_element_factory_make("appsrc", nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    GstElement* volume = gst_element_factory_make("volume", nullptr);
    GstElement* sink = makeAudioSink();
    if (!pipeline || !src || !convert || !resample || !volume || !sink) {
        for (GstElement* e : {pipeline, src, convert, resample, volume, sink})
            if (e) gst_object_unref(gst_object_ref_sink(e));
        if (error) *error = "GStreamer's audio elements are not installed";
        return false;
    }
    gst_bin_add_many(GST_BIN(pipeline), src, convert, resample, volume, sink, nullptr);
    pipeline_ = GST_ELEMENT(gst_object_ref_sink(pipeline));
    bus_ = gst_element_get_bus(pipeline_);

    if (!gst_element_link_many(src, convert, resample, volume, sink, nullptr)) {
        purge();
        if (error) *error = "audio elements could not be linked";
        return false;
    }

    GstCaps* caps = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout", G_TYPE_STRING,
                                        "interleaved", "rate", G_TYPE_INT, sampleRate, "channels", G_TYPE_INT, 1,
                                        nullptr);
    g_object_set(src, "caps", caps, "format", GST_FORMAT_TIME, "is-live", FALSE, nullptr);
    gst_caps_unref(caps);
    g_object_set(volume, "volume", gain_, nullptr);

    if (gst_element_set_state(pipeline_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
        GstMessage* msg = gst_bus_pop_filtered(bus_, GST_MESSAGE_ERROR);
        if (error) *error = msg ? gstErrorText(msg) : "the audio output could not be opened";
        if (msg) gst_message_unref(msg);
        purge();
        return false;
    }

    // One buffer holds the whole sound; it is copied, so the caller's samples may go at once.
    const gsize bytes = samples.size() * sizeof(std::int16_t);
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    if (bytes) gst_buffer_fill(buffer, 0, samples.data(), bytes);
    GST_BUFFER_PTS(buffer) = 0;
    GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(samples.size(), GST_SECOND, sampleRate);
    gst_app_src_push_buffer(GST_APP_SRC(src), buffer);
    gst_app_src_end_of_stream(GST_APP_SRC(src));

    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        GstMessage* msg = gst_bus_pop_filtered(bus_, GST_MESSAGE_ERROR);
        if (error) *error = msg ? gstErrorText(msg) : "the audio output could not be started";
        if (msg) gst_message_unref(msg);
        purge();
        return false;
    }
    return true;
}

bool PcmOutput::playBlocking(const std::vector<std::int16_t>& samples, int sampleRate, std::string* error,
                             const std::function<bool()>& stop) {
    if (!start(samples, sampleRate, error)) return false;
    const GstClockTime length = gst_util_uint64_scale(samples.size(), GST_SECOND, sampleRate);
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

bool PcmOutput::playBackground(const std::vector<std::int16_t>& samples, int sampleRate, std::string* error) {
    return start(samples, sampleRate, error);
}

}  // namespace tarnwick
