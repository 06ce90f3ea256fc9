#include "platform/gstreamer/gst_media_player.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/gstreamer/gst_audio.h"

namespace tarnwick {

namespace {

constexpr double kNsPerSecond = 1e9;

}  // namespace

double linearVolume(int hundredthsDb) {
    // -10000 means silence, not the 10^-5 the formula would leave.
    if (hundredthsDb <= -10000) return 0.0;
    if (hundredthsDb >= 0) return 1.0;
    return std::pow(10.0, hundredthsDb / 2000.0);
}

GstMediaPlayer::~GstMediaPlayer() { release(); }

std::unique_ptr<MediaPlayer> makeGstMediaPlayer() { return std::make_unique<GstMediaPlayer>(); }

bool GstMediaPlayer::render(const std::string& path, std::string& error) {
    release();
    if (!ensureGstInit(&error)) return false;
    if (path.empty()) {
        error = "no file name";
        return false;
    }

    // The file reaches playbin as a URI of GStreamer's own making, so no character of the name
    // (blanks, '#', '?', '!') is ever read as anything but part of the name.
    GError* uriErr = nullptr;
    gchar* uri = gst_filename_to_uri(path.c_str(), &uriErr);
    if (!uri) {
        error = uriErr && uriErr->message ? uriErr->message : "invalid file name";
        if (uriErr) g_error_free(uriErr);
        return false;
    }

    playbin_ = gst_element_factory_make("playbin", nullptr);
    if (!playbin_) {
        g_free(uri);
        error = "GStreamer's playbin is not installed";
        return false;
    }
    gst_object_ref_sink(playbin_);
    bus_ = gst_element_get_bus(playbin_);

    g_object_set(playbin_, "uri", uri, nullptr);
    g_free(uri);
    // Sound only: a video file never opens a window, a picture in an MP3 is never decoded.
    gst_util_set_object_arg(G_OBJECT(playbin_), "flags", "audio+soft-volume");
    if (GstElement* sink = makeAudioSink()) g_object_set(playbin_, "audio-sink", sink, nullptr);
    volume_ = 0;
    g_object_set(playbin_, "volume", 1.0, nullptr);

    auto abandon = [&](const std::string& why) {
        error = why;
        release();
        return false;
    };

    GstStateChangeReturn r = gst_element_set_state(playbin_, GST_STATE_PAUSED);
    if (r == GST_STATE_CHANGE_FAILURE) {
        GstMessage* msg = gst_bus_pop_filtered(bus_, GST_MESSAGE_ERROR);
        std::string why = msg ? gstErrorText(msg) : "the file cannot be played";
        if (msg) gst_message_unref(msg);
        return abandon(why);
    }
    if (r == GST_STATE_CHANGE_ASYNC) {
        // Wait for the preroll: the first audio has been decoded and the duration can be read.
        GstMessage* msg = gst_bus_timed_pop_filtered(
            bus_, static_cast<GstClockTime>(kRenderTimeoutMs) * GST_MSECOND,
            static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR));
        if (!msg) return abandon("timed out preparing the file");
        bool isError = GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ERROR;
        std::string why = isError ? gstErrorText(msg) : std::string();
        gst_message_unref(msg);
        if (isError) return abandon(why);
    }

    // Most formats know their length at preroll. A stream without a length header (an MP3 with no
    // Xing header) is measured by its parser from the file size and the bit rate seen so far.
    if (!queryDuration() && !estimateDuration()) {
        for (int i = 0; i < 10 && !queryDuration(); ++i) {
            GstMessage* msg = gst_bus_timed_pop_filtered(
                bus_, 50 * GST_MSECOND,
                static_cast<GstMessageType>(GST_MESSAGE_DURATION_CHANGED | GST_MESSAGE_ERROR));
            if (msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ERROR) {
                std::string why = gstErrorText(msg);
                gst_message_unref(msg);
                return abandon(why);
            }
            if (msg) gst_message_unref(msg);
        }
    }
    return true;
}

bool GstMediaPlayer::estimateDuration() {
    GstElement* parser = nullptr;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(playbin_));
    GValue item = G_VALUE_INIT;
    while (!parser && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto* e = GST_ELEMENT(g_value_get_object(&item));
        GstElementFactory* f = gst_element_get_factory(e);
        const char* klass = f ? gst_element_factory_get_metadata(f, GST_ELEMENT_METADATA_KLASS) : nullptr;
        if (klass && std::strstr(klass, "Parser") && std::strstr(klass, "Audio"))
            parser = GST_ELEMENT(gst_object_ref(e));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    if (!parser) return false;
    gint64 bytes = 0, ns = 0;
    bool ok = gst_element_query_duration(parser, GST_FORMAT_BYTES, &bytes) && bytes > 0 &&
              gst_element_query_convert(parser, GST_FORMAT_BYTES, bytes, GST_FORMAT_TIME, &ns) && ns > 0;
    gst_object_unref(parser);
    if (!ok) return false;
    duration_ = static_cast<double>(ns) / kNsPerSecond;
    durationKnown_ = true;
    return true;
}

bool GstMediaPlayer::queryDuration() {
    gint64 ns = 0;
    if (!playbin_ || !gst_element_query_duration(playbin_, GST_FORMAT_TIME, &ns) || ns < 0) return false;
    duration_ = static_cast<double>(ns) / kNsPerSecond;
    durationKnown_ = true;
    return true;
}

void GstMediaPlayer::run() {
    if (!playbin_ || failed_) return;
    eos_ = false;
    if (gst_element_set_state(playbin_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        pollBus();
        if (!failed_) fail("playback could not start");
    }
}

void GstMediaPlayer::pause() {
    if (!playbin_ || failed_) return;
    gst_element_set_state(playbin_, GST_STATE_PAUSED);
}

void GstMediaPlayer::stop() {
    // Paused is stopped with the position kept, which is what a later run() continues from.
    pause();
}

double GstMediaPlayer::position() {
    if (!playbin_) return 0.0;
    pollBus();
    if (eos_ && durationKnown_) return duration();
    gint64 ns = 0;
    if (gst_element_query_position(playbin_, GST_FORMAT_TIME, &ns) && ns >= 0)
        lastPosition_ = static_cast<double>(ns) / kNsPerSecond;
    return lastPosition_;
}

void GstMediaPlayer::setPosition(double seconds) {
    if (!playbin_ || failed_ || !std::isfinite(seconds)) return;
    if (seconds < 0) seconds = 0;
    if (durationKnown_) seconds = std::min(seconds, duration_);
    // A flushing seek restarts the stream. Asked for the start of a file that is still at its start
    // (the player rewinds each file it has just set running), it would only restart it a moment in.
    if (seconds == 0.0 && !eos_ && position() < kStillAtStartSeconds) return;
    auto ns = static_cast<gint64>(seconds * kNsPerSecond);
    if (!gst_element_seek_simple(playbin_, GST_FORMAT_TIME,
                                 static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), ns))
        return;
    ++seeks_;
    lastPosition_ = seconds;
    // An end reported before the seek belongs to the old position.
    pollBus();
    if (!durationKnown_ || seconds < duration_) eos_ = false;
}

double GstMediaPlayer::duration() {
    if (!playbin_) return 0.0;
    // An estimated length is refined while the file plays; follow it.
    queryDuration();
    return duration_;
}

void GstMediaPlayer::setVolume(int hundredthsDb) {
    if (!playbin_) return;
    volume_ = std::clamp(hundredthsDb, -10000, 0);
    g_object_set(playbin_, "volume", linearVolume(volume_), nullptr);
}

bool GstMediaPlayer::ended(std::string* error) {
    if (!playbin_) return false;
    pollBus();
    if (failed_ && error) *error = failure_;
    return eos_ || failed_;
}

void GstMediaPlayer::pollBus() {
    if (!bus_) return;
    // Messages of other kinds are dropped as they are passed over, so the queue never grows.
    while (GstMessage* msg = gst_bus_pop_filtered(
               bus_, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR))) {
        if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS)
            eos_ = true;
        else if (!failed_)
            fail(gstErrorText(msg));
        gst_message_unref(msg);
    }
}

void GstMediaPlayer::fail(const std::string& why) {
    failed_ = true;
    failure_ = why;
}

void GstMediaPlayer::release() {
    if (playbin_) {
        gst_element_set_state(playbin_, GST_STATE_NULL);
        gst_object_unref(playbin_);
        playbin_ = nullptr;
    }
    if (bus_) {
        gst_object_unref(bus_);
        bus_ = nullptr;
    }
    volume_ = 0;
    duration_ = 0.0;
    durationKnown_ = false;
    lastPosition_ = 0.0;
    eos_ = false;
    failed_ = false;
    failure_.clear();
    seeks_ = 0;
}

}  // namespace tarnwick
