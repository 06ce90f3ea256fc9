#include "hostlink/host_protocol.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "hostlink/host_state.h"

namespace tarnwick {

namespace {

std::string envOr(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string parentOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

void makeDirs(const std::string& dir) {
    if (dir.empty() || dir == "/" || dir == ".") return;
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) throw HostError(dir + " is not a folder");
        return;
    }
    makeDirs(parentOf(dir));
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        throw HostError("cannot create " + dir + ": " + std::strerror(errno));
}

void checkPrivateDir(const std::string& dir) {
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) throw HostError("cannot use " + dir + ": " + std::strerror(errno));
    // A shared place such as /tmp lets anyone make this folder first; never serve from one we do not own.
    if (!S_ISDIR(st.st_mode)) throw HostError("refusing to use " + dir + ": not a folder");
    if (st.st_uid != ::getuid()) throw HostError("refusing to use " + dir + ": owned by another user");
    if (st.st_mode & 022) throw HostError("refusing to use " + dir + ": others may write there");
}

void makePrivateDir(const std::string& dir) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        throw HostError("cannot create " + dir + ": " + std::strerror(errno));
    checkPrivateDir(dir);
}

sockaddr_un addressOf(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path)
        throw HostError("unusable host socket path (empty or longer than " +
                        std::to_string(sizeof addr.sun_path - 1) + " bytes): " + path);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return addr;
}

}  // namespace

std::string defaultHostSocketPath() {
    std::string xdg = envOr("XDG_RUNTIME_DIR");
    if (!xdg.empty()) return xdg + "/tarnwick/host.sock";
    return "/tmp/tarnwick-" + std::to_string(::getuid()) + "/host.sock";
}

std::string hostSocketPath() {
    std::string env = envOr("TARNWICK_HOST");
    if (!env.empty()) return env;
    return defaultHostSocketPath();
}

void prepareSocketDir(const std::string& socketPath) {
    const std::string dir = parentOf(socketPath);
    if (socketPath == defaultHostSocketPath())
        makePrivateDir(dir);
    else
        makeDirs(dir);
}

std::int64_t steadyMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int connectHostSocket(const std::string& path) {
    sockaddr_un addr = addressOf(path);
    // Non-blocking from the start: a host that accepts no more connections (one that hangs, with its
    // queue of them full) refuses at once instead of holding the caller for good.
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) throw HostError(std::string("cannot make a socket: ") + std::strerror(errno));
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        int err = errno;
        ::close(fd);
        if (err == ENOENT || err == ECONNREFUSED)
            throw HostUnreachable(std::string(kNoHostRunning) + " at " + path, kNoHostRunning, false);
        if (err == EAGAIN || err == EINPROGRESS)
            throw HostUnreachable("the host at " + path + " does not answer: it takes no more connections",
                                  "the host does not answer", false);
        throw HostError("cannot reach the host at " + path + ": " + std::strerror(err));
    }
    return fd;
}

bool peerUser(int fd, unsigned& uid) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || len != sizeof cred) return false;
    uid = cred.uid;
    return true;
}

int connectOwnHost(const std::string& path) {
    if (path == defaultHostSocketPath()) checkPrivateDir(parentOf(path));
    const int fd = connectHostSocket(path);
    unsigned uid = 0;
    if (!peerUser(fd, uid) || uid != ::geteuid()) {
        ::close(fd);
        throw HostError("refusing the host at " + path + ": it runs as " +
                        (uid == ::geteuid() ? std::string("an unknown user") : "another user (" + std::to_string(uid) + ")"));
    }
    return fd;
}

bool waitReadable(int fd, std::int64_t deadlineMs) {
    for (;;) {
        std::int64_t left = deadlineMs - steadyMs();
        if (left < 0) left = 0;
        pollfd p{fd, POLLIN, 0};
        int rc = ::poll(&p, 1, static_cast<int>(left));
        if (rc > 0) return true;
        if (rc == 0) return false;
        if (errno != EINTR) return true;  // let the read report the failure
    }
}

void sendLine(int fd, const std::string& line, std::int64_t deadlineMs) {
    std::string data = line + "\n";
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            std::int64_t left = deadlineMs - steadyMs();
            if (left <= 0)
                throw HostUnreachable("the host does not answer: it takes no more requests", "the host does not answer",
                                      false);
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, static_cast<int>(left));
            continue;
        }
        throw HostUnreachable(std::string("the host went away: ") + (n < 0 ? std::strerror(errno) : "closed"),
                              "the host went away", false);
    }
}

bool linesWithinCap(const std::string& buf, std::size_t from, std::size_t& lineStart, std::size_t cap) {
    for (std::size_t nl = buf.find('\n', from); nl != std::string::npos; nl = buf.find('\n', nl + 1)) {
        if (nl - lineStart > cap) return false;
        lineStart = nl + 1;
    }
    return buf.size() - lineStart <= cap;
}

bool LineReader::fill(int fd) {
    if (overlong_) return false;
    char chunk[65536];
    for (;;) {
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            if (pos_ > 0 && pos_ >= buf_.size() / 2) {
                buf_.erase(0, pos_);
                lineStart_ -= pos_;
                pos_ = 0;
            }
            const std::size_t from = buf_.size();
            buf_.append(chunk, static_cast<std::size_t>(n));
            if (!linesWithinCap(buf_, from, lineStart_, maxLine_)) {
                buf_.resize(lineStart_);
                overlong_ = true;
                return false;
            }
            // A whole line is what the caller waits for: once one is here, reading on would only end in
            // a read that finds nothing (a reply comes alone), one failed call for every reply. Whatever
            // else is waiting stays readable, so the loop's watch or the caller's next wait comes back.
            if (buf_.find('\n', from) != std::string::npos) return true;
            continue;
        }
        if (n == 0) return false;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

bool LineReader::next(std::string& line) {
    auto nl = buf_.find('\n', pos_);
    if (nl == std::string::npos) return false;
    line.assign(buf_, pos_, nl - pos_);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    pos_ = nl + 1;
    if (pos_ == buf_.size()) {
        buf_.clear();
        pos_ = 0;
        lineStart_ = 0;
    }
    return true;
}

HostLine readHostLine(const std::string& line) {
    HostLine read;
    try {
        read.reply = parseJson(line);
    } catch (const JsonError&) {
        return read;
    }
    if (const Json* ev = jsonMember(read.reply, "event"); ev && ev->is_string()) {
        HostEvent e;
        e.name = ev->get<std::string>();
        try {
            if (const Json* a = jsonMember(read.reply, "args")) e.args = hostArgsFromJson(*a);
        } catch (const HostError& err) {
            read.fault = "event " + e.name.substr(0, 40) + " passed over (its arguments cannot be read: " +
                         err.what() + ")";
            return read;
        }
        read.event = std::move(e);
        return read;
    }
    if (const Json* rid = jsonMember(read.reply, "id")) read.replyId = jsonWhole(*rid);
    return read;
}

Json hostRequest(const std::string& path, Json req, int timeoutMs) {
    int fd = connectOwnHost(path);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    const long long id = 1;
    req["id"] = id;
    const std::int64_t deadline = steadyMs() + timeoutMs;
    sendLine(fd, dumpJson(req), deadline);
    LineReader reader;
    for (;;) {
        std::string line;
        while (reader.next(line)) {
            HostLine read = readHostLine(line);
            if (!read.event && read.replyId == id) return std::move(read.reply);
        }
        if (!waitReadable(fd, deadline)) throw HostError("the host at " + path + " did not answer in time");
        bool open = reader.fill(fd);
        if (!open && !reader.hasLine()) throw HostError("the host at " + path + " closed the connection");
    }
}

}  // namespace tarnwick
