// The host protocol's reader under libFuzzer. Whatever bytes arrive on the socket, both ends read them
// line by line without failing: the program hands each event line to its links, and every text that
// reaches a tool comes out of the cleaner as plain UTF-8; the host answers each line with one line of
// JSON. Built with -DTARNWICK_FUZZ=ON (README.md says how); the seed corpus is tests/fuzz/corpus.

#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "hostlink/host_link.h"
#include "hostlink/host_protocol.h"
#include "hostlink/host_server.h"
#include "hostlink/network_text.h"
#include "runtime/virtual_runtime.h"

namespace {

using namespace tarnwick;

[[noreturn]] void broken(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", what, dumpJson(detail).c_str());
    std::abort();
}

// What the cleaner gives back is plain UTF-8 of at most max characters: cleaned again, it stays as it is
// (a control character, a bidirectional control or a byte that is no UTF-8 would change).
void checkCleaned(const std::string& raw, std::size_t max) {
    const std::string out = cleanNetworkText(raw, max);
    if (textCharacters(out) > max) broken("cut too long", out);
    if (cleanNetworkText(out, max) != out) broken("cleaned text is not clean", out);
}

void checkEveryCut(const std::string& text) {
    for (std::size_t max : {kNetCallsignMax, kNetNameMax, kNetChatMax, kNetIdentityMax, kNetPaneLineMax})
        checkCleaned(text, max);
}

// The program's end of the socket, without a host behind it: calls answer nothing.
struct NoHost : HostTransport {
    HostValue call(const std::string&, const std::string&, const std::vector<HostValue>&) override { return {}; }
};

void readLine(const std::string& line, HostHub& hub, VirtualRuntime& rt, HostServer& host) {
    // The program's side: an event reaches the links, a reply ends a call.
    HostLine read = readHostLine(line);
    if (read.event) {
        hub.raise(std::move(*read.event));
        rt.runPending();
    }
    // The host's side: one reply line, which reads back as JSON.
    bool subscribe = false;
    const std::string reply = host.replyTo(line, subscribe);
    if (reply.find('\n') != std::string::npos) broken("a reply of more than one line", reply);
    try {
        const Json back = parseJson(reply);
        if (!jsonMember(back, "ok")) broken("a reply without \"ok\"", reply);
        if (dumpJson(back) != reply) broken("a reply that does not read back the same", reply);
    } catch (const JsonError& e) {
        broken(e.what(), reply);
    }
    // Whatever the library read, it writes so that it reads the same again.
    try {
        const Json j = parseJson(line);
        if (parseJson(dumpJson(j)) != j) broken("a value that changes when written and read", line);
    } catch (const JsonError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    checkEveryCut(bytes);

    VirtualRuntime rt;
    NoHost transport;
    HostHub hub(rt, transport);
    hub.afterClosing = [] {};
    // Every text of an event reaches a tool through the cleaner.
    HostLink link(hub, "Form6");
    link.ChatTextReceived = [](const std::string& t) { checkEveryCut(t); };
    link.DTMFString = [](const std::string& t) { checkEveryCut(t); };
    link.Disconnected = [](const std::string& t) { checkEveryCut(t); };
    link.connected = [](const std::string& call, const std::string& name, const std::string& addr) {
        checkEveryCut(call);
        checkEveryCut(name);
        checkEveryCut(addr);
    };
    HostServer host("/nonexistent/host.sock");
    host.state().setLogLimit(32);

    // The lines as the socket's reader splits them.
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) std::abort();
    LineReader reader;
    std::size_t sent = 0;
    bool shut = false;
    for (std::string line;;) {
        if (sent < bytes.size()) {
            const ssize_t n = ::send(fds[0], bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n > 0) sent += static_cast<std::size_t>(n);
        }
        if (sent == bytes.size() && !shut) {
            ::shutdown(fds[0], SHUT_WR);
            shut = true;
        }
        const bool open = reader.fill(fds[1]);
        while (reader.next(line)) readLine(line, hub, rt, host);
        if (!open) break;
    }
    ::close(fds[0]);
    ::close(fds[1]);
    return 0;
}
