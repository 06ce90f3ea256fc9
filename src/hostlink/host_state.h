#pragma once
// The simulated EchoLink host: the node's state, the answer to every host call, the events it
// raises, and its log. It has no I/O of its own; the host server puts it behind the socket and
// LocalHostTransport puts it straight behind a hub for unit tests.

#include <cstddef>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "hostlink/host_link.h"
#include "hostlink/json.h"
#include "runtime/runtime.h"

namespace tarnwick {

inline constexpr const char* kDefaultHostCallsign = "N0CALL-L";

// Conversions between call values and their wire form. A value that is no call value throws HostError.
Json hostValueToJson(const HostValue& v);
HostValue hostValueFromJson(const Json& j);
Json hostArgsToJson(const std::vector<HostValue>& args);
std::vector<HostValue> hostArgsFromJson(const Json& j);

// "2026-12-13T10:00:15.204"
std::string formatLogTime(const LocalTime& t);
// Microseconds since 1970 (UTC) of a local time.
long long epochMicroseconds(const LocalTime& t);

// "DTMFString AA", "RX 1", "connected W1AW Ann": an event as one short line for people.
std::string describeEvent(const HostEvent& ev);

struct HostStation {
    std::string call, name, addr;
};

// One line of the host's log: a call (link and op) or a raised event.
struct HostLogEntry {
    long long seq = 0;
    std::string time;
    // The same moment as `time`, in microseconds since 1970 (UTC): fine enough to time what happens
    // between two calls, and read without knowing the host's time zone.
    long long us = 0;
    std::string link;
    std::string op;
    std::string event;
    std::vector<HostValue> args;
    std::string error;  // set when the call failed

    bool isEvent() const { return !event.empty(); }
    // {"seq":12,"time":"...","us":...,"link":"Form1","op":"SetPTT","args":[true]}; events have "event" and
    // no "link".
    std::string line() const;
};

class HostState {
public:
    explicit HostState(std::string callsign = kDefaultHostCallsign);

    // Local time for the log; unset, the system clock (tests give virtual time).
    std::function<LocalTime()> clock;
    // Each raised event, after its log line is written. Events caused by a call come after the call's line.
    std::function<void(const HostEvent&)> onEvent;
    // Each log line as it is written.
    std::function<void(const std::string&)> onLogLine;

    // Answers one host call for the link named `link`; throws HostError for an unknown operation,
    // bad arguments, or the operation set to fail. Every call is logged, failed ones with their error.
    HostValue call(const std::string& link, const std::string& op, const std::vector<HostValue>& args);
    // Raises an event: updates what the matching queries read, logs it, hands it to onEvent.
    // Throws std::invalid_argument for an unknown event or arguments of the wrong kind.
    void raise(const HostEvent& ev);
    // Changes a setting (callsign, linkactive, fail); returns what changed ("linkactive 0 -> 1").
    // Throws std::invalid_argument with a usage text for a bad key or value.
    std::string set(const std::string& key, const std::string& value);

    // The event an outside command asks for ("dtmf" {"AA"} -> DTMFString "AA"); throws
    // std::invalid_argument with a one-line usage text when the command or its arguments are bad.
    static HostEvent eventForCommand(const std::string& command, const std::vector<std::string>& args);
    static bool isEventCommand(const std::string& command);
    // Checks a setting as set() does, without changing anything.
    static void checkSetting(const std::string& key, const std::string& value);
    // The operations of a host link, by name (GetCallsign for GetLocalStation().GetCallsign()).
    static const std::vector<std::string>& operations();

    // The whole state as one object: callsign, ptt, busy, dtr, rts, receiving, carrier, linkactive,
    // fail, stations [{call,name,addr}], links (the windows that introduced themselves), seq.
    Json stateJson() const;

    const std::deque<HostLogEntry>& log() const { return log_; }
    std::vector<std::string> logLines() const;
    // Logged calls (optionally of one operation) and events (optionally of one name), in order.
    std::vector<HostLogEntry> calls(const std::string& op = "") const;
    std::vector<HostLogEntry> events(const std::string& name = "") const;
    void clearLog() { log_.clear(); }
    // The log kept in memory holds at most this many lines, oldest dropped first (seq keeps counting).
    void setLogLimit(std::size_t n) { logLimit_ = n == 0 ? 1 : n; }

    const std::string& callsign() const { return callsign_; }
    bool ptt() const { return ptt_; }
    bool busy() const { return busy_; }
    bool dtr() const { return dtr_; }
    bool rts() const { return rts_; }
    bool receiving() const { return receiving_; }
    bool carrier() const { return carrier_; }
    bool linkActive() const { return linkActive_; }
    const std::string& failingOp() const { return failOp_; }
    const std::vector<HostStation>& stations() const { return stations_; }
    const std::vector<std::string>& links() const { return links_; }
    bool isConnectedTo(const std::string& call) const;

private:
    HostValue perform(const std::string& op, const std::vector<HostValue>& args);
    void apply(const HostEvent& ev);
    void addLog(HostLogEntry e);
    void emit(const HostEvent& ev);
    std::vector<HostStation>::iterator findStation(const std::string& call);

    std::string callsign_;
    bool ptt_ = false, busy_ = false, dtr_ = false, rts_ = false;
    bool receiving_ = false, carrier_ = false, linkActive_ = false;
    std::string failOp_;
    std::vector<HostStation> stations_;
    std::vector<std::string> links_;
    std::vector<HostEvent> caused_;  // events a running call raises, emitted after its log line

    std::deque<HostLogEntry> log_;
    long long seq_ = 0;
    std::size_t logLimit_ = 100000;
};

}  // namespace tarnwick
