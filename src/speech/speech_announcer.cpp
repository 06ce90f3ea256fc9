// Stations connecting and leaving: the call history, the station-info window, the greeting choice and
// the spoken announcement with the station's callsign spelled out.

#include <cstdio>

#include "hostlink/network_text.h"
#include "speech/speech_tool.h"
#include "speech/spoken_time.h"
#include "toolbox/conference_face.h"
#include "toolbox/tool_registry.h"

namespace tarnwick {

namespace {

struct ConferenceName {
    const char* key;
    const char* spoken;
    const char* onConnect;
    const char* onDisconnect;
};

// Conferences with a spoken name. The last three rows are the node's own test conferences; their
// callsigns use the unissued prefix Q0, so they cannot belong to anyone.
constexpr ConferenceName kConferenceNameTable[] = {
    {"*IRELAND*", "Ireland", "  conference has connected.", "  conference has disconnected."},
    {"*ENGLAND*", "England", "  conference has connected.", "  conference has disconnected."},
    {"*UKLOTA*", "U Kay Ladies On The Air", "  Conference Has Connected.", "  Conference Has disconnected."},
    {"*NASA*", "Nassa", "  Conference Has Connected.", "  Conference Has disconnected."},
    {"*JOTA-E*", "Jamboree on the air : English", "  Conference Has Connected.", "  Conference Has disconnected."},
    {"*VKEMCOMM*", "V Kay Emergency Communications", "  Conference Has Connected.", "  Conference Has disconnected."},
    {"*AUSSIE*", "Australian", "  Conference Has Connected. GuDay from Down Under", "  Conference Has disconnected."},
    {"*CANADIAN*", "Canadian", "  Conference Has Connected.", "  Conference Has disconnected."},
    {"*Q0TARN*", "Tarnwick Test", "  Conference Has Connected.", "  Conference Has disconnected."},
    {"*Q0NODE*", "Node Test", "  Conference Has Connected.", "  Conference Has disconnected."},
    {"*Q0CLUB*", "Club Net", "  Conference Has Connected.", "  Conference Has disconnected."},
};

const ConferenceName* conferenceName(const std::string& call) {
    for (const ConferenceName& c : kConferenceNameTable)
        if (call == c.key) return &c;
    return nullptr;
}

enum class CallKind { Conference, Link, Repeater, Station, Other };

CallKind kindOf(const std::string& call) {
    auto endsWith = [&call](const char* tail) {
        std::string t(tail);
        return call.size() >= t.size() && call.compare(call.size() - t.size(), t.size(), t) == 0;
    };
    if (!call.empty() && call.back() == '*') return CallKind::Conference;
    if (endsWith("-L")) return CallKind::Link;
    if (endsWith("-R")) return CallKind::Repeater;
    if (call.find('-') == std::string::npos) return CallKind::Station;
    return CallKind::Other;
}

// A link's or repeater's callsign up to and including its first dash.
std::string baseCall(const std::string& call) { return call.substr(0, call.find('-') + 1); }

}  // namespace

void Form3::SplitCall() {
    std::string spelled;
    for (char c : TempCall) {
        spelled += c;
        spelled += ' ';
    }
    TempCall = spelled;
}

std::string Form3::spell(const std::string& call) {
    TempCall = call;
    SplitCall();
    return TempCall;
}

void Form3::onConnected(const std::string& rawCall, const std::string& rawName, const std::string& rawAddr) {
    // A stranger's callsign and name are cleaned first. The callsign is told apart, looked up and used to
    // choose the greeting whole; what is spoken or shown of it is cut, so a long one cannot hold the
    // transmitter.
    const std::string call = cleanNetworkText(rawCall, kNetIdentityMax);
    const std::string shown = cleanNetworkText(call, kNetCallsignMax);
    const std::string name = cleanNetworkText(rawName, kNetNameMax);
    const std::string addr = cleanNetworkText(rawAddr, kNetChatMax);
    StationInfoFace* info = stationInfo();
    if (info) info->Label2.setCaption(shown + " " + name);
    CallHistory.append(historyTime(ctx_.rt.localTime()) + shown + " -- " + name + " -- " + addr + "\r\n");
    // Shows the newest lines while the history is shorter than this; a longer one stays at that place.
    CallHistory.setSelStart(20000);
    if (ConDisc.value() != 1) return;

    GreetingsFace* greet = greetings();
    auto lookUp = [this, info](const std::string& c) {
        if (info && info->Check9.value() == 1) {
            try {
                info->Navigate(callsignLookupPage(c));
            } catch (const std::exception& e) {
                ctx_.rt.error("Form3.connected", e.what());
            }
        }
    };
    switch (kindOf(call)) {
        case CallKind::Conference:
            if (greet) greet->Option10.setValue(true);
            if (const ConferenceName* c = conferenceName(call)) {
                say(std::string("The ") + c->spoken + c->onConnect);
            } else {
                if (greet) greet->Option4.setValue(true);
                say("The " + spell(shown) + "  conference has connected.");
            }
            break;
        case CallKind::Link:
        case CallKind::Repeater: {
            if (greet) greet->Option4.setValue(true);
            const std::string base = baseCall(call);
            lookUp(base);
            say(spell(cleanNetworkText(base, kNetCallsignMax)) +
                (kindOf(call) == CallKind::Link ? " : Link Connected." : " : Repeater Connected."));
            break;
        }
        case CallKind::Station:
            lookUp(call);
            say(spell(shown) + " , Connected");
            break;
        case CallKind::Other:
            break;
    }
}

void Form3::onDisconnected(const std::string& rawCall) {
    if (ConDisc.value() != 1) return;
    const std::string call = cleanNetworkText(rawCall, kNetIdentityMax);
    auto spoken = [](const std::string& c) { return cleanNetworkText(c, kNetCallsignMax); };
    switch (kindOf(call)) {
        case CallKind::Conference:
            if (const ConferenceName* c = conferenceName(call))
                say(std::string("The ") + c->spoken + c->onDisconnect);
            else
                say("The " + spell(spoken(call)) + "  conference has disconnected.");
            break;
        case CallKind::Link:
            say(spell(spoken(baseCall(call))) + " : Link Disconnected.");
            break;
        case CallKind::Repeater:
            say(spell(spoken(baseCall(call))) + " : Repeater Disconnected.");
            break;
        case CallKind::Station:
            say(spell(spoken(call)) + " , Disconnected");
            break;
        case CallKind::Other:
            break;
    }
}

}  // namespace tarnwick
