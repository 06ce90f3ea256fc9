// A GStreamer tracer for the keying benchmark (scripts/bench_keying.sh): it writes the wall-clock time
// of the first buffer that each silent sink (the sink TARNWICK_AUDIO=null plays to) renders, so the
// time from keying the transmitter, which the host's log gives, to the first sound on air can be read
// from outside the unchanged program. Loaded through GST_PLUGIN_PATH and GST_TRACERS=tarnwicksinktimes;
// the times go to the file named by TARNWICK_BENCH_SINK_TIMES, one line each: microseconds since 1970.

#include <fcntl.h>
#include <gst/gst.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

struct SinkTimes {
    GstTracer parent;
};

struct SinkTimesClass {
    GstTracerClass parentClass;
};

const char kSeen[] = "tarnwick-bench-first-buffer-seen";

void writeNow() {
    const char* path = std::getenv("TARNWICK_BENCH_SINK_TIMES");
    if (!path || !*path) return;
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    char line[64];
    const int n = std::snprintf(line, sizeof line, "%lld\n",
                                static_cast<long long>(ts.tv_sec) * 1000000LL + ts.tv_nsec / 1000);
    // One write of one short line to a file opened for appending: lines from several threads never mix.
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (::write(fd, line, static_cast<size_t>(n)) != n) std::fputs("sink times: short write\n", stderr);
    ::close(fd);
}

// Emitted by the sink as it renders a buffer: in PLAYING, on the pipeline's clock.
void onHandoff(GstElement* sink, GstBuffer*, GstPad*, gpointer) {
    if (g_object_get_data(G_OBJECT(sink), kSeen)) return;
    g_object_set_data(G_OBJECT(sink), kSeen, GINT_TO_POINTER(1));
    writeNow();
}

void onElementNew(GObject*, GstClockTime, GstElement* element) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory || std::strcmp(GST_OBJECT_NAME(factory), "fakesink") != 0) return;
    g_object_set(element, "signal-handoffs", TRUE, nullptr);
    g_signal_connect(element, "handoff", G_CALLBACK(onHandoff), nullptr);
}

void sinkTimesInit(GTypeInstance* self, gpointer) {
    gst_tracing_register_hook(GST_TRACER(self), "element-new", G_CALLBACK(onElementNew));
}

void sinkTimesClassInit(gpointer, gpointer) {}

GType sinkTimesType() {
    static GType type = 0;
    if (!type) {
        type = g_type_register_static_simple(
            GST_TYPE_TRACER, "TarnwickSinkTimes", sizeof(SinkTimesClass), sinkTimesClassInit, sizeof(SinkTimes),
            sinkTimesInit, static_cast<GTypeFlags>(0));
    }
    return type;
}

gboolean pluginInit(GstPlugin* plugin) { return gst_tracer_register(plugin, "tarnwicksinktimes", sinkTimesType()); }

}  // namespace

#define PACKAGE "tarnwick"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, tarnwickbench,
                  "First rendered buffer of each silent sink, for Tarnwick's keying benchmark", pluginInit, "1.0",
                  GST_LICENSE_UNKNOWN, "tarnwick", "tarnwick")
