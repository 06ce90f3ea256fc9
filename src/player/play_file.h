#pragma once
// Putting a file into a player, as the news player and the series player both do before they key.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "player/media_player.h"
#include "runtime/runtime.h"

namespace tarnwick {

// Renders linuxPath into the player (made by factory on first use) and returns the file's length
// when accept takes it; a length it refuses fails with refusal as the reason. On any failure the
// reason goes out as an ERROR line under where, the operator sees the "Render error" box, and
// nullopt comes back: the caller releases the player.
std::optional<double> renderForPlay(Runtime& rt, std::unique_ptr<MediaPlayer>& media, const MediaPlayerFactory& factory,
                                    const std::string& linuxPath, const std::string& where,
                                    const std::function<bool(double)>& accept, const std::string& refusal);

}  // namespace tarnwick
