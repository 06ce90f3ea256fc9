#include "hostlink/local_host_transport.h"

#include "runtime/runtime.h"

namespace tarnwick {

LocalHostTransport::LocalHostTransport(Runtime& rt, std::string callsign)
    : rt_(rt), state_(std::move(callsign)), self_(std::make_shared<LocalHostTransport*>(this)) {
    // The log reads the runtime's clock, so virtual time shows in it.
    state_.clock = [&rt] { return rt.localTime(); };
    std::weak_ptr<LocalHostTransport*> weak = self_;
    state_.onEvent = [this, weak](const HostEvent& ev) {
        rt_.post([weak, ev] {
            if (auto p = weak.lock(); p && *p && (*p)->eventSink) (*p)->eventSink(ev);
        });
    };
}

LocalHostTransport::~LocalHostTransport() { *self_ = nullptr; }

HostValue LocalHostTransport::call(const std::string& link, const std::string& op,
                                   const std::vector<HostValue>& args) {
    return state_.call(link, op, args);
}

HostEvent LocalHostTransport::raise(const std::string& command, const std::vector<std::string>& args) {
    HostEvent ev = HostState::eventForCommand(command, args);
    state_.raise(ev);
    return ev;
}

void LocalHostTransport::raiseEvent(const HostEvent& ev) { state_.raise(ev); }

}  // namespace tarnwick
