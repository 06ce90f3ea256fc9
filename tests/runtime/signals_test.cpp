#include "runtime/termination_signals.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
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

TEST(TerminationSignalsDeathTest, ASecondSignalEndsAProgramThatHangsAtOnce) {
    EXPECT_EXIT(
        {
            VirtualRuntime rt;
            TerminationSignals signals(rt, [](int) {});
            ::raise(SIGINT);   // the clean-up would run from the loop, which never comes round
            ::raise(SIGTERM);
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
}  // namespace tarnwick
