// Who holds the transmitter and the node's lines, and what becomes of a release the host refuses.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "hostlink/host_link.h"
#include "hostlink/local_host_transport.h"
#include "runtime/termination_signals.h"
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

struct ReleaseRekeyTest : ::testing::Test {
    VirtualRuntime rt;
    RestartingHost transport{rt};
    HostHub hub{rt, transport};
};

TEST_F(ReleaseRekeyTest, AHostFoundAgainIsKeyedAgainByTheToolWhoseTransmissionIsUnderWay) {
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

// The host as the socket transport meets it, on virtual time: one that answers, one that is gone
// (every call fails at once, having gone nowhere) or one that hangs (every call goes out, then waits
// its five-second reply time, or what is left of the way out's time, and fails).
class UncertainHost : public HostTransport {
public:
    enum class Kind { Answers, Gone, Hangs };
    explicit UncertainHost(VirtualRuntime& rt) : rt_(rt) {}
    HostValue call(const std::string& link, const std::string& op, const std::vector<HostValue>& args) override {
        if (kind == Kind::Gone) throw HostUnreachable("no host is running at /run/host.sock", "no host is running", false);
        if (kind == Kind::Hangs) {
            std::int64_t wait = 5000;
            if (deadline_ >= 0) wait = std::clamp<std::int64_t>(deadline_ - rt_.monotonicMs(), 0, wait);
            rt_.blockingDelay(static_cast<int>(wait));
            throw HostUnreachable("the host does not answer", "the host does not answer", true);
        }
        return host.call(link, op, args);
    }
    void windDown(int budgetMs) override {
        const std::int64_t d = rt_.monotonicMs() + budgetMs;
        if (deadline_ < 0 || d < deadline_) deadline_ = d;
    }
    std::size_t releasesOf(const std::string& op) const {
        std::size_t n = 0;
        for (const auto& c : host.state().calls(op)) n += c.args == std::vector<HostValue>{false};
        return n;
    }

private:
    VirtualRuntime& rt_;
    std::int64_t deadline_ = -1;

public:
    Kind kind = Kind::Answers;
    LocalHostTransport host{rt_};
};

// The tools of a node as the way out sees them: each one's Closing drops every line, as the
// launcher, the players and the speech tool do, whether it had them on or not.
struct ExitNode {
    explicit ExitNode(VirtualRuntime& r) : rt(r) {
        for (const char* name : {"Form5", "Form1", "Form3", "Form4", "Form10", "Form12", "Form13"}) {
            links.push_back(std::make_unique<HostLink>(hub, name));
            HostLink* l = links.back().get();
            l->Closing = [this, l] {
                for (auto set : {&HostLink::SetPTT, &HostLink::SetBusy, &HostLink::SetDTR, &HostLink::SetRTS}) {
                    try {
                        (l->*set)(false, Release::Force);
                    } catch (const HostError& e) {
                        rt.error(l->owner() + " Closing", e.what());
                    }
                }
            };
        }
    }
    HostLink& player() { return *links[1]; }
    // The ERROR lines written while the program ended this way, and how long it took.
    struct Ended {
        std::int64_t ms;
        std::vector<std::string> errors;
    };
    Ended end(const std::function<void()>& how) {
        const std::int64_t start = rt.monotonicMs();
        ::testing::internal::CaptureStderr();
        how();
        std::istringstream err(::testing::internal::GetCapturedStderr());
        Ended out{rt.monotonicMs() - start, {}};
        for (std::string line; std::getline(err, line);)
            if (line.rfind("ERROR", 0) == 0) out.errors.push_back(line);
        return out;
    }

    VirtualRuntime& rt;
    UncertainHost transport{rt};
    HostHub hub{rt, transport};
    std::vector<std::unique_ptr<HostLink>> links;
};

struct WayOutCase {
    const char* name;
    UncertainHost::Kind host;
    bool keyed;
    std::int64_t mostMs;
    std::vector<std::string> errors;
};

void PrintTo(const WayOutCase& c, std::ostream* os) { *os << c.name; }

class WayOutTest : public ::testing::TestWithParam<WayOutCase> {};

// The tools' clean-up included: what reaches no host is said once, by the end, for a line that was on.
TEST_P(WayOutTest, ClosingEndsWithinTheWayOutsTimeAndNamesOnlyALineThatWasOn) {
    VirtualRuntime rt;
    ExitNode node(rt);
    if (GetParam().keyed) node.player().SetPTT(true);
    node.transport.kind = GetParam().host;
    const auto ended = node.end([&] { node.hub.raise({"Closing", {}}); });
    EXPECT_TRUE(rt.processEnded());
    EXPECT_LE(ended.ms, GetParam().mostMs);
    EXPECT_EQ(ended.errors, GetParam().errors);
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, WayOutTest,
    ::testing::Values(
        WayOutCase{"GoneNothingOn", UncertainHost::Kind::Gone, false, 0, {}},
        WayOutCase{"GoneKeyed", UncertainHost::Kind::Gone, true, 5000,
                   {"ERROR exit: the PTT line is still on: no host is running"}},
        WayOutCase{"HungNothingOn", UncertainHost::Kind::Hangs, false, 5000, {}},
        WayOutCase{"HungKeyed", UncertainHost::Kind::Hangs, true, 5000,
                   {"ERROR exit: the PTT line is still on: the host does not answer"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WayOutSignalTest, CallsAfterAStopSignalShareItsFiveSecondsBeforeClosingIsDelivered) {
    VirtualRuntime rt;
    ExitNode node(rt);
    node.transport.kind = UncertainHost::Kind::Hangs;
    TerminationSignals signals(rt, [](int) {});
    ASSERT_EQ(::raise(SIGTERM), 0);
    // The loop is still in the work that was under way when the signal came; its calls wait no longer
    // than the way out allows, and neither does the clean-up that follows.
    const auto ended = node.end([&] {
        for (auto& l : node.links) EXPECT_THROW(l->IsTransmitting(), HostUnreachable);
        node.hub.raise({"Closing", {}});
    });
    EXPECT_LE(ended.ms, 5000);
    EXPECT_TRUE(rt.processEnded());
}

// Which lines the end of the program takes for on, and so releases once more.
struct OnCase {
    const char* name;
    std::function<void(ExitNode&)> before;
    bool releasedAtTheEnd;
};

void PrintTo(const OnCase& c, std::ostream* os) { *os << c.name; }

class WhatIsOnTest : public ::testing::TestWithParam<OnCase> {};

TEST_P(WhatIsOnTest, TheEndReleasesOnlyALineThatMayBeOn) {
    VirtualRuntime rt;
    ExitNode node(rt);
    GetParam().before(node);
    node.transport.kind = UncertainHost::Kind::Answers;
    node.transport.host.set("fail", "none");
    const std::size_t before = node.transport.releasesOf("SetPTT");
    const auto ended = node.end([&] { rt.endProcess(0); });
    EXPECT_EQ(node.transport.releasesOf("SetPTT") - before, GetParam().releasedAtTheEnd ? 1u : 0u);
    EXPECT_FALSE(node.transport.host.state().ptt());
    EXPECT_TRUE(ended.errors.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, WhatIsOnTest,
    ::testing::Values(
        OnCase{"KeyTaken", [](ExitNode& n) { n.player().SetPTT(true); }, true},
        OnCase{"KeyTakenThenReleased",
               [](ExitNode& n) {
                   n.player().SetPTT(true);
                   n.player().SetPTT(false);
               },
               false},
        OnCase{"KeyTakenReleaseRefused",
               [](ExitNode& n) {
                   n.player().SetPTT(true);
                   n.transport.host.set("fail", "SetPTT");
                   EXPECT_THROW(n.player().SetPTT(false), HostError);
               },
               true},
        OnCase{"KeyRefused",
               [](ExitNode& n) {
                   n.transport.host.set("fail", "SetPTT");
                   EXPECT_THROW(n.player().SetPTT(true), HostError);
               },
               false},
        OnCase{"ReleaseRefusedOfALineNeverKeyed",
               [](ExitNode& n) {
                   n.transport.host.set("fail", "SetPTT");
                   EXPECT_THROW(n.player().SetPTT(false, Release::Force), HostError);
               },
               false},
        OnCase{"KeyThatReachedNoHost",
               [](ExitNode& n) {
                   n.transport.kind = UncertainHost::Kind::Gone;
                   EXPECT_THROW(n.player().SetPTT(true), HostUnreachable);
               },
               false},
        OnCase{"KeyThatWentOutUnanswered",
               [](ExitNode& n) {
                   n.transport.kind = UncertainHost::Kind::Hangs;
                   EXPECT_THROW(n.player().SetPTT(true), HostUnreachable);
               },
               true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReleaseRekeyTest, AHostFoundAgainOnTheWayOutIsNotKeyedAgain) {
    HostLink launcher(hub, "Form5");
    HostLink player(hub, "Form1");
    player.SetBusy(true);
    player.SetPTT(true);
    hub.afterClosing = [] {};
    // The host comes back during the launcher's clean-up, before the player has let go.
    launcher.Closing = [&] { transport.restart(); };
    player.Closing = [&] {
        player.SetPTT(false, Release::Force);
        player.SetBusy(false, Release::Force);
    };
    hub.raise({"Closing", {}});
    EXPECT_EQ(transport.lineCalls(), (std::vector<std::string>{"Form1 SetPTT off", "Form1 SetBusy off"}));
}

}  // namespace
}  // namespace tarnwick
