#pragma once
// A host inside the process, for tests of tools on virtual time: calls go straight to a HostState,
// and every event the host raises (a test's, or one a call causes, such as ConnectTo's `connected`)
// reaches the hub through the runtime's posted work, so it arrives after the call returns, as it
// does from the real host.

#include <memory>
#include <string>
#include <vector>

#include "hostlink/host_link.h"
#include "hostlink/host_state.h"

namespace tarnwick {

class LocalHostTransport : public HostTransport {
public:
    explicit LocalHostTransport(Runtime& rt, std::string callsign = kDefaultHostCallsign);
    ~LocalHostTransport() override;
    LocalHostTransport(const LocalHostTransport&) = delete;
    LocalHostTransport& operator=(const LocalHostTransport&) = delete;

    HostValue call(const std::string& link, const std::string& op, const std::vector<HostValue>& args) override;

    // Raises an event as `tarnwick-host COMMAND ARGS...` does: raise("dtmf", {"AA"}),
    // raise("connected", {"W1AW", "Ann"}). Throws std::invalid_argument for a bad command.
    HostEvent raise(const std::string& command, const std::vector<std::string>& args = {});
    // Raises an event given by name and arguments ({"RX", {true}}).
    void raiseEvent(const HostEvent& ev);
    // Changes a setting as `tarnwick-host set KEY VALUE` does.
    std::string set(const std::string& key, const std::string& value) { return state_.set(key, value); }

    HostState& state() { return state_; }
    const HostState& state() const { return state_; }
    std::vector<std::string> logLines() const { return state_.logLines(); }

private:
    Runtime& rt_;
    HostState state_;
    std::shared_ptr<LocalHostTransport*> self_;
};

}  // namespace tarnwick
