#pragma once
// The simulated host behind its socket: a poll() loop that answers calls from the tool box, takes
// commands from `tarnwick-host` clients, and sends every raised event to each subscribed connection.

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "hostlink/host_state.h"

namespace tarnwick {

class HostServer {
public:
    // A request line longer than this (its line break not counted) is no request of ours; the
    // connection that sends one is dropped.
    static constexpr std::size_t kMaxRequestLine = 1u << 20;

    explicit HostServer(std::string path, std::string callsign = kDefaultHostCallsign);
    ~HostServer();
    HostServer(const HostServer&) = delete;
    HostServer& operator=(const HostServer&) = delete;

    // Appends every log line to the file, flushed line by line; throws HostError when it cannot be opened.
    void setLogFile(const std::string& file);
    // Makes the socket's folder, removes a stale socket file and listens. Throws HostError with a
    // one-line reason when another host already answers there or the path cannot be used.
    void open();
    // Serves until stop(); then closes every connection and removes the socket file it made.
    void run();
    // Ends run(). Safe from a signal handler and from another thread.
    void stop();

    const std::string& path() const { return path_; }
    // The reply line to one request line, as a connection gets it (without its line break); events
    // the request raised wait for the loop to send them. subscribe is set when the request asks for
    // the host's events.
    std::string replyTo(const std::string& line, bool& subscribe);
    // The host's state; touch it only from the thread that runs the loop, or before run().
    HostState& state() { return state_; }

private:
    struct Client {
        int fd = -1;
        std::string in;
        std::size_t lineStart = 0;  // where the request line under way begins in `in`
        std::string out;
        std::size_t sent = 0;  // bytes of `out` already written
        bool subscribed = false;
        bool dead = false;
    };

    void acceptClients();
    void readClient(Client& c);
    void handleLine(Client& c, const std::string& line);
    Json handleRequest(const Json& req, bool& subscribe);
    void broadcast(const std::vector<HostEvent>& events);
    void writeClient(Client& c);
    void closeSocket();

    std::string path_;
    HostState state_;
    int listenFd_ = -1;
    int wakeRead_ = -1, wakeWrite_ = -1;
    dev_t sockDev_ = 0;
    ino_t sockIno_ = 0;
    std::vector<Client> clients_;
    std::vector<HostEvent> raised_;  // events raised while a request is handled, sent after its reply
    std::FILE* logFile_ = nullptr;
    std::set<unsigned> refusedUsers_;  // each refused user is reported once
};

}  // namespace tarnwick
