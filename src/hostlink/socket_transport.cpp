#include "hostlink/socket_transport.h"

#include <unistd.h>

#include <algorithm>

#include "hostlink/host_state.h"
#include "runtime/runtime.h"

namespace tarnwick {

SocketTransport::SocketTransport(Runtime& rt, std::string path, int replyTimeoutMs)
    : rt_(rt), path_(std::move(path)), timeoutMs_(replyTimeoutMs), self_(std::make_shared<SocketTransport*>(this)) {}

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

HostValue SocketTransport::call(const std::string& link, const std::string& op, const std::vector<HostValue>& args) {
    if (op == "Hello" && std::find(introduced_.begin(), introduced_.end(), link) == introduced_.end())
        introduced_.push_back(link);
    if (fd_ < 0) {
        connect();
        // A host that came back knows none of the links that are still open.
        for (const std::string& name : introduced_) {
            if (op == "Hello" && name == link) continue;
            Json hello = Json::object();
            hello["link"] = name;
            hello["op"] = "Hello";
            hello["args"] = hostArgsToJson({name});
            request(std::move(hello));
        }
    }
    Json req = Json::object();
    req["link"] = link;
    req["op"] = op;
    req["args"] = hostArgsToJson(args);
    Json reply = request(std::move(req));
    const Json* ok = jsonMember(reply, "ok");
    if (ok && *ok == true) {
        const Json* value = jsonMember(reply, "value");
        return value ? hostValueFromJson(*value) : HostValue{};
    }
    const Json* err = jsonMember(reply, "error");
    throw HostError(err && err->is_string() ? err->get<std::string>() : op + " failed");
}

Json SocketTransport::request(Json req) {
    const long long id = nextId_++;
    req["id"] = id;
    const std::int64_t deadline = steadyMs() + timeoutMs_;
    try {
        sendLine(fd_, dumpJson(req), deadline);
    } catch (const HostError& e) {
        lost(e.what());
        throw;
    }
    Json reply;
    bool got = false;
    for (;;) {
        takeLines(id, &reply, &got);
        if (got) break;
        if (!waitReadable(fd_, deadline)) {
            // A host that stopped answering is left; the next call connects afresh.
            std::string why = "no reply from the host within " + std::to_string(timeoutMs_) + " ms";
            lost(why);
            scheduleFlush();
            throw HostError(why);
        }
        if (!reader_.fill(fd_)) {
            takeLines(id, &reply, &got);
            if (got) break;
            lost("the host went away");
            scheduleFlush();
            throw HostError("the host went away");
        }
    }
    scheduleFlush();
    return reply;
}

void SocketTransport::takeLines(long long awaitedId, Json* reply, bool* gotReply) {
    std::string line;
    while (reader_.next(line)) {
        HostLine read = readHostLine(line);
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
    if (!open) lost("the host closed the connection");
    flushPending();
}

}  // namespace tarnwick
