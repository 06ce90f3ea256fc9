#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "runtime/virtual_runtime.h"

namespace tarnwick {
namespace {

TEST(VirtualTimers, FireInOrderAtTheirIntervals) {
    VirtualRuntime rt;
    std::vector<std::string> seen;
    Timer a(rt, 300, true), b(rt, 200, true);
    a.onTick = [&] { seen.push_back("a" + std::to_string(rt.monotonicMs())); };
    b.onTick = [&] { seen.push_back("b" + std::to_string(rt.monotonicMs())); };
    rt.advance(600);
    EXPECT_EQ(seen, (std::vector<std::string>{"b200", "a300", "b400", "a600", "b600"}));
}

TEST(VirtualTimers, EnablingARunningTimerKeepsItsPhase) {
    VirtualRuntime rt;
    int ticks = 0;
    Timer t(rt, 1000, true);
    t.onTick = [&] { ++ticks; };
    rt.advance(700);
    t.setEnabled(true);  // already running: must not restart the count
    rt.advance(300);
    EXPECT_EQ(ticks, 1);
    t.setEnabled(false);
    t.setEnabled(true);  // a real restart begins a new count
    rt.advance(999);
    EXPECT_EQ(ticks, 1);
    rt.advance(1);
    EXPECT_EQ(ticks, 2);
}

TEST(VirtualTimers, ChangingTheIntervalRestartsTheCountAndZeroStopsIt) {
    VirtualRuntime rt;
    int ticks = 0;
    Timer t(rt, 1000, true);
    t.onTick = [&] { ++ticks; };
    rt.advance(600);
    t.setInterval(500);
    rt.advance(499);
    EXPECT_EQ(ticks, 0);
    rt.advance(1);
    EXPECT_EQ(ticks, 1);
    t.setInterval(0);
    rt.advance(5000);
    EXPECT_EQ(ticks, 1);
    t.setInterval(100);  // still enabled: runs again with the new interval
    rt.advance(100);
    EXPECT_EQ(ticks, 2);
}

TEST(VirtualTimers, IntervalRulesZeroNeverShortRunsAtTenMs) {
    VirtualRuntime rt;
    int zero = 0, one = 0;
    Timer z(rt, 0, true), o(rt, 1, true);
    z.onTick = [&] { ++zero; };
    o.onTick = [&] { ++one; };
    rt.advance(100);
    EXPECT_EQ(zero, 0);
    EXPECT_EQ(one, 10);
}

TEST(VirtualTimers, TickNeverReentersItselfAndBlockedTicksCoalesce) {
    VirtualRuntime rt;
    int ticks = 0, depth = 0, maxDepth = 0;
    Timer t(rt, 100, true);
    t.onTick = [&] {
        maxDepth = std::max(maxDepth, ++depth);
        if (++ticks == 1) {
            rt.blockingDelay(450);  // holds the thread across four more due ticks
            rt.yield();             // a yield inside the handler must not run this handler again
        }
        --depth;
    };
    rt.advance(100);
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_EQ(rt.monotonicMs(), 550);
    // The four missed ticks come as one, at once; then the rhythm goes on from there.
    rt.advance(0);
    EXPECT_EQ(ticks, 2);
    rt.advance(99);
    EXPECT_EQ(ticks, 2);
    rt.advance(1);
    EXPECT_EQ(ticks, 3);
}

TEST(VirtualTimers, StoppingAnotherTimerInsideATickPreventsItsFiring) {
    VirtualRuntime rt;
    int bTicks = 0;
    Timer a(rt, 100, true), b(rt, 100, true);
    a.onTick = [&] { b.setEnabled(false); };
    b.onTick = [&] { ++bTicks; };
    rt.advance(1000);
    EXPECT_EQ(bTicks, 0);
}

TEST(VirtualTimers, DestroyedTimerNeverFires) {
    VirtualRuntime rt;
    auto t = std::make_unique<Timer>(rt, 10, true);
    int ticks = 0;
    t->onTick = [&] { ++ticks; };
    t.reset();
    rt.advance(100);
    EXPECT_EQ(ticks, 0);
}

// The program's loop wakes once for timers that fall due a few milliseconds apart (tools load one
// after another, so timers of one period start a little apart), never before a timer is due, and
// never makes a timer wait past a tenth of its interval or 10 ms, or past the leeway it was given.
TEST(VirtualTimers, TimersDueWithinAFewMillisecondsShareOneWakeUp) {
    struct Start {
        int intervalMs, atMs;
        int leewayMs = -1;
    };
    struct Case {
        const char* name;
        std::vector<Start> timers;  // in order of their start
        std::int64_t wake;
    };
    const Case cases[] = {
        {"one timer wakes at its due time", {{100, 0}}, 100},
        {"two monitors 4 ms apart share the later moment", {{100, 0}, {100, 4}}, 104},
        {"10 ms apart is still shared", {{100, 0}, {100, 10}}, 110},
        {"11 ms apart is not", {{100, 0}, {100, 11}}, 100},
        {"a second clock and a monitor of another period share", {{1000, 0}, {100, 903}}, 1003},
        {"a 10 ms monitor waits at most 1 ms", {{1000, 0}, {10, 988}}, 998},
        {"a chain is cut where the first would wait too long", {{100, 0}, {100, 8}, {100, 15}}, 108},
        {"a read that may wait half its 58 ms joins a display tick 7 ms later", {{58, 0, 29}, {25, 40}}, 65},
        {"but no later than it may wait", {{58, 0, 29}, {100, 50}}, 58},
        {"a display tick due before it wakes alone", {{25, 0}, {58, 0, 29}}, 25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualRuntime rt;
        std::vector<std::unique_ptr<Timer>> timers;
        for (const Start& s : c.timers) {
            rt.advance(s.atMs - rt.monotonicMs());
            timers.push_back(std::make_unique<Timer>(rt, s.intervalMs, false));
            timers.back()->setLeeway(s.leewayMs);
            timers.back()->setEnabled(true);
        }
        EXPECT_EQ(rt.nextTimerWake(), c.wake);
        EXPECT_LE(rt.nextTimerDue(), rt.nextTimerWake()) << "a timer must never fire early";
    }
}

TEST(VirtualClock, AlignedClockReadsEachSecondOnceAcrossAWeek) {
    VirtualRuntime rt;
    rt.setLocalTime(2026, 12, 6, 0, 0, 0, 400);  // a Sunday
    EXPECT_EQ(rt.localTime().weekday, 1);
    Timer clock(rt, 1000, false);
    clock.setAlignedToSeconds(true);
    int ticks = 0, repeats = 0, lastSecond = -1;
    clock.onTick = [&] {
        LocalTime t = rt.localTime();
        int s = t.secondOfDay();
        if (s == lastSecond) ++repeats;
        lastSecond = s;
        ++ticks;
    };
    clock.setEnabled(true);
    rt.advance(7LL * 86400 * 1000);
    EXPECT_EQ(ticks, 7 * 86400);
    EXPECT_EQ(repeats, 0);
    EXPECT_EQ(rt.localTime().weekday, 1);
}

TEST(VirtualClock, RunUntilReachesTheNextMatchingMoment) {
    VirtualRuntime rt;
    rt.setLocalTime(2026, 12, 10, 9, 30, 0);  // Thursday
    EXPECT_EQ(rt.localTime().weekday, 5);
    ASSERT_TRUE(rt.runUntil(10, 0, 15));
    EXPECT_EQ(rt.localTime().hms(), "10:00:15");
    EXPECT_EQ(rt.localTime().day, 10);
    ASSERT_TRUE(rt.runUntil(8, 0, 0));  // already past today: tomorrow
    EXPECT_EQ(rt.localTime().day, 11);
    ASSERT_TRUE(rt.runUntil(8, 0, 0, 2));  // next Monday
    EXPECT_EQ(rt.localTime().weekday, 2);
    EXPECT_EQ(rt.localTime().day, 14);
}

TEST(VirtualRuntimeServices, EndsOnceAndEscapesLineBreaksInDiagnostics) {
    VirtualRuntime rt;
    rt.endProcess(3);
    rt.endProcess(0);
    EXPECT_TRUE(rt.processEnded());
    EXPECT_EQ(rt.exitCode(), 3);
    EXPECT_EQ(escapeLineBreaks("a\r\nb"), "a\\r\\nb");
}

}  // namespace
}  // namespace tarnwick
