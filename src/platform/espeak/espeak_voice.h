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
    // Synthesises text into samples; false after writing a diagnostic.
    bool synthesise(const std::string& text, std::vector<std::int16_t>& samples, int& sampleRate);

    PcmOutput output_;
    int rate_ = 0;
    int volume_ = 100;
};

std::unique_ptr<SpeechVoice> makeEspeakVoice();

}  // namespace tarnwick
