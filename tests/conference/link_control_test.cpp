// Slots, the link toggles, the status display and the settings and start-up of the controller.

#include "conference_fixture.h"

namespace tarnwick::test {
namespace {

class LinkControl : public ConferenceTest {};

TEST_F(LinkControl, SlotButtonUnlinksItsOwnConferenceAndSwitchesFromAnother) {
    start();
    link("CONFERENCIA 1");
    rt.advance(100);
    EXPECT_EQ(form6.Frame6.caption(), "Conferencia 1  Connected 1");

    // Its own slot: unlinked, nobody else dropped, no "Connecting".
    host.state().clearLog();
    form6.Command17.click();
    EXPECT_EQ(calls("DisconnectFrom"), std::vector<std::string>{"CONFERENCIA 1"});
    EXPECT_TRUE(host.state().calls("DisconnectAllStations").empty());
    EXPECT_EQ(form6.Label9.caption(), "Conferencia 1  Connected 1");
    rt.runPending();
    rt.advance(100);
    EXPECT_EQ(form6.Frame6.caption(), " Disconnected 1");
    EXPECT_EQ(form6.Frame6.foreColour(), kStatusRed);

    // Another slot: its row shows, everybody is dropped and the new conference linked.
    link("CONFERENCIA 1");
    host.state().clearLog();
    form6.Command21.click();
    EXPECT_TRUE(form6.Option2.value());
    EXPECT_TRUE(form6.Option5.value());
    EXPECT_TRUE(form6.Conference2.visible());
    EXPECT_FALSE(form6.Conference.visible());
    EXPECT_FALSE(form6.Log_On_Admin.visible());
    EXPECT_EQ(form6.Frame6.caption(), "Connecting Conferencia 2");
    EXPECT_EQ(form6.Label9.foreColour(), kStatusBlue);
    EXPECT_EQ(host.state().calls("DisconnectAllStations").size(), 1u);
    EXPECT_EQ(calls("ConnectTo"), std::vector<std::string>{"CONFERENCIA 2"});
    rt.runPending();
    rt.advance(100);
    EXPECT_EQ(form6.Frame6.caption(), "Conferencia 2  Connected 2");
    EXPECT_EQ(form6.Label9.caption(), "Conferencia 2  Connected 2");
    EXPECT_EQ(form6.Label9.foreColour(), kStatusGreen);
    EXPECT_TRUE(form6.Beacon.enabled());
}

TEST_F(LinkControl, EmptySlotSelectsWithoutHostCallsAndShowsTheLinkOfAnother) {
    writeIni("castrel.ini", "CONFERENCE3=\n");
    start();
    form6.Command19.click();
    EXPECT_TRUE(form6.Option3.value());
    EXPECT_TRUE(form6.Conference3.visible());
    for (const char* op : {"ConnectTo", "DisconnectFrom", "DisconnectAllStations"})
        EXPECT_TRUE(host.state().calls(op).empty()) << op;
    rt.advance(100);
    EXPECT_EQ(form6.Frame6.caption(), " Disconnected 3");
    link("CONFERENCIA 1");
    rt.advance(100);
    EXPECT_EQ(form6.Frame6.caption(), "  Connected 3");
}

TEST_F(LinkControl, SlotToggleLinksItsOwnConferenceAndKeepsTheSelection) {
    writeIni("castrel.ini", "CONFERENCE2=conf two\n");
    start();
    form6.Log_On_Conf2.click();
    EXPECT_EQ(calls("ConnectTo"), std::vector<std::string>{"CONF TWO"});
    EXPECT_TRUE(host.state().calls("DisconnectAllStations").empty());
    rt.runPending();
    rt.advance(100);
    EXPECT_TRUE(form6.Option1.value());
    EXPECT_EQ(form6.Label9.caption(), "Conferencia 1  Connected 1");
    form6.Log_On_Conf2.click();
    EXPECT_EQ(calls("DisconnectFrom"), std::vector<std::string>{"CONF TWO"});
}

TEST_F(LinkControl, WithNoSlotSelectedTheStatusAndTheSelectedToggleDoNothing) {
    writeIni("castrel.ini", "OPTION1=False\nOPTION2=False\nOPTION3=False\n");
    start();
    const bool beacon = form6.Beacon.enabled();
    rt.advance(500);
    EXPECT_EQ(form6.Frame6.caption(), "");
    EXPECT_EQ(form6.Beacon.enabled(), beacon);
    form6.Command13.click();
    form6.ConDisc();
    EXPECT_TRUE(host.state().calls("ConnectTo").empty());
    form6.Log_On_Conf3.click();
    EXPECT_EQ(calls("ConnectTo"), std::vector<std::string>{"CONFERENCIA 3"});
}

TEST_F(LinkControl, AutomaticRefreshHoldsThePeriodAtThirtyFiveOrMore) {
    start();
    EXPECT_TRUE(form6.BeaconPeriod.enabled());
    form6.StopClock.setValue(1);
    for (auto [typed, held] : {std::pair{"0", "35"}, {"5", "35"}, {"34", "35"}, {"35", "35"}, {"99", "99"}}) {
        form6.BeaconPeriod.setText(typed);
        rt.advance(100);
        EXPECT_EQ(form6.BeaconPeriod.text(), held) << typed;
    }
    EXPECT_FALSE(form6.BeaconPeriod.enabled());
    EXPECT_FALSE(form6.Command9.enabled());
    form6.AutoEnter.setValue(1);
    rt.advance(100);
    EXPECT_FALSE(form6.Command14.enabled());
}

TEST_F(LinkControl, FirstStartTakesTheDefaults) {
    start();
    EXPECT_EQ(form6.Conference.text(), "Conferencia 1");
    EXPECT_EQ(form6.Conference2.text(), "Conferencia 2");
    EXPECT_EQ(form6.Conference3.text(), "Conferencia 3");
    EXPECT_EQ(form6.Password.text(), "GateWardenKey");
    EXPECT_TRUE(form6.Option1.value());
    EXPECT_TRUE(form6.Option4.value());
    EXPECT_EQ(form6.Station1.text(), "Enter_Callsign");
    EXPECT_EQ(form6.Station2.text(), "Enter_Callsign");
    EXPECT_TRUE(form6.Check1.ticked());
    EXPECT_TRUE(form6.Check2.ticked());
    EXPECT_TRUE(form6.Check3.ticked());
    EXPECT_EQ(form6.BeaconPeriod.text(), "35");
    EXPECT_EQ(form6.BeaconSeconds.text(), "35");
    EXPECT_EQ(form6.BeaconPeriod2.text(), "10");
    EXPECT_EQ(form6.left(), 300);
    EXPECT_EQ(form6.top(), 300);
    EXPECT_EQ(form6.windowCaption(), "Tarnwick    N0CALL-L   v7.2.1             Conference Controller");
    EXPECT_EQ(form6.ReceivedText.text(), "History Box\r\n");
    EXPECT_TRUE(form6.IncomingText.readOnly());
    // The station-info window was loaded and pointed at the translation page.
    EXPECT_TRUE(form9.loaded());
    EXPECT_EQ(form9.WebBrowser1.caption(), kTranslationPage);
}

TEST_F(LinkControl, TheLastSlotMarkedInTheFileIsSelected) {
    writeIni("castrel.ini", "OPTION1=False\nOPTION2=True\nOPTION3=True\n");
    start();
    EXPECT_TRUE(form6.Option3.value());
    EXPECT_TRUE(form6.Option6.value());
    EXPECT_TRUE(form6.Conference3.visible());
    EXPECT_FALSE(form6.Conference2.visible());
}

struct StartCase {
    const char* name;
    const char* ini;
    std::vector<std::string> stations;  // connected before the window loads
    std::vector<std::string> sent;
};
void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }

class StartUp : public ConferenceTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartUp, ALinkedConferenceIsSelectedAndLoggedOnWhileAlone) {
    const StartCase& c = GetParam();
    writeIni("castrel.ini", c.ini);
    for (const auto& s : c.stations) host.state().raise({"connected", {s, std::string(), std::string()}});
    form6.TextTX.setText("typed");
    form6.load();
    EXPECT_TRUE(form6.Option2.value());
    EXPECT_TRUE(form6.Conference2.visible());
    EXPECT_FALSE(form6.Conference.visible());
    EXPECT_EQ(chat(), c.sent);
    // Recorded in no pane; what the operator had in the entry box stays.
    EXPECT_EQ(form6.ReceivedText.text(), "History Box\r\n");
    EXPECT_EQ(form6.TextTX.text(), "typed");
}

INSTANTIATE_TEST_SUITE_P(
    , StartUp,
    ::testing::Values(StartCase{"AutoEnterAlone", "AUTOENTER=1\n", {"CONFERENCIA 2"}, {".admin GateWardenKey2"}},
                      StartCase{"AutoEnterWithAnother", "AUTOENTER=1\n", {"CONFERENCIA 2", "G4ABC"}, {}},
                      StartCase{"NoAutoEnter", "AUTOENTER=0\n", {"CONFERENCIA 2"}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkControl, SaveWritesThirtyKeysInOrderWithCallsignsInCapitals) {
    writeIni("castrel.ini", "Check1=0\nconference=conf one\nPassword=MixedCase\nStation2=g4abc\nOPTION2=1\n");
    start();
    form6.StayCon1.setValue(1);
    form6.FilterText3.setText("spam");
    form6.setPosition(450, 600);
    ASSERT_TRUE(form6.SaveData());
    EXPECT_EQ(form6.Conference.text(), "CONF ONE");
    EXPECT_EQ(form6.Station2.text(), "G4ABC");
    EXPECT_EQ(readIni("castrel.ini"),
              "[SETTINGS]\nCHECK1=0\nCONFERENCE=CONF ONE\nPASSWORD=MixedCase\nSTATION2=G4ABC\nOPTION2=True\n"
              "CHECK2=1\nCHECK3=1\nPASSWORD2=GateWardenKey2\nCONFERENCE2=CONFERENCIA 2\nPASSWORD3=GateWardenKey3\n"
              "CONFERENCE3=CONFERENCIA 3\nSTATION1=ENTER_CALLSIGN\nSTAYCON1=1\nFILTERTEXT1=\nFILTERTEXT2=\n"
              "FILTERTEXT3=spam\nFILTERTEXT4=\nFILTERTEXT5=\nFILTERTEXT6=\nFILTERTEXT7=\nFILTERTEXT8=\nSTOPCLOCK=0\n"
              "AUTOENTER=0\nBEACONPERIOD2=10\nBEACONPERIOD=35\nOPTION1=False\nOPTION3=False\nCHECK4=0\nLEFT=450\n"
              "TOP=600\n");
}

TEST_F(LinkControl, QuitPromptYesReleasesAndEndsWithoutSavingNoKeepsTheWindow) {
    start();
    form6.StayCon1.setValue(1);
    host.state().call("other", "SetPTT", {true});
    rt.answers = {MsgAnswer::No};
    EXPECT_FALSE(form6.onCloseRequest());
    EXPECT_FALSE(rt.processEnded());
    EXPECT_TRUE(host.state().ptt());

    rt.answers = {MsgAnswer::Yes};
    EXPECT_TRUE(form6.onCloseRequest());
    ASSERT_EQ(rt.boxes.size(), 2u);
    EXPECT_EQ(rt.boxes[1].title, "Exit Program");
    EXPECT_EQ(rt.boxes[1].text, "Quit Conference Controller - Are You Sure ? Remember To Save Any Changes  ");
    EXPECT_EQ(rt.boxes[1].buttons, MsgButtons::YesNo);
    EXPECT_EQ(rt.boxes[1].icon, MsgIcon::Question);
    EXPECT_FALSE(host.state().ptt());
    EXPECT_FALSE(host.state().busy());
    EXPECT_TRUE(rt.processEnded());
    EXPECT_EQ(readIni("castrel.ini"), "");
}

}  // namespace
}  // namespace tarnwick::test

namespace tarnwick::test {
namespace {

TEST_F(LinkControl, AStatusThatKeepsFailingIsReportedOnceAMinute) {
    start();
    host.set("fail", "IsConnectedTo");
    ::testing::internal::CaptureStderr();
    rt.advance(90000);
    const std::string err = ::testing::internal::GetCapturedStderr();
    std::size_t lines = 0;
    for (std::size_t at = err.find("ERROR Form6 Timer6: "); at != std::string::npos;
         at = err.find("ERROR Form6 Timer6: ", at + 1))
        ++lines;
    EXPECT_EQ(lines, 2u) << err;
    EXPECT_NE(err.find("(600 times)"), std::string::npos) << err;
}

}  // namespace
}  // namespace tarnwick::test
