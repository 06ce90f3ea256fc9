#pragma once
// SIGTERM, SIGINT and SIGHUP (a service manager stopping the program, Ctrl+C in its terminal, the
// terminal going away) turned into work on the event loop, so the program can clean up as it does
// when EchoLink closes: unkey, drop the lines, then end. A second signal ends the process at once,
// as it would without this, for a program that is stuck.

#include <functional>

namespace tarnwick {

class Runtime;

class TerminationSignals {
public:
    // Installs the handlers; onSignal(signal number) runs on the runtime's loop for the first one.
    TerminationSignals(Runtime& rt, std::function<void(int)> onSignal);
    // Restores the signals' previous handling.
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    void readable();

    Runtime& rt_;
    std::function<void(int)> onSignal_;
    int pipe_[2] = {-1, -1};
    int watch_ = -1;
    bool handled_ = false;
};

}  // namespace tarnwick
