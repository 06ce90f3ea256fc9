#pragma once
// The program's way to the host: one socket connection shared by every host link through the hub.
// Calls are synchronous request and reply; between calls the socket is watched by the event loop and
// the host's events are handed to the hub as they come.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "hostlink/host_link.h"
#include "hostlink/host_protocol.h"

namespace tarnwick {

class SocketTransport : public HostTransport {
public:
    explicit SocketTransport(Runtime& rt, std::string path = hostSocketPath(), int replyTimeoutMs = 5000);
    ~SocketTransport() override;
    SocketTransport(const SocketTransport&) = delete;
    SocketTransport& operator=(const SocketTransport&) = delete;

    // Connects and subscribes to the host's events; throws HostError when no host answers there.
    void connect();
    // The same for the program's start-up: false when no host answers, the reason passed over as an error.
    bool tryConnect();
    void disconnect();
    bool isConnected() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // Sends one call and waits for its reply. Events that arrive meanwhile are kept, in order, and
    // handed to the sink from the event loop after the call returns. Without a connection it tries
    // once to connect again (the host may have been restarted); once connected again, every link that
    // introduced itself does so again, so the new host knows them. Throws HostError on a refusal, and
    // HostUnreachable when no host runs, it goes away or no reply comes within the time-out.
    HostValue call(const std::string& link, const std::string& op, const std::vector<HostValue>& args) override;
    // On the way out no request waits past the budget; a request sent after it is up fails at once.
    void windDown(int budgetMs) override;
    // Reads what the host sent meanwhile (its events wait for the loop), notices a closed connection,
    // and without one tries once to connect again. Never waits for the host.
    void keepUp() override;

    // For a signal handler that must end the program at once: drops, on a connection of its own, every
    // line (transmitter, busy flag, DTR, RTS) that this program's last accepted call left on at the
    // host, and waits briefly for the host's replies. Uses only calls a signal handler may make.
    static void dropLinesNow();

private:
    Json request(Json req);
    // Connects to a host again and introduces every link to it, but `introducing` (whose own Hello
    // is the call under way); then `reconnected` runs.
    void reconnect(const std::string& introducing);
    void onReadable();
    // Sorts the complete lines read so far: events to pending_, the awaited reply to *reply.
    void takeLines(long long awaitedId, Json* reply, bool* gotReply);
    void flushPending();
    void scheduleFlush();
    void lost(const std::string& why);

    Runtime& rt_;
    std::string path_;
    int timeoutMs_;
    // Set by windDown: no request waits past it (steadyMs).
    std::int64_t exitDeadline_ = -1;
    int fd_ = -1;
    int watch_ = -1;
    long long nextId_ = 1;
    // The links that introduced themselves ("Hello"), in order.
    std::vector<std::string> introduced_;
    LineReader reader_;
    std::deque<HostEvent> pending_;
    bool flushPosted_ = false;
    // Work posted to the loop checks this before touching a transport that may be gone.
    std::shared_ptr<SocketTransport*> self_;
};

}  // namespace tarnwick
