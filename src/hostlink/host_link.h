#pragma once
// One tool window's connection to the EchoLink host: its operations and its events. All links of the
// process share one transport through the hub; every event reaches every live link in the order the
// links were created, and one event reaches all links before the next is delivered.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace tarnwick {

class Runtime;
class Timer;

// A failed host call. Callers that pass over failures catch it.
class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A call that found no host able to answer it: none runs, it takes no more connections, it took the
// call and sent no reply in time, or it went away during the call. No host refused anything; when the
// call went out, the host may have acted on it.
class HostUnreachable : public HostError {
public:
    HostUnreachable(const std::string& what, std::string reason, bool sent)
        : HostError(what), reason_(std::move(reason)), sent_(sent) {}
    // The operator's short words for it: "no host is running", "the host does not answer".
    const std::string& reason() const { return reason_; }
    // Whether the call reached a host before it was lost.
    bool sent() const { return sent_; }

private:
    std::string reason_;
    bool sent_;
};

using HostValue = std::variant<std::monostate, bool, long long, std::string>;

// An event raised by the host: its name and its arguments.
struct HostEvent {
    std::string name;  // "DTMFString", "RX", "CarrierDetect", "connected", "Disconnected", "ChatTextReceived", "Closing"
    std::vector<HostValue> args;
};

// Why an event lacks what its handlers need: an argument it must carry that is missing or of another
// kind, or a callsign or digit string that is empty. Empty when nothing is lacking, and for an event
// this program does not know (no handler receives one).
std::string eventFault(const HostEvent& ev);

// How calls reach a host: synchronous request and reply. Events come back through the sink.
class HostTransport {
public:
    virtual ~HostTransport() = default;
    // Performs op for the link named `link`; throws HostError on failure.
    virtual HostValue call(const std::string& link, const std::string& op, const std::vector<HostValue>& args) = 0;
    // The hub installs the sink; transports hand it every event they receive.
    std::function<void(HostEvent)> eventSink;
    // The hub installs this too: a transport that reaches a host again after losing it (a restarted
    // host knows nothing of this program) calls it once the links have introduced themselves again.
    std::function<void()> reconnected;

    // The program is on its way out: from now on no call waits for the host past budgetMs from now,
    // whatever the host does. A later, shorter budget shortens it further.
    virtual void windDown(int budgetMs) { (void)budgetMs; }
    // Work that holds the thread for long (a keyed speech) calls this every tenth of a second or so:
    // a host that went away is noticed and one that came back is found (and `reconnected` runs), as
    // the loop's own calls would, without waiting for a reply.
    virtual void keepUp() {}
};

class HostLink;

// How a release (SetPTT, SetBusy, SetDTR or SetRTS to False) treats the rest of the program.
// Routine: the tool's own end of its work. It drops this link's hold; it must not cut a transmission
//   that another link of this process has under way (the host stays keyed while another link holds it).
// Force: the operator's STOP, the quit prompts, Closing and the host-gone paths. It releases the host
//   whatever other links hold, and drops every hold.
// Either kind that the host refuses throws HostError to the caller as any failed call does, and the hub
// retries it at least once a second until the host accepts it; then the link's ReleaseDone runs. On the
// way out, one that reaches no host is left to the end's own release and throws nothing.
enum class Release { Routine, Force };

class HostHub {
public:
    HostHub(Runtime& rt, HostTransport& transport);
    ~HostHub();

    HostTransport& transport() { return transport_; }
    Runtime& runtime() { return rt_; }

    // Queues an event and delivers it unless a delivery is already under way.
    void raise(HostEvent ev);
    // Delivers queued events (used when a yield runs while nothing is being delivered).
    void deliverPending();

    // Runs after a Closing event has reached every link: the program ends the process here once.
    // Unset, the hub ends the process through the runtime. Events after Closing are dropped.
    std::function<void()> afterClosing;

    std::size_t linkCount() const { return links_.size(); }
    bool delivering() const { return delivering_; }

    // Whether a link other than `self` holds op on (its last accepted call of it was True). For SetPTT
    // this is another tool's transmission under way: what holds speech back, and what a routine
    // release of `self` leaves on air.
    bool heldByOthers(const HostLink& self, const std::string& op) const;

    // The end of the program, run by the runtime's exit work: every line the program may have on at
    // the host goes off, under the name of the link that had it. A refusal is tried again every half
    // second until the way out's time is up; then one ERROR line names each line still on, with the
    // reason. A line no link turned on is left alone.
    void releaseForExit();

    // Work that holds the thread for long (a keyed speech) calls this every tenth of a second or so,
    // so that a host that comes back meanwhile has the transmission under way keyed again at once.
    void keepUp();

private:
    friend class HostLink;
    // A release the host refused, waiting for its retry. The link may have closed since; the retry
    // still goes out under its name.
    struct PendingRelease {
        HostLink* link;
        std::uint64_t serial;
        std::string owner;
        std::string op;
    };

    void attach(HostLink* l);
    void detach(HostLink* l);
    // Every call to the host goes through here. The first one after a stop signal starts the way out.
    HostValue send(const std::string& owner, const std::string& op, const std::vector<HostValue>& args);
    // The way out starts (a stop signal, Closing, or the end of the process, whichever comes first):
    // counted from the first stop signal, or from now, the host gets five seconds in all.
    void beginExit();
    // Keys a line under the owner's name. From then the line may be on at the host, unless the host
    // refused the key or never received it.
    void key(const std::string& owner, const std::string& op);
    void deliver(const HostEvent& ev);
    // SetPTT, SetBusy, SetDTR and SetRTS of every link go through here.
    void setLine(HostLink& l, const std::string& op, bool on, Release how);
    // The host accepted a release of op (or a new key took the line over): the releases still waiting
    // for op are done. `caller` learns it from its own call and gets no ReleaseDone.
    void settle(const std::string& op, const HostLink* caller);
    void retryReleases();
    void releaseDone(HostLink* link, std::uint64_t serial, const std::string& op);
    // A host found again after it was lost: every line a link holds is put on again, as the link's
    // own key-up did (the busy flag before the transmitter).
    void rekey();
    // The name of a live link by serial, or "".
    std::string ownerOf(std::uint64_t serial) const;

    Runtime& rt_;
    HostTransport& transport_;
    std::vector<HostLink*> links_;
    std::deque<HostEvent> queue_;
    bool delivering_ = false;
    // The runtime's loop depth where the delivery under way started.
    int deliveringDepth_ = 0;
    bool closed_ = false;
    std::uint64_t nextSerial_ = 1;
    // For each line, the links (by serial) whose last accepted call of it was True.
    std::map<std::string, std::set<std::uint64_t>> holds_;
    // The lines this program may have on at the host, each with the name of the link that last keyed
    // it: a key the host took, or one that went out unanswered, and no release taken since. A key the
    // host refused, or one that reached no host, turned nothing on.
    std::map<std::string, std::string> onAtHost_;
    std::vector<PendingRelease> pending_;
    std::unique_ptr<Timer> retryTimer_;
    int exitWork_ = 0;
    bool exiting_ = false;
    // When the way out's time is up, on the runtime's clock.
    std::int64_t exitDeadline_ = 0;
};

class HostLink {
public:
    // `owner` is the name of the window that owns the link ("Form1"); the host logs it with each call.
    HostLink(HostHub& hub, std::string owner);
    ~HostLink();
    HostLink(const HostLink&) = delete;
    HostLink& operator=(const HostLink&) = delete;

    const std::string& owner() const { return owner_; }
    // Whether another link of this process holds op on ("SetPTT": another tool's transmission is
    // under way). A routine release of this link leaves such a line on.
    bool othersHold(const std::string& op) const { return serial_ != 0 && hub_.heldByOthers(*this, op); }

    // Operations; each throws HostError when the host refuses or cannot be reached.
    void ConnectTo(const std::string& callsign, bool flag = true);
    void DisconnectFrom(const std::string& callsign);
    void DisconnectAllStations();
    void SetPTT(bool on, Release how = Release::Routine);
    bool IsLinkActive();
    bool IsReceiving();
    bool IsTransmitting();
    bool IsCarrierDetected();
    void SendCWText(long long mode, const std::string& text);
    long long GetConnectedCount();
    bool IsConnectedTo(const std::string& callsign);
    // GetLocalStation().GetCallsign(): the node's own callsign.
    std::string GetCallsign();
    void SendDTMF(const std::string& digits);
    void SetBusy(bool on, Release how = Release::Routine);
    void SetRTS(bool on, Release how = Release::Routine);
    void SetDTR(bool on, Release how = Release::Routine);
    void SendChatText(const std::string& text);

    // Events; an unset handler ignores the event.
    std::function<void(const std::string& digits)> DTMFString;
    std::function<void(bool rx)> RX;
    std::function<void(bool cd)> CarrierDetect;
    std::function<void(const std::string& call, const std::string& name, const std::string& addr)> connected;
    std::function<void(const std::string& call)> Disconnected;
    std::function<void(const std::string& text)> ChatTextReceived;
    std::function<void()> Closing;
    // A release this link asked for that the host refused went through on a retry: op is "SetPTT",
    // "SetBusy", "SetDTR" or "SetRTS". Indicators that wait for the release ("PTT OFF") update here.
    std::function<void(const std::string& op)> ReleaseDone;

private:
    friend class HostHub;
    HostValue call(const std::string& op, std::vector<HostValue> args);
    void line(const char* op, bool on, Release how);
    void dispatch(const HostEvent& ev);

    HostHub& hub_;
    std::string owner_;
    // Tells a link apart from a later one at the same address while an event is being delivered.
    std::uint64_t serial_ = 0;
};

}  // namespace tarnwick
