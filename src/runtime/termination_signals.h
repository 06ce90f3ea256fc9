#pragma once
// SIGTERM, SIGINT and SIGHUP (a service manager stopping the program, Ctrl+C in its terminal, the
// terminal going away) turned into work on the event loop, so the program can clean up as it does
// when EchoLink closes: unkey, drop the lines, then end. A second signal ends the process at once, as
// it would without this, for a program that is stuck; its last resort runs first.

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

    // What a second signal does before it ends the process, inside the signal handler: it may make
    // only the calls a signal handler may make (the program drops the node's lines).
    void setLastResort(void (*fn)());

private:
    void readable();

    Runtime& rt_;
    std::function<void(int)> onSignal_;
    int pipe_[2] = {-1, -1};
    int watch_ = -1;
    bool handled_ = false;
};

// True once a stop signal has come: work that holds the thread (a keyed speech) ends early, so the
// loop can get to the clean-up.
bool stopRequested();
// How long ago the first stop signal came, in milliseconds; -1 before one came. The way out is
// bounded from that moment, however late the loop got to it.
long long msSinceStopRequest();

}  // namespace tarnwick
