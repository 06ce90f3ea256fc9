#pragma once
// Builds every tool of the program, in loading order, with the backends it is given. The program
// passes real backends, tests pass fakes; each tool family adds its own backend here.

#include <memory>
#include <vector>

#include "player/file_dialog.h"
#include "player/media_player.h"
#include "recorder/codecs.h"
#include "recorder/recorder.h"
#include "speech/speech_voice.h"
#include "toolbox/tool.h"
#include "toolbox/tool_registry.h"

namespace tarnwick {

struct Backends {
    // The news player's media player, one per load of its window.
    MediaPlayerFactory mediaPlayer;
    // The speech tool's voice.
    SpeechVoiceFactory voice;
    // The open-file dialog of the player's File buttons; unset means "cancelled".
    OpenFileDialog openFile;
    // The recorder's outside codec libraries (GSM 6.10, rate conversion) and its WAV format chooser;
    // unset means none (only the recording's own rate, no GSM; the chooser cancels).
    CodecLibraries recorderCodecs;
    FormatChooser formatChooser;
    // The recorder's capture devices (unset: none) and its output-file dialog, in which a new name
    // may be typed (unset means "cancelled").
    CaptureSourceFactory captureSource;
    OpenFileDialog outputFile;
};

// Owns every tool window (not the launcher) and registers them in loading order.
class Toolset {
public:
    Toolset(ToolContext& ctx, Backends backends);
    ~Toolset();
    ToolRegistry& registry() { return ctx_.tools; }
    // Windows that belong to a tool and are shown by it (the recorder's effects dialog).
    std::vector<Window*> dialogs();
    // Finishes work that must not be cut off when the process ends (a running recording).
    void finishWork();

private:
    ToolContext& ctx_;
    Backends backends_;
    std::vector<std::unique_ptr<Tool>> tools_;
};

}  // namespace tarnwick
