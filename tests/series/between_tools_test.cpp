// Where the tools meet on air: the real news player, speech tool, DTMF control and series player on one
// in-process host, on virtual time. What one tool has on air, another must not cut or mistake for its own.

#include <gtest/gtest.h>

#include "dtmf/dtmf_control.h"
#include "series/series_fixture.h"
#include "speech/speech_tool.h"

namespace tarnwick::test {
namespace {

// Speaks for a second and a half of virtual time, noting each text and whether the host was keyed.
class TimedVoice : public SpeechVoice {
public:
    TimedVoice(VirtualRuntime& rt, LocalHostTransport& host, std::vector<std::string>& spoken)
        : rt_(rt), host_(host), spoken_(spoken) {}
    void setRate(int) override {}
    void setVolume(int) override {}
    void speakSync(const std::string& text) override {
        spoken_.push_back(text + (host_.state().ptt() ? " (keyed)" : " (not keyed)"));
        rt_.blockingDelay(1500);
    }
    void speakAsync(const std::string&) override {}
    void purge() override {}

private:
    VirtualRuntime& rt_;
    LocalHostTransport& host_;
    std::vector<std::string>& spoken_;
};

class BetweenToolsTest : public ::testing::Test {
protected:
    BetweenToolsTest() {
        // Monday 14 December 2026, 10:14:00.
        rt.setLocalTime(2026, 12, 14, 10, 14, 0);
        setenv("TARNWICK_DRIVES", (dir + "/drives").c_str(), 1);
        std::filesystem::create_directories(dir + "/drives/c");
        host.state().clock = [this] { return rt.localTime(); };
    }
    void addFile(const std::string& name, double seconds) {
        std::ofstream(dir + "/drives/c/" + name) << "audio";
        durations[name] = seconds;
    }
    void writeIni(const std::string& file, const std::string& body) {
        std::ofstream(dir + "/" + file) << "[SETTINGS]\n" << body;
    }
    // Loads the tools in the launcher's order; the series player's clock has ticked once.
    void start() {
        for (Tool* t : std::initializer_list<Tool*>{&news, &speech, &dtmf, &series}) {
            tools.add(*t);
            t->load();
        }
        rt.advance(1100);
        host.state().clearLog();
    }
    // Advances in tenths of a second; false (with the moment) when `keep` fails to hold at one of them.
    ::testing::AssertionResult holdsFor(int ms, const std::function<bool()>& keep) {
        for (int t = 0; t < ms; t += 100) {
            rt.advance(100);
            if (!keep()) return ::testing::AssertionFailure() << "not held at " << rt.localTime().hms();
        }
        return ::testing::AssertionSuccess();
    }
    // Accepted calls of op with the given value from a link.
    int accepted(const std::string& link, const std::string& op, bool value) const {
        int n = 0;
        for (const auto& c : host.state().calls(op))
            if (c.link == link && c.error.empty() && std::get<bool>(c.args.at(0)) == value) ++n;
        return n;
    }
    void playNews() {
        news.PlayBox = 3;
        news.TXFile();
    }

    testing::TempDir tmp;
    std::string dir = tmp.path();
    Events events;
    std::map<std::string, double> durations;
    std::vector<std::string> spoken;

    VirtualRuntime rt;
    LocalHostTransport host{rt};
    HostHub hub{rt, host};
    ToolRegistry tools;
    ToolContext ctx{rt, hub, tools, dir};
    MediaPlayerFactory media = [this] { return std::make_unique<FakeMedia>(rt, events, durations); };
    Form1 news{ctx, media, {}};
    Form3 speech{ctx, [this] { return std::make_unique<TimedVoice>(rt, host, spoken); }};
    Form4 dtmf{ctx};
    Form12 series{ctx, media, {}};
};

// The series player's monitor mirrors the host's transmitter into its indicator every 100 ms, the
// speech tool's own key included; once a news play has written "00 00 00" into its length box nothing
// sets that indicator back between the time sentence and the info text.
TEST_F(BetweenToolsTest, AfterANewsPlayTheQuarterHourSpeaksTheTimeAndThenTheInfoText) {
    addFile("News1.mp3", 5);
    writeIni("brightcalltts.ini", "TXQUARTERHOUR=1\nINFOQUATER=1\nINFOTEXT=Net tonight at eight\n");
    start();
    playNews();
    rt.advance(10000);
    ASSERT_FALSE(host.state().ptt()) << "the news has ended";
    ASSERT_EQ(series.Text3.text(), "00 00 00");
    spoken.clear();
    ASSERT_TRUE(rt.runUntil(10, 15, 5));
    EXPECT_EQ(spoken, (std::vector<std::string>{"The Time Is10 15 AM (keyed)", "Net tonight at eight (keyed)"}));
    EXPECT_FALSE(host.state().ptt());
}

// The inner file starts two seconds into the outer one and ends first: the outer stays keyed and busy
// to its own end, whichever player has which.
class NestedFilesTest : public BetweenToolsTest, public ::testing::WithParamInterface<bool> {};

TEST_P(NestedFilesTest, AShorterFileInsideAnotherToolsTransmissionLeavesItKeyedAndBusyToItsEnd) {
    const bool newsFirst = GetParam();
    addFile("News1.mp3", newsFirst ? 20 : 5.7);
    addFile("1.mp3", newsFirst ? 5.7 : 20);
    writeIni("brannock.ini", "LISTASBUSYCHECK=1\n");
    writeIni("seriesplayer.ini", "LISTASBUSYCHECK=1\n");
    start();
    std::function<void()> startNews = [&] { playNews(); };
    std::function<void()> startSeries = [&] { series.kellow(); };
    (newsFirst ? startNews : startSeries)();
    rt.advance(2000);
    (newsFirst ? startSeries : startNews)();
    const char* outer = newsFirst ? "Form1" : "Form12";
    const char* inner = newsFirst ? "Form12" : "Form1";
    // The inner file ends about six seconds from now, the outer one eighteen.
    EXPECT_TRUE(holdsFor(17500, [&] { return host.state().ptt() && host.state().busy(); }));
    EXPECT_EQ(accepted(inner, "SetPTT", false), 0) << "the inner file's end reached the host";
    EXPECT_EQ(accepted(inner, "SetBusy", false), 0);
    rt.advance(2000);
    EXPECT_FALSE(host.state().ptt());
    EXPECT_FALSE(host.state().busy());
    EXPECT_GE(accepted(outer, "SetPTT", false), 1) << "the outer file's own end released it";
}

INSTANTIATE_TEST_SUITE_P(Order, NestedFilesTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "NewsKeyedFirst" : "SeriesKeyedFirst"; });

// The series player, idle, releases what no tool holds every 100 ms; a net's busy flag is held.
TEST_F(BetweenToolsTest, ANetsShowBusyHoldsTheNodeBusyToTheNetsEndWhileTheSeriesPlayerIsIdle) {
    writeIni("dtmfctrl.ini", "MON=1\nHOUR=10\nMINS=15\nNETCALL1=W1AW\nDISCMINS1=1\nCHECK3=1\nSHOWBUSY1=1\n");
    start();
    ASSERT_TRUE(rt.runUntil(10, 15, 15));
    rt.advance(100);
    ASSERT_TRUE(host.state().busy()) << "the net has started";
    host.state().clearLog();
    // To the net's end, a minute of ticks on: busy at every tenth of a second.
    int samples = 0;
    while (accepted("Form4", "SetBusy", false) == 0 && samples < 700) {
        ASSERT_TRUE(host.state().busy()) << "at " << rt.localTime().hms();
        rt.advance(100);
        ++samples;
    }
    EXPECT_GE(samples, 550) << "the net ran its minute (less a spoken connect announcement)";
    EXPECT_FALSE(host.state().busy()) << "the net's end clears it";
}

}  // namespace
}  // namespace tarnwick::test
