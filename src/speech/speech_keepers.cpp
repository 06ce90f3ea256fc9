// The two auto-connect keepers: once a minute each reconnects its station while its "Stay Con" is
// ticked, except while a news transmission that disconnected everybody is on air.

#include "speech/speech_tool.h"
#include "toolbox/player_face.h"
#include "toolbox/series_face.h"

namespace tarnwick {

bool Form3::newsOnAir() const {
    // The news player holds while its own transmission is under way (on air or in a transmit break)
    // with "Disconnect All" ticked; its STOP ends that. The series player holds while it shows
    // "PTT ON" with its own "Disconnect All" ticked.
    const PlayerFace* p = player();
    const SeriesPlayerFace* s = series();
    const bool news = p && p->DisconnectAll.value() == 1 && p->transmissionUnderWay();
    const bool seriesOnAir = s && s->DisconnectAll.value() == 1 && s->PTT.caption() == "PTT ON";
    return news || seriesOnAir;
}

void Form3::onKeeperTick(CheckBox& stay, TextBox& station, const char* where) {
    ctx_.rt.yield();
    if (stay.value() != 1 || !EchoLink) return;
    const std::string call = upperCase(station.text());
    try {
        if (EchoLink->IsConnectedTo(call)) return;
        if (newsOnAir()) return;
        if (call.empty()) return;
        EchoLink->ConnectTo(call, true);
    } catch (const std::exception& e) {
        // Tried again at the next check.
        ctx_.rt.error(where, e.what());
    }
}

void Form3::onConnectButton(TextBox& station, const char* where) {
    if (!EchoLink) return;
    const std::string call = upperCase(station.text());
    try {
        if (EchoLink->IsConnectedTo(call))
            EchoLink->DisconnectFrom(call);
        else
            EchoLink->ConnectTo(call, true);
    } catch (const HostError& e) {
        ctx_.rt.error(where, e.what());
    }
}

}  // namespace tarnwick
