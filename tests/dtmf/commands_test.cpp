// The DTMF codes: which strings act, in which order, and with which host calls.

#include "dtmf/dtmf_fixture.h"

namespace tarnwick::test {
namespace {

using Calls = std::vector<std::string>;

struct CodeCase {
    const char* name;
    std::string ini;
    std::vector<std::string> connected;  // stations on the node before the string
    std::string digits;
    Calls expected;  // the window's host calls
    int check1 = 1, useDelay = 0;
};

void PrintTo(const CodeCase& c, std::ostream* os) { *os << c.name; }

class Codes : public DtmfTest, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(Codes, ActAsConfigured) {
    const CodeCase& c = GetParam();
    writeIni(c.ini);
    start();
    connect(c.connected);
    dtmf(c.digits);
    EXPECT_EQ(calls(), c.expected);
    EXPECT_EQ(form4.Check1.value(), c.check1);
    EXPECT_EQ(form4.UseDTMFDelay.value(), c.useDelay);
}

const char* kSingles =
    "DTMF1=11\nCALL1=w1aw\nDTMF2=22\nCALL2=K1ABC\nDTMF3=22\nCALL3=N2XYZ\nDTMF4=44\nDTMF5=55\nCALL5=g4abc\n";
const char* kGroups =
    "GROUPCALL1=W1AW\nGROUPCALL3=K1ABC\nDTMFGROUP1CONNECT=81\nDTMFGROUP1DISC=80\n"
    "GROUPCALL5=n2xyz\nDTMFGROUP2CONNECT=91\nDTMFGROUP2DISC=90\n";
// The acceptance delay in use with its count at 5: station codes are held back.
const char* kDelayRunning = "USEDTMFDELAY=1\nDTMFDELAYSECONDS=5\n";

INSTANTIATE_TEST_SUITE_P(
    Dtmf, Codes,
    ::testing::Values(
        CodeCase{"DefaultDisconnectAll", "", {"W1AW"}, "73", {"DisconnectAllStations"}},
        CodeCase{"DefaultOtherStringsDoNothing", "", {"W1AW"}, "123", {}},
        CodeCase{"CaseMatters", "TEXT111=a\n", {}, "A", {}},
        CodeCase{"NoPrefixMatch", "", {}, "7", {}},
        CodeCase{"EmptyCodeMatchesNothing", "TEXT111=\n", {}, "", {}},
        CodeCase{"DisconnectAllOnlyWhileEnabled", "CHECK1=0\n", {}, "73", {}, 0},
        CodeCase{"DisconnectLastOnlyWhileEnabled", "CHECK1=0\nTEXT555=55\n", {}, "55", {}, 0},
        CodeCase{"SinglesActWhileDisabled", std::string("CHECK1=0\n") + kSingles, {}, "11",
                 {"IsConnectedTo w1aw", "ConnectTo W1AW true"}, 0},
        CodeCase{"SingleAskedAsWrittenDroppedInCapitals", kSingles, {"W1AW"}, "11",
                 {"IsConnectedTo w1aw", "DisconnectFrom W1AW"}},
        CodeCase{"SameCodeTogglesBothStations", kSingles, {"K1ABC"}, "22",
                 {"IsConnectedTo K1ABC", "DisconnectFrom K1ABC", "IsConnectedTo N2XYZ", "ConnectTo N2XYZ true"}},
        CodeCase{"SingleWithEmptyCallCallsNothing", kSingles, {}, "44", {}},
        CodeCase{"EverySingleCodeSendsCapitals", kSingles, {}, "55", {"IsConnectedTo g4abc", "ConnectTo G4ABC true"}},
        CodeCase{"GroupConnectSkipsConnectedAndEmpty", kGroups, {"W1AW"}, "81",
                 {"IsConnectedTo W1AW", "IsConnectedTo K1ABC", "ConnectTo K1ABC true"}},
        CodeCase{"GroupDisconnectDropsConnectedOnly", kGroups, {"W1AW"}, "80",
                 {"IsConnectedTo W1AW", "DisconnectFrom W1AW", "IsConnectedTo K1ABC"}},
        CodeCase{"SecondGroupInCapitals", kGroups, {}, "91", {"IsConnectedTo n2xyz", "ConnectTo N2XYZ true"}},
        CodeCase{"SecondGroupDisconnect", kGroups, {"N2XYZ"}, "90", {"IsConnectedTo n2xyz", "DisconnectFrom N2XYZ"}},
        CodeCase{"GroupDisconnectRunsBeforeConnect",
                 "GROUPCALL1=W1AW\nGROUPCALL3=K1ABC\nDTMFGROUP1CONNECT=8\nDTMFGROUP1DISC=8\n", {"W1AW"}, "8",
                 {"IsConnectedTo W1AW", "DisconnectFrom W1AW", "IsConnectedTo K1ABC", "IsConnectedTo W1AW",
                  "ConnectTo W1AW true", "IsConnectedTo K1ABC", "ConnectTo K1ABC true"}},
        CodeCase{"GroupOfEmptyCallsCallsNothing", "DTMFGROUP2CONNECT=91\n", {}, "91", {}},
        CodeCase{"EnableActsWhileDelayCounts", std::string(kDelayRunning) + "CHECK1=0\nTEXT222=1\n", {},
                 "1", {}, 1, 1},
        CodeCase{"EnableAndDisableSameCodeLeavesDisabled", "TEXT222=5\nTEXT333=5\n", {}, "5", {}, 0},
        CodeCase{"DisableCodeThenDisconnectAllHeldBack", "TEXT333=73\n", {"W1AW"}, "73", {}, 0},
        CodeCase{"DelayCountHoldsStationCodes", std::string(kDelayRunning) + kSingles, {}, "11", {}, 1,
                 1},
        CodeCase{"DelayDisableCodeOpensTheSameString", std::string(kDelayRunning) + "TEXT2222=73\n", {},
                 "73", {"DisconnectAllStations"}, 1, 0},
        CodeCase{"DelayEnableCodeClosesTheSameString", "TEXT1111=73\n", {}, "73", {}, 1, 1}));

// The disconnect-last code aims at the latest station that connected, as the host reported it.
TEST_F(DtmfTest, LastConnectedIsDroppedByItsCode) {
    writeIni("TEXT555=55\n");
    start();
    dtmf("55");
    // Nobody has connected yet: the empty call is asked about and nothing is dropped.
    EXPECT_EQ(calls(), (Calls{"IsConnectedTo "}));
    raise("connected", {"W1AW", "Ann"});
    raise("connected", {"k1abc", "Bob"});
    EXPECT_EQ(form4.LastConnected.text(), "k1abc");
    forget();
    dtmf("55");
    EXPECT_EQ(calls(), (Calls{"IsConnectedTo k1abc", "DisconnectFrom k1abc"}));
    // A callsign from the network is cleaned of control characters, and kept whole: a long one is the
    // station to drop, not the first 16 characters of it.
    host.raiseEvent({"connected", {std::string("BAD\x07") + "CALL-WITH-A-VERY-LONG-TAIL", std::string("Eve"),
                                   std::string()}});
    rt.runPending();
    EXPECT_EQ(form4.LastConnected.text(), "BAD CALL-WITH-A-VERY-LONG-TAIL");
    raise("connected", {"Q0VERYLONGCALLSIGN-L", "Eve"});
    forget();
    dtmf("55");
    EXPECT_EQ(calls(), (Calls{"IsConnectedTo Q0VERYLONGCALLSIGN-L", "DisconnectFrom Q0VERYLONGCALLSIGN-L"}));
    // What a settings value could hold, and no more.
    raise("connected", {std::string(300, 'Q'), "Eve"});
    EXPECT_EQ(form4.LastConnected.text(), std::string(255, 'Q'));
}

// A host that cannot say whether a station is connected counts it as connected; a failing connect
// is passed over and the run goes on.
TEST_F(DtmfTest, FailingHostCallsArePassedOver) {
    writeIni(std::string(kSingles) + kGroups);
    start();
    host.set("fail", "IsConnectedTo");
    dtmf("11");
    EXPECT_EQ(calls(), (Calls{"IsConnectedTo w1aw !", "DisconnectFrom W1AW"}));
    forget();
    // A group connect leaves a box it cannot ask about unconnected.
    dtmf("81");
    EXPECT_EQ(calls(false), Calls{});
    host.set("fail", "ConnectTo");
    forget();
    dtmf("91");
    dtmf("81");
    EXPECT_EQ(calls(false), (Calls{"ConnectTo N2XYZ true !", "ConnectTo W1AW true !", "ConnectTo K1ABC true !"}));
}

// The buttons act whatever the switches, the lock-out and the delay say; three of the single-call
// buttons send the call in capitals, the other five as typed.
TEST_F(DtmfTest, ButtonsToggleSinglesAndTestGroups) {
    writeIni(std::string(kDelayRunning) + "CHECK1=0\n" + kGroups);
    start();
    std::vector<std::pair<CommandButton*, TextBox*>> rows = {
        {&form4.Command7, &form4.Call1},  {&form4.Command8, &form4.Call2},  {&form4.Command9, &form4.Call3},
        {&form4.Command10, &form4.Call4}, {&form4.Command11, &form4.Call5}, {&form4.Command12, &form4.Call6},
        {&form4.Command13, &form4.Call7}, {&form4.Command15, &form4.Call8}};
    Calls expected;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string call = "ab" + std::to_string(i + 1);
        const std::string sent = i < 3 ? upperCase(call) : call;
        rows[i].second->setText(call);
        rows[i].first->click();
        rows[i].first->click();
        expected.insert(expected.end(), {"IsConnectedTo " + call, "ConnectTo " + sent + " true",
                                         "IsConnectedTo " + call, "DisconnectFrom " + sent});
    }
    // A call of blanks is no empty call; an empty box calls nothing.
    form4.Call1.setText("  ");
    form4.Command7.click();
    form4.Call2.setText("");
    form4.Command8.click();
    expected.insert(expected.end(), {"IsConnectedTo   ", "ConnectTo    true"});
    EXPECT_EQ(calls(), expected);

    connect({"W1AW"});
    form4.Command3.click();
    form4.Command4.click();
    form4.Command5.click();
    form4.Command6.click();
    EXPECT_EQ(calls(false), (Calls{"ConnectTo K1ABC true", "DisconnectFrom W1AW", "DisconnectFrom K1ABC",
                                   "ConnectTo N2XYZ true", "DisconnectFrom N2XYZ"}));
}

}  // namespace
}  // namespace tarnwick::test
