// Stations connecting and leaving: the call history, the station-info window, the greeting choice and
// the spoken announcement with the station's callsign spelled out.

#include <algorithm>
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
    std::string sentence;
    switch (kindOf(call)) {
        case CallKind::Conference:
            if (greet) greet->Option10.setValue(true);
            if (const ConferenceName* c = conferenceName(call)) {
                sentence = std::string("The ") + c->spoken + c->onConnect;
            } else {
                if (greet) greet->Option4.setValue(true);
                sentence = "The " + spell(shown) + "  conference has connected.";
            }
            break;
        case CallKind::Link:
        case CallKind::Repeater: {
            if (greet) greet->Option4.setValue(true);
            const std::string base = baseCall(call);
            lookUp(base);
            sentence = spell(cleanNetworkText(base, kNetCallsignMax)) +
                       (kindOf(call) == CallKind::Link ? " : Link Connected." : " : Repeater Connected.");
            break;
        }
        case CallKind::Station:
            lookUp(call);
            sentence = spell(shown) + " , Connected";
            break;
        case CallKind::Other:
            return;
    }
    announce({call, true, sentence});
}

void Form3::onDisconnected(const std::string& rawCall) {
    if (ConDisc.value() != 1) return;
    const std::string call = cleanNetworkText(rawCall, kNetIdentityMax);
    // A station that leaves while its arrival still waits for the air is announced neither way: in a
    // flood of stations coming and going, only those still connected at their turn are spoken.
    const std::size_t waiting = announcements_.size();
    announcements_.erase(std::remove_if(announcements_.begin(), announcements_.end(),
                                        [&call](const Announcement& a) { return a.arrival && a.call == call; }),
                         announcements_.end());
    if (announcements_.size() != waiting) return;

    auto spoken = [](const std::string& c) { return cleanNetworkText(c, kNetCallsignMax); };
    std::string sentence;
    switch (kindOf(call)) {
        case CallKind::Conference:
            if (const ConferenceName* c = conferenceName(call))
                sentence = std::string("The ") + c->spoken + c->onDisconnect;
            else
                sentence = "The " + spell(spoken(call)) + "  conference has disconnected.";
            break;
        case CallKind::Link:
            sentence = spell(spoken(baseCall(call))) + " : Link Disconnected.";
            break;
        case CallKind::Repeater:
            sentence = spell(spoken(baseCall(call))) + " : Repeater Disconnected.";
            break;
        case CallKind::Station:
            sentence = spell(spoken(call)) + " , Disconnected";
            break;
        case CallKind::Other:
            return;
    }
    announce({call, false, sentence});
}

void Form3::announce(Announcement a) {
    announcements_.push_back(std::move(a));
    scheduleAnnouncement();
}

void Form3::scheduleAnnouncement() {
    if (announcementPosted_) return;
    announcementPosted_ = true;
    std::weak_ptr<bool> alive = alive_;
    ctx_.rt.post([this, alive] {
        if (alive.expired()) return;
        announcementPosted_ = false;
        announceNext();
    });
}

void Form3::announceNext() {
    if (announcements_.empty()) {
        announceRetry_.setEnabled(false);
        return;
    }
    // Another speech of this tool is on air (this runs inside its yield): the next one waits for its
    // end rather than counting as held.
    if (speaking_) {
        announceRetry_.setEnabled(true);
        return;
    }
    announceRetry_.setEnabled(false);
    // The switch rules everything spoken here, also what was waiting when it was turned off.
    if (ConDisc.value() != 1) {
        announcements_.clear();
        return;
    }
    const std::string sentence = std::move(announcements_.front().sentence);
    announcements_.pop_front();
    say(sentence);
    // The loop runs between two announcements, so an event waits for one speech at most.
    if (!announcements_.empty()) scheduleAnnouncement();
}

}  // namespace tarnwick
