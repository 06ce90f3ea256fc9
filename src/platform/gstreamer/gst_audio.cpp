#include "platform/gstreamer/gst_audio.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "runtime/runtime.h"

namespace tarnwick {

namespace {

std::once_flag gInitOnce;
bool gInitOk = false;
std::string gInitError;

GstElement* makeSilentSink() {
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (!sink) return nullptr;
    // sync keeps the sink to the pipeline clock: a file of 90 s takes 90 s, as on a real device.
    g_object_set(sink, "sync", TRUE, "silent", TRUE, "enable-last-sample", FALSE, nullptr);
    return sink;
}

// autoaudiosink quietly puts a fakesink inside itself when no output can be opened; that one
// neither reports the failure nor is guaranteed to keep time, so we look for it.
bool holdsOnlyFakeSink(GstElement* autoSink) {
    bool fake = false;
    bool any = false;
    GstIterator* it = gst_bin_iterate_elements(GST_BIN(autoSink));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        any = true;
        GstElement* kid = GST_ELEMENT(g_value_get_object(&item));
        GstElementFactory* factory = gst_element_get_factory(kid);
        const char* name = factory ? GST_OBJECT_NAME(factory) : "";
        if (std::strcmp(name, "fakesink") == 0 || std::strcmp(name, "fakeaudiosink") == 0) fake = true;
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return fake || !any;
}

void reportNoDeviceOnce(const std::string& why) {
    static std::once_flag once;
    std::call_once(once, [&] { gstDiagError("audio", why + "; playing to a silent sink"); });
}

}  // namespace

bool ensureGstInit(std::string* error) {
    std::call_once(gInitOnce, [] {
        GError* err = nullptr;
        gInitOk = gst_init_check(nullptr, nullptr, &err);
        if (!gInitOk) gInitError = err && err->message ? err->message : "GStreamer could not be initialised";
        if (err) g_error_free(err);
    });
    if (!gInitOk && error) *error = gInitError;
    return gInitOk;
}

void preloadAudioElements() {
    if (!ensureGstInit()) return;
    // Making one of each loads its plugin and sets up its class; none is started, so no device opens.
    for (const char* name : {"appsrc", "audioconvert", "audioresample", "volume", "fakesink", "autoaudiosink", "playbin"})
        if (GstElement* e = gst_element_factory_make(name, nullptr)) gst_object_unref(gst_object_ref_sink(e));
}

bool nullAudioRequested() {
    const char* v = std::getenv("TARNWICK_AUDIO");
    return v && std::strcmp(v, "null") == 0;
}

GstElement* makeAudioSink() {
    if (!ensureGstInit()) return nullptr;
    if (nullAudioRequested()) return makeSilentSink();

    GstElement* sink = gst_element_factory_make("autoaudiosink", nullptr);
    if (!sink) {
        reportNoDeviceOnce("no audio output element (autoaudiosink) installed");
        return makeSilentSink();
    }
    // Opening the device now tells us whether there is one; the sink goes back to NULL and keeps
    // the output it chose, so the pipeline opens it again when it starts.
    gst_object_ref_sink(sink);
    GstStateChangeReturn r = gst_element_set_state(sink, GST_STATE_READY);
    bool usable = r != GST_STATE_CHANGE_FAILURE && !holdsOnlyFakeSink(sink);
    gst_element_set_state(sink, GST_STATE_NULL);
    if (!usable) {
        gst_object_unref(sink);
        reportNoDeviceOnce("no audio output device could be opened");
        return makeSilentSink();
    }
    // Hand it on floating, as gst_element_factory_make would: the pipeline takes ownership.
    g_object_force_floating(G_OBJECT(sink));
    return sink;
}

void gstDiagError(const std::string& where, const std::string& what) { diagError(where, what); }

std::string gstErrorText(GstMessage* msg) {
    GError* err = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(msg, &err, &debug);
    std::string text = err && err->message ? err->message : "playback failed";
    if (err) g_error_free(err);
    g_free(debug);
    return text;
}

}  // namespace tarnwick
