#include "platform/espeak/espeak_voice.h"

#include <espeak-ng/espeak_ng.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/gstreamer/gst_audio.h"
#include "runtime/termination_signals.h"

namespace tarnwick {

namespace {

// espeak-ng is one engine per process; every voice shares it.
struct Engine {
    bool ok = false;
    std::string error;
    int sampleRate = 0;
};

// Where the samples of the text being synthesised go: espeak-ng hands them to its callback part by part,
// and each part is played as it comes.
struct Stream {
    PcmOutput* output = nullptr;
    std::string error;
};
Stream* gStream = nullptr;

int streamSamples(short* wav, int count, espeak_EVENT*) {
    if (!gStream || !wav || count <= 0) return 0;
    if (!gStream->output->write(wav, static_cast<std::size_t>(count), &gStream->error)) return 1;  // stop
    return 0;  // go on
}

std::string statusText(espeak_ng_STATUS status) {
    char buf[256] = {0};
    espeak_ng_GetStatusCodeMessage(status, buf, sizeof buf);
    return buf[0] ? std::string(buf) : "espeak-ng error " + std::to_string(static_cast<int>(status));
}

const Engine& engine() {
    static Engine e;
    static std::once_flag once;
    std::call_once(once, [] {
        // The ng interface reports a failed start instead of ending the process as the old one does.
        espeak_ng_InitializePath(nullptr);
        espeak_ng_ERROR_CONTEXT context = nullptr;
        espeak_ng_STATUS st = espeak_ng_Initialize(&context);
        espeak_ng_ClearErrorContext(&context);
        if (st != ENS_OK) {
            e.error = "espeak-ng could not start (is its voice data installed?): " + statusText(st);
            return;
        }
        // Synchronous retrieval: samples come to our callback, espeak-ng opens no device of its own.
        st = espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr);
        if (st != ENS_OK) {
            e.error = "espeak-ng output could not start: " + statusText(st);
            return;
        }
        espeak_SetSynthCallback(streamSamples);
        st = espeak_ng_SetVoiceByName(ESPEAKNG_DEFAULT_VOICE);
        if (st != ENS_OK) {
            e.error = "espeak-ng has no default voice: " + statusText(st);
            return;
        }
        // Loudness is applied on the output, where the scale is linear.
        espeak_ng_SetParameter(espeakVOLUME, 100, 0);
        e.sampleRate = espeak_ng_GetSampleRate();
        e.ok = e.sampleRate > 0;
        if (!e.ok) e.error = "espeak-ng reports no sample rate";
        // One word made and thrown away (no stream is set), so the first speech finds the synthesiser's
        // own first-use work done.
        if (e.ok) espeak_ng_Synthesize("Link", 5, 0, POS_CHARACTER, 0, espeakCHARS_AUTO, nullptr, nullptr);
    });
    return e;
}

}  // namespace

std::unique_ptr<SpeechVoice> makeEspeakVoice() { return std::make_unique<EspeakVoice>(); }

void startSpeechEngines() {
    static std::once_flag once;
    std::call_once(once, [] {
        try {
            // Only starts: a failure is kept and reported by the speech that meets it, on the loop.
            std::thread([] {
                preloadAudioElements();
                if (const Engine& e = engine(); e.ok) PcmOutput::warmUp(e.sampleRate);
            }).detach();
        } catch (const std::system_error&) {
            // No thread to spare: the first speech starts the engines itself.
        }
    });
}

int EspeakVoice::wordsPerMinute(int rate) {
    rate = std::clamp(rate, -10, 10);
    int wpm = static_cast<int>(std::lround(espeakRATE_NORMAL * std::pow(3.0, rate / 10.0)));
    return std::clamp(wpm, espeakRATE_MINIMUM, espeakRATE_MAXIMUM);
}

void EspeakVoice::setRate(int rate) { rate_ = std::clamp(rate, -10, 10); }

void EspeakVoice::setVolume(int volume) { volume_ = std::clamp(volume, 0, 100); }

bool EspeakVoice::speak(const std::string& text, bool wait) {
    const Engine& e = engine();
    if (!e.ok) {
        gstDiagError("speech", e.error);
        return false;
    }
    output_.setVolume(volume_ / 100.0);
    std::string error;
    // The output is open before the first word is made, and plays each part as espeak-ng makes it.
    if (!output_.open(e.sampleRate, &error)) {
        gstDiagError("speech", error);
        return false;
    }
    espeak_ng_SetParameter(espeakRATE, wordsPerMinute(rate_), 0);
    Stream stream{&output_, {}};
    gStream = &stream;
    // Plain text only: no SSML, no phoneme brackets. Text from the network is read, never obeyed.
    espeak_ng_STATUS st = espeak_ng_Synthesize(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_AUTO,
                                               nullptr, nullptr);
    gStream = nullptr;
    if (!stream.error.empty()) {
        gstDiagError("speech", stream.error);
        output_.purge();
        return false;
    }
    if (st != ENS_OK) {
        gstDiagError("speech", "espeak-ng could not speak: " + statusText(st));
        output_.purge();
        return false;
    }
    const bool played = wait ? output_.finish(&error,
                                              [this] {
                                                  if (whileSpeaking) whileSpeaking();
                                                  return stopRequested();
                                              })
                             : output_.finishInBackground(&error);
    if (!played) gstDiagError("speech", error);
    return played;
}

void EspeakVoice::speakSync(const std::string& text) {
    // Keyed speech holds the program's thread: once a stop signal has come, it is cut short so that
    // the clean-up (unkeying first) comes within a fraction of a second.
    if (stopRequested()) {
        output_.purge();
        return;
    }
    speak(text, true);
}

void EspeakVoice::speakAsync(const std::string& text) { speak(text, false); }

void EspeakVoice::purge() { output_.purge(); }

}  // namespace tarnwick
