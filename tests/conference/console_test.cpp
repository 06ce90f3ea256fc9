// The console: the send and log paths, the buttons and their prompts.

#include "conference_fixture.h"

namespace tarnwick::test {
namespace {

const std::string kMute =
    " ** You have been Muted from the server due to your link or a link connected to you causing a problem. When "
    "problem sorted disconnect and reconnect to remove the Mute. <<Admin>>";

struct SendCase {
    const char* name;
    const char* typed;
    int stamps;
    int mode;
    std::string sent, history, text1;
};
void PrintTo(const SendCase& c, std::ostream* os) { *os << c.name; }

class SendPath : public ConferenceTest, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SendPath, SendsOnceStampedAndLogsTheTextAsTyped) {
    const SendCase& c = GetParam();
    start();
    form6.Check1.setValue(c.stamps);
    form6.PendingReplyMode = c.mode;
    form6.Frame5.setCaption("LOADING");
    form6.TextTX.setText(c.typed);
    form6.TextTX.keyPress(13);
    EXPECT_EQ(chat(), std::vector<std::string>{c.sent});
    EXPECT_EQ(form6.ReceivedText.text(), "History Box\r\n" + c.history);
    EXPECT_EQ(form6.Text1.text(), c.text1);
    EXPECT_EQ(form6.Text3.text(), c.text1);
    EXPECT_EQ(form6.Frame5.caption(), c.text1.empty() ? "LOADING" : "Connected");
    EXPECT_EQ(form6.TextTX.text(), "");
    EXPECT_EQ(form6.ReceivedText.selStart(), static_cast<int>(form6.ReceivedText.text().size()));
}

INSTANTIATE_TEST_SUITE_P(
    , SendPath,
    ::testing::Values(
        SendCase{"StampedChat", "hello", 1, 0, "(09:05) hello", "(09:05) N0CALL-L>hello\r\n",
                 "(09:05) N0CALL-L>hello\r\n"},
        SendCase{"PlainChat", "hello", 0, 0, "hello", "N0CALL-L>hello\r\n", "N0CALL-L>hello\r\n"},
        SendCase{"DotCommandUnstampedHistoryOnly", ".stats", 1, 0, ".stats", "(09:05) N0CALL-L>.stats\r\n", ""},
        SendCase{"EmptyLine", "", 1, 0, "(09:05) ", "(09:05) N0CALL-L>\r\n", "(09:05) N0CALL-L>\r\n"},
        SendCase{"ListingAwaitedNoHistory", "hi", 0, 3, "hi", "", "N0CALL-L>hi\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConferenceTest, OnlyEnterSendsFromTheEntryBox) {
    start();
    form6.TextTX.setText("x");
    form6.TextTX.keyPress(32);
    EXPECT_TRUE(chat().empty());
    form6.Send.click();
    EXPECT_EQ(chat().size(), 1u);
}

struct ButtonCase {
    const char* name;
    CommandButton Form6::*button;
    std::vector<std::string> answers;
    std::vector<std::string> sent;
    std::vector<std::string> history;  // lines after the design line, callsign and ">" left out
    int mode = 0;
};
void PrintTo(const ButtonCase& c, std::ostream* os) { *os << c.name; }

class Buttons : public ConferenceTest, public ::testing::WithParamInterface<ButtonCase> {};

TEST_P(Buttons, SendTheirLinesAndLogThem) {
    const ButtonCase& c = GetParam();
    start();
    form6.Check1.setValue(1);
    answers.assign(c.answers.begin(), c.answers.end());
    (form6.*c.button).click();
    EXPECT_EQ(chat(), c.sent);
    std::string history = "History Box\r\n";
    for (const auto& h : c.history) history += "(09:05) N0CALL-L>" + h + "\r\n";
    EXPECT_EQ(form6.ReceivedText.text(), history);
    EXPECT_EQ(form6.PendingReplyMode, c.mode);
    EXPECT_EQ(form6.TextTX.text(), "");
}

INSTANTIATE_TEST_SUITE_P(
    , Buttons,
    ::testing::Values(
        ButtonCase{"Mute", &Form6::Mute, {}, {".mute ."}, {".mute ."}},
        ButtonCase{"UnmuteAll", &Form6::Command5, {}, {".unmute -a"}, {".unmute -a"}},
        ButtonCase{"Admins", &Form6::Admins, {}, {".admins"}, {".admins"}, 1},
        ButtonCase{"Stats", &Form6::Stats, {}, {".stats"}, {".stats"}, 1},
        ButtonCase{"Users", &Form6::Users, {}, {".users"}, {".users"}, 1},
        ButtonCase{"BanList", &Form6::Band_List, {}, {".ban list"}, {".ban list"}},
        ButtonCase{"Ban", &Form6::Ban, {"g4abc"}, {".ban add g4abc"}, {".ban add g4abc"}},
        ButtonCase{"BanCancelled", &Form6::Ban, {}, {}, {}},
        ButtonCase{"RemoveBan", &Form6::Ban_Remove, {"G4ABC"}, {".ban delete G4ABC"}, {".ban delete G4ABC"}},
        ButtonCase{"ConnectCancelledStillSends", &Form6::Connect, {}, {".connect "}, {".connect "}},
        ButtonCase{"Disconnect", &Form6::Disconnect, {"G4ABC"}, {".disconnect G4ABC"}, {".disconnect G4ABC"}},
        ButtonCase{"MuteStation",
                   &Form6::Mute_Station,
                   {"g4abc"},
                   {".mute g4abc", "(09:05) ** g4abc" + kMute},
                   {".mute g4abc", "(09:05) ** g4abc" + kMute}},
        ButtonCase{"MuteMessage", &Form6::Mute_Message, {"G4ABC"}, {"(09:05) ** G4ABC" + kMute}, {"** G4ABC" + kMute}},
        ButtonCase{"UnmuteStation",
                   &Form6::Unmute_Station,
                   {"G4ABC"},
                   {".unmute G4ABC", "(09:05) **** G4ABC **** You have been UnMuted. <<Admin>>"},
                   {".unmute G4ABC", "(09:05) **** G4ABC **** You have been UnMuted. <<Admin>>"}},
        ButtonCase{"AdminTwo", &Form6::Log_On_Admin2, {}, {".admin GateWardenKey2"}, {".admin GateWardenKey2"}},
        ButtonCase{"SysopThree", &Form6::Log_On3, {}, {".sysop GateWardenKey3"}, {".sysop GateWardenKey3"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConferenceTest, PromptsAskWithTheProgramTitleAndCancelDropsATypedMessage) {
    start();
    form6.TextTX.setText("half a message");
    form6.Disconnect.click();
    EXPECT_EQ(prompts, std::vector<std::string>{"Tarnwick: Enter Call of the station to Disconnect "});
    EXPECT_TRUE(chat().empty());
    EXPECT_EQ(form6.TextTX.text(), "");
}

TEST_F(ConferenceTest, WhoIsMutedSendsTheEntryBoxBareFirst) {
    start();
    form6.Check1.setValue(1);
    form6.TextTX.setText("half");
    form6.Who_Is_Muted.click();
    form6.Command8.click();
    EXPECT_EQ(chat(), (std::vector<std::string>{"half", ".Mute", "", ".Mute"}));
    EXPECT_EQ(form6.ReceivedText.text(), "History Box\r\n(09:05) N0CALL-L>.Mute\r\n(09:05) N0CALL-L>.Mute\r\n");
    EXPECT_EQ(form6.Text1.text(), "");
}

TEST_F(ConferenceTest, LogOnsAreLoggedInEveryModeAndNeverInTheChatPanes) {
    start();
    form6.Check1.setValue(0);
    form6.PendingReplyMode = 3;
    form6.Password.setText("Secret");
    form6.Text2.setText("listing");
    form6.Command14.click();
    form6.Log_On.click();
    EXPECT_EQ(chat(), (std::vector<std::string>{".admin Secret", ".sysop Secret"}));
    EXPECT_EQ(form6.ReceivedText.text(), "History Box\r\nN0CALL-L>.admin Secret\r\nN0CALL-L>.sysop Secret\r\n");
    EXPECT_EQ(form6.Text1.text(), "");
    EXPECT_EQ(form6.Text2.text(), ".Admin XXXX");
}

TEST_F(ConferenceTest, StationConnectButtonsWriteTheirBoxInCapitals) {
    start();
    form6.Station1.setText("g4abc");
    form6.LogOnStation1.click();
    form6.Station2.type("m0xyz");
    EXPECT_EQ(form6.Station2.text(), "M0XYZ");
    form6.LogOnStation2.click();
    EXPECT_EQ(form6.Station1.text(), "G4ABC");
    EXPECT_EQ(chat(), (std::vector<std::string>{".connect G4ABC", ".connect M0XYZ"}));
}

TEST_F(ConferenceTest, AFailedSendStopsTheButtonAndLeavesTheEntryBox) {
    start();
    host.set("fail", "SendChatText");
    form6.TextTX.setText("hello");
    form6.Send.click();
    EXPECT_EQ(form6.TextTX.text(), "(09:05) hello");
    EXPECT_EQ(form6.ReceivedText.text(), "History Box\r\n");
    EXPECT_EQ(form6.Text1.text(), "");
}

TEST_F(ConferenceTest, ClearButtonsEmptyTheirPanes) {
    start();
    form6.TextTX.setText("hello");
    form6.Send.click();
    form6.Text2.setText("x");
    form6.IncomingText.setReadOnly(false);
    for (CommandButton* b : {&form6.Clear, &form6.ClearRX, &form6.Command2, &form6.Command3, &form6.Command6}) b->click();
    for (TextBox* p : {&form6.ReceivedText, &form6.IncomingText, &form6.Text1, &form6.Text2, &form6.Text3})
        EXPECT_EQ(p->text(), "") << p->name();
    EXPECT_TRUE(form6.IncomingText.readOnly());
}

}  // namespace
}  // namespace tarnwick::test
