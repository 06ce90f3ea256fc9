#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "hostlink/host_link.h"
#include "hostlink/host_state.h"
#include "hostlink/local_host_transport.h"
#include "runtime/virtual_runtime.h"

namespace tarnwick {
namespace {

// Virtual time set before the link below introduces itself.
struct ClockedRuntime : VirtualRuntime {
    ClockedRuntime() { setLocalTime(2026, 12, 13, 10, 0, 15, 204); }
};

// The tests of the log's stamps run in a zone away from UTC, where local time and time since 1970
// cannot be taken for each other.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* tz = std::getenv("TZ")) old_ = tz;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (old_)
            ::setenv("TZ", old_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> old_;
};

long long nowMicroseconds() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

// Local time to the millisecond of microseconds since 1970, as the log writes "time".
std::string localTimeText(long long us) {
    using namespace std::chrono;
    return formatLogTime(localTimeAt(system_clock::time_point(duration_cast<system_clock::duration>(microseconds(us)))));
}

class LocalHostTest : public ::testing::Test {
protected:
    // Five and a half hours east of UTC, so that hours, minutes and the zone's sign all show.
    ScopedTimeZone zone{"XST-5:30"};
    ClockedRuntime rt;
    LocalHostTransport host{rt};
    HostHub hub{rt, host};
    HostLink link{hub, "Form1"};
};

TEST_F(LocalHostTest, QueriesReadWhatCallsAndEventsSet) {
    EXPECT_EQ(link.GetCallsign(), "N0CALL-L");
    EXPECT_FALSE(link.IsTransmitting());
    link.SetPTT(true);
    EXPECT_TRUE(link.IsTransmitting());
    link.SetPTT(false);
    EXPECT_FALSE(link.IsTransmitting());

    host.raise("rx", {"1"});
    host.raise("carrier", {"1"});
    EXPECT_TRUE(link.IsReceiving());
    EXPECT_TRUE(link.IsCarrierDetected());
    host.raise("rx", {"0"});
    EXPECT_FALSE(link.IsReceiving());

    EXPECT_FALSE(link.IsLinkActive());
    EXPECT_EQ(host.set("linkactive", "1"), "linkactive 0 -> 1");
    EXPECT_TRUE(link.IsLinkActive());
    EXPECT_EQ(host.set("callsign", "W1XYZ-L"), "callsign N0CALL-L -> W1XYZ-L");
    EXPECT_EQ(link.GetCallsign(), "W1XYZ-L");

    link.SetBusy(true);
    link.SetDTR(true);
    link.SetRTS(true);
    const Json s = host.state().stateJson();
    for (const char* key : {"busy", "dtr", "rts", "receiving", "carrier", "linkactive", "ptt"})
        ASSERT_NE(jsonMember(s, key), nullptr) << key;
    EXPECT_EQ(s["callsign"], "W1XYZ-L");
    EXPECT_EQ(s["busy"], true);
    EXPECT_EQ(s["dtr"], true);
    EXPECT_EQ(s["rts"], true);
    EXPECT_EQ(s["receiving"], false);
    EXPECT_EQ(s["carrier"], true);
    EXPECT_EQ(dumpJson(s["links"]), "[\"Form1\"]");
}

TEST_F(LocalHostTest, ConnectAndDisconnectRaiseTheirEventsAfterTheCallReturns) {
    std::vector<std::string> got;
    link.connected = [&](const std::string& c, const std::string&, const std::string&) {
        got.push_back("connected " + c);
    };
    link.Disconnected = [&](const std::string& c) { got.push_back("Disconnected " + c); };

    link.ConnectTo("W1AW");
    EXPECT_TRUE(got.empty()) << "the event follows the call, as from a real host";
    EXPECT_TRUE(link.IsConnectedTo("W1AW"));
    EXPECT_TRUE(link.IsConnectedTo("w1aw"));
    link.ConnectTo("W1AW");  // already connected: nothing new
    link.ConnectTo("*ECHOTEST*");
    EXPECT_EQ(link.GetConnectedCount(), 2);
    rt.runPending();
    EXPECT_EQ(got, (std::vector<std::string>{"connected W1AW", "connected *ECHOTEST*"}));

    got.clear();
    link.DisconnectFrom("K9NOT");  // not connected: no event
    link.DisconnectFrom("W1AW");
    EXPECT_FALSE(link.IsConnectedTo("W1AW"));
    host.raise("connected", {"K1ABC", "Ann", "10.0.0.1"});
    link.DisconnectAllStations();
    EXPECT_EQ(link.GetConnectedCount(), 0);
    rt.runPending();
    EXPECT_EQ(got, (std::vector<std::string>{"Disconnected W1AW", "connected K1ABC", "Disconnected *ECHOTEST*",
                                             "Disconnected K1ABC"}));
    EXPECT_THROW(link.ConnectTo(""), HostError);
}

TEST_F(LocalHostTest, RaisedStationEventsChangeTheStationList) {
    host.raise("connected", {"K1ABC", "Ann", "10.0.0.1"});
    host.raise("connected", {"W1AW"});
    EXPECT_EQ(link.GetConnectedCount(), 2);
    const auto& st = host.state().stations();
    EXPECT_EQ(st[0].name, "Ann");
    EXPECT_EQ(st[0].addr, "10.0.0.1");
    host.raise("disconnected", {"k1abc"});
    EXPECT_FALSE(link.IsConnectedTo("K1ABC"));
    EXPECT_TRUE(link.IsConnectedTo("W1AW"));
}

TEST_F(LocalHostTest, AFailingOperationThrowsChangesNothingAndIsLogged) {
    host.set("fail", "SetPTT");
    EXPECT_THROW(link.SetPTT(true), HostError);
    EXPECT_FALSE(link.IsTransmitting());
    link.SetBusy(true);  // other operations still work
    const auto calls = host.state().calls("SetPTT");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].error, "the host refused SetPTT");
    EXPECT_NE(calls[0].line().find(",\"error\":\"the host refused SetPTT\"}"), std::string::npos);
    EXPECT_EQ(host.set("fail", "none"), "fail SetPTT -> none");
    link.SetPTT(true);
    EXPECT_TRUE(link.IsTransmitting());
}

TEST_F(LocalHostTest, LogHasOneJsonLinePerCallAndEventInOrder) {
    link.SetPTT(true);
    host.raise("dtmf", {"AA"});
    host.raise("chat", {"say \"hi\"\\"});
    rt.advance(1);
    link.ConnectTo("W1AW");
    const auto lines = host.logLines();
    ASSERT_EQ(lines.size(), 6u);
    // "us" is the moment of "time" in microseconds since 1970, whatever the host's time zone.
    const long long at = parseJson(lines[0])["us"].get<long long>();
    EXPECT_EQ(localTimeText(at), "2026-12-13T10:00:15.204");
    const std::string us = std::to_string(at), later = std::to_string(at + 1000);
    EXPECT_EQ(lines[0], R"({"seq":1,"time":"2026-12-13T10:00:15.204","us":)" + us +
                            R"(,"link":"Form1","op":"Hello","args":["Form1"]})");
    EXPECT_EQ(lines[1], R"({"seq":2,"time":"2026-12-13T10:00:15.204","us":)" + us +
                            R"(,"link":"Form1","op":"SetPTT","args":[true]})");
    EXPECT_EQ(lines[2], R"({"seq":3,"time":"2026-12-13T10:00:15.204","us":)" + us +
                            R"(,"event":"DTMFString","args":["AA"]})");
    EXPECT_EQ(lines[3], R"({"seq":4,"time":"2026-12-13T10:00:15.204","us":)" + us +
                            R"(,"event":"ChatTextReceived","args":["say \"hi\"\\"]})");
    EXPECT_EQ(lines[4], R"({"seq":5,"time":"2026-12-13T10:00:15.205","us":)" + later +
                            R"(,"link":"Form1","op":"ConnectTo","args":["W1AW",true]})");
    EXPECT_EQ(lines[5], R"({"seq":6,"time":"2026-12-13T10:00:15.205","us":)" + later +
                            R"(,"event":"connected","args":["W1AW","",""]})");
}

// The real host stamps each line from one reading of the system clock: "us" to the microsecond,
// "time" the same moment's local time to the millisecond, as it always read.
TEST_F(LocalHostTest, TheSystemClockStampsEachLineToTheMicrosecond) {
    HostState state;
    std::vector<std::string> lines;
    state.onLogLine = [&](const std::string& line) { lines.push_back(line); };
    const auto before = nowMicroseconds();
    state.call("Form1", "SetPTT", {true});
    state.call("Form1", "SetPTT", {false});
    const auto after = nowMicroseconds();
    ASSERT_EQ(lines.size(), 2u);
    long long previous = before;
    for (const std::string& line : lines) {
        const Json j = parseJson(line);
        const long long at = j["us"].get<long long>();
        EXPECT_GE(at, previous) << line;
        EXPECT_LE(at, after) << line;
        EXPECT_EQ(j["time"].get<std::string>(), localTimeText(at)) << line;
        previous = at;
    }
}

TEST_F(LocalHostTest, TheLogKeptInMemoryIsBounded) {
    host.state().setLogLimit(3);
    for (int i = 0; i < 5; ++i) link.IsReceiving();
    const auto& log = host.state().log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log.front().seq, 4);
    EXPECT_EQ(log.back().seq, 6);
}

TEST(HostState, UnknownOperationsAndBadArgumentsAreRefused) {
    HostState s;
    EXPECT_THROW(s.call("Form1", "FormatDisk", {}), HostError);
    EXPECT_THROW(s.call("Form1", "SetPTT", {}), HostError);
    EXPECT_THROW(s.call("Form1", "SetPTT", {std::string("yes")}), HostError);
    EXPECT_THROW(s.call("Form1", "SendCWText", {std::string("DE"), 0LL}), HostError);
    EXPECT_EQ(s.calls().size(), 4u) << "refused calls are logged too";
    EXPECT_EQ(HostState::operations().size(), 17u);  // GetCallsign stands for GetLocalStation().GetCallsign()
}

TEST(HostState, BadCommandsAndSettingsGiveUsage) {
    struct Case {
        std::string cmd;
        std::vector<std::string> args;
    };
    const Case badEvents[] = {
        {"dtmf", {}},         {"dtmf", {""}},        {"dtmf", {"1 2"}},          {"rx", {}},
        {"rx", {"2"}},        {"carrier", {"on"}},   {"connected", {}},          {"connected", {"a", "b", "c", "d"}},
        {"connected", {""}},  {"disconnected", {}},  {"disconnected", {"a", "b"}}, {"chat", {}},
        {"chat", {"a\nb"}},   {"closing", {"now"}},  {"bogus", {}},
    };
    for (const auto& c : badEvents)
        EXPECT_THROW(HostState::eventForCommand(c.cmd, c.args), std::invalid_argument) << c.cmd;
    const std::pair<std::string, std::string> badSettings[] = {
        {"callsign", ""}, {"callsign", "W1 AW"}, {"linkactive", "yes"}, {"fail", "FormatDisk"}, {"fail", "Hello"},
        {"colour", "red"},
    };
    for (const auto& [k, v] : badSettings) EXPECT_THROW(HostState::checkSetting(k, v), std::invalid_argument) << k;

    const HostEvent chat = HostState::eventForCommand("chat", {"two", "words"});
    EXPECT_EQ(chat.args, (std::vector<HostValue>{std::string("two words")}));
    EXPECT_EQ(describeEvent(HostState::eventForCommand("connected", {"W1AW"})), "connected W1AW");
    EXPECT_EQ(describeEvent(HostState::eventForCommand("rx", {"1"})), "RX 1");
}

}  // namespace
}  // namespace tarnwick
