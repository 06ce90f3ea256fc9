#pragma once
// Builds every tool of the program, in loading order, with the backends it is given. The program
// passes real backends, tests pass fakes; each tool family adds its own backend here.

#include <functional>
#include <memory>
#include <vector>

#include "conference/conference_controller.h"
#include "download/transfer.h"
#include "player/file_dialog.h"
#include "player/media_player.h"
#include "recorder/codecs.h"
#include "recorder/recorder.h"
#include "speech/speech_voice.h"
#include "toolbox/tool.h"
#include "toolbox/tool_registry.h"

namespace tarnwick {

struct Backends {
    // A media player for each player window (the news and the series player), made at its first load.
    MediaPlayerFactory mediaPlayer;
    // The speech tool's voice.
    SpeechVoiceFactory voice;
    // The open-file dialog of the players' File buttons; unset means "cancelled".
    OpenFileDialog openFile;
    // The conference controller's input prompts; unset means "cancelled".
    InputPrompt inputPrompt;
    // Whether another process runs the program already (the station-info window asks at its load).
    std::function<bool()> anotherCopyRunning;
    // The downloader's transfers; unset, every transfer fails.
    std::shared_ptr<TransferService> transfers;
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

private:
    ToolContext& ctx_;
    Backends backends_;
    std::vector<std::unique_ptr<Tool>> tools_;
};

}  // namespace tarnwick
