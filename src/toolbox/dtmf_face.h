#pragma once
// What other tools use of the DTMF control and nets window (Form4). Showing, hiding and its SaveData
// go through the tool registry like every tool window's.

#include "controls/controls.h"
#include "runtime/runtime.h"

namespace tarnwick {

class DtmfControlFace {
public:
    // The acceptance-delay timer runs from the window's load on.
    explicit DtmfControlFace(Runtime& rt) : DTMFDelay(rt, 1000, false) {}
    virtual ~DtmfControlFace() = default;

    // "Enable DTMF Use": the player's remote play and the DTMF help tool obey DTMF only while ticked.
    CheckBox Check1{"Check1", "Enable DTMF Use", {}, 1};
    // "DTMF for Local Time" and its "Use" box, read by the speech tool's DTMF handler.
    TextBox DTMF{"DTMF", "123", "DTMF for Local Time", TypingStyle::Any};
    CheckBox UseDTMF{"UseDTMF", "Use", {}, 1};
    // The acceptance-delay timer; the speech tool's clock restarts it while EchoLink is not receiving.
    Timer DTMFDelay;
};

}  // namespace tarnwick
