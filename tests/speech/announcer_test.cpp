// Stations connecting and leaving.

#include "speech_fixture.h"

namespace tarnwick::test {
namespace {

class AnnouncerTest : public SpeechTest {
protected:
    void SetUp() override {
        start();
        form3.Timer4.setEnabled(false);
        form3.AddTime.setValue(0);
        greet.Option1.setValue(true);
    }
    std::string selectedGreeting() const {
        for (OptionButton* o : greet.messageChoice.buttons())
            if (o->value()) return o->name();
        return "none";
    }
};

TEST_F(AnnouncerTest, ConnectAnnouncements) {
    struct Case {
        const char* call;
        const char* spoken;  // as the voice hears it: stars are blanks
        const char* greeting;
        const char* page;  // nullptr: none opened
    } cases[] = {
        {"G4ABC", "G 4 A B C  , Connected", "Option1", "https://www.qrz.com/db/G4ABC"},
        {"GB3XX-L", "G B 3 X X -  : Link Connected.", "Option4", "https://www.qrz.com/db/GB3XX-"},
        {"GB3YY-R", "G B 3 Y Y -  : Repeater Connected.", "Option4", "https://www.qrz.com/db/GB3YY-"},
        {"*IRELAND*", "The Ireland  conference has connected.", "Option10", nullptr},
        {"*AUSSIE*", "The Australian  Conference Has Connected. GuDay from Down Under", "Option10", nullptr},
        {"*JOTA-E*", "The Jamboree on the air : English  Conference Has Connected.", "Option10", nullptr},
        {"*ireland*", "The   i r e l a n d     conference has connected.", "Option4", nullptr},
        {"G4ABC-P", nullptr, "Option1", nullptr},
        // A callsign longer than what is spoken and shown is told apart and looked up whole.
        {"Q0VERYLONGCALLSIGN-L", "Q 0 V E R Y L O N G C A L L S I  : Link Connected.", "Option4",
         "https://www.qrz.com/db/Q0VERYLONGCALLSIGN-"},
        {"*VERYLONGCONFERENCE*", "The   V E R Y L O N G C O N F E R E   conference has connected.", "Option4", nullptr},
        {"Q0VERYLONGCALLSIGN", "Q 0 V E R Y L O N G C A L L S I  , Connected", "Option1",
         "https://www.qrz.com/db/Q0VERYLONGCALLSIGN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        voice.sync.clear();
        info.pages.clear();
        greet.Option1.setValue(true);
        raise("connected", {c.call, "Ann", "10.0.0.7"});
        if (c.spoken) {
            ASSERT_EQ(voice.texts(), std::vector<std::string>{c.spoken});
            EXPECT_TRUE(voice.sync[0].keyed);
        } else {
            EXPECT_TRUE(voice.sync.empty());
        }
        EXPECT_EQ(selectedGreeting(), c.greeting);
        EXPECT_EQ(info.pages, c.page ? std::vector<std::string>{c.page} : std::vector<std::string>{});
        EXPECT_EQ(info.Label2.caption(), std::string(c.call).substr(0, 16) + " Ann");
    }
}

TEST_F(AnnouncerTest, DisconnectAnnouncements) {
    struct Case {
        const char* call;
        const char* spoken;
    } cases[] = {
        {"G4ABC", "G 4 A B C  , Disconnected"},
        {"GB3XX-L", "G B 3 X X -  : Link Disconnected."},
        {"GB3YY-R", "G B 3 Y Y -  : Repeater Disconnected."},
        {"*UKLOTA*", "The U Kay Ladies On The Air  Conference Has disconnected."},
        {"*AUSSIE*", "The Australian  Conference Has disconnected."},
        {"*SOMEWHERE*", "The   S O M E W H E R E     conference has disconnected."},
        {"G4ABC-P", nullptr},
        {"Q0VERYLONGCALLSIGN-L", "Q 0 V E R Y L O N G C A L L S I  : Link Disconnected."},
        {"*VERYLONGCONFERENCE*", "The   V E R Y L O N G C O N F E R E   conference has disconnected."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        voice.sync.clear();
        greet.Option1.setValue(true);
        info.Label2.setCaption("None");
        form3.hostLink()->Disconnected(c.call);
        rt.runPending();
        EXPECT_EQ(voice.texts(), c.spoken ? std::vector<std::string>{c.spoken} : std::vector<std::string>{});
        EXPECT_EQ(selectedGreeting(), "Option1");
        EXPECT_EQ(info.Label2.caption(), "None");
    }
    EXPECT_TRUE(form3.CallHistory.text().empty());
}

TEST_F(AnnouncerTest, HistoryAndStationInfoWhateverTheSwitchSays) {
    form3.ConDisc.setValue(0);
    jumpTo(14, 13, 7, 0);
    raise("connected", {"G4ABC", "Ann", "10.0.0.7"});
    raise("disconnected", {"G4ABC"});
    EXPECT_EQ(form3.CallHistory.text(), " 1:07 PM -- G4ABC -- Ann -- 10.0.0.7\r\n");
    EXPECT_EQ(form3.CallHistory.selStart(), static_cast<int>(form3.CallHistory.text().size())) << "the newest line";
    EXPECT_EQ(info.Label2.caption(), "G4ABC Ann");
    EXPECT_TRUE(voice.sync.empty());
    EXPECT_TRUE(info.pages.empty());
    EXPECT_EQ(selectedGreeting(), "Option1");

    // A history longer than the caret's place keeps the caret there.
    form3.CallHistory.setText(std::string(25000, 'x'));
    raise("connected", {"G4ABC", "Ann", "10.0.0.7"});
    EXPECT_EQ(form3.CallHistory.selStart(), 20000);
}

TEST_F(AnnouncerTest, TimeFollowsThroughTheMailboxEvenWhenTheAnnouncementIsHeld) {
    form3.AddTime.setValue(1);
    form3.Check1.setValue(1);
    jumpTo(14, 15, 5, 0);
    raise("connected", {"G4ABC", "Ann", "10.0.0.7"});
    EXPECT_TRUE(voice.sync.empty());
    EXPECT_EQ(info.pages.size(), 1u);
    form3.Check1.setValue(0);
    form3.TTSCTRL.setValue(1);
    form3.TTSPeriod.setText("5");
    const auto blocked = rt.blockedMs();
    rt.advance(1000);
    EXPECT_EQ(voice.texts(), std::vector<std::string>{"at3 05  PM"});
    // The time sentence skips the settle delay once.
    EXPECT_EQ(rt.blockedMs() - blocked, voice.speechMs);
}

TEST_F(AnnouncerTest, AStrangersCallsignAndNameAreCleanedAndCutBeforeTheyAreSpokenOrShown) {
    // A 10 kB callsign once held the transmitter for minutes; control characters reach the voice and
    // the windows as blanks.
    const std::string longCall = "G4ABC" + std::string(10'000, 'X');
    const std::string longName = "Ann\x1b[2J" + std::string(10'000, 'n');
    jumpTo(14, 13, 7, 0);
    // The simulated host refuses control characters; a real one passes on what the station sent.
    form3.hostLink()->connected(longCall, longName, "10.0.0.7\n");
    rt.runPending();
    EXPECT_EQ(voice.texts(), std::vector<std::string>{"G 4 A B C X X X X X X X X X X X  , Connected"});
    const std::string name = "Ann [2J" + std::string(32 - 7, 'n');
    EXPECT_EQ(info.Label2.caption(), "G4ABCXXXXXXXXXXX " + name);
    EXPECT_EQ(form3.CallHistory.text(), " 1:07 PM -- G4ABCXXXXXXXXXXX -- " + name + " -- 10.0.0.7 \r\n");
    // Looked up as the program keeps a callsign: whole, up to what a settings value holds.
    EXPECT_EQ(info.pages, std::vector<std::string>{"https://www.qrz.com/db/G4ABC" + std::string(250, 'X')});

    voice.sync.clear();
    form3.hostLink()->Disconnected("GB3\tXX" + std::string(10'000, 'Y'));
    rt.runPending();
    EXPECT_EQ(voice.texts(), std::vector<std::string>{"G B 3   X X Y Y Y Y Y Y Y Y Y Y  , Disconnected"});
}

// Stations coming and going by the hundred a second for a minute, with the default settings (the
// time after each announcement): only stations still connected when their turn on air comes are
// announced, each of those that stays is, and a DTMF command sent at the end is acted on at once.
TEST_F(AnnouncerTest, AConnectFloodAnnouncesOnlyWhoIsStillThereAndHoldsNoCommandBack) {
    form3.Timer4.setEnabled(true);
    form3.AddTime.setValue(1);
    auto arrival = [](const std::string& call) {
        std::string spelled;
        for (char c : call) spelled += std::string(1, c) + " ";
        return spelled + " , Connected";
    };
    std::map<std::string, std::string> callOf;      // arrival sentence -> callsign
    std::map<std::string, std::int64_t> leftAt;     // callsign -> when the host said it left
    std::vector<std::pair<std::string, std::int64_t>> spoken;  // sentence, when its speech began
    voice.onSpeak = [&](const std::string& text) { spoken.push_back({text, rt.monotonicMs()}); };
    std::int64_t actedAt = -1;
    HostLink probe(hub, "Probe");  // made last: it hears an event after every tool has acted on it
    probe.DTMFString = [&](const std::string&) { actedAt = rt.monotonicMs(); };

    // One event every 5 ms: a station connects, and leaves 5 ms later; every ten seconds another one
    // connects and stays. What the host sent meanwhile reaches the program at once whenever its loop
    // comes round, as from its socket.
    const std::int64_t start = rt.monotonicMs(), end = start + 60'000;
    std::int64_t next = start;
    std::vector<std::string> stayers;
    Timer flood(rt, 5);
    flood.onTick = [&] {
        for (; next <= rt.monotonicMs() && next < end; next += 5) {
            const long long n = (next - start) / 5;
            const std::string call = "Q" + std::to_string(10000 + n / 2);
            callOf[arrival(call)] = call;
            if (n % 2 == 0) {
                host.raise("connected", {call, "Op", "10.0.0.1"});
            } else {
                host.raise("disconnected", {call});
                leftAt[call] = next;
            }
            if (n % 2000 == 1000) {
                stayers.push_back("M0S" + std::string(1, static_cast<char>('A' + stayers.size())));
                host.raise("connected", {stayers.back(), "Stays", "10.0.0.2"});
            }
        }
        if (next >= end) {
            flood.setEnabled(false);
            host.raise("dtmf", {"*9*"});
        }
    };
    flood.setEnabled(true);
    for (int step = 0; actedAt < 0 && step < 200'000; ++step) rt.advance(100);

    ASSERT_GE(actedAt, 0);
    RecordProperty("dtmf_acted_on_after_ms", static_cast<int>(actedAt - end));
    EXPECT_LE(actedAt - end, 5000) << "ms from the end of the flood to the command";
    ASSERT_EQ(stayers.size(), 6u);
    for (const std::string& call : stayers)
        EXPECT_EQ(std::count_if(spoken.begin(), spoken.end(), [&](const auto& s) { return s.first == arrival(call); }), 1)
            << call;
    std::vector<std::string> goneBefore;
    for (const auto& [text, at] : spoken)
        if (auto it = callOf.find(text); it != callOf.end() && leftAt.at(it->second) <= at) goneBefore.push_back(it->second);
    EXPECT_TRUE(goneBefore.empty()) << goneBefore.size() << " stations announced after they had left, the first "
                                    << goneBefore.front();
}

TEST_F(AnnouncerTest, AStationArrivingWhileTheToolSpeaksIsAnnouncedOnceThatSpeechHasEnded) {
    // The station connects while the operator's text is on air; its event comes in at the speech's end.
    voice.onSpeak = [this](const std::string& text) {
        if (text == "Operator text") host.raise("connected", {"G4ABC", "Ann", "10.0.0.7"});
    };
    form3.TextInput3.setText("Operator text");
    form3.Speak3.click();
    EXPECT_EQ(voice.texts(), std::vector<std::string>{"Operator text"});
    EXPECT_EQ(pttCalls(), (std::vector<bool>{true, false}));
    rt.advance(1000);
    EXPECT_EQ(voice.texts(), (std::vector<std::string>{"Operator text", "G 4 A B C  , Connected"}));
    EXPECT_TRUE(voice.sync.back().keyed);
    EXPECT_EQ(pttCalls(), (std::vector<bool>{true, false, true, false}));
}

TEST_F(AnnouncerTest, AConnectWithoutACallsignIsOneErrorLineNeverSpeech) {
    ::testing::internal::CaptureStderr();
    // A faulty host's events: the simulated host raises no such thing.
    for (int i = 0; i < 24; ++i)
        transport.eventSink({"connected", {std::string(), std::string("Ann"), std::string("10.0.0.7")}});
    rt.runPending();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(voice.sync.empty());
    EXPECT_TRUE(form3.CallHistory.text().empty());
    EXPECT_EQ(err, "ERROR HostLink connected: passed over (no callsign)\n");
}

TEST_F(AnnouncerTest, LookUpAddressIsPercentEncoded) {
    raise("connected", {"G4A/P?x=1", "Ann", "x"});
    ASSERT_EQ(info.pages.size(), 1u);
    EXPECT_EQ(info.pages[0], "https://www.qrz.com/db/G4A%2FP%3Fx%3D1");
}

TEST_F(AnnouncerTest, SplitCall) {
    form3.TempCall = "AB-";
    form3.SplitCall();
    EXPECT_EQ(form3.TempCall, "A B - ");
    form3.TempCall = "";
    form3.SplitCall();
    EXPECT_EQ(form3.TempCall, "");
}

}  // namespace
}  // namespace tarnwick::test
