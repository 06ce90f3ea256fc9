// Remote play by DTMF, the chat reply, EchoLink closing, the window's buttons, start-up and settings.

#include "player_fixture.h"

namespace tarnwick::test {
namespace {

TEST_F(PlayerTest, DtmfCodePlaysItsSlotWithoutStartOrEndDigits) {
    writeIni("CHECK3=1\nCHECK4=1\n");
    start();
    raise("dtmf", {"AA"});
    EXPECT_EQ(player->PlayBox, 3);
    EXPECT_EQ(only({"SendDTMF", "render", "SetPTT"}), (Events{"render News1.mp3", "SetPTT true"}));
    rt.advance(127'000);
    EXPECT_EQ(only({"SendDTMF", "SetPTT"}), (Events{"SetPTT true", "SetPTT false"}));
}

struct CodeCase {
    const char* box;
    const char* reported;
    bool plays;
};

class DtmfMatchTest : public PlayerTest, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(DtmfMatchTest, WholeStringExactMatchOnly) {
    start();
    player->DTMFInfo2.setText(GetParam().box);
    hub.raise(HostEvent{"DTMFString", {std::string(GetParam().reported)}});
    EXPECT_EQ(count("render News2.mp3"), GetParam().plays ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Codes, DtmfMatchTest,
                         ::testing::Values(CodeCase{"BB", "BB", true}, CodeCase{"bb", "BB", false},
                                           CodeCase{"BB ", "BB", false}, CodeCase{"B", "BB", false},
                                           CodeCase{"", "", false}));

TEST_F(PlayerTest, DtmfIgnoredWhileDtmfUseIsOff) {
    start();
    dtmf.Check1.setValue(0);
    raise("dtmf", {"AA"});
    EXPECT_EQ(events, Events{});
}

TEST_F(PlayerTest, FilePlayerCodeDisarmsTheEndOfNewsAndEveryMatchingRowActs) {
    writeIni("TEXT21=7\nTEXT41=C:\\Beacon.wav\nTEXT40=7\nTEXT20=C:\\News2.mp3\n");
    start();
    speech.flag3 = 1;
    raise("dtmf", {"7"});
    EXPECT_EQ(speech.flag3, 0);
    EXPECT_EQ(only({"render"}), (Events{"render Beacon.wav", "render News2.mp3"}));
    EXPECT_EQ(player->PlayBox, 60);
}

TEST_F(PlayerTest, VersionReplyToChat) {
    start();
    raise("chat", {"hello /ver/ there"});
    raise("chat", {"/VER/"});
    EXPECT_EQ(only({"SendChatText"}), Events{"SendChatText Tarnwick  v7.2"});
}

TEST_F(PlayerTest, ClosingUnkeysAndDropsDtrBeforeTheProcessEnds) {
    start();
    player->Command1.click();
    events.clear();
    raise("closing");
    EXPECT_EQ(only({"SetPTT", "SetDTR"}), (Events{"SetPTT false", "SetDTR false"}));
    EXPECT_TRUE(rt.processEnded());
}

TEST_F(PlayerTest, QuitPromptNoKeepsEverythingYesUnkeysAndEnds) {
    start();
    player->Command1.click();
    events.clear();
    rt.answers = {MsgAnswer::No};
    EXPECT_FALSE(player->onCloseRequest());
    ASSERT_EQ(rt.boxes.size(), 1u);
    EXPECT_EQ(rt.boxes[0].title, "Exit Program");
    EXPECT_EQ(rt.boxes[0].text, "Quit - Remember to save your settings - Are You Sure ? ");
    EXPECT_EQ(rt.boxes[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(rt.boxes[0].icon, MsgIcon::Question);
    EXPECT_EQ(events, Events{});
    EXPECT_FALSE(rt.processEnded());

    rt.answers = {MsgAnswer::Yes};
    player->onCloseRequest();
    // The program's exit path stops the file on air too.
    EXPECT_EQ(events, (Events{"SetPTT false", "SetBusy false", "release"}));
    EXPECT_EQ(player->PTT.caption(), "PTT OFF");
    EXPECT_TRUE(rt.processEnded());
}

TEST_F(PlayerTest, StartUpCaptionUnkeysAndFillsDefaults) {
    start();
    EXPECT_EQ(player->windowCaption(), "Tarnwick    N0CALL-L   v7.2.1     News & Beacon Audio File Player");
    std::vector<std::string> ops;
    for (const auto& e : host.state().log())
        if (e.link == "Form1" && !e.op.empty()) ops.push_back(e.op);
    EXPECT_EQ(ops, (std::vector<std::string>{"Hello", "GetCallsign", "SetPTT", "SetDTR"}));
    EXPECT_EQ(player->Text4.text(), "C:\\News1.mp3");
    EXPECT_EQ(player->Text8.text(), "C:\\News4.mp3");
    EXPECT_EQ(player->DTMFInfo.text(), "CC");
    EXPECT_EQ(player->Hour3.text(), "24");
    EXPECT_EQ(player->CWCallsign.text(), " ");
    EXPECT_EQ(player->SayEndOfFileCheck.value(), 1);
    EXPECT_EQ(player->BeaconSeconds1.text(), "900");
    EXPECT_EQ(player->BeaconSeconds8.text(), "3000");
    EXPECT_EQ(player->Label18.text(), "50");
    EXPECT_EQ(player->V1.value(), 0);
    EXPECT_EQ(player->VolSet.text(), "0");
    EXPECT_EQ(player->left(), 300);
    // Filling the break boxes starts neither the supervisor nor the break timer: nothing is keyed.
    EXPECT_FALSE(player->Beacon8.enabled());
    EXPECT_FALSE(player->Timer3.enabled());
    rt.advance(3'000);
    EXPECT_EQ(events, Events{});
}

TEST_F(PlayerTest, SaveWritesAll123KeysAndLoadsThemBack) {
    writeIni("GROUPCALL1=w1aw\nTEXT4=C:\\Other.mp3\nSUN2=1\nHOUR2b=07\nVOLSET4=-1404\nTEXT57=C:\\x.wav\n"
             "TEXT18=C:\\y.wav\nTEXT40=99\nLEFT=1200\n");
    start();
    EXPECT_EQ(player->GroupCall1.text(), "w1aw");  // shown as stored
    EXPECT_EQ(player->V4.value(), -1404);
    ASSERT_TRUE(player->SaveData());
    std::string ini = readIni();
    int keys = 0;
    for (char c : ini) keys += c == '=';
    EXPECT_EQ(keys, 123);
    for (const char* line : {"GROUPCALL1=W1AW\n", "DTMFINFO3=AA\n", "DTMFINFO=CC\n", "HOUR2b=07\n", "SUN2=1\n",
                             "VOLSET4=-1404\n", "TEXT18=C:\\y.wav\n", "TEXT40=99\n", "LEFT=1200\n", "TOP=300\n",
                             "SAYENDOFFILECHECK=1\n", "CWCALLSIGN= \n"})
        EXPECT_NE(ini.find(line), std::string::npos) << line;
    EXPECT_LT(ini.find("\nSAYENDOFFILECHECK="), ini.find("\nCHECK5="));
    EXPECT_LT(ini.find("\nTEXT20="), ini.find("\nTOP="));

    player.reset();
    events.clear();
    start();
    EXPECT_EQ(player->GroupCall1.text(), "W1AW");
    EXPECT_EQ(player->Text4.text(), "C:\\Other.mp3");
    EXPECT_EQ(player->Sun2.value(), 1);
    EXPECT_EQ(player->filePlayerPath(57).text(), "C:\\x.wav");
    EXPECT_EQ(player->filePlayerPath(58).text(), "C:\\y.wav");
    EXPECT_EQ(player->filePlayerCode(60).text(), "99");
}

TEST_F(PlayerTest, FilePlayerButtonsAreNumberedAgainstTheSlots) {
    start();
    EXPECT_EQ(player->filePlayerPlay(50).name(), "Command31");
    EXPECT_EQ(player->filePlayerPlay(41).name(), "Command40");
    EXPECT_EQ(player->filePlayerPlay(60).name(), "Command41");
    EXPECT_EQ(player->filePlayerPlay(51).name(), "Command50");
    EXPECT_EQ(player->filePlayerFile(41).name(), "Command51");
    EXPECT_EQ(player->filePlayerFile(58).name(), "Command68");
    EXPECT_EQ(player->filePlayerPath(58).name(), "Text18");
    EXPECT_EQ(player->filePlayerCode(41).name(), "Text21");
}

TEST_F(PlayerTest, FilePlayerPlaySendsStartDigitsAndDisarmsTheEndOfNews) {
    writeIni("CHECK3=1\nTEXT45=C:\\Beacon.wav\n");
    start();
    speech.flag3 = 1;
    player->filePlayerPlay(45).click();
    EXPECT_EQ(speech.flag3, 0);
    EXPECT_EQ(player->EndDTMF, 1);
    EXPECT_EQ(only({"SendDTMF", "render"}), (Events{"SendDTMF 1234", "render Beacon.wav"}));
}

TEST_F(PlayerTest, FileButtonLoadsTheChosenFileOrKeepsThePathOnCancel) {
    start();
    dialogAnswer = dir + "/drives/c/News3.mp3";
    player->Command3.click();
    EXPECT_EQ(player->Text4.text(), dialogAnswer);
    EXPECT_EQ(player->Text3.text(), "00:00:30");
    EXPECT_EQ(only({"render", "SetPTT"}), Events{"render News3.mp3"});

    dialogAnswer.clear();
    player->Command6.click();
    EXPECT_EQ(player->Text5.text(), "C:\\News2.mp3");
    ASSERT_EQ(rt.boxes.size(), 1u);
    EXPECT_EQ(rt.boxes[0].text, "Please select a file");
}

TEST_F(PlayerTest, LoadingAShorterFileAfterALongerOneDoesNotSeekIt) {
    start();
    player->Command1.click();  // 125.7 s; the seek bar follows it to the end
    rt.advance(127'000);
    ASSERT_EQ(player->H1.value(), 125);  // where the end was seen
    events.clear();
    dialogAnswer = dir + "/drives/c/News4.mp3";  // 20 s: its new maximum pulls the bar down
    player->Command6.click();
    EXPECT_EQ(only({"render", "position"}), Events{"render News4.mp3"});
    EXPECT_EQ(player->Text3.text(), "00:00:20");
    EXPECT_EQ(player->Text2.text(), "00:00:00");
    EXPECT_EQ(player->H1.max(), 20);
    EXPECT_EQ(player->H1.value(), 0);
}

TEST_F(PlayerTest, OnlyDraggingTheSeekBarSeeks) {
    start();
    player->Command1.click();  // 125.7 s, playing
    rt.advance(2'000);
    events.clear();
    player->H1.setValue(60);  // an arrow or a track click: the bar moves, the file does not
    EXPECT_EQ(only({"position"}), Events{});
    rt.advance(20);
    EXPECT_EQ(player->H1.value(), 2) << "the next display update puts the bar back";
    player->H1.scroll(90);  // the thumb dragged
    EXPECT_EQ(only({"position"}), Events{"position 90"});
    rt.advance(20);
    EXPECT_EQ(player->H1.value(), 90);
}

TEST_F(PlayerTest, ADraggedVolumeThumbIsAChangeWhenReleased) {
    start();
    player->Command1.click();  // Audio File 1 playing
    events.clear();
    player->V4.scroll(-1200);  // dragging: the bar follows, nothing else yet
    EXPECT_EQ(player->VolSet4.text(), "0");
    EXPECT_EQ(only({"volume"}), Events{});
    player->V4.endScroll();  // released: the preset box and the playing file take the level
    EXPECT_EQ(player->VolSet4.text(), "-1200");
    EXPECT_EQ(only({"volume"}), Events{"volume -1200"});
    const int steps[4][2] = {{50, 500}, {50, 500}, {50, 1}, {50, 1}};
    const ScrollBar* bars[4] = {&player->V1, &player->V2, &player->V3, &player->V4};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(bars[i]->smallChange(), steps[i][0]) << bars[i]->name();
        EXPECT_EQ(bars[i]->largeChange(), steps[i][1]) << bars[i]->name();
    }
}

TEST_F(PlayerTest, FileButtonDuringATransmissionOnlyWritesThePath) {
    start();
    player->Command7.click();
    dialogAnswer = dir + "/drives/c/News3.mp3";
    player->Command3.click();
    EXPECT_EQ(player->Text4.text(), dialogAnswer);
    EXPECT_EQ(only({"render"}), Events{"render News2.mp3"});
    EXPECT_EQ(player->Text3.text(), "00:01:00");
}

TEST_F(PlayerTest, PlayWithAnEmptyPathAsksForAFile) {
    writeIni("TEXT5=\n");
    start();
    dialogAnswer = dir + "/drives/c/News3.mp3";
    player->Command7.click();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(player->Text5.text(), dialogAnswer);
    EXPECT_EQ(count("SetPTT true"), 1);
}

TEST_F(PlayerTest, SmallButtons) {
    start();
    player->Text8.setText("");
    player->Command20.click();
    EXPECT_EQ(player->Text8.text(), "C:\\News4.mp3");
    player->Command29.click();
    EXPECT_EQ(events, Events{"kellow"});
    player->Command16.click();
    EXPECT_TRUE(downloader.isVisible());
    player->show();
    player->Command5.click();
    EXPECT_FALSE(player->isVisible());
}

TEST(FormatTime, Texts) {
    const std::pair<double, const char*> cases[] = {
        {-5, "00:00:00"},      {0, "00:00:00"},      {0.999, "00:00:00"},   {1, "00:00:01"},
        {59.999, "00:00:59"},  {61.5, "00:01:01"},   {125.7, "00:02:05"},   {3599, "00:59:59"},
        {3600, "01:00:00"},    {3725, "01:02:05"},   {86399, "23:59:59"},   {86400, "24:00:00"},
        {90000, "24:59:59"},   {1e6, "24:59:59"},
    };
    for (auto [seconds, text] : cases) EXPECT_EQ(FormatTime(seconds), text) << seconds;
}

}  // namespace
}  // namespace tarnwick::test
