// The link keeper, the clock and a station's arrival.

#include "conference_fixture.h"

namespace tarnwick::test {
namespace {

struct KeeperCase {
    const char* name;
    int stay;
    bool newsDisconnectAll, newsUnderWay, seriesDisconnectAll;
    const char* seriesPTT;
    bool relinks;
};
void PrintTo(const KeeperCase& c, std::ostream* os) { *os << c.name; }

class Keeper : public ConferenceTest, public ::testing::WithParamInterface<KeeperCase> {};

TEST_P(Keeper, RelinksTheSelectedConferenceUnlessNewsIsOnAir) {
    const KeeperCase& c = GetParam();
    start();
    form6.StayCon1.setValue(c.stay);
    news.DisconnectAll.setValue(c.newsDisconnectAll);
    news.underWay = c.newsUnderWay;
    series.DisconnectAll.setValue(c.seriesDisconnectAll);
    series.PTT.setCaption(c.seriesPTT);
    rt.advance(59999);
    EXPECT_TRUE(host.state().calls("ConnectTo").empty());
    rt.advance(1);
    EXPECT_EQ(calls("ConnectTo"), c.relinks ? std::vector<std::string>{"CONFERENCIA 1"} : std::vector<std::string>{});
    // Once linked, the next tick leaves it alone.
    rt.runPending();
    rt.advance(60000);
    EXPECT_EQ(calls("ConnectTo").size(), c.relinks ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    , Keeper,
    ::testing::Values(KeeperCase{"Idle", 1, true, false, true, "PTT OFF", true},
                      KeeperCase{"StayConUnticked", 0, false, false, false, "PTT OFF", false},
                      KeeperCase{"NewsOnAir", 1, true, true, false, "PTT OFF", false},
                      KeeperCase{"NewsOnAirWithoutDisconnectAll", 1, false, true, false, "PTT OFF", true},
                      KeeperCase{"SeriesOnAir", 1, false, false, true, "PTT ON", false},
                      KeeperCase{"SeriesOnAirWithoutDisconnectAll", 1, false, false, false, "PTT ON", true}),
    [](const auto& info) { return std::string(info.param.name); });

// Slots 2 and 3: "List Users" logs on with the selected slot's password, and the link keeper links
// the selected slot's conference.
class SelectedSlot : public ConferenceTest, public ::testing::WithParamInterface<int> {};

TEST_P(SelectedSlot, ListUsersAndTheKeeperUseItsConferenceAndPassword) {
    const std::string n = std::to_string(GetParam());
    writeIni("castrel.ini", "OPTION1=0\nOPTION" + n + "=1\nSTAYCON1=1\nCHECK4=1\n");
    start();
    form6.Command9.click();
    EXPECT_EQ(chat(), std::vector<std::string>{".admin GateWardenKey" + n});
    rt.advance(60000);
    EXPECT_EQ(calls("ConnectTo"), std::vector<std::string>{"CONFERENCIA " + n});
}

INSTANTIATE_TEST_SUITE_P(, SelectedSlot, ::testing::Values(2, 3),
                         [](const auto& info) { return "Slot" + std::to_string(info.param); });

TEST_F(ConferenceTest, ClockShowsTheTimeAndTheConnectedCount) {
    start();
    link("G4ABC");
    link("M0XYZ");
    rt.advance(1000);
    EXPECT_EQ(form6.ShowTime.caption(), "09:05:01");
    EXPECT_EQ(form6.HowmanyConnected.caption(), "2");
}

struct ArrivalCase {
    const char* name;
    std::string call, who;
    int check9;
    std::string page;  // empty: no look-up
    std::string label;
};
void PrintTo(const ArrivalCase& c, std::ostream* os) { *os << c.name; }

class Arrival : public ConferenceTest, public ::testing::WithParamInterface<ArrivalCase> {};

TEST_P(Arrival, LooksTheStationUpAndNamesIt) {
    const ArrivalCase& c = GetParam();
    start();
    form9.Check9.setValue(c.check9);
    link(c.call, c.who);
    EXPECT_EQ(form9.WebBrowser1.caption(), c.page.empty() ? kTranslationPage : c.page);
    EXPECT_EQ(form9.Label2.caption(), c.label);
    // Arrivals never start the desktop's browser.
    EXPECT_TRUE(rt.urls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    , Arrival,
    ::testing::Values(
        ArrivalCase{"Link", "GB3XX-L", "Ann", 1, "https://www.qrz.com/db/GB3XX-", "GB3XX-L Ann"},
        ArrivalCase{"Repeater", "GB3YY-R", "Bob", 1, "https://www.qrz.com/db/GB3YY-", "GB3YY-R Bob"},
        ArrivalCase{"Station", "G4ABC", "Cy", 1, "https://www.qrz.com/db/G4ABC", "G4ABC Cy"},
        ArrivalCase{"DashDigit", "G4ABC-1", "Di", 1, "", "G4ABC-1 Di"},
        ArrivalCase{"LookUpOff", "G4ABC", "Ed", 0, "", "G4ABC Ed"},
        ArrivalCase{"EmptyName", "G4ABC", "", 1, "https://www.qrz.com/db/G4ABC", "G4ABC "},
        ArrivalCase{"Encoded", "G4/P?x", "Fi", 1, "https://www.qrz.com/db/G4%2FP%3Fx", "G4/P?x Fi"},
        ArrivalCase{"ControlCharacters", "G4ABC", "A\x1b[2Jnn", 1, "https://www.qrz.com/db/G4ABC", "G4ABC A [2Jnn"},
        // A long callsign is looked up whole and shown cut.
        ArrivalCase{"LongLink", "Q0VERYLONGCALLSIGN-L", "Gus", 1, "https://www.qrz.com/db/Q0VERYLONGCALLSIGN-",
                    "Q0VERYLONGCALLSI Gus"},
        ArrivalCase{"LongStation", "Q0VERYLONGCALLSIGN", "Hal", 1, "https://www.qrz.com/db/Q0VERYLONGCALLSIGN",
                    "Q0VERYLONGCALLSI Hal"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConferenceTest, SelectedConferenceArrivingGetsTheAdminLogOnOnlyWhileAlone) {
    writeIni("castrel.ini", "AUTOENTER=1\nCONFERENCE=*ALPHA*\nCONFERENCE2=*beta*\n");
    start();
    form6.TextTX.setText("typed");
    link("*ALPHA*");
    EXPECT_EQ(chat(), std::vector<std::string>{".admin GateWardenKey"});
    EXPECT_EQ(form6.TextTX.text(), "typed");
    EXPECT_EQ(form6.ReceivedText.text(), "History Box\r\n");

    // A second station would hear the password.
    link("G4ABC");
    link("*ALPHA*");
    EXPECT_EQ(chat().size(), 1u);

    // The name must match letter for letter; the keeper still links the capitals.
    raise("disconnected", {"G4ABC"});
    form6.Command18.click();
    rt.runPending();
    EXPECT_EQ(calls("ConnectTo"), std::vector<std::string>{"*BETA*"});
    EXPECT_EQ(chat().size(), 1u);

    // A name longer than a callsign is shown is matched whole.
    raise("disconnected", {"*BETA*"});
    form6.Conference2.setText("*beta-and-gamma-net*");
    link("*beta-and-gamma-net*");
    EXPECT_EQ(chat().back(), ".admin GateWardenKey2");
}

TEST_F(ConferenceTest, AnArrivalWithAutomaticLogOnUntickedSendsNoLogOnAndNoPassword) {
    writeIni("castrel.ini", "AUTOENTER=0\nCONFERENCE=*ALPHA*\n");
    start();
    link("*ALPHA*");
    rt.advance(5000);
    EXPECT_TRUE(chat().empty()) << ::testing::PrintToString(chat());
    for (const std::string& line : host.logLines()) EXPECT_EQ(line.find("GateWardenKey"), std::string::npos) << line;
}

}  // namespace
}  // namespace tarnwick::test
