#include "hostlink/host_link.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "runtime/runtime.h"
#include "runtime/termination_signals.h"

namespace tarnwick {

namespace {

// How often a release the host refused is tried again.
constexpr int kReleaseRetryMs = 500;
// How long the way out may wait for the host in all, the tools' clean-up and the last releases
// together, counted from the first stop signal (or from Closing, or the end of the process).
constexpr int kExitMs = 5000;

// The node's lines in the order the program lets go of them, and what the operator calls them.
struct LineName {
    const char* op;
    const char* name;
};
constexpr LineName kLinesOff[] = {{"SetPTT", "PTT"}, {"SetBusy", "busy"}, {"SetDTR", "DTR"}, {"SetRTS", "RTS"}};
// The order a key-up puts them on: the busy flag before the transmitter.
constexpr const char* kLinesOn[] = {"SetBusy", "SetPTT", "SetDTR", "SetRTS"};

// What each event carries, in order. An argument that must be filled holds more than blanks: an
// event about nobody, or about no digits, is no event a handler can act on.
struct EventArg {
    bool text;         // text, else true or false
    const char* what;  // for the diagnostic
    bool filled;
};
struct EventShape {
    const char* name;
    std::size_t count;
    EventArg args[3];
};
constexpr EventShape kEventShapes[] = {
    {"DTMFString", 1, {{true, "digits", true}}},
    {"RX", 1, {{false, "receive state", false}}},
    {"CarrierDetect", 1, {{false, "carrier state", false}}},
    {"connected", 3, {{true, "callsign", true}, {true, "name", false}, {true, "address", false}}},
    {"Disconnected", 1, {{true, "callsign", true}}},
    {"ChatTextReceived", 1, {{true, "chat line", false}}},
    {"Closing", 0, {}},
};

bool blank(const std::string& s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return c == ' ' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

// Events reach the handlers only once eventFault() has found every argument there, of its kind.
const std::string& textArg(const HostEvent& ev, std::size_t i) { return std::get<std::string>(ev.args.at(i)); }
bool flagArg(const HostEvent& ev, std::size_t i) { return std::get<bool>(ev.args.at(i)); }

bool expectBool(const HostValue& v, const char* op) {
    if (auto b = std::get_if<bool>(&v)) return *b;
    throw HostError(std::string(op) + ": unexpected reply from the host");
}

long long expectNumber(const HostValue& v, const char* op) {
    if (auto n = std::get_if<long long>(&v)) return *n;
    throw HostError(std::string(op) + ": unexpected reply from the host");
}

std::string expectText(const HostValue& v, const char* op) {
    if (auto s = std::get_if<std::string>(&v)) return *s;
    throw HostError(std::string(op) + ": unexpected reply from the host");
}

// Why a call failed, in the operator's words: a host's own refusal says itself.
std::string reasonOf(const std::exception& e) {
    if (auto u = dynamic_cast<const HostUnreachable*>(&e)) return u->reason();
    return e.what();
}

}  // namespace

std::string eventFault(const HostEvent& ev) {
    for (const EventShape& shape : kEventShapes) {
        if (ev.name != shape.name) continue;
        for (std::size_t i = 0; i < shape.count; ++i) {
            const EventArg& arg = shape.args[i];
            if (i >= ev.args.size()) return std::string("no ") + arg.what;
            const HostValue& v = ev.args[i];
            if (arg.text && !std::holds_alternative<std::string>(v))
                return std::string("the ") + arg.what + " is no text";
            if (!arg.text && !std::holds_alternative<bool>(v))
                return std::string("the ") + arg.what + " is not true or false";
            if (arg.filled && blank(std::get<std::string>(v))) return std::string("no ") + arg.what;
        }
        return {};
    }
    return {};
}

// ---- HostHub ----

HostHub::HostHub(Runtime& rt, HostTransport& transport) : rt_(rt), transport_(transport) {
    transport_.eventSink = [this](HostEvent ev) { raise(std::move(ev)); };
    transport_.reconnected = [this] { rekey(); };
    // Made before any tool, so its release runs after every tool's own clean-up.
    exitWork_ = rt_.addExitWork([this] { releaseForExit(); });
}

HostHub::~HostHub() {
    rt_.removeExitWork(exitWork_);
    transport_.eventSink = nullptr;
    transport_.reconnected = nullptr;
    for (HostLink* l : links_) l->serial_ = 0;
}

std::string HostHub::ownerOf(std::uint64_t serial) const {
    for (const HostLink* l : links_)
        if (l->serial_ == serial) return l->owner();
    return {};
}

bool HostHub::heldByOthers(const HostLink& self, const std::string& op) const {
    auto it = holds_.find(op);
    if (it == holds_.end()) return false;
    for (std::uint64_t serial : it->second)
        if (serial != self.serial_) return true;
    return false;
}

void HostHub::rekey() {
    // The new host has every line off; a transmission under way goes on keyed. Not on the way out:
    // the tools are letting go of the node, and a key now would only be taken back.
    if (exiting_) return;
    for (const char* op : kLinesOn) {
        auto it = holds_.find(op);
        if (it == holds_.end() || it->second.empty()) continue;
        const std::string owner = ownerOf(*it->second.begin());
        try {
            key(owner, op);
        } catch (const std::exception& e) {
            rt_.error(owner + " " + op + " again", e.what());
        }
    }
}

void HostHub::key(const std::string& owner, const std::string& op) {
    try {
        send(owner, op, {true});
    } catch (const HostUnreachable& e) {
        // A key that went out unanswered may have been taken.
        if (e.sent()) onAtHost_[op] = owner;
        throw;
    }
    onAtHost_[op] = owner;
}

void HostHub::keepUp() {
    // On the way out nothing is keyed again.
    if (exiting_ || stopRequested()) return;
    try {
        transport_.keepUp();
    } catch (const std::exception& e) {
        rt_.error("HostLink", e.what());
    } catch (...) {
        rt_.error("HostLink", "unknown failure");
    }
}

HostValue HostHub::send(const std::string& owner, const std::string& op, const std::vector<HostValue>& args) {
    if (!exiting_ && stopRequested()) beginExit();
    return transport_.call(owner, op, args);
}

void HostHub::beginExit() {
    if (exiting_) return;
    exiting_ = true;
    const long long sinceSignal = std::max(0LL, msSinceStopRequest());
    const int left = static_cast<int>(std::max(0LL, kExitMs - sinceSignal));
    exitDeadline_ = rt_.monotonicMs() + left;
    transport_.windDown(left);
}

void HostHub::releaseForExit() {
    beginExit();
    struct Off {
        std::string op, name, owner, error;
    };
    // Each line that may be on goes off under the name of the link that had it: its first holder,
    // else the link whose release the host refused, else the link that keyed it last.
    std::vector<Off> offs;
    for (const LineName& line : kLinesOff) {
        auto on = onAtHost_.find(line.op);
        if (on == onAtHost_.end()) continue;
        std::string owner;
        if (auto it = holds_.find(line.op); it != holds_.end() && !it->second.empty())
            owner = ownerOf(*it->second.begin());
        for (const PendingRelease& p : pending_)
            if (owner.empty() && p.op == line.op) owner = p.owner;
        if (owner.empty()) owner = on->second;
        offs.push_back({line.op, line.name, owner, {}});
    }
    holds_.clear();
    pending_.clear();
    if (retryTimer_) retryTimer_->setEnabled(false);

    for (;;) {
        for (auto it = offs.begin(); it != offs.end();) {
            try {
                send(it->owner, it->op, {false});
                onAtHost_.erase(it->op);
                it = offs.erase(it);
            } catch (const std::exception& e) {
                it->error = reasonOf(e);
                ++it;
            }
        }
        const std::int64_t left = exitDeadline_ - rt_.monotonicMs();
        if (offs.empty() || left <= 0) break;
        rt_.blockingDelay(static_cast<int>(std::min<std::int64_t>(left, kReleaseRetryMs)));
    }
    for (const Off& o : offs) rt_.error("exit", "the " + o.name + " line is still on: " + o.error);
}

void HostHub::attach(HostLink* l) {
    l->serial_ = nextSerial_++;
    links_.push_back(l);
}

void HostHub::detach(HostLink* l) {
    links_.erase(std::remove(links_.begin(), links_.end(), l), links_.end());
    // A closed window holds nothing; a release of its that the host refused is still retried.
    for (auto& [op, holders] : holds_) holders.erase(l->serial_);
    for (PendingRelease& p : pending_)
        if (p.link == l) p.link = nullptr;
}

// ---- Releases ----

void HostHub::setLine(HostLink& l, const std::string& op, bool on, Release how) {
    std::set<std::uint64_t>& holders = holds_[op];
    if (on) {
        key(l.owner(), op);
        holders.insert(l.serial_);
        // A transmission started after a refused release supersedes it: the line is this link's now.
        settle(op, &l);
        return;
    }
    if (how == Release::Force) {
        holders.clear();
    } else {
        holders.erase(l.serial_);
        // Another link is still on the line: its transmission goes on, and this link holds it no more.
        if (!holders.empty()) {
            pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                          [&](const PendingRelease& p) { return p.link == &l && p.op == op; }),
                           pending_.end());
            return;
        }
    }
    try {
        l.call(op, {false});
    } catch (const HostError& e) {
        // On the way out a release that reaches no host is the end's own business: a line that may
        // be on is released again there and named once if it stays on, and a line nobody turned on
        // needs nothing from a host that is not there. The tool's clean-up goes on without a word.
        const bool quiet = exiting_ && dynamic_cast<const HostUnreachable*>(&e);
        if (quiet && !onAtHost_.count(op)) return;
        pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                      [&](const PendingRelease& p) { return p.link == &l && p.op == op; }),
                       pending_.end());
        pending_.push_back({&l, l.serial_, l.owner(), op});
        if (!retryTimer_) {
            retryTimer_ = std::make_unique<Timer>(rt_, kReleaseRetryMs);
            retryTimer_->onTick = [this] { retryReleases(); };
        }
        retryTimer_->setEnabled(true);
        if (quiet) return;
        throw;
    }
    onAtHost_.erase(op);
    settle(op, &l);
}

void HostHub::settle(const std::string& op, const HostLink* caller) {
    std::vector<PendingRelease> done;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->op == op) {
            if (it->link && it->link != caller) done.push_back(*it);
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
    if (pending_.empty() && retryTimer_) retryTimer_->setEnabled(false);
    for (const PendingRelease& p : done) releaseDone(p.link, p.serial, p.op);
}

void HostHub::retryReleases() {
    // One retry per line: once the host accepts it, every release waiting for that line is done.
    std::vector<PendingRelease> batch;
    for (const PendingRelease& p : pending_)
        if (std::none_of(batch.begin(), batch.end(), [&](const PendingRelease& b) { return b.op == p.op; }))
            batch.push_back(p);
    for (const PendingRelease& p : batch) {
        // A key accepted meanwhile (from a handler run by an earlier retry) has settled this line.
        if (std::none_of(pending_.begin(), pending_.end(), [&](const PendingRelease& q) { return q.op == p.op; }))
            continue;
        try {
            send(p.owner, p.op, {false});
        } catch (const std::exception& e) {
            rt_.error(p.owner + " " + p.op + " retry", e.what());
            continue;
        }
        onAtHost_.erase(p.op);
        holds_[p.op].clear();
        settle(p.op, nullptr);
    }
}

void HostHub::releaseDone(HostLink* link, std::uint64_t serial, const std::string& op) {
    // The link may have closed while an earlier handler ran.
    auto it = std::find(links_.begin(), links_.end(), link);
    if (it == links_.end() || (*it)->serial_ != serial) return;
    auto handler = link->ReleaseDone;
    if (!handler) return;
    try {
        handler(op);
    } catch (const std::exception& e) {
        rt_.error(link->owner() + " ReleaseDone", e.what());
    } catch (...) {
        rt_.error(link->owner() + " ReleaseDone", "unknown failure");
    }
}

void HostHub::raise(HostEvent ev) {
    if (closed_) return;
    // A faulty host's event without what it must carry is no event: it is reported, never acted on
    // with blanks in place of what is missing (an announcement of nobody).
    if (const std::string fault = eventFault(ev); !fault.empty()) {
        rt_.error("HostLink " + ev.name, "passed over (" + fault + ")");
        return;
    }
    queue_.push_back(std::move(ev));
    deliverPending();
}

void HostHub::deliverPending() {
    // While a handler runs, events wait for it; but a modal box or dialog opened from a handler runs
    // a loop of its own, and inside it events go on as they do for every other tool.
    const int depth = rt_.loopDepth();
    if (delivering_ && depth <= deliveringDepth_) return;
    const bool outerDelivering = delivering_;
    const int outerDepth = deliveringDepth_;
    delivering_ = true;
    deliveringDepth_ = depth;
    while (!queue_.empty() && !closed_) {
        HostEvent ev = std::move(queue_.front());
        queue_.pop_front();
        // The tools' clean-up is part of the way out: its calls share the way out's time.
        if (ev.name == "Closing") beginExit();
        deliver(ev);
        if (ev.name == "Closing") {
            // Every tool has run its clean-up; the process ends here, once. Its exit work tries a
            // release the host refused again until the host takes it, for a while.
            closed_ = true;
            queue_.clear();
            try {
                if (afterClosing)
                    afterClosing();
                else
                    rt_.endProcess(0);
            } catch (const std::exception& e) {
                rt_.error("Closing", e.what());
            } catch (...) {
                rt_.error("Closing", "unknown failure");
            }
        }
    }
    delivering_ = outerDelivering;
    deliveringDepth_ = outerDepth;
}

void HostHub::deliver(const HostEvent& ev) {
    // The links live now get the event, in creation order. A link closed by an earlier handler is
    // skipped; one opened meanwhile waits for the next event.
    struct Target {
        HostLink* link;
        std::uint64_t serial;
    };
    std::vector<Target> targets;
    targets.reserve(links_.size());
    for (HostLink* l : links_) targets.push_back({l, l->serial_});
    for (const Target& t : targets) {
        auto it = std::find(links_.begin(), links_.end(), t.link);
        if (it == links_.end() || (*it)->serial_ != t.serial) continue;
        const std::string where = t.link->owner() + " " + ev.name;
        try {
            t.link->dispatch(ev);
        } catch (const std::exception& e) {
            rt_.error(where, e.what());
        } catch (...) {
            rt_.error(where, "unknown failure");
        }
    }
}

// ---- HostLink ----

HostLink::HostLink(HostHub& hub, std::string owner) : hub_(hub), owner_(std::move(owner)) {
    hub_.attach(this);
    // The host logs each call with the link's name; this first call tells it which window this is.
    try {
        hub_.send(owner_, "Hello", {owner_});
    } catch (const std::exception& e) {
        hub_.runtime().error(owner_ + " HostLink", e.what());
    }
}

HostLink::~HostLink() {
    if (serial_ != 0) hub_.detach(this);
}

HostValue HostLink::call(const std::string& op, std::vector<HostValue> args) {
    if (serial_ == 0) throw HostError(op + ": the host link is closed");
    return hub_.send(owner_, op, args);
}

void HostLink::line(const char* op, bool on, Release how) {
    if (serial_ == 0) throw HostError(std::string(op) + ": the host link is closed");
    hub_.setLine(*this, op, on, how);
}

void HostLink::ConnectTo(const std::string& callsign, bool flag) { call("ConnectTo", {callsign, flag}); }
void HostLink::DisconnectFrom(const std::string& callsign) { call("DisconnectFrom", {callsign}); }
void HostLink::DisconnectAllStations() { call("DisconnectAllStations", {}); }
void HostLink::SetPTT(bool on, Release how) { line("SetPTT", on, how); }
bool HostLink::IsLinkActive() { return expectBool(call("IsLinkActive", {}), "IsLinkActive"); }
bool HostLink::IsReceiving() { return expectBool(call("IsReceiving", {}), "IsReceiving"); }
bool HostLink::IsTransmitting() { return expectBool(call("IsTransmitting", {}), "IsTransmitting"); }
bool HostLink::IsCarrierDetected() { return expectBool(call("IsCarrierDetected", {}), "IsCarrierDetected"); }
void HostLink::SendCWText(long long mode, const std::string& text) { call("SendCWText", {mode, text}); }
long long HostLink::GetConnectedCount() {
    return expectNumber(call("GetConnectedCount", {}), "GetConnectedCount");
}
bool HostLink::IsConnectedTo(const std::string& callsign) {
    return expectBool(call("IsConnectedTo", {callsign}), "IsConnectedTo");
}
std::string HostLink::GetCallsign() { return expectText(call("GetCallsign", {}), "GetCallsign"); }
void HostLink::SendDTMF(const std::string& digits) { call("SendDTMF", {digits}); }
void HostLink::SetBusy(bool on, Release how) { line("SetBusy", on, how); }
void HostLink::SetRTS(bool on, Release how) { line("SetRTS", on, how); }
void HostLink::SetDTR(bool on, Release how) { line("SetDTR", on, how); }
void HostLink::SendChatText(const std::string& text) { call("SendChatText", {text}); }

void HostLink::dispatch(const HostEvent& ev) {
    // Each handler runs from a copy: a handler may replace itself or close the window that owns this link.
    auto run = [](auto handler, auto&&... args) {
        if (handler) handler(std::forward<decltype(args)>(args)...);
    };
    const std::string& n = ev.name;
    if (n == "DTMFString")
        run(DTMFString, textArg(ev, 0));
    else if (n == "RX")
        run(RX, flagArg(ev, 0));
    else if (n == "CarrierDetect")
        run(CarrierDetect, flagArg(ev, 0));
    else if (n == "connected")
        run(connected, textArg(ev, 0), textArg(ev, 1), textArg(ev, 2));
    else if (n == "Disconnected")
        run(Disconnected, textArg(ev, 0));
    else if (n == "ChatTextReceived")
        run(ChatTextReceived, textArg(ev, 0));
    else if (n == "Closing")
        run(Closing);
}

}  // namespace tarnwick
