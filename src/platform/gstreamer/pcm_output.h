#pragma once
// Plays a buffer of 16-bit mono samples on the program's audio output, through the same sink
// choice as file playback (TARNWICK_AUDIO=null plays silently in real time). One sound at a time:
// starting another, or purge(), stops the one in the background.

#include <gst/gst.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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

    // Plays and returns once the sound has been played, or soon after `stop` says so (it is asked
    // about every tenth of a second). False, with the reason, on failure.
    bool playBlocking(const std::vector<std::int16_t>& samples, int sampleRate, std::string* error = nullptr,
                      const std::function<bool()>& stop = {});
    // Starts the sound and returns at once.
    bool playBackground(const std::vector<std::int16_t>& samples, int sampleRate, std::string* error = nullptr);
    // Stops a sound playing in the background at once.
    void purge();
    // True while a background sound is still being played.
    bool playing();

private:
    bool start(const std::vector<std::int16_t>& samples, int sampleRate, std::string* error);

    GstElement* pipeline_ = nullptr;
    GstBus* bus_ = nullptr;
    double gain_ = 1.0;
};

}  // namespace tarnwick
