// Received chat, the listing poll and the auto-mute bot.

#include "conference_fixture.h"

namespace tarnwick::test {
namespace {

struct ChatCase {
    const char* name;
    std::string line;
    std::string filter;
    int stamps;
    int mode;
    std::string incoming, text1, text2;  // what is appended to IncomingText and Text1, and Text2 as a whole
    int modeAfter;
};
void PrintTo(const ChatCase& c, std::ostream* os) { *os << c.name; }

std::string repeat(const std::string& s, int n) {
    std::string out;
    while (n-- > 0) out += s;
    return out;
}

class ReceivedChat : public ConferenceTest, public ::testing::WithParamInterface<ChatCase> {};

TEST_P(ReceivedChat, IsFilteredAndPlacedByTheReplyMode) {
    const ChatCase& c = GetParam();
    start();
    form6.FilterText5.setText(c.filter);
    form6.Check1.setValue(c.stamps);
    form6.PendingReplyMode = c.mode;
    form6.Frame5.setCaption(c.mode == 3 ? "LOADING" : "Connected");
    form6.Text2.setText("old listing");
    chatIn(c.line);
    EXPECT_EQ(form6.IncomingText.text(), "Incoming Text\r\n" + c.incoming);
    EXPECT_EQ(form6.Text1.text(), c.text1);
    EXPECT_EQ(form6.Text3.text(), c.text1);
    EXPECT_EQ(form6.Text2.text(), c.text2);
    EXPECT_EQ(form6.PendingReplyMode, c.modeAfter);
    EXPECT_EQ(form6.Frame5.caption(), c.mode == 3 && c.modeAfter == 3 ? "LOADING" : "Connected");
    if (!c.incoming.empty()) {
        EXPECT_EQ(form6.IncomingText.selStart(), static_cast<int>(form6.IncomingText.text().size()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    , ReceivedChat,
    ::testing::Values(
        ChatCase{"Stamped", "hi all", "", 1, 0, "(09:05) hi all\r\n", "(09:05) hi all\r\n", "old listing", 0},
        ChatCase{"Plain", "hi all", "", 0, 0, "hi all\r\n", "hi all\r\n", "old listing", 0},
        ChatCase{"FilterWordInside", "buy spam now", "spam", 1, 1, "", "", "old listing", 1},
        ChatCase{"FilterWordFirst", "spam is here", "spam", 0, 0, "spam is here\r\n", "spam is here\r\n", "old listing",
                 0},
        ChatCase{"FilterIsCaseSensitive", "buy SPAM now", "spam", 0, 0, "buy SPAM now\r\n", "buy SPAM now\r\n",
                 "old listing", 0},
        ChatCase{"ListInside", "x .list", "", 0, 3, "", "", "old listing", 3},
        ChatCase{"ListFirst", ".list", "", 0, 0, ".list\r\n", ".list\r\n", "old listing", 0},
        ChatCase{"BareCarriageReturns", "a\rb", "", 0, 0, "a\r\nb\r\n", "a\r\nb\r\n", "old listing", 0},
        ChatCase{"ControlCharactersBlank", "a\tb\x07", "", 0, 0, "a b \r\n", "a b \r\n", "old listing", 0},
        ChatCase{"AnswerStampedOff", "3 users", "", 0, 1, "(09:05) \r\n3 users\r\n", "3 users\r\n", "old listing", 0},
        ChatCase{"AnswerStampedOn", "3 users", "", 1, 1, "(09:05) \r\n3 users\r\n", "(09:05) \r\n3 users\r\n",
                 "old listing", 0},
        ChatCase{"Listing", "G4ABC M0XYZ", "", 1, 3, "", "", "Updated 09:05:00\r\nG4ABC M0XYZ\r\n", 0},
        // The server's own answers run long; a pane keeps a line up to 4096 characters, counted as
        // characters, not bytes, with each line break as one.
        ChatCase{"LongListingWhole", std::string(1000, 'u'), "", 0, 3, "", "",
                 "Updated 09:05:00\r\n" + std::string(1000, 'u') + "\r\n", 0},
        ChatCase{"LongAnswerWhole", std::string(1000, 's'), "", 0, 1, "(09:05) \r\n" + std::string(1000, 's') + "\r\n",
                 std::string(1000, 's') + "\r\n", "old listing", 0},
        ChatCase{"LineCutAt4096", std::string(4000, 'a') + "\r" + std::string(200, 'b'), "", 0, 0,
                 std::string(4000, 'a') + "\r\n" + std::string(95, 'b') + "\r\n",
                 std::string(4000, 'a') + "\r\n" + std::string(95, 'b') + "\r\n", "old listing", 0},
        ChatCase{"CharactersNotBytes", repeat("\xc3\xa9", 2100) + "\r" + repeat("\xc3\xa9", 2100), "", 0, 0,
                 repeat("\xc3\xa9", 2100) + "\r\n" + repeat("\xc3\xa9", 1995) + "\r\n",
                 repeat("\xc3\xa9", 2100) + "\r\n" + repeat("\xc3\xa9", 1995) + "\r\n", "old listing", 0},
        ChatCase{"BidiAndC1Blank", "\xe2\x80\xae" "exe.txt\xc2\x85!", "", 0, 0, " exe.txt !\r\n", " exe.txt !\r\n",
                 "old listing", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConferenceTest, VersionAndGreetingActOnADroppedLineWhichIsNotSpoken) {
    start();
    form6.FilterText1.setText("x");
    form10.Option3.setValue(true);
    speech.SayText.setValue(1);
    raise("chat", {"ax /ver/ /Greeting/"});
    EXPECT_EQ(chat(), std::vector<std::string>{"Tarnwick  v7.2"});
    EXPECT_TRUE(form10.Option10.value());
    EXPECT_EQ(speech.flag2, 0) << speechTextOf(speech.SayTheText);
    EXPECT_EQ(form6.IncomingText.text(), "Incoming Text\r\n");
    // The same words from a line the filter lets through are spoken.
    raise("chat", {"x /ver/"});
    EXPECT_EQ(speech.flag2, 1);
    EXPECT_EQ(speechTextOf(speech.SayTheText), "Message from  x /ver/");
}

TEST_F(ConferenceTest, SpokenChatIsCleanedAndCut) {
    start();
    raise("chat", {"not spoken"});
    EXPECT_EQ(speech.flag2, 0);
    speech.SayText.setValue(1);
    chatIn("a\rb" + std::string(400, 'z'));
    EXPECT_EQ(speechTextOf(speech.SayTheText), "Message from  a b" + std::string(253, 'z'));
    // Nothing a stranger sends turns the spoken text around or breaks it.
    chatIn("SPEAK \xe2\x80\xae" "exe.txt\xc2\x85" "done");
    EXPECT_EQ(speechTextOf(speech.SayTheText), "Message from  SPEAK  exe.txt done");
}

class ListingPoll : public ConferenceTest {
public:
    // A linked conference, the only station, with the automatic refresh ticked.
    void linkedAndAlone() {
        start();
        link("CONFERENCIA 1");
        form6.StopClock.setValue(1);
        rt.advance(1000);
        host.state().clearLog();
        form6.BeaconSeconds.setText("35");
    }
    std::vector<long long> usersAt(std::int64_t from) {
        std::vector<long long> out;
        for (const auto& e : host.state().calls("SendChatText"))
            if (std::get<std::string>(e.args.at(0)) == ".users") out.push_back(e.seq);
        (void)from;
        return out;
    }
};

TEST_F(ListingPoll, SendsUsersEveryPeriodAndTakesTheNextLineAsTheListing) {
    linkedAndAlone();
    rt.advance(34000);
    EXPECT_TRUE(chat().empty());
    rt.advance(1000);
    EXPECT_EQ(chat(), std::vector<std::string>{".users"});
    EXPECT_EQ(form6.PendingReplyMode, 3);
    EXPECT_EQ(form6.Frame5.caption(), "LOADING");
    EXPECT_EQ(form6.ReceivedText.text(), "History Box\r\n");
    EXPECT_EQ(form6.BeaconSeconds.text(), "35");
    raise("chat", {"CONF users: G4ABC"});
    EXPECT_EQ(form6.Text2.text(), "Updated 09:05:36\r\nCONF users: G4ABC\r\n");
    EXPECT_EQ(form6.Frame5.caption(), "Connected");
    rt.advance(35000);
    EXPECT_EQ(chat().size(), 2u);
}

TEST_F(ListingPoll, APeriodOtherThanThirtyFiveReloadsItselfAndAnEditRestartsTheCount) {
    linkedAndAlone();
    rt.advance(10000);
    form6.BeaconPeriod.setText("50");
    EXPECT_EQ(form6.BeaconSeconds.text(), "50");
    rt.advance(49000);
    EXPECT_TRUE(chat().empty());
    rt.advance(1000);
    EXPECT_EQ(chat(), std::vector<std::string>{".users"});
    EXPECT_EQ(form6.BeaconSeconds.text(), "50");
    rt.advance(49000);
    EXPECT_EQ(chat().size(), 1u);
    rt.advance(1000);
    EXPECT_EQ(chat().size(), 2u);
}

TEST_F(ListingPoll, TypingPausesTheCountdownWhichGoesOnFromWhereItStood) {
    linkedAndAlone();
    rt.advance(10000);
    const std::string stood = form6.BeaconSeconds.text();
    form6.TextTX.setText("typing");
    rt.advance(60000);
    EXPECT_EQ(form6.BeaconSeconds.text(), stood);
    EXPECT_TRUE(chat().empty());
    form6.TextTX.setText("");
    rt.advance(26000);
    EXPECT_EQ(chat(), std::vector<std::string>{".users"});
}

TEST_F(ListingPoll, HoldsWhileAnotherStationIsConnectedOrRefreshIsOff) {
    linkedAndAlone();
    link("G4ABC");
    rt.advance(100000);
    EXPECT_TRUE(chat().empty());
    form6.Check2.setValue(0);
    form6.StopClock.setValue(0);
    form6.BeaconSeconds.setText("0");
    rt.advance(100000);
    EXPECT_TRUE(chat().empty());
    EXPECT_EQ(form6.BeaconSeconds.text(), "0");
    form6.StopClock.setValue(1);
    rt.advance(1000);
    EXPECT_EQ(chat(), std::vector<std::string>{".users"});
}

TEST_F(ListingPoll, ListUsersWithPasswordLogsOnThenPollsAndKeepsWhatTheOperatorTyped) {
    start();
    form6.Check4.setValue(1);
    form6.Command9.click();
    EXPECT_EQ(chat(), std::vector<std::string>{".admin GateWardenKey"});
    EXPECT_EQ(form6.ReceivedText.text(), "History Box\r\n(09:05) N0CALL-L>.admin GateWardenKey\r\n");
    form6.TextTX.setText("half typed");
    rt.advance(1000);
    EXPECT_EQ(chat(), (std::vector<std::string>{".admin GateWardenKey", ".users"}));
    EXPECT_EQ(form6.TextTX.text(), "half typed");
    EXPECT_EQ(form6.PendingReplyMode, 3);
    rt.advance(5000);
    EXPECT_EQ(chat().size(), 2u);
    form6.Check4.setValue(0);
    form6.Command9.click();
    EXPECT_EQ(chat().back(), ".users");
}

class AutoMute : public ConferenceTest {
public:
    const std::string kWarning = " >> WARNING << 60 seconds to Auto Mute from the Conference ";
    std::string notice(const std::string& minutes) {
        return "** Auto Mute ** Has been sent to the station or stations exceeding the conference key down limit of " +
               minutes + " minutes without a break. Disconnect and reconnect to remove the Mute. << Admin Bot >>";
    }
    void receive(bool on) { host.raiseEvent({"RX", {on}}), rt.runPending(); }
};

TEST_F(AutoMute, WarnsAtNineMinutesAndMutesAtTenThenStartsAgain) {
    start();
    form6.Check1.setValue(0);
    receive(true);
    EXPECT_EQ(form6.PTT.caption(), "IP TX ON");
    EXPECT_EQ(form6.PTT1.foreColour(), kRed);
    rt.advance(539000);
    EXPECT_TRUE(chat().empty());
    rt.advance(1000);
    EXPECT_EQ(chat(), std::vector<std::string>{kWarning});
    rt.advance(60000);
    EXPECT_EQ(chat(), (std::vector<std::string>{kWarning, ".mute .", notice("10")}));
    EXPECT_EQ(form6.BeaconSeconds2.text(), "600");
    receive(false);
    EXPECT_EQ(form6.PTT2.caption(), "IP TX OFF");
    EXPECT_EQ(form6.PTT2.foreColour(), Colour{0x8000});
}

TEST_F(AutoMute, OneMinuteMutesWithoutWarningAndABreakRefills) {
    start();
    form6.BeaconPeriod2.setText("1");
    form6.TextTX.setText("operator typing");
    receive(true);
    rt.advance(30000);
    receive(false);
    rt.advance(10);
    EXPECT_EQ(form6.BeaconSeconds2.text(), "60");
    receive(true);
    rt.advance(59000);
    EXPECT_TRUE(chat().empty());
    rt.advance(1000);
    EXPECT_EQ(chat(), (std::vector<std::string>{".mute .", "(09:06) " + notice("1")}));
    EXPECT_EQ(form6.TextTX.text(), "operator typing");
}

TEST_F(AutoMute, UntickedItNeitherCountsNorSends) {
    start();
    form6.Check3.setValue(0);
    form6.BeaconPeriod2.setText("1");
    rt.advance(10);
    receive(true);
    rt.advance(700000);
    EXPECT_TRUE(chat().empty());
    EXPECT_EQ(form6.BeaconSeconds2.text(), "60");
}

TEST_F(AutoMute, PeriodBoxRefillsZeroAndEmpty) {
    start();
    form6.BeaconPeriod2.setText("0");
    rt.advance(1000);
    EXPECT_EQ(form6.BeaconPeriod2.text(), "1");
    form6.BeaconPeriod2.setText("");
    EXPECT_EQ(form6.BeaconPeriod2.text(), "1");
    receive(true);
    rt.advance(120000);
    // The countdown stays stopped until the box is changed again.
    EXPECT_TRUE(chat().empty());
    form6.BeaconPeriod2.setText("2");
    rt.advance(120000);
    EXPECT_EQ(chat().size(), 3u);
}

// A period of no minutes in any form, typed or stored, is one minute as "0" is: one mute after a
// minute of reception, not one every second.
struct NoMinutes {
    const char* name;
    const char* stored;
    const char* typed;
};

class AutoMutePeriod : public AutoMute, public ::testing::WithParamInterface<NoMinutes> {};

TEST_P(AutoMutePeriod, OfNoMinutesInAnyFormIsOneMinute) {
    writeIni("castrel.ini", std::string("BEACONPERIOD2=") + GetParam().stored + "\nCHECK1=0\n");
    start();
    if (GetParam().typed) {
        form6.BeaconPeriod2.type(GetParam().typed);
        rt.advance(1000);
        EXPECT_EQ(form6.BeaconPeriod2.text(), "1");
    }
    // A stored period meets reception from the start, before the bot's first tick.
    receive(true);
    rt.advance(59000);
    EXPECT_EQ(form6.BeaconPeriod2.text(), "1");
    EXPECT_TRUE(chat().empty()) << ::testing::PrintToString(chat());
    rt.advance(6000);
    EXPECT_EQ(chat(), (std::vector<std::string>{".mute .", notice("1")}));
}

INSTANTIATE_TEST_SUITE_P(Conference, AutoMutePeriod,
                         ::testing::Values(NoMinutes{"Typed0", "10", "0"}, NoMinutes{"Typed00", "10", "00"},
                                           NoMinutes{"StoredText", "abc", nullptr},
                                           NoMinutes{"StoredNegative", "-5", nullptr},
                                           NoMinutes{"Stored000", "000", nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarnwick::test
