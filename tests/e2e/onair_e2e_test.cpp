// On air between the tools and at the end of the program, on the real programs: what one tool has on
// air another leaves alone, and every way of stopping leaves the node unkeyed.

#include <gtest/gtest.h>
#include <signal.h>

#include <ctime>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "support/node.h"
#include "support/wav.h"

namespace tarnwick::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kNewsKey = R"("link":"Form1","op":"SetPTT","args":[true])";
const std::string kSeriesKey = R"("link":"Form12","op":"SetPTT","args":[true])";
const std::string kUnkey = R"("op":"SetPTT","args":[false])";

// The program's time of day, set by the test and moved forward where a test would otherwise wait; it
// runs on from where it is set: libfaketime reads an offset from real time out of a file at every clock
// reading. Timers keep real time.
class OffsetClock {
public:
    OffsetClock(const Node& node, const std::string& at) : file_(node.dir().file("faketime.rc")) { set(at); }
    // "2026-12-14 10:14:55", local time.
    void set(const std::string& at) {
        std::tm tm{};
        ::strptime(at.c_str(), "%Y-%m-%d %H:%M:%S", &tm);
        tm.tm_isdst = -1;
        const long long offset = static_cast<long long>(std::mktime(&tm)) - static_cast<long long>(std::time(nullptr));
        const std::string next = file_ + ".next";
        std::ofstream(next) << (offset < 0 ? "" : "+") << offset << "\n";
        std::filesystem::rename(next, file_);
    }
    std::map<std::string, std::string> env() const {
        return {{"LD_PRELOAD", SteppedClock::library()},
                {"FAKETIME_TIMESTAMP_FILE", file_},
                {"FAKETIME_DONT_FAKE_MONOTONIC", "1"},
                {"FAKETIME_NO_CACHE", "1"}};
    }

private:
    std::string file_;
};

#define NEED_FAKETIME \
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed"

bool stateHas(Node& node, const std::string& piece) { return node.hostState().find(piece) != std::string::npos; }

// The log lines of `lines` that the host saw after `line`.
std::vector<std::string> after(const std::vector<std::string>& lines, const std::string& line) {
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (Node::seqOf(l) > Node::seqOf(line) && l.find("\"error\"") == std::string::npos) out.push_back(l);
    return out;
}

// Audio File 1 (DTMF "AA") is a tone of the given length.
void newsFile(Node& node, double seconds, const std::string& extraKeys = "") {
    writeToneWav(node.drivePath("c", "News1.wav"), seconds);
    node.writeSettings("brannock.ini", "[SETTINGS]\nTEXT4=C:\\News1.wav\n" + extraKeys);
}

// The quarter hour's time sentence and info text are two transmissions; a news play before them must
// not leave the second held back by a stale mirror of the first's key.
TEST(OnAirEndToEnd, AfterANewsPlayTheQuarterHourSpeaksTheTimeAndThenTheInfoText) {
    NEED_FAKETIME;
    Node node;
    newsFile(node, 1.0);
    node.writeSettings("brightcalltts.ini", "[SETTINGS]\nTXQUARTERHOUR=1\nINFOQUATER=1\nINFOTEXT=Net tonight at eight\n");
    OffsetClock clock(node, "2026-12-14 10:14:20");
    Process& app = node.start("ok", clock.env());
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "AA"}), 0);
    ASSERT_TRUE(eventually([&] {
        auto keys = node.lines({kNewsKey});
        return !keys.empty() && !after(node.lines({R"("link":"Form1")", kUnkey}), keys[0]).empty();
    })) << node.log();
    clock.set("2026-12-14 10:14:58");
    ASSERT_TRUE(eventually([&] { return app.err().find("SPEAK Net tonight at eight") != std::string::npos; },
                           seconds(20)))
        << app.err();
    const std::string err = app.err();
    EXPECT_LT(err.find("SPEAK The Time Is10 15 AM"), err.find("SPEAK Net tonight at eight")) << err;
}

// A series file keyed at the quarter hour inside a news file ends first; the news stays keyed to its
// own end and the news player releases it.
TEST(OnAirEndToEnd, ANewsFileStaysKeyedToItsEndWhileAShorterSeriesFileStartsAndEndsInsideIt) {
    NEED_FAKETIME;
    Node node;
    newsFile(node, 9.0);
    writeToneWav(node.drivePath("c", "1.wav"), 2.5);
    node.writeSettings("seriesplayer.ini", "[SETTINGS]\nMP3=0\nWAV=1\nINFOQUARTER=1\n");
    OffsetClock clock(node, "2026-12-14 10:14:20");
    Process& app = node.start("ok", clock.env());
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "AA"}), 0);
    ASSERT_TRUE(eventually([&] { return !node.lines({kNewsKey}).empty(); })) << node.log();
    clock.set("2026-12-14 10:15:14");
    const std::string newsKey = node.lines({kNewsKey}).front();
    ASSERT_TRUE(eventually([&] { return !after(node.lines({kUnkey}), newsKey).empty(); }, seconds(20)))
        << node.log();
    const std::string unkey = after(node.lines({kUnkey}), newsKey).front();
    EXPECT_NE(unkey.find(R"("link":"Form1")"), std::string::npos) << "the news was cut: " << unkey;
    EXPECT_GE(Node::timeOf(unkey) - Node::timeOf(newsKey), 8500) << node.log();
    // The series file was on air inside the news file.
    ASSERT_FALSE(node.lines({kSeriesKey}).empty()) << node.log() << app.err();
    EXPECT_LT(Node::seqOf(node.lines({kSeriesKey}).front()), Node::seqOf(unkey));
}

// A ten-minute series file keyed and listed busy at 10:15; the 10:16 step finds its file missing.
TEST(OnAirEndToEnd, BusyStaysSetWhileAFileIsOnAirAfterAFailedStep) {
    NEED_FAKETIME;
    Node node;
    writeToneWav(node.drivePath("c", "1.wav"), 600, 8000);
    // 2026-12-14 is a Monday.
    node.writeSettings("seriesplayer.ini", "[SETTINGS]\nMP3=0\nWAV=1\nSTARTNO=1\nENDNO=9\nLISTASBUSYCHECK=1\n"
                                           "INFOQUARTER=1\nMON=1\nHOUR=10\nMINS=16\n");
    OffsetClock clock(node, "2026-12-14 10:15:08");
    Process& app = node.start("ok", clock.env());
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_TRUE(eventually([&] { return !node.lines({kSeriesKey}).empty(); }, seconds(20))) << node.log();
    ASSERT_TRUE(stateHas(node, "\"busy\":true"));
    clock.set("2026-12-14 10:16:13");
    ASSERT_TRUE(eventually([&] { return app.err().find("MSGBOX Error: Please select a file") != std::string::npos; },
                           seconds(20)))
        << app.err();
    // The failed step's handling is done before the next second's tick; two ticks after the box, the
    // file is still keyed and listed busy, and nothing let go of either on the way.
    ASSERT_TRUE(node.secondsPassed(node.lastLine(), 2)) << node.log();
    const std::string s = node.hostState();
    EXPECT_NE(s.find("\"ptt\":true"), std::string::npos) << s;
    EXPECT_NE(s.find("\"busy\":true"), std::string::npos) << s;
    const std::string key = node.lines({kSeriesKey}).front();
    EXPECT_TRUE(after(node.lines({kUnkey}), key).empty()) << node.log();
    EXPECT_TRUE(after(node.lines({R"("op":"SetBusy","args":[false])"}), key).empty()) << node.log();
}

// "00" typed as the auto-mute period is one minute, as "0" is: nothing in the first seconds of a long over.
TEST(OnAirEndToEnd, ZeroZeroAsTheAutoMutePeriodSendsNoMute) {
    Node node;
    node.writeSettings("castrel.ini", "[SETTINGS]\nBEACONPERIOD2=00\nCHECK3=1\n");
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"rx", "1"}), 0);
    // Without the rule the bot sends ".mute ." every second; four seconds of reception would show it.
    const std::vector<std::string> rx = node.lines({R"("event":"RX","args":[true])"});
    ASSERT_FALSE(rx.empty()) << node.log();
    ASSERT_TRUE(node.secondsPassed(rx.back(), 4)) << node.log();
    EXPECT_TRUE(node.lines({R"("op":"SendChatText")", ".mute"}).empty()) << node.log();
}

// A net with "Show Busy": the series player's idle release does not clear the net's busy flag.
TEST(OnAirEndToEnd, ANetWithShowBusyKeepsTheHostBusy) {
    NEED_FAKETIME;
    Node node;
    node.writeSettings("dtmfctrl.ini", "[SETTINGS]\nMON=1\nHOUR=20\nMINS=00\nNETCALL1=W1AW\nDISCMINS1=1\nCHECK3=1\n"
                                       "SHOWBUSY1=1\n");
    OffsetClock clock(node, "2026-12-14 19:59:50");
    Process& app = node.start("ok", clock.env());
    ASSERT_TRUE(node.started()) << app.err();
    clock.set("2026-12-14 20:00:13");
    const std::string busy = R"("link":"Form4","op":"SetBusy","args":[true])";
    ASSERT_TRUE(eventually([&] { return !node.lines({busy}).empty(); }, seconds(15))) << node.log();
    // The idle release ran ten times a second before the fix; three seconds of the program's time show it.
    ASSERT_TRUE(node.secondsPassed(node.lines({busy}).front(), 3)) << node.log();
    EXPECT_TRUE(stateHas(node, "\"busy\":true")) << node.log();
    EXPECT_TRUE(after(node.lines({R"("op":"SetBusy","args":[false])"}), node.lines({busy}).front()).empty())
        << node.log();
}

// SIGTERM while the host refuses the unkey: the program keeps trying, the host takes the unkey once the
// refusal is lifted, and only then does the program end.
TEST(OnAirEndToEnd, SigtermWhileTheUnkeyIsRefusedLeavesTheHostUnkeyedOnceItIsTaken) {
    Node node;
    newsFile(node, 20.0);
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "AA"}), 0);
    ASSERT_TRUE(eventually([&] { return stateHas(node, "\"ptt\":true"); })) << node.log();
    ASSERT_EQ(node.hostCommand({"set", "fail", "SetPTT"}), 0);
    app.terminate();
    // Refused at the tools' clean-up, and again on the way out for a second and more.
    const std::string refused = R"("op":"SetPTT","args":[false],"error")";
    ASSERT_TRUE(eventually(
        [&] {
            const auto r = node.lines({refused});
            return r.size() >= 2 && Node::timeOf(r.back()) - Node::timeOf(r.front()) >= 1000;
        },
        seconds(5)))
        << node.log();
    EXPECT_TRUE(app.running()) << "the program waits for the host";
    ASSERT_EQ(node.hostCommand({"set", "fail", "none"}), 0);
    EXPECT_EQ(app.wait(seconds(5)), 0) << app.err();
    const std::string s = node.hostState();
    EXPECT_NE(s.find("\"ptt\":false"), std::string::npos) << s;
    EXPECT_NE(s.find("\"dtr\":false"), std::string::npos) << s;
    EXPECT_EQ(app.err().find("still on"), std::string::npos) << app.err();
}

// Starts the program with chat lines spoken keyed and sends one that holds it for many seconds; true
// once it is spoken with the transmitter keyed.
bool startALongKeyedSpeech(Node& node) {
    node.writeSettings("brightcalltts.ini", "[SETTINGS]\nSAYTEXT=1\n");
    Process& app = node.start();
    if (!node.started()) return false;
    std::string line;
    while (line.size() < 250) line += "a long chat line that keeps the transmitter keyed ";
    return node.hostCommand({"chat", line.substr(0, 250)}) == 0 &&
           eventually([&] { return app.err().find("SPEAK Message from") != std::string::npos; }) &&
           eventually([&] { return stateHas(node, "\"ptt\":true"); });
}

// A chat line spoken keyed holds the program for half a minute; one stop signal, or two in a row, end it
// within seconds with the node unkeyed and the fan line down.
class StopDuringSpeech : public ::testing::TestWithParam<int> {};

TEST_P(StopDuringSpeech, LeavesTheHostUnkeyed) {
    Node node;
    ASSERT_TRUE(startALongKeyedSpeech(node)) << node.lastErr() << node.log();
    Process& app = node.app();
    const auto stopped = std::chrono::steady_clock::now();
    for (int i = 0; i < GetParam(); ++i) app.terminate();
    EXPECT_NE(app.wait(seconds(8)), -1) << "the speech held the program";
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, seconds(8));
    const std::string s = node.hostState();
    EXPECT_NE(s.find("\"ptt\":false"), std::string::npos) << s;
    EXPECT_NE(s.find("\"dtr\":false"), std::string::npos) << s;
}

INSTANTIATE_TEST_SUITE_P(Signals, StopDuringSpeech, ::testing::Values(1, 2),
                         [](const auto& info) { return info.param == 1 ? "OneSigterm" : "TwoSigterms"; });

// One stop signal while the host hangs or is gone: the program ends within six seconds of it, within
// one when nothing is on and no host runs, and names a line only when it was on and stayed on.
struct WayOut {
    const char* name;
    int hostSignal;  // SIGSTOP: the host hangs; SIGKILL: it is gone
    bool newsKeyed;
    milliseconds most;
    const char* exitLine;  // the one ERROR exit line, or none
};

void PrintTo(const WayOut& w, std::ostream* os) { *os << w.name; }

class StopWithTheHostLost : public ::testing::TestWithParam<WayOut> {};

TEST_P(StopWithTheHostLost, EndsInTimeAndNamesOnlyALineThatWasOn) {
    const WayOut& w = GetParam();
    Node node;
    newsFile(node, 60.0);
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    if (w.newsKeyed) {
        ASSERT_EQ(node.hostCommand({"dtmf", "AA"}), 0);
        ASSERT_TRUE(eventually([&] { return stateHas(node, "\"ptt\":true"); })) << node.log();
    }
    node.signalHost(w.hostSignal);
    const auto stopped = std::chrono::steady_clock::now();
    app.terminate();
    const int code = app.wait(seconds(30));
    const auto took = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - stopped);
    if (w.hostSignal == SIGSTOP) node.signalHost(SIGCONT);
    EXPECT_EQ(code, 0) << app.err();
    EXPECT_LE(took, w.most) << app.err();
    std::vector<std::string> exitLines;
    std::istringstream err(app.err());
    for (std::string line; std::getline(err, line);)
        if (line.rfind("ERROR exit", 0) == 0) exitLines.push_back(line);
    EXPECT_EQ(exitLines, w.exitLine ? std::vector<std::string>{w.exitLine} : std::vector<std::string>{}) << app.err();
    std::cout << "[ measured ] " << w.name << ": ended " << took.count() << " ms after the signal\n";
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, StopWithTheHostLost,
    ::testing::Values(WayOut{"HungNothingOn", SIGSTOP, false, seconds(6), nullptr},
                      WayOut{"HungNewsKeyed", SIGSTOP, true, seconds(6),
                             "ERROR exit: the PTT line is still on: the host does not answer"},
                      WayOut{"GoneNothingOn", SIGKILL, false, seconds(1), nullptr},
                      WayOut{"GoneNewsKeyed", SIGKILL, true, seconds(6),
                             "ERROR exit: the PTT line is still on: no host is running"}),
    [](const auto& info) { return std::string(info.param.name); });

// The host goes away under a keyed speech and comes back while it is spoken: the rest of the speech
// goes out keyed from within a second of the host's return, and its end releases the transmitter
// once, with no key just before.
TEST(OnAirEndToEnd, AHostRestartedUnderAKeyedSpeechIsKeyedAgainWithinASecond) {
    Node node;
    ASSERT_TRUE(startALongKeyedSpeech(node)) << node.lastErr() << node.log();
    Process& app = node.app();
    node.stopHost();
    const std::size_t oldLog = node.log().size();
    node.startHost();
    const long long back = Node::timeOfDayMs();
    // The new host's part of the log: the speech tool's keys and releases.
    const auto speechLines = [&] {
        std::vector<std::string> out;
        std::istringstream in(node.log().substr(oldLog));
        for (std::string l; std::getline(in, l);)
            if (l.find(R"("link":"Form3","op":"SetPTT")") != std::string::npos) out.push_back(l);
        return out;
    };
    ASSERT_TRUE(eventually([&] { return !speechLines().empty(); }, seconds(5))) << node.log() << app.err();
    const std::string again = speechLines().front();
    EXPECT_NE(again.find("\"args\":[true]"), std::string::npos) << again;
    EXPECT_LE(Node::timeOf(again) - back, 1000);
    std::cout << "[ measured ] keyed again " << Node::timeOf(again) - back << " ms after the host answered\n";
    EXPECT_TRUE(app.err().find("SPEAK Message from") != std::string::npos);
    // The speech's end.
    ASSERT_TRUE(eventually([&] { return speechLines().size() >= 2; }, seconds(40))) << node.log();
    const auto lines = speechLines();
    ASSERT_EQ(lines.size(), 2u) << node.log();
    EXPECT_NE(lines[1].find("\"args\":[false]"), std::string::npos) << lines[1];
    EXPECT_GE(Node::timeOf(lines[1]) - Node::timeOf(lines[0]), 1000) << "a key just before the release";
    EXPECT_TRUE(stateHas(node, "\"ptt\":false"));
}

// The host goes away under a news file and comes back: the news player's transmission is keyed again.
TEST(OnAirEndToEnd, AHostRestartedUnderANewsFileIsKeyedAgain) {
    Node node;
    newsFile(node, 30.0, "LISTASBUSYCHECK=1\n");
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "AA"}), 0);
    ASSERT_TRUE(eventually([&] { return stateHas(node, "\"ptt\":true"); })) << node.log();
    node.stopHost();
    node.startHost();
    EXPECT_TRUE(eventually([&] {
        const std::string s = node.hostState();
        return s.find("\"ptt\":true") != std::string::npos && s.find("\"busy\":true") != std::string::npos;
    })) << node.hostState() << app.err();
}

}  // namespace
}  // namespace tarnwick::testing
