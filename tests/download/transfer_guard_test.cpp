// The transfer guard's slow-transfer window on a clock finer than its milliseconds: the window is
// never judged over before its whole length has passed.

#include <gtest/gtest.h>

#include "download/transfer_guard.h"
#include "runtime/virtual_runtime.h"

namespace tarnwick {
namespace {

// Virtual time whose moments need not fall on a whole millisecond: `pastTheMs` nanoseconds are added
// to its fine clock, while its milliseconds (and its timers) stay as they are, cut down to the
// millisecond as a real clock's are.
class FineRuntime : public VirtualRuntime {
public:
    std::int64_t monotonicNs() const override { return VirtualRuntime::monotonicNs() + pastTheMs; }
    std::int64_t pastTheMs = 0;
};

TEST(TransferGuard, TheSlowWindowNeverEndsBeforeItsWholeLength) {
    // The guard starts this far into its millisecond; its ticks come on whole milliseconds.
    for (const std::int64_t startNs : {0LL, 1LL, 500'000LL, 999'999LL}) {
        SCOPED_TRACE(startNs);
        FineRuntime rt;
        rt.advance(100);
        rt.pastTheMs = startNs;
        TransferLimits limits;
        limits.slowBytes = 3 * 1024;
        limits.slowWindowMs = 3000;
        limits.freeSpace = [](const std::string&) { return std::int64_t{1} << 40; };
        std::string told;
        TransferGuard guard(rt, limits, "/news/News1.mp3", [&](const std::string& why) { told = why; });
        rt.pastTheMs = 0;
        ASSERT_EQ(guard.moved(100), "");
        // Three seconds by the millisecond: three whole seconds by the clock only when the guard
        // started on its millisecond.
        rt.advance(3000);
        EXPECT_EQ(told.empty(), startNs > 0) << told;
        rt.advance(1000);
        EXPECT_EQ(told, "less than 1 KiB a second moved over 3 seconds");
    }
}

}  // namespace
}  // namespace tarnwick
