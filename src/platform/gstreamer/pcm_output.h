#pragma once
// Plays 16-bit mono samples on the program's audio output, through the same sink choice as file
// playback (TARNWICK_AUDIO=null plays silently in real time). A sound may be handed over whole or as
// a stream: it is heard from its first samples on while the rest is still being made. One sound at a
// time: starting another, or purge(), stops the one in the background.

#include <gst/gst.h>

#include <cstddef>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace tarnwick {

class PcmOutput {
public:
    // Slack beyond the sound's own length that a blocking play waits before giving up.
    static constexpr int kBlockingSlackMs = 5000;

    PcmOutput() = default;
    ~PcmOutput();
    PcmOutput(const PcmOutput&) = delete;
    PcmOutput& operator=(const PcmOutput&) = delete;

    // Linear gain, 0 (silent) .. 1 (as recorded); applies to the next sound.
    void setVolume(double gain);
    double volume() const { return gain_; }

    // A sound streamed in parts: open() stops any sound in the background and starts the output, so
    // the first samples written are played as soon as they arrive; write() appends samples; then
    // either finish() waits until the whole sound has been played, or finishInBackground() lets it
    // play on. False, with the reason, on failure; the sound is then dropped.
    bool open(int sampleRate, std::string* error = nullptr);
    bool write(const std::int16_t* samples, std::size_t count, std::string* error = nullptr);
    // `stop`, when given, is asked every tenth of a second while finish() waits: when it says so the
    // sound is cut short and finish() returns true.
    bool finish(std::string* error = nullptr, const std::function<bool()>& stop = {});
    bool finishInBackground(std::string* error = nullptr);
    // True between open() and the finish of that sound.
    bool isOpen() const { return src_ != nullptr; }

    // Stops a sound playing in the background at once.
    void purge();
    // True while a background sound is still being played.
    bool playing();

    // Takes a moment of silence through the whole chain to a sink that plays nothing, so the work the
    // first sound would do once (loading, negotiating, preparing its conversions) is done. Reports
    // nothing; safe on any thread.
    static void warmUp(int sampleRate);

    // How long write() waits for the first part of a sound to reach the sink at most.
    static constexpr int kFirstArrivalWaitMs = 250;

private:
    // Set from the streaming thread when the first part of the open sound reaches the sink.
    struct Arrival {
        std::mutex m;
        std::condition_variable cv;
        bool arrived = false;
    };
    static GstPadProbeReturn onFirstBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer data);
    GstClockTime runningTime() const;
    bool failed(const std::string& why, std::string* error);

    GstElement* pipeline_ = nullptr;
    GstBus* bus_ = nullptr;
    GstElement* src_ = nullptr;  // the open sound's source; not owned (the pipeline holds it)
    std::shared_ptr<Arrival> arrival_;
    int rate_ = 0;
    std::uint64_t written_ = 0;  // samples of the open sound so far
    GstClockTime start_ = 0;     // running time of the open sound's first sample
    double gain_ = 1.0;
};

}  // namespace tarnwick
