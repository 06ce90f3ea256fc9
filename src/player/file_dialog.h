#pragma once
// The open-file dialog the player's File and Play buttons show. The program wires a desktop dialog;
// tests pass a function that answers at once.

#include <functional>
#include <string>

namespace tarnwick {

// filter: "description|pattern;pattern" (one entry, "*.wav, *.mp3|*.wav;*.mp3");
// fileName: the name the dialog starts from (may be empty).
// Returns the chosen file's full path, or "" when the operator cancelled.
using OpenFileDialog = std::function<std::string(const std::string& filter, const std::string& fileName)>;

}  // namespace tarnwick
