#include "dtmf/dtmf_control.h"

#include "runtime/runtime.h"
#include "settings/settings_file.h"
#include "toolbox/version.h"

namespace tarnwick {

Form4::Form4(ToolContext& ctx) : Tool(ctx, "Form4"), DtmfControlFace(ctx.rt) {
    settings_.text("DTMFDELAYSECONDS", DTMFDelaySeconds, "5")
        .check("USEDTMFDELAY", UseDTMFDelay, "0")
        .check("CHECK1", Check1, "1")
        .text("DTMF", DTMF, "123")
        .check("USEDTMF", UseDTMF, "1");
    DTMFDelay.onTick = [this] { DTMFDelay_Timer(); };
    using namespace layout;
    layout_ = {row({ctl(Check1)}),
               frame("DTMF for Local Time", {row({ctl(DTMF), ctl(UseDTMF)})}),
               frame("DTMF Delay", {row({ctl(UseDTMFDelay), ctl(DTMFDelaySeconds), ctl(DTMFDelayPeriod), ctl(PTT3)})})};
}

void Form4::Form_Load() {
    EchoLink = std::make_unique<HostLink>(ctx_.hub, name());
    setWindowCaption(toolCaption(readCallsign(*EchoLink), "   DTMFctrl and Nets"));
    tryStep("SetPTT", [&] { EchoLink->SetPTT(false); });
    readSettings(settings_, "dtmfctrl.ini", 256);
    DTMFDelay.setEnabled(true);
}

void Form4::Form_Unload() {
    DTMFDelay.setEnabled(false);
    EchoLink.reset();
}

bool Form4::SaveData() { return writeSettings(settings_, "dtmfctrl.ini", 256, true); }

void Form4::DTMFDelay_Timer() {
    ctx_.rt.yield();
    if (!EchoLink) return;
    bool receiving = false;
    if (!tryStep("IsReceiving", [&] { receiving = EchoLink->IsReceiving(); })) return;
    if (receiving) {
        PTT3.setText("Receiving Signal");
        if (UseDTMFDelay.ticked()) {
            long long left = boxCount(DTMFDelayPeriod.text()) - 1;
            DTMFDelayPeriod.setText(std::to_string(left));
        }
    } else {
        PTT3.setText("      ");
        DTMFDelayPeriod.setText(DTMFDelaySeconds.text());
    }
    if (DTMFDelayPeriod.text() == "0") DTMFDelay.setEnabled(false);
}

}  // namespace tarnwick
