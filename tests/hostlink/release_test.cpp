// Who holds the transmitter and the node's lines, and what becomes of a release the host refuses.

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "hostlink/host_link.h"
#include "hostlink/local_host_transport.h"
#include "runtime/virtual_runtime.h"

namespace tarnwick {
namespace {

using Setter = void (HostLink::*)(bool, Release);

struct Line {
    const char* op;
    Setter set;
    bool (HostState::*on)() const;
};

void PrintTo(const Line& l, std::ostream* os) { *os << l.op; }

const Line kLines[] = {
    {"SetPTT", &HostLink::SetPTT, &HostState::ptt},
    {"SetBusy", &HostLink::SetBusy, &HostState::busy},
    {"SetDTR", &HostLink::SetDTR, &HostState::dtr},
    {"SetRTS", &HostLink::SetRTS, &HostState::rts},
};

class ReleaseTest : public ::testing::TestWithParam<Line> {
protected:
    void set(HostLink& l, bool on, Release how = Release::Routine) { (l.*GetParam().set)(on, how); }
    bool hostOn() const { return (host.state().*GetParam().on)(); }
    std::size_t callsOf(const std::string& link) const {
        std::size_t n = 0;
        for (const auto& c : host.state().calls(GetParam().op))
            if (c.link == link) ++n;
        return n;
    }

    VirtualRuntime rt;
    LocalHostTransport host{rt};
    HostHub hub{rt, host};
    HostLink player{hub, "Form1"};
    HostLink speech{hub, "Form3"};
};

TEST_P(ReleaseTest, ARoutineReleaseLeavesAnotherLinksHoldAndTheLastOneReleases) {
    set(speech, true);
    set(player, true);  // a DTMF play keys while the speech is still under way
    set(speech, false);
    EXPECT_TRUE(hostOn()) << "the speech's end must not cut the play";
    EXPECT_EQ(callsOf("Form3"), 1u) << "the held line is not touched at all";
    set(player, false);
    EXPECT_FALSE(hostOn());

    // A routine release of a line nobody holds goes out (start-up unkeys whatever it finds).
    host.state().call("Form9", GetParam().op, {true});
    set(speech, false);
    EXPECT_FALSE(hostOn());
}

TEST_P(ReleaseTest, AForcedReleaseCutsEveryHold) {
    set(speech, true);
    set(player, true);
    set(speech, false, Release::Force);
    EXPECT_FALSE(hostOn());
    // Every hold went with it: the player's own later release is not needed to keep the line down,
    // and a routine release of the speech after a new key of its own goes out.
    set(speech, true);
    set(speech, false);
    EXPECT_FALSE(hostOn());
}

TEST_P(ReleaseTest, ARefusedReleaseIsRetriedUntilTheHostTakesItThenTheLinkHears) {
    std::vector<std::string> done;
    player.ReleaseDone = [&](const std::string& op) { done.push_back(op); };
    set(player, true);
    host.set("fail", GetParam().op);
    EXPECT_THROW(set(player, false), HostError) << "the caller still hears of the refusal";
    EXPECT_TRUE(hostOn());
    const std::size_t tries = callsOf("Form1");
    rt.advance(3000);
    EXPECT_GE(callsOf("Form1") - tries, 3u) << "at least once a second";
    EXPECT_TRUE(done.empty());
    EXPECT_TRUE(hostOn());

    host.set("fail", "none");
    rt.advance(1000);
    EXPECT_FALSE(hostOn());
    EXPECT_EQ(done, std::vector<std::string>{GetParam().op});
    const std::size_t after = callsOf("Form1");
    rt.advance(5000);
    EXPECT_EQ(callsOf("Form1"), after) << "retries stop once the release went through";
}

TEST_P(ReleaseTest, ANewKeyAfterARefusedReleaseIsNotCutByItsRetry) {
    std::vector<std::string> done;
    player.ReleaseDone = [&](const std::string& op) { done.push_back(op); };
    set(player, true);
    host.set("fail", GetParam().op);
    EXPECT_THROW(set(player, false, Release::Force), HostError);
    host.set("fail", "none");
    set(speech, true);  // a new transmission before the retry
    rt.advance(3000);
    EXPECT_TRUE(hostOn()) << "the stale retry must not cut the new transmission";
    EXPECT_EQ(done, std::vector<std::string>{GetParam().op}) << "the player holds the line no more";
    set(speech, false);
    EXPECT_FALSE(hostOn());
}

TEST_P(ReleaseTest, AReleaseOfAClosedWindowIsStillRetried) {
    auto closing = std::make_unique<HostLink>(hub, "Form7");
    set(*closing, true);
    host.set("fail", GetParam().op);
    EXPECT_THROW(set(*closing, false), HostError);
    closing.reset();
    host.set("fail", "none");
    rt.advance(1000);
    EXPECT_FALSE(hostOn());
}

INSTANTIATE_TEST_SUITE_P(Lines, ReleaseTest, ::testing::ValuesIn(kLines),
                         [](const auto& info) { return std::string(info.param.op); });

TEST(ReleaseClosingTest, ARefusedReleaseGetsALastTryBeforeTheProcessEnds) {
    VirtualRuntime rt;
    LocalHostTransport host(rt);
    HostHub hub(rt, host);
    HostLink player(hub, "Form1");
    player.SetPTT(true);
    host.set("fail", "SetPTT");
    player.Closing = [&] {
        EXPECT_THROW(player.SetPTT(false, Release::Force), HostError);
        host.set("fail", "none");
    };
    host.raiseEvent({"Closing", {}});
    rt.runPending();
    EXPECT_TRUE(rt.processEnded());
    EXPECT_FALSE(host.state().ptt());
}

}  // namespace
}  // namespace tarnwick
