#pragma once
// The file player on GStreamer's playbin. Everything runs on the caller's thread: render() waits
// for the file to be prepared, and ended() polls the pipeline's bus without blocking.

#include <gst/gst.h>

#include <memory>
#include <string>

#include "player/media_player.h"

namespace tarnwick {

class GstMediaPlayer : public MediaPlayer {
public:
    // How long render() waits for a file to be prepared.
    static constexpr int kRenderTimeoutMs = 5000;
    // A file played for less than this is still at its start: a seek to 0 is left out.
    static constexpr double kStillAtStartSeconds = 0.05;

    GstMediaPlayer() = default;
    ~GstMediaPlayer() override;
    GstMediaPlayer(const GstMediaPlayer&) = delete;
    GstMediaPlayer& operator=(const GstMediaPlayer&) = delete;

    // A new file starts stopped at position 0 and at full volume (0).
    bool render(const std::string& path, std::string& error) override;
    bool loaded() const override { return playbin_ != nullptr; }
    // Starts or continues from the current position.
    void run() override;
    void pause() override;
    // Halts playback and keeps the position.
    void stop() override;
    double position() override;
    void setPosition(double seconds) override;
    double duration() override;
    // Values outside -10000..0 are clamped; without a loaded file the call changes nothing.
    void setVolume(int hundredthsDb) override;
    int volume() const override { return volume_; }
    bool ended(std::string* error = nullptr) override;
    void release() override;
    // The seeks made on the loaded file (each restarts the stream).
    int seeks() const { return seeks_; }

private:
    void pollBus();
    void fail(const std::string& why);
    bool queryDuration();
    bool estimateDuration();

    GstElement* playbin_ = nullptr;
    GstBus* bus_ = nullptr;
    int volume_ = 0;
    double duration_ = 0.0;
    bool durationKnown_ = false;
    double lastPosition_ = 0.0;
    bool eos_ = false;
    bool failed_ = false;
    std::string failure_;
    int seeks_ = 0;
};

// Playbin's linear volume for hundredths of a decibel: 10^(v/2000), 0 at -10000 and below.
double linearVolume(int hundredthsDb);

std::unique_ptr<MediaPlayer> makeGstMediaPlayer();

}  // namespace tarnwick
