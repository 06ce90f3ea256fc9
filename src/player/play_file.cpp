#include "player/play_file.h"

#include <exception>

namespace tarnwick {

std::optional<double> renderForPlay(Runtime& rt, std::unique_ptr<MediaPlayer>& media, const MediaPlayerFactory& factory,
                                    const std::string& linuxPath, const std::string& where,
                                    const std::function<bool(double)>& accept, const std::string& refusal) {
    std::string error;
    try {
        if (!media && factory) media = factory();
        if (!media) {
            error = "no media player";
        } else if (media->render(linuxPath, error)) {
            const double duration = media->duration();
            if (accept(duration)) return duration;
            error = refusal;
        }
    } catch (const std::exception& e) {
        error = e.what();
    }
    rt.error(where, linuxPath + ": " + error);
    rt.messageBox("Error", "Render error no rendering device found", MsgButtons::Ok, MsgIcon::Exclamation);
    return std::nullopt;
}

}  // namespace tarnwick
