#pragma once
// The recorder's WAV format chooser: a format tag list and, for the chosen tag, its formats.

#include <string>
#include <vector>

#include "recorder/codecs.h"

class QWidget;

namespace tarnwick {

// Returns the index of the chosen format, or -1 when cancelled.
int chooseWaveFormat(QWidget* parent, const std::vector<FormatChoice>& choices, int current,
                     const std::string& title);

}  // namespace tarnwick
