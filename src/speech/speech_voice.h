#pragma once
// The speech voice: plain text spoken on the program's audio output. Keyed speech is synchronous;
// the unkeyed test buttons speak in the background and the next synchronous speech purges them.

#include <functional>
#include <memory>
#include <string>

namespace tarnwick {

class SpeechVoice {
public:
    virtual ~SpeechVoice() = default;
    // -5 (slow) .. 5 (fast); about 175 x 3^(rate/10) words per minute.
    virtual void setRate(int rate) = 0;
    // 0 .. 100, linear.
    virtual void setVolume(int volume) = 0;
    // Discards any background speech, then speaks text and returns when it has been spoken.
    virtual void speakSync(const std::string& text) = 0;
    // Starts speaking in the background and returns at once.
    virtual void speakAsync(const std::string& text) = 0;
    // Discards background speech.
    virtual void purge() = 0;

    // Runs about every tenth of a second while a synchronous speech holds the thread.
    std::function<void()> whileSpeaking;
};

using SpeechVoiceFactory = std::function<std::unique_ptr<SpeechVoice>()>;

}  // namespace tarnwick
