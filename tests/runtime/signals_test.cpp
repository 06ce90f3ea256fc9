#include "runtime/termination_signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/virtual_runtime.h"

namespace tarnwick {
namespace {

TEST(TerminationSignals, EachKindRunsTheCleanUpOnceFromTheLoop) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        VirtualRuntime rt;
        std::vector<int> seen;
        {
            TerminationSignals signals(rt, [&](int s) { seen.push_back(s); });
            ASSERT_EQ(::raise(sig), 0);
            EXPECT_TRUE(seen.empty()) << "nothing runs inside the signal handler";
            rt.runPending();
            rt.runPending();
            EXPECT_EQ(seen, std::vector<int>{sig});
        }
        struct sigaction now {};
        ::sigaction(sig, nullptr, &now);
        EXPECT_EQ(now.sa_handler, SIG_DFL);
    }
}

TEST(TerminationSignals, TheFirstSignalAsksWorkThatHoldsTheThreadToStop) {
    VirtualRuntime rt;
    {
        TerminationSignals signals(rt, [](int) {});
        EXPECT_FALSE(stopRequested());
        ASSERT_EQ(::raise(SIGTERM), 0);
        EXPECT_TRUE(stopRequested()) << "seen at once, inside a speech that holds the loop";
    }
    EXPECT_FALSE(stopRequested());
}

void dropTheLines() {
    const char text[] = "the lines are dropped\n";
    [[maybe_unused]] ssize_t n = ::write(2, text, sizeof text - 1);
}

TEST(TerminationSignalsDeathTest, ASecondSignalDropsTheLinesThenEndsAProgramThatHangsAtOnce) {
    EXPECT_EXIT(
        {
            VirtualRuntime rt;
            TerminationSignals signals(rt, [](int) {});
            signals.setLastResort(&dropTheLines);
            ::raise(SIGINT);   // the clean-up would run from the loop, which never comes round
            ::raise(SIGTERM);
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "the lines are dropped");
}

TEST(ExitWork, RunsOnceAtTheFirstEndNewestFirstAndNotOnceRemoved) {
    VirtualRuntime rt;
    std::vector<std::string> ran;
    rt.addExitWork([&] { ran.push_back("hub"); });
    const int gone = rt.addExitWork([&] { ran.push_back("closed tool"); });
    rt.addExitWork([&] {
        ran.push_back("tool");
        throw std::runtime_error("a failing clean-up stops no other");
    });
    rt.removeExitWork(gone);
    rt.endProcess(0);
    rt.endProcess(1);
    EXPECT_EQ(ran, (std::vector<std::string>{"tool", "hub"}));
    EXPECT_EQ(rt.exitCode(), 0);
}

}  // namespace
}  // namespace tarnwick
