#include "runtime/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include "runtime/runtime.h"

namespace tarnwick {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// The write end of the one live instance's pipe; a signal handler may touch nothing else but the
// two marks and the last resort below.
volatile sig_atomic_t gWriteFd = -1;
volatile sig_atomic_t gStopRequested = 0;
// When the first signal came, on the monotonic clock (clock_gettime may be called in a handler);
// written before gStopRequested is set. Lock-free, so a handler may write it.
std::atomic<long long> gStopAtMs{-1};
static_assert(std::atomic<long long>::is_always_lock_free);
void (*volatile gLastResort)() = nullptr;

long long monotonicNowMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void restoreDefaults() {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    for (int s : kSignals) ::sigaction(s, &dfl, nullptr);
}

extern "C" void onTerminationSignal(int sig) {
    const int saved = errno;
    if (gStopRequested) {
        // The second one: the program is stuck or the operator will not wait. Whatever is still on
        // goes off first; then the signal ends the process as it would without this handler.
        restoreDefaults();
        if (void (*fn)() = gLastResort) fn();
        ::raise(sig);
        errno = saved;
        return;
    }
    gStopAtMs = monotonicNowMs();
    gStopRequested = 1;
    const int fd = gWriteFd;
    if (fd >= 0) {
        const unsigned char b = static_cast<unsigned char>(sig);
        // A full pipe already holds a signal that the loop will see.
        [[maybe_unused]] ssize_t n = ::write(fd, &b, 1);
    }
    errno = saved;
}

}  // namespace

bool stopRequested() { return gStopRequested != 0; }

long long msSinceStopRequest() {
    if (!gStopRequested) return -1;
    const long long since = monotonicNowMs() - gStopAtMs;
    return since < 0 ? 0 : since;
}

TerminationSignals::TerminationSignals(Runtime& rt, std::function<void(int)> onSignal)
    : rt_(rt), onSignal_(std::move(onSignal)) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        rt_.error("signals", std::string("cannot make a pipe: ") + std::strerror(errno));
        return;
    }
    gStopRequested = 0;
    gStopAtMs = -1;
    gWriteFd = pipe_[1];
    watch_ = rt_.addReadWatch(pipe_[0], [this] { readable(); });
    struct sigaction sa {};
    sa.sa_handler = onTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : kSignals) ::sigaction(sig, &sa, nullptr);
}

TerminationSignals::~TerminationSignals() {
    if (pipe_[1] >= 0) restoreDefaults();
    gWriteFd = -1;
    gLastResort = nullptr;
    gStopRequested = 0;
    gStopAtMs = -1;
    if (watch_ >= 0) rt_.removeWatch(watch_);
    for (int fd : pipe_)
        if (fd >= 0) ::close(fd);
}

void TerminationSignals::setLastResort(void (*fn)()) { gLastResort = fn; }

void TerminationSignals::readable() {
    unsigned char buf[16];
    ssize_t n = ::read(pipe_[0], buf, sizeof buf);
    if (n <= 0 || handled_) return;
    handled_ = true;
    if (onSignal_) onSignal_(buf[0]);
}

}  // namespace tarnwick
