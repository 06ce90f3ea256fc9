#pragma once
// A file player: render a file, run, stop, pause, position, seek, duration and volume. The news
// player, the series player and the recorder's playback each own one; tests link a fake.

#include <functional>
#include <memory>
#include <string>

namespace tarnwick {

class MediaPlayer {
public:
    virtual ~MediaPlayer() = default;

    // Loads a file (a Linux path, already mapped) and prepares it so that the duration is known on
    // return. Returns false with a reason when the file cannot be played.
    virtual bool render(const std::string& path, std::string& error) = 0;
    virtual bool loaded() const = 0;
    virtual void run() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    // Seconds.
    virtual double position() = 0;
    virtual void setPosition(double seconds) = 0;
    virtual double duration() = 0;
    // Hundredths of a decibel, -10000 (silent) to 0 (full); the linear factor is 10^(v/2000).
    virtual void setVolume(int hundredthsDb) = 0;
    virtual int volume() const = 0;
    // True once the loaded file played to its end or playback failed, since the last run();
    // the reason of a failure is in `error`. The playback monitor polls it.
    virtual bool ended(std::string* error = nullptr) = 0;
    // Lets go of the file and everything built for it.
    virtual void release() = 0;
};

using MediaPlayerFactory = std::function<std::unique_ptr<MediaPlayer>()>;

}  // namespace tarnwick
