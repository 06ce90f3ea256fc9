#include "hostlink/socket_transport.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>

#include "hostlink/host_state.h"
#include "runtime/runtime.h"

namespace tarnwick {

namespace {

// The node's lines, one bit each in gLinesOn.
constexpr const char* kLineOps[] = {"SetPTT", "SetBusy", "SetDTR", "SetRTS"};

// What dropLinesNow needs, kept where a signal handler may read it: the socket's address and the
// name to call under (both written when the transport is made and its first link introduces itself,
// before any line goes on), and the lines on at the host.
struct LastResort {
    sockaddr_un addr{};
    volatile std::sig_atomic_t ready = 0;
    char link[64] = {};
};
LastResort gLastResort;
volatile std::sig_atomic_t gLinesOn = 0;

int lineBit(const std::string& op) {
    for (int i = 0; i < 4; ++i)
        if (op == kLineOps[i]) return 1 << i;
    return 0;
}

// Appends a C string to a fixed buffer; no allocation, as in a signal handler.
std::size_t append(char* buf, std::size_t at, std::size_t size, const char* text) {
    while (*text && at + 1 < size) buf[at++] = *text++;
    buf[at] = '\0';
    return at;
}

// Why the reading of the host's lines ended: a line too long to be the host's, else `otherwise`.
std::string readingEnded(const LineReader& reader, const char* otherwise) {
    if (!reader.overlong()) return otherwise;
    return "a line from the host is longer than " + std::to_string(reader.maxLine()) + " bytes";
}

}  // namespace

SocketTransport::SocketTransport(Runtime& rt, std::string path, int replyTimeoutMs)
    : rt_(rt), path_(std::move(path)), timeoutMs_(replyTimeoutMs), self_(std::make_shared<SocketTransport*>(this)) {
    // The program has one transport; the newest one is the one to drop lines through.
    gLastResort.ready = 0;
    gLinesOn = 0;
    gLastResort.addr = {};
    gLastResort.link[0] = '\0';
    if (!path_.empty() && path_.size() < sizeof gLastResort.addr.sun_path) {
        gLastResort.addr.sun_family = AF_UNIX;
        std::memcpy(gLastResort.addr.sun_path, path_.c_str(), path_.size() + 1);
    }
}

void SocketTransport::dropLinesNow() {
    const int on = gLinesOn;
    if (!on || !gLastResort.ready) return;
    // Non-blocking: a hung host with no room for another connection must not hold the end.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&gLastResort.addr), sizeof gLastResort.addr) != 0) {
        ::close(fd);
        return;
    }
    int asked = 0;
    for (int i = 0; i < 4; ++i) {
        if (!(on & (1 << i))) continue;
        char line[192];
        std::size_t n = append(line, 0, sizeof line, "{\"id\":1,\"link\":\"");
        n = append(line, n, sizeof line, gLastResort.link);
        n = append(line, n, sizeof line, "\",\"op\":\"");
        n = append(line, n, sizeof line, kLineOps[i]);
        n = append(line, n, sizeof line, "\",\"args\":[false]}\n");
        if (::send(fd, line, n, MSG_NOSIGNAL) == static_cast<ssize_t>(n)) ++asked;
    }
    // The host answers each line; its replies say it has taken them. At most a second in all.
    int answered = 0;
    for (int round = 0; round < 10 && answered < asked; ++round) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buf[512];
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got <= 0) break;
        for (ssize_t k = 0; k < got; ++k)
            if (buf[k] == '\n') ++answered;
    }
    ::close(fd);
}

SocketTransport::~SocketTransport() {
    *self_ = nullptr;
    disconnect();
}

void SocketTransport::connect() {
    if (fd_ >= 0) return;
    fd_ = connectOwnHost(path_);
    std::weak_ptr<SocketTransport*> weak = self_;
    watch_ = rt_.addReadWatch(fd_, [weak] {
        if (auto p = weak.lock(); p && *p) (*p)->onReadable();
    });
    Json req = Json::object();
    req["cmd"] = "subscribe";
    Json reply = request(std::move(req));  // a lost connection is closed there
    const Json* ok = jsonMember(reply, "ok");
    if (!ok || *ok != true) {
        disconnect();
        throw HostError("the program at " + path_ + " is no host");
    }
}

bool SocketTransport::tryConnect() {
    try {
        connect();
        return true;
    } catch (const HostError& e) {
        rt_.error("host", e.what());
        return false;
    }
}

void SocketTransport::disconnect() {
    if (watch_ >= 0) rt_.removeWatch(watch_);
    watch_ = -1;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    reader_.clear();
}

void SocketTransport::lost(const std::string& why) {
    if (fd_ < 0) return;
    disconnect();
    rt_.error("HostLink", why);
}

void SocketTransport::reconnect(const std::string& introducing) {
    connect();
    // A host that came back knows none of the links that are still open.
    for (const std::string& name : introduced_) {
        if (name == introducing) continue;
        Json hello = Json::object();
        hello["link"] = name;
        hello["op"] = "Hello";
        hello["args"] = hostArgsToJson({name});
        request(std::move(hello));
    }
    // Nor anything this program had on: a new host starts with every line off.
    gLinesOn = 0;
    if (reconnected) reconnected();
}

HostValue SocketTransport::call(const std::string& link, const std::string& op, const std::vector<HostValue>& args) {
    if (op == "Hello" && std::find(introduced_.begin(), introduced_.end(), link) == introduced_.end()) {
        introduced_.push_back(link);
        // The first window to introduce itself (the launcher) lends its name to a last-resort release.
        if (!gLastResort.ready && gLastResort.addr.sun_family == AF_UNIX && link.size() < sizeof gLastResort.link) {
            std::memcpy(gLastResort.link, link.c_str(), link.size() + 1);
            gLastResort.ready = 1;
        }
    }
    if (fd_ < 0) reconnect(op == "Hello" ? link : std::string());
    Json req = Json::object();
    req["link"] = link;
    req["op"] = op;
    req["args"] = hostArgsToJson(args);
    Json reply = request(std::move(req));
    const Json* ok = jsonMember(reply, "ok");
    if (ok && *ok == true) {
        if (const int bit = lineBit(op); bit && args.size() == 1 && std::holds_alternative<bool>(args[0]))
            gLinesOn = std::get<bool>(args[0]) ? (gLinesOn | bit) : (gLinesOn & ~bit);
        const Json* value = jsonMember(reply, "value");
        return value ? hostValueFromJson(*value) : HostValue{};
    }
    const Json* err = jsonMember(reply, "error");
    throw HostError(err && err->is_string() ? err->get<std::string>() : op + " failed");
}

void SocketTransport::windDown(int budgetMs) {
    const std::int64_t deadline = steadyMs() + std::max(0, budgetMs);
    if (exitDeadline_ < 0 || deadline < exitDeadline_) exitDeadline_ = deadline;
}

void SocketTransport::keepUp() {
    if (fd_ >= 0) {
        // Whatever came is taken in, a bounded amount, so a closed connection is seen behind events.
        bool open = true;
        for (int round = 0; open && round < 64; ++round) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0) break;
            open = reader_.fill(fd_);
            takeLines(-1, nullptr, nullptr);
        }
        scheduleFlush();
        if (open) return;
        lost(readingEnded(reader_, "the host closed the connection"));
    }
    try {
        reconnect(std::string());
    } catch (const HostError&) {
        // No host yet: the next upkeep, or the next call, tries again.
    }
}

Json SocketTransport::request(Json req) {
    const long long id = nextId_++;
    req["id"] = id;
    std::int64_t deadline = steadyMs() + timeoutMs_;
    if (exitDeadline_ >= 0 && exitDeadline_ < deadline) deadline = exitDeadline_;
    try {
        sendLine(fd_, dumpJson(req), deadline);
    } catch (const HostError& e) {
        lost(e.what());
        throw;
    }
    Json reply;
    bool got = false;
    const std::int64_t sent = steadyMs();
    for (;;) {
        takeLines(id, &reply, &got);
        if (got) break;
        if (!waitReadable(fd_, deadline)) {
            // A host that stopped answering is left; the next call connects afresh.
            const std::int64_t waited = steadyMs() - sent;
            std::string why = "the host does not answer";
            if (waited > 0) why += " (no reply within " + std::to_string(waited) + " ms)";
            lost(why);
            scheduleFlush();
            throw HostUnreachable(why, "the host does not answer", true);
        }
        if (!reader_.fill(fd_)) {
            takeLines(id, &reply, &got);
            if (got) break;
            const std::string why = readingEnded(reader_, "the host went away");
            lost(why);
            scheduleFlush();
            throw HostUnreachable(why, "the host went away", true);
        }
    }
    scheduleFlush();
    return reply;
}

void SocketTransport::takeLines(long long awaitedId, Json* reply, bool* gotReply) {
    std::string line;
    while (reader_.next(line)) {
        HostLine read = readHostLine(line);
        if (!read.fault.empty()) rt_.error("HostLink", read.fault);
        if (read.event) {
            pending_.push_back(std::move(*read.event));
            continue;
        }
        if (reply && read.replyId == awaitedId) {
            *reply = std::move(read.reply);
            *gotReply = true;
        }
        // Any other reply belongs to a call that already gave up waiting.
    }
}

void SocketTransport::scheduleFlush() {
    if (pending_.empty() || flushPosted_) return;
    flushPosted_ = true;
    std::weak_ptr<SocketTransport*> weak = self_;
    rt_.post([weak] {
        if (auto p = weak.lock(); p && *p) {
            (*p)->flushPosted_ = false;
            (*p)->flushPending();
        }
    });
}

void SocketTransport::flushPending() {
    // A handler may call the host again, which may queue more events behind these: order holds
    // because everything leaves from the front of the same queue.
    while (!pending_.empty()) {
        HostEvent ev = std::move(pending_.front());
        pending_.pop_front();
        if (eventSink) eventSink(std::move(ev));
    }
}

void SocketTransport::onReadable() {
    if (fd_ < 0) return;
    bool open = reader_.fill(fd_);
    takeLines(-1, nullptr, nullptr);
    if (!open) lost(readingEnded(reader_, "the host closed the connection"));
    flushPending();
}

}  // namespace tarnwick
