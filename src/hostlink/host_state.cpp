#include "hostlink/host_state.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>

namespace tarnwick {

namespace {

// Argument kinds per operation and event: s text, b Boolean, i whole number.
const std::map<std::string, std::string>& opSignatures() {
    static const std::map<std::string, std::string> sigs = {
        {"ConnectTo", "sb"},      {"DisconnectFrom", "s"},  {"DisconnectAllStations", ""}, {"SetPTT", "b"},
        {"IsLinkActive", ""},     {"IsReceiving", ""},      {"IsTransmitting", ""},        {"IsCarrierDetected", ""},
        {"SendCWText", "is"},     {"GetConnectedCount", ""}, {"IsConnectedTo", "s"},       {"GetCallsign", ""},
        {"SendDTMF", "s"},        {"SetBusy", "b"},         {"SetRTS", "b"},               {"SetDTR", "b"},
        {"SendChatText", "s"},
    };
    return sigs;
}

// How a link introduces itself; not one of the host's operations proper.
constexpr const char* kHelloOp = "Hello";

const std::map<std::string, std::string>& eventSignatures() {
    static const std::map<std::string, std::string> sigs = {
        {"DTMFString", "s"},        {"RX", "b"},        {"CarrierDetect", "b"}, {"connected", "sss"},
        {"Disconnected", "s"},      {"ChatTextReceived", "s"}, {"Closing", ""},
    };
    return sigs;
}

bool matches(const std::string& sig, const std::vector<HostValue>& args) {
    if (args.size() != sig.size()) return false;
    for (std::size_t i = 0; i < sig.size(); ++i) {
        const HostValue& a = args[i];
        switch (sig[i]) {
            case 's': if (!std::holds_alternative<std::string>(a)) return false; break;
            case 'b': if (!std::holds_alternative<bool>(a)) return false; break;
            case 'i': if (!std::holds_alternative<long long>(a)) return false; break;
            default: return false;
        }
    }
    return true;
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool hasControlChars(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

bool hasBlanksOrControls(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) <= 0x20; });
}

bool parseFlag(const std::string& v, bool& out) {
    if (v == "0") {
        out = false;
        return true;
    }
    if (v == "1") {
        out = true;
        return true;
    }
    return false;
}

[[noreturn]] void usage(const std::string& text) { throw std::invalid_argument("usage: tarnwick-host " + text); }

}  // namespace

Json hostValueToJson(const HostValue& v) {
    if (auto b = std::get_if<bool>(&v)) return *b;
    if (auto i = std::get_if<long long>(&v)) return *i;
    if (auto s = std::get_if<std::string>(&v)) return *s;
    return nullptr;
}

HostValue hostValueFromJson(const Json& j) {
    if (j.is_null()) return {};
    if (j.is_boolean()) return j.get<bool>();
    if (const auto i = jsonWhole(j)) return *i;
    if (j.is_string()) return j.get<std::string>();
    // Named by its kind only: the value came from the other end and may be large.
    throw HostError(std::string("unexpected value from the host: ") +
                    (j.is_number() ? "a number that is no whole 64-bit number" : j.type_name()));
}

Json hostArgsToJson(const std::vector<HostValue>& args) {
    Json a = Json::array();
    for (const auto& v : args) a.push_back(hostValueToJson(v));
    return a;
}

std::vector<HostValue> hostArgsFromJson(const Json& j) {
    std::vector<HostValue> out;
    if (j.is_null()) return out;
    if (!j.is_array()) throw HostError("arguments are not a list");
    for (const auto& v : j) out.push_back(hostValueFromJson(v));
    return out;
}

std::string formatLogTime(const LocalTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
    return buf;
}

long long epochMicroseconds(const LocalTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    return static_cast<long long>(std::mktime(&tm)) * 1000000LL + t.millisecond * 1000LL;
}

std::string describeEvent(const HostEvent& ev) {
    std::vector<std::string> parts;
    for (const auto& a : ev.args) {
        if (auto b = std::get_if<bool>(&a))
            parts.push_back(*b ? "1" : "0");
        else if (auto i = std::get_if<long long>(&a))
            parts.push_back(std::to_string(*i));
        else if (auto s = std::get_if<std::string>(&a))
            parts.push_back(*s);
        else
            parts.emplace_back();
    }
    // Unnamed stations would otherwise leave trailing blanks.
    while (!parts.empty() && parts.back().empty()) parts.pop_back();
    std::string out = ev.name;
    for (const auto& p : parts) out += " " + p;
    return out;
}

std::string HostLogEntry::line() const {
    Json j = Json::object();
    j["seq"] = seq;
    j["time"] = time;
    j["us"] = us;
    if (isEvent()) {
        j["event"] = event;
    } else {
        j["link"] = link;
        j["op"] = op;
    }
    j["args"] = hostArgsToJson(args);
    if (!error.empty()) j["error"] = error;
    return dumpJson(j);
}

HostState::HostState(std::string callsign) : callsign_(std::move(callsign)) {}

const std::vector<std::string>& HostState::operations() {
    static const std::vector<std::string> ops = [] {
        std::vector<std::string> v;
        for (const auto& [name, sig] : opSignatures()) v.push_back(name);
        return v;
    }();
    return ops;
}

std::vector<HostStation>::iterator HostState::findStation(const std::string& call) {
    const std::string u = upper(call);
    return std::find_if(stations_.begin(), stations_.end(), [&](const HostStation& s) { return upper(s.call) == u; });
}

bool HostState::isConnectedTo(const std::string& call) const {
    const std::string u = upper(call);
    return std::any_of(stations_.begin(), stations_.end(), [&](const HostStation& s) { return upper(s.call) == u; });
}

void HostState::addLog(HostLogEntry e) {
    e.seq = ++seq_;
    if (clock) {
        const LocalTime t = clock();
        e.time = formatLogTime(t);
        e.us = epochMicroseconds(t);
    } else {
        // One reading gives both stamps, so they never disagree across a millisecond's turn.
        const auto now = std::chrono::system_clock::now();
        e.time = formatLogTime(localTimeAt(now));
        e.us = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
    }
    const std::string line = e.line();
    log_.push_back(std::move(e));
    while (log_.size() > logLimit_) log_.pop_front();
    if (onLogLine) onLogLine(line);
}

void HostState::emit(const HostEvent& ev) {
    HostLogEntry e;
    e.event = ev.name;
    e.args = ev.args;
    addLog(std::move(e));
    if (onEvent) onEvent(ev);
}

HostValue HostState::call(const std::string& link, const std::string& op, const std::vector<HostValue>& args) {
    HostLogEntry entry;
    entry.link = link;
    entry.op = op;
    entry.args = args;
    caused_.clear();
    HostValue result;
    try {
        result = perform(op, args);
    } catch (const HostError& e) {
        caused_.clear();
        entry.error = e.what();
        addLog(std::move(entry));
        throw;
    }
    addLog(std::move(entry));
    std::vector<HostEvent> caused;
    caused.swap(caused_);
    for (const auto& ev : caused) emit(ev);
    return result;
}

HostValue HostState::perform(const std::string& op, const std::vector<HostValue>& args) {
    if (op == kHelloOp) {
        if (args.size() != 1 || !std::holds_alternative<std::string>(args[0]))
            throw HostError("Hello: bad arguments");
        const auto& name = std::get<std::string>(args[0]);
        if (std::find(links_.begin(), links_.end(), name) == links_.end()) links_.push_back(name);
        return {};
    }
    auto sig = opSignatures().find(op);
    if (sig == opSignatures().end()) throw HostError("unknown operation " + op);
    if (!matches(sig->second, args)) throw HostError(op + ": bad arguments");
    if (op == failOp_) throw HostError("the host refused " + op);

    auto text = [&](std::size_t i) -> const std::string& { return std::get<std::string>(args[i]); };
    auto flag = [&](std::size_t i) { return std::get<bool>(args[i]); };

    if (op == "ConnectTo") {
        if (text(0).empty()) throw HostError("ConnectTo: no callsign");
        if (!isConnectedTo(text(0))) {
            stations_.push_back({text(0), "", ""});
            caused_.push_back({"connected", {text(0), std::string(), std::string()}});
        }
        return {};
    }
    if (op == "DisconnectFrom") {
        auto it = findStation(text(0));
        if (it != stations_.end()) {
            std::string call = it->call;
            stations_.erase(it);
            caused_.push_back({"Disconnected", {call}});
        }
        return {};
    }
    if (op == "DisconnectAllStations") {
        for (const auto& s : stations_) caused_.push_back({"Disconnected", {s.call}});
        stations_.clear();
        return {};
    }
    if (op == "SetPTT") {
        ptt_ = flag(0);
        return {};
    }
    if (op == "SetBusy") {
        busy_ = flag(0);
        return {};
    }
    if (op == "SetRTS") {
        rts_ = flag(0);
        return {};
    }
    if (op == "SetDTR") {
        dtr_ = flag(0);
        return {};
    }
    if (op == "IsLinkActive") return linkActive_;
    if (op == "IsReceiving") return receiving_;
    if (op == "IsTransmitting") return ptt_;
    if (op == "IsCarrierDetected") return carrier_;
    if (op == "GetConnectedCount") return static_cast<long long>(stations_.size());
    if (op == "IsConnectedTo") return isConnectedTo(text(0));
    if (op == "GetCallsign") return callsign_;
    // SendCWText, SendDTMF, SendChatText: the log is their whole effect here.
    return {};
}

void HostState::apply(const HostEvent& ev) {
    auto text = [&](std::size_t i) -> const std::string& { return std::get<std::string>(ev.args[i]); };
    if (ev.name == "RX") {
        receiving_ = std::get<bool>(ev.args[0]);
    } else if (ev.name == "CarrierDetect") {
        carrier_ = std::get<bool>(ev.args[0]);
    } else if (ev.name == "connected") {
        auto it = findStation(text(0));
        if (it == stations_.end())
            stations_.push_back({text(0), text(1), text(2)});
        else
            *it = {text(0), text(1), text(2)};
    } else if (ev.name == "Disconnected") {
        auto it = findStation(text(0));
        if (it != stations_.end()) stations_.erase(it);
    }
}

void HostState::raise(const HostEvent& ev) {
    auto sig = eventSignatures().find(ev.name);
    if (sig == eventSignatures().end()) throw std::invalid_argument("unknown event " + ev.name);
    if (!matches(sig->second, ev.args)) throw std::invalid_argument(ev.name + ": bad arguments");
    if ((ev.name == "connected" || ev.name == "Disconnected") && std::get<std::string>(ev.args[0]).empty())
        throw std::invalid_argument(ev.name + ": no callsign");
    apply(ev);
    emit(ev);
}

bool HostState::isEventCommand(const std::string& c) {
    return c == "dtmf" || c == "rx" || c == "carrier" || c == "connected" || c == "disconnected" || c == "chat" ||
           c == "closing";
}

HostEvent HostState::eventForCommand(const std::string& command, const std::vector<std::string>& args) {
    if (command == "dtmf") {
        if (args.size() != 1 || args[0].empty() || hasBlanksOrControls(args[0])) usage("dtmf DIGITS");
        return {"DTMFString", {args[0]}};
    }
    if (command == "rx" || command == "carrier") {
        bool on = false;
        if (args.size() != 1 || !parseFlag(args[0], on)) usage(command + " 0|1");
        return {command == "rx" ? "RX" : "CarrierDetect", {on}};
    }
    if (command == "connected") {
        if (args.empty() || args.size() > 3 || args[0].empty() || hasBlanksOrControls(args[0]))
            usage("connected CALL [NAME [ADDR]]");
        for (const auto& a : args)
            if (hasControlChars(a)) usage("connected CALL [NAME [ADDR]]");
        return {"connected", {args[0], args.size() > 1 ? args[1] : std::string(),
                              args.size() > 2 ? args[2] : std::string()}};
    }
    if (command == "disconnected") {
        if (args.size() != 1 || args[0].empty() || hasBlanksOrControls(args[0])) usage("disconnected CALL");
        return {"Disconnected", {args[0]}};
    }
    if (command == "chat") {
        if (args.empty()) usage("chat TEXT");
        std::string text;
        for (std::size_t i = 0; i < args.size(); ++i) text += (i ? " " : "") + args[i];
        // One chat line: a line break would split it on the way to the tools.
        if (text.find_first_of("\r\n") != std::string::npos) usage("chat TEXT (one line)");
        return {"ChatTextReceived", {text}};
    }
    if (command == "closing") {
        if (!args.empty()) usage("closing");
        return {"Closing", {}};
    }
    throw std::invalid_argument("unknown command " + command);
}

void HostState::checkSetting(const std::string& key, const std::string& value) {
    if (key == "callsign") {
        if (value.empty() || hasBlanksOrControls(value)) usage("set callsign CALL");
    } else if (key == "linkactive") {
        bool on;
        if (!parseFlag(value, on)) usage("set linkactive 0|1");
    } else if (key == "fail") {
        if (value != "none" && !opSignatures().count(value))
            throw std::invalid_argument("usage: tarnwick-host set fail OP|none (unknown operation " + value + ")");
    } else {
        usage("set callsign CALL | set linkactive 0|1 | set fail OP|none");
    }
}

std::string HostState::set(const std::string& key, const std::string& value) {
    checkSetting(key, value);
    std::string before;
    if (key == "callsign") {
        before = callsign_;
        callsign_ = value;
    } else if (key == "linkactive") {
        before = linkActive_ ? "1" : "0";
        linkActive_ = value == "1";
    } else {
        before = failOp_.empty() ? "none" : failOp_;
        failOp_ = value == "none" ? std::string() : value;
    }
    return key + " " + before + " -> " + value;
}

Json HostState::stateJson() const {
    Json j = Json::object();
    j["callsign"] = callsign_;
    j["ptt"] = ptt_;
    j["busy"] = busy_;
    j["dtr"] = dtr_;
    j["rts"] = rts_;
    j["receiving"] = receiving_;
    j["carrier"] = carrier_;
    j["linkactive"] = linkActive_;
    j["fail"] = failOp_.empty() ? Json() : Json(failOp_);
    Json st = Json::array();
    for (const auto& s : stations_) {
        Json o = Json::object();
        o["call"] = s.call;
        o["name"] = s.name;
        o["addr"] = s.addr;
        st.push_back(std::move(o));
    }
    j["stations"] = std::move(st);
    j["links"] = links_;
    j["seq"] = seq_;
    return j;
}

std::vector<std::string> HostState::logLines() const {
    std::vector<std::string> out;
    out.reserve(log_.size());
    for (const auto& e : log_) out.push_back(e.line());
    return out;
}

std::vector<HostLogEntry> HostState::calls(const std::string& op) const {
    std::vector<HostLogEntry> out;
    for (const auto& e : log_)
        if (!e.isEvent() && (op.empty() || e.op == op)) out.push_back(e);
    return out;
}

std::vector<HostLogEntry> HostState::events(const std::string& name) const {
    std::vector<HostLogEntry> out;
    for (const auto& e : log_)
        if (e.isEvent() && (name.empty() || e.event == name)) out.push_back(e);
    return out;
}

}  // namespace tarnwick
