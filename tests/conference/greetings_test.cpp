// The greetings window: the delay, the lines, the random pick, disconnections and wendlow.ini.

#include "conference_fixture.h"

namespace tarnwick::test {
namespace {

class Greetings : public ConferenceTest {
public:
    std::vector<std::string> greetings() const { return chat("Form10"); }
};

TEST_F(Greetings, GreetsAfterTheDelayAndShowsTheLineInTheControllerPanes) {
    start();
    form10.Option3.setValue(true);
    link("G4ABC", "Ann");
    rt.advance(2000);
    EXPECT_TRUE(greetings().empty());
    EXPECT_EQ(form10.BeaconSecondsDelay.caption(), "1");
    rt.advance(1000);
    const std::string line = "(09:05) Hello Ann Welcome";
    EXPECT_EQ(greetings(), std::vector<std::string>{line});
    EXPECT_EQ(form6.Text1.text(), line + "\r\n");
    EXPECT_EQ(form6.Text3.text(), line + "\r\n");
    EXPECT_EQ(form6.IncomingText.text(), "Incoming Text\r\n" + line + "\r\n");
    EXPECT_EQ(form6.IncomingText.selStart(), static_cast<int>(form6.IncomingText.text().size()));
    EXPECT_FALSE(form10.Timer2Delay.enabled());
    EXPECT_EQ(form10.BeaconSecondsDelay.caption(), "3");
    rt.advance(10000);
    EXPECT_EQ(greetings().size(), 1u);
}

TEST_F(Greetings, TheLastOfABurstIsGreetedOnce) {
    start();
    form10.TimeStamp.setValue(0);
    form10.Option1.setValue(true);
    link("G4ABC", "Ann");
    rt.advance(2000);
    link("M0XYZ", "Bob");
    rt.advance(2000);
    EXPECT_TRUE(greetings().empty());
    rt.advance(1000);
    EXPECT_EQ(greetings(), std::vector<std::string>{"Hello Bob " + form10.TextTXMessage.text()});
}

TEST_F(Greetings, ADelayOfZeroBecomesOneAndGreetsAtTheSecondTick) {
    start();
    form10.BeaconPeriodDelay.setText("0");
    form10.Option4.setValue(true);
    form10.TimeStamp.setValue(0);
    link("G4ABC", "");
    rt.advance(1000);
    EXPECT_EQ(form10.BeaconPeriodDelay.text(), "1");
    EXPECT_TRUE(greetings().empty());
    rt.advance(1000);
    // An empty name leaves two blanks after "Hello".
    EXPECT_EQ(greetings(), std::vector<std::string>{"Hello  Has Joined us"});
}

TEST_F(Greetings, AConferenceSelectsTheAnnouncementAndDisconnectionsAreAnnounced) {
    start();
    form10.Option2.setValue(true);
    link("*ALPHA*", "Alpha Conf");
    EXPECT_TRUE(form10.Option10.value());
    rt.advance(3000);
    raise("disconnected", {"G4ABC"});
    EXPECT_EQ(greetings(),
              (std::vector<std::string>{"(09:05) *ALPHA* Alpha Conf Connected", "(09:05) G4ABC Disconnected 73's"}));
    EXPECT_EQ(form6.Text1.text(), "(09:05) *ALPHA* Alpha Conf Connected\r\n(09:05) G4ABC Disconnected 73's\r\n");
    // With a greeting selected, a disconnection says nothing.
    form10.Option5.setValue(true);
    raise("disconnected", {"M0XYZ"});
    EXPECT_EQ(greetings().size(), 2u);

    // A conference is told by its "*" however long its name; the line shows the name cut.
    link("*A-VERY-LONG-CONFERENCE*", "Long Conf");
    EXPECT_TRUE(form10.Option10.value());
    rt.advance(3000);
    raise("disconnected", {"*A-VERY-LONG-CONFERENCE*"});
    EXPECT_EQ(greetings().at(2), "(09:05) *A-VERY-LONG-CON Long Conf Connected");
    EXPECT_EQ(greetings().at(3), "(09:05) *A-VERY-LONG-CON Disconnected 73's");
}

TEST_F(Greetings, UntickedUseGreetingSendsNothingYetTheRandomPickStillRuns) {
    start();
    form10.UseGreeting.setValue(0);
    form10.Check1.setValue(1);
    form10.MaxRand.setText("1");
    form10.Option10.setValue(true);
    link("G4ABC", "Ann");
    rt.advance(3000);
    EXPECT_TRUE(form10.Option1.value());
    // Nor a disconnection line, with the disconnection announcement selected.
    form10.Option10.setValue(true);
    raise("disconnected", {"G4ABC"});
    EXPECT_TRUE(greetings().empty());
    EXPECT_EQ(form6.Text1.text(), "");
}

TEST_F(Greetings, RandomRangeIsClampedAndEveryOptionCanComeUp) {
    for (auto [typed, held] : {std::pair{"25", "10"}, {"0", "1"}, {"", "1"}, {"7", "7"}}) {
        form10.MaxRand.setText(typed);
        form10.PickRandomGreeting();
        EXPECT_EQ(form10.MaxRand.text(), held) << typed;
    }
    form10.MaxRand.setText("1");
    form10.PickRandomGreeting();
    EXPECT_TRUE(form10.Option1.value());
    form10.seedRandom(7);
    form10.MaxRand.setText("10");
    std::set<std::string> seen;
    for (int i = 0; i < 400; ++i) {
        form10.PickRandomGreeting();
        for (OptionButton* o : form10.messageChoice.buttons())
            if (o->value()) seen.insert(o->name());
    }
    EXPECT_EQ(seen.size(), 10u);
}

TEST_F(Greetings, ALineThatWouldBeACommandIsNotSentAndAStrangersControlCharactersAreBlanks) {
    start();
    form10.TimeStamp.setValue(0);
    form10.Option10.setValue(true);
    ::testing::internal::CaptureStderr();
    link(".mute", "x");
    rt.advance(3000);
    raise("disconnected", {".ban"});
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(greetings().empty());
    EXPECT_EQ(form6.Text1.text(), "");
    EXPECT_NE(err.find("ERROR Form10 SendChatText: a line that begins with \".\" is not sent: .mute"),
              std::string::npos)
        << err;
    // A name's control characters reach neither the conference nor the panes.
    form10.Option10.setValue(false);
    form10.Option3.setValue(true);
    link("G4ABC", "A\x1b[2Jnn\r\n");
    rt.advance(3000);
    const std::string line = "Hello A [2Jnn   Welcome";
    EXPECT_EQ(greetings(), std::vector<std::string>{line});
    EXPECT_EQ(form6.Text1.text(), line + "\r\n");
}

TEST_F(Greetings, SettingsLoadAndSaveWithUseGreetingKept) {
    writeIni("wendlow.ini", "OPTION3=True\nOPTION7=True\nOPTION10=False\nUSEGREETING=0\nBEACONPERIODDELAY=x\n"
                            "TEXTTXMESSAGE2=" + std::string(170, 'g') + "\n");
    start();
    EXPECT_TRUE(form10.Option7.value());
    EXPECT_FALSE(form10.Option3.value());
    EXPECT_EQ(form10.UseGreeting.value(), 0);
    EXPECT_EQ(form10.BeaconPeriodDelay.text(), "1");
    EXPECT_EQ(form10.TextTXMessage2.text(), std::string(160, 'g'));
    EXPECT_EQ(form10.windowCaption(), "Tarnwick    N0CALL-L   v7.2      Text Box Greeting Message");
    rt.advance(100);
    EXPECT_EQ(form10.Label17.caption(), "160");
    EXPECT_EQ(form10.Label18.caption(), "7");
    ASSERT_TRUE(form10.SaveData());
    const std::string ini = readIni("wendlow.ini");
    EXPECT_NE(ini.find("USEGREETING=0\n"), std::string::npos) << ini;
    for (const char* kv : {"\nOPTION3=False\n", "\nOPTION7=True\n", "\nOPTION10=False\n", "\nCHECK1=0\n",
                                  "\nTIMESTAMP=1\n", "\nTEXTTXMESSAGE9=Has Joined The Conference\n"})
        EXPECT_NE(ini.find(kv), std::string::npos) << kv << ini;
    EXPECT_NE(ini.find("\nTEXTTXMESSAGE2=" + std::string(160, 'g') + "\n"), std::string::npos);
    EXPECT_EQ(std::count(ini.begin(), ini.end(), '\n'), 24);
}

TEST_F(Greetings, ClosingUnkeysAndSavesQuitPromptYesSavesAndEnds) {
    start();
    form10.Option5.setValue(true);
    host.state().call("other", "SetPTT", {true});
    rt.answers = {MsgAnswer::No};
    EXPECT_FALSE(form10.onCloseRequest());
    EXPECT_EQ(readIni("wendlow.ini"), "");
    raise("closing");
    EXPECT_FALSE(host.state().ptt());
    EXPECT_NE(readIni("wendlow.ini").find("OPTION5=True"), std::string::npos);
    EXPECT_TRUE(rt.processEnded());
}

TEST_F(Greetings, QuitPromptYesReleasesSavesAndEnds) {
    start();
    host.state().call("other", "SetBusy", {true});
    rt.answers = {MsgAnswer::Yes};
    EXPECT_TRUE(form10.onCloseRequest());
    EXPECT_EQ(rt.boxes.back().text, "Quit - Remember to save your settings - Are You Sure ? ");
    EXPECT_FALSE(host.state().busy());
    EXPECT_NE(readIni("wendlow.ini").find("OPTION10=True"), std::string::npos);
    EXPECT_TRUE(rt.processEnded());
}

}  // namespace
}  // namespace tarnwick::test
