#pragma once
// What other tools use of the series player (Form12).

#include "controls/controls.h"

namespace tarnwick {

class SeriesPlayerFace {
public:
    virtual ~SeriesPlayerFace() = default;
    // The transmitter indicator; other tools treat exactly "PTT ON" as on air.
    Label PTT{"PTT", "PTT OFF"};
    // "Time Used" and "Length": while they are equal the series player's monitor releases the transmitter,
    // whoever keyed it. The news player writes "00 00 00" into the length box before it keys, which no
    // time text equals, so that release leaves its transmission alone until the series player loads a file.
    TextBox Text2{"Text2", "00:00:00"};
    TextBox Text3{"Text3", "00:00:00"};
    CheckBox DisconnectAll{"DisconnectAll", "Disconnect All"};
};

}  // namespace tarnwick
