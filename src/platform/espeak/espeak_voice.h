#pragma once
// The speech voice on espeak-ng: text is synthesised to a buffer with the default (English) voice
// and played on the same audio output as files, so it obeys the same TARNWICK_AUDIO switch.

#include <memory>
#include <string>

#include "platform/gstreamer/pcm_output.h"
#include "speech/speech_voice.h"

namespace tarnwick {

class EspeakVoice : public SpeechVoice {
public:
    EspeakVoice() = default;

    void setRate(int rate) override;
    void setVolume(int volume) override;
    void speakSync(const std::string& text) override;
    void speakAsync(const std::string& text) override;
    void purge() override;

    int rate() const { return rate_; }
    int volume() const { return volume_; }
    // Speaking speed for a rate: 175 x 3^(rate/10) words per minute, within espeak-ng's limits.
    static int wordsPerMinute(int rate);

private:
    // Speaks text, heard from its first words while the rest is still being made; waits until it has
    // been spoken, or lets it play on. False after writing a diagnostic.
    bool speak(const std::string& text, bool wait);

    PcmOutput output_;
    int rate_ = 0;
    int volume_ = 100;
};

std::unique_ptr<SpeechVoice> makeEspeakVoice();

// Starts espeak-ng and GStreamer's audio elements on a thread of their own, once per process, so that
// no speech (the first included) waits for them after keying the transmitter, and the program's loop
// never waits for them either. Call once the loop runs; a speech that comes first waits for the start.
void startSpeechEngines();

}  // namespace tarnwick
