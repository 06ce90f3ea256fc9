// Who holds the transmitter and the node's lines, and what becomes of a release the host refuses.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
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

TEST_P(ReleaseTest, TheEndOfTheProgramDropsEveryHeldLineUnderItsHoldersName) {
    set(player, true);
    set(speech, true);
    rt.endProcess(0);
    EXPECT_FALSE(hostOn());
    const auto calls = host.state().calls(GetParam().op);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().link, "Form1") << "the first holder's name";
    EXPECT_EQ(calls.back().args, std::vector<HostValue>{false});
}

// A transport in front of the in-process host that a test can swap for a fresh host, as a host that
// restarts would be, and that can make the host take a refused operation again at a virtual moment.
class RestartingHost : public HostTransport {
public:
    explicit RestartingHost(VirtualRuntime& rt) : rt_(rt) { restart(); }
    HostValue call(const std::string& link, const std::string& op, const std::vector<HostValue>& args) override {
        if (acceptAt >= 0 && rt_.monotonicMs() >= acceptAt) host->set("fail", "none");
        return host->call(link, op, args);
    }
    // A new host with every line off; the links find it and introduce themselves again.
    void restart() {
        host = std::make_unique<LocalHostTransport>(rt_);
        host->state().clock = [this] { return rt_.localTime(); };
        if (reconnected) reconnected();
    }
    std::vector<std::string> lineCalls() const {
        std::vector<std::string> out;
        for (const auto& c : host->state().calls())
            if (c.op.rfind("Set", 0) == 0)
                out.push_back(c.link + " " + c.op + (std::get<bool>(c.args.at(0)) ? " on" : " off") +
                              (c.error.empty() ? "" : " refused"));
        return out;
    }
    std::unique_ptr<LocalHostTransport> host;
    std::int64_t acceptAt = -1;

private:
    VirtualRuntime& rt_;
};

TEST(ReleaseExitTest, ARefusedReleaseIsRetriedEveryHalfSecondForFiveSecondsThenNamedInOneErrorLineEach) {
    VirtualRuntime rt;
    RestartingHost transport(rt);
    HostHub hub(rt, transport);
    HostLink player(hub, "Form1");
    player.SetPTT(true);
    player.SetDTR(true);
    transport.host->set("fail", "SetPTT");
    const std::int64_t start = rt.monotonicMs();
    ::testing::internal::CaptureStderr();
    rt.endProcess(0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(rt.monotonicMs() - start, 5000) << "the end waits five seconds for the host, no longer";
    const auto calls = transport.lineCalls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Form1 SetPTT off refused"), 11) << "at once, then every 0.5 s";
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Form1 SetDTR off"), 1) << "the lines the host takes go at once";
    EXPECT_FALSE(transport.host->state().dtr());
    EXPECT_NE(err.find("ERROR exit: the PTT line is still on: the host refused SetPTT\n"), std::string::npos) << err;
    EXPECT_EQ(err.find("DTR"), std::string::npos) << err;
    EXPECT_TRUE(rt.processEnded());
}

TEST(ReleaseExitTest, AReleaseTheHostTakesTwoSecondsIntoTheEndLeavesTheNodeUnkeyedAndEndsAtOnce) {
    VirtualRuntime rt;
    RestartingHost transport(rt);
    HostHub hub(rt, transport);
    HostLink player(hub, "Form1");
    player.SetPTT(true);
    transport.host->set("fail", "SetPTT");
    EXPECT_THROW(player.SetPTT(false, Release::Force), HostError);  // a quit prompt's unkey, refused
    transport.acceptAt = rt.monotonicMs() + 2000;
    const std::int64_t start = rt.monotonicMs();
    ::testing::internal::CaptureStderr();
    rt.endProcess(0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(transport.host->state().ptt());
    EXPECT_EQ(rt.monotonicMs() - start, 2000);
    EXPECT_EQ(err.find("ERROR exit"), std::string::npos) << err;
}

TEST(ReleaseRekeyTest, AHostFoundAgainIsKeyedAgainByTheToolWhoseTransmissionIsUnderWay) {
    VirtualRuntime rt;
    RestartingHost transport(rt);
    HostHub hub(rt, transport);
    HostLink player(hub, "Form1");
    HostLink speech(hub, "Form3");
    HostLink nets(hub, "Form4");
    player.SetBusy(true);
    player.SetPTT(true);
    speech.SetPTT(true);
    speech.SetPTT(false);  // its speech ended before the host went away
    nets.SetBusy(true);
    transport.restart();
    EXPECT_TRUE(transport.host->state().ptt());
    EXPECT_TRUE(transport.host->state().busy());
    EXPECT_FALSE(transport.host->state().dtr());
    // As the player's own key-up: busy first, then the transmitter; the speech tool keys nothing.
    EXPECT_EQ(transport.lineCalls(), (std::vector<std::string>{"Form1 SetBusy on", "Form1 SetPTT on"}));
    // The holds are as they were: the player's end still lets go, the net keeps the busy flag.
    player.SetPTT(false);
    player.SetBusy(false);
    EXPECT_FALSE(transport.host->state().ptt());
    EXPECT_TRUE(transport.host->state().busy());
}

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
