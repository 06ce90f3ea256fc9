#include "hostlink/host_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "hostlink/host_protocol.h"

namespace tarnwick {

namespace {

// A client that lets this much unread output pile up (stopped, hung, or asking without reading) is
// dropped rather than holding the host's memory.
constexpr std::size_t kMaxBacklog = 8u << 20;

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

std::string textMember(const Json& j, const char* key) {
    const Json* v = jsonMember(j, key);
    return v && v->is_string() ? v->get<std::string>() : std::string();
}

Json errorReply(const std::string& what) {
    Json r = Json::object();
    r["ok"] = false;
    r["error"] = what;
    return r;
}

Json okReply(Json value) {
    Json r = Json::object();
    r["ok"] = true;
    r["value"] = std::move(value);
    return r;
}

}  // namespace

HostServer::HostServer(std::string path, std::string callsign) : path_(std::move(path)), state_(std::move(callsign)) {
    int p[2];
    if (::pipe2(p, O_NONBLOCK | O_CLOEXEC) != 0) throw HostError(std::string("cannot make a pipe: ") + std::strerror(errno));
    wakeRead_ = p[0];
    wakeWrite_ = p[1];
    state_.onEvent = [this](const HostEvent& ev) { raised_.push_back(ev); };
    state_.onLogLine = [this](const std::string& line) {
        if (!logFile_) return;
        std::fputs(line.c_str(), logFile_);
        std::fputc('\n', logFile_);
        std::fflush(logFile_);
    };
}

HostServer::~HostServer() {
    closeSocket();
    for (auto& c : clients_)
        if (c.fd >= 0) ::close(c.fd);
    ::close(wakeRead_);
    ::close(wakeWrite_);
    if (logFile_) std::fclose(logFile_);
}

void HostServer::setLogFile(const std::string& file) {
    std::FILE* f = std::fopen(file.c_str(), "ae");
    if (!f) throw HostError("cannot open the log file " + file + ": " + std::strerror(errno));
    if (logFile_) std::fclose(logFile_);
    logFile_ = f;
}

void HostServer::open() {
    prepareSocketDir(path_);
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) throw HostError(path_ + " exists and is not a socket; not touching it");
        // A host that hangs, with no room for another connection, is still running.
        bool running = true;
        try {
            ::close(connectHostSocket(path_));
        } catch (const HostUnreachable& e) {
            running = e.reason() != kNoHostRunning;
        } catch (const HostError&) {
            running = false;
        }
        if (running) throw HostError("another host is already running on " + path_);
        // Left behind by a host that did not end cleanly.
        ::unlink(path_.c_str());
    }

    if (path_.size() >= sizeof(sockaddr_un{}.sun_path)) throw HostError("host socket path too long: " + path_);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);

    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw HostError(std::string("cannot make a socket: ") + std::strerror(errno));
    // Only this user may connect, whatever the umask: the socket file is made 0600 (the host has no
    // other thread yet, so changing the umask for the bind touches nothing else).
    const mode_t umask = ::umask(0177);
    const int bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    const int bindErr = errno;
    ::umask(umask);
    if (bound == 0 && ::chmod(path_.c_str(), 0600) != 0) {
        const int err = errno;
        ::close(fd);
        ::unlink(path_.c_str());
        throw HostError("cannot make " + path_ + " private: " + std::strerror(err));
    }
    errno = bindErr;
    if (bound != 0) {
        int err = errno;
        ::close(fd);
        if (err == EADDRINUSE) throw HostError("another host is already running on " + path_);
        throw HostError("cannot listen on " + path_ + ": " + std::strerror(err));
    }
    if (::listen(fd, 32) != 0) {
        int err = errno;
        ::close(fd);
        ::unlink(path_.c_str());
        throw HostError("cannot listen on " + path_ + ": " + std::strerror(err));
    }
    setNonBlocking(fd);
    if (::stat(path_.c_str(), &st) == 0) {
        sockDev_ = st.st_dev;
        sockIno_ = st.st_ino;
    }
    listenFd_ = fd;
}

void HostServer::closeSocket() {
    if (listenFd_ < 0) return;
    ::close(listenFd_);
    listenFd_ = -1;
    // Only our own socket file: a newer host may have taken the path over meanwhile.
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0 && st.st_dev == sockDev_ && st.st_ino == sockIno_) ::unlink(path_.c_str());
}

void HostServer::stop() {
    char b = 1;
    // Only write(): this runs in signal handlers.
    [[maybe_unused]] ssize_t n = ::write(wakeWrite_, &b, 1);
}

void HostServer::run() {
    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        fds.push_back({wakeRead_, POLLIN, 0});
        fds.push_back({listenFd_, POLLIN, 0});
        for (const auto& c : clients_)
            fds.push_back({c.fd, static_cast<short>(POLLIN | (c.sent < c.out.size() ? POLLOUT : 0)), 0});
        int rc = ::poll(fds.data(), fds.size(), -1);
        if (rc < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) break;
        const std::size_t known = clients_.size();
        for (std::size_t i = 0; i < known; ++i) {
            short re = fds[i + 2].revents;
            Client& c = clients_[i];
            if (c.dead) continue;
            if (re & POLLOUT) writeClient(c);
            if (re & (POLLIN | POLLHUP | POLLERR)) readClient(c);
        }
        for (auto it = clients_.begin(); it != clients_.end();) {
            if (it->dead) {
                ::close(it->fd);
                it = clients_.erase(it);
            } else {
                ++it;
            }
        }
        if (listenFd_ >= 0 && (fds[1].revents & POLLIN)) acceptClients();
    }
    char drain[64];
    while (::read(wakeRead_, drain, sizeof drain) > 0) {
    }
    for (auto& c : clients_) ::close(c.fd);
    clients_.clear();
    closeSocket();
}

void HostServer::acceptClients() {
    for (;;) {
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR) continue;
            return;  // EAGAIN, or out of descriptors: try again on the next wake-up
        }
        // The socket is this user's alone; should its mode be widened, another user is still refused.
        unsigned uid = 0;
        if (!peerUser(fd, uid) || uid != ::geteuid()) {
            ::close(fd);
            if (refusedUsers_.insert(uid).second) {
                const std::string line = "ERROR host: refused a connection from another user (" + std::to_string(uid) +
                                         "); the host serves user " + std::to_string(::geteuid()) + " only\n";
                std::fputs(line.c_str(), stderr);
                std::fflush(stderr);
            }
            continue;
        }
        Client c;
        c.fd = fd;
        clients_.push_back(std::move(c));
    }
}

void HostServer::readClient(Client& c) {
    char chunk[65536];
    bool open = true;
    for (;;) {
        ssize_t n = ::recv(c.fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            const std::size_t from = c.in.size();
            c.in.append(chunk, static_cast<std::size_t>(n));
            // Checked as the bytes come, so a line over the cap is refused however it arrives and
            // never piles up: the requests before it are answered, then the connection is dropped.
            if (!linesWithinCap(c.in, from, c.lineStart, kMaxRequestLine)) {
                c.in.resize(c.lineStart);
                open = false;
                break;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) open = false;
        break;
    }
    std::size_t start = 0;
    for (;;) {
        auto nl = c.in.find('\n', start);
        if (nl == std::string::npos) break;
        std::string line = c.in.substr(start, nl - start);
        start = nl + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) handleLine(c, line);
        if (c.dead) return;
    }
    c.in.erase(0, start);
    c.lineStart -= start;
    if (!open) c.dead = true;
}

void HostServer::handleLine(Client& c, const std::string& line) {
    // A client that asks and never reads its replies is dropped before it holds the host's memory.
    if (c.out.size() - c.sent > kMaxBacklog) {
        c.dead = true;
        return;
    }
    c.out += replyTo(line, c.subscribed);
    c.out += '\n';
    writeClient(c);
    // Events a request raised follow its reply.
    std::vector<HostEvent> events;
    events.swap(raised_);
    broadcast(events);
}

std::string HostServer::replyTo(const std::string& line, bool& subscribe) {
    Json reply;
    Json id;
    try {
        Json req = parseJson(line);
        if (!req.is_object()) throw JsonError("a request is an object");
        if (const Json* i = jsonMember(req, "id")) id = *i;
        reply = handleRequest(req, subscribe);
    } catch (const JsonError& e) {
        reply = errorReply(std::string("bad request: ") + e.what());
    }
    Json out = Json::object();
    out["id"] = std::move(id);
    for (auto& [k, v] : reply.items()) out[k] = std::move(v);
    return dumpJson(out);
}

Json HostServer::handleRequest(const Json& req, bool& subscribe) {
    if (const Json* op = jsonMember(req, "op")) {
        if (!op->is_string()) return errorReply("bad request: op is no text");
        try {
            std::vector<HostValue> args;
            if (const Json* a = jsonMember(req, "args")) args = hostArgsFromJson(*a);
            return okReply(hostValueToJson(state_.call(textMember(req, "link"), op->get<std::string>(), args)));
        } catch (const HostError& e) {
            return errorReply(e.what());
        }
    }
    const std::string cmd = textMember(req, "cmd");
    try {
        if (cmd == "subscribe") {
            subscribe = true;
            return okReply(Json());
        }
        if (cmd == "raise") {
            HostEvent ev;
            ev.name = textMember(req, "event");
            if (const Json* a = jsonMember(req, "args")) ev.args = hostArgsFromJson(*a);
            state_.raise(ev);
            return okReply(describeEvent(ev));
        }
        if (cmd == "set") return okReply(state_.set(textMember(req, "key"), textMember(req, "value")));
        if (cmd == "state") {
            Json s = state_.stateJson();
            long long subscribers = 0;
            for (const auto& cl : clients_)
                if (cl.subscribed && !cl.dead) ++subscribers;
            s["clients"] = subscribers;
            s["socket"] = path_;
            return okReply(std::move(s));
        }
        if (cmd == "log") {
            Json lines = Json::array();
            for (const auto& e : state_.log()) lines.push_back(e.line());
            return okReply(std::move(lines));
        }
    } catch (const HostError& e) {
        return errorReply(e.what());
    } catch (const std::invalid_argument& e) {
        return errorReply(e.what());
    }
    return errorReply("unknown request");
}

void HostServer::broadcast(const std::vector<HostEvent>& events) {
    if (events.empty()) return;
    std::string lines;
    for (const auto& ev : events) {
        Json j = Json::object();
        j["event"] = ev.name;
        j["args"] = hostArgsToJson(ev.args);
        lines += dumpJson(j);
        lines += '\n';
    }
    for (auto& c : clients_) {
        if (!c.subscribed || c.dead) continue;
        c.out += lines;
        if (c.out.size() - c.sent > kMaxBacklog) {
            c.dead = true;
            continue;
        }
        writeClient(c);
    }
}

void HostServer::writeClient(Client& c) {
    while (c.sent < c.out.size() && !c.dead) {
        ssize_t n = ::send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
        if (n > 0) {
            c.sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        c.dead = true;
    }
    if (c.sent == c.out.size()) {
        c.out.clear();
        c.sent = 0;
    } else if (c.sent > (1u << 16) && c.sent > c.out.size() / 2) {
        c.out.erase(0, c.sent);
        c.sent = 0;
    }
}

}  // namespace tarnwick
