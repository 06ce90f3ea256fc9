// The window: its start-up, its settings file, typing styles, the quit prompt and EchoLink closing.

#include <set>

#include "dtmf/dtmf_fixture.h"
#include "support/ini_text.h"

namespace tarnwick::test {
namespace {

using Calls = std::vector<std::string>;
using testing::keysOf;

const std::vector<std::string> kKeys = {
    "DISCMINS1", "DISCMINS2", "DISCMINS3", "DISCMINS4", "CHECK2", "CHECK3", "CHECK11", "CHECK20", "DTMFDELAYSECONDS",
    "USEDTMFDELAY", "TEXT555", "BEACONPERIOD", "TEXT111", "TEXT222", "TEXT333", "CHECK1", "TEXT1111", "TEXT2222",
    "DTMF1", "DTMF2", "DTMF3", "DTMF4", "DTMF5", "DTMF6", "DTMF7", "DTMF8", "CALL1", "CALL2", "CALL3", "CALL4",
    "CALL5", "CALL6", "CALL7", "CALL8", "DTMFGROUP1CONNECT", "DTMFGROUP1DISC", "DTMFGROUP2CONNECT", "DTMFGROUP2DISC",
    "GROUPCALL1", "GROUPCALL2", "GROUPCALL3", "GROUPCALL4", "GROUPCALL5", "GROUPCALL6", "SUN2", "MON2", "TUE2",
    "WED2", "THUR2", "FRI2", "SAT2", "HOUR2", "MINS2", "NETCALL1", "NETCALL2", "NETCALL3", "NETCALL4", "SUN", "MON",
    "TUE", "WED", "THUR", "FRI", "SAT", "HOUR", "MINS", "SUN3", "MON3", "TUE3", "WED3", "THUR3", "FRI3", "SAT3",
    "HOUR3", "MINS3", "SUN4", "MON4", "TUE4", "WED4", "THUR4", "FRI4", "SAT4", "HOUR4", "MINS4", "DISCONNECTALL1",
    "DISCONNECTALL2", "DISCONNECTALL3", "DISCONNECTALL4", "LEFT", "TOP", "DTMF", "USEDTMF", "SHOWBUSY1", "SHOWBUSY2",
    "SHOWBUSY3", "SHOWBUSY4", "RFBUSY"};

void collect(const std::vector<LayoutItem>& items, std::vector<const Control*>& out) {
    for (const LayoutItem& i : items) {
        if (i.control) out.push_back(i.control);
        collect(i.items, out);
    }
}

TEST_F(DtmfTest, StartsWithoutAFileAsDesigned) {
    form4.load();
    EXPECT_EQ(form4.windowCaption(), "Tarnwick    N0CALL-L   v7.2.1   DTMFctrl and Nets");
    EXPECT_EQ(calls(), (Calls{"Hello Form4", "GetCallsign", "SetPTT false"}));
    EXPECT_FALSE(form4.isVisible());
    EXPECT_EQ(form4.Check1.value(), 1);
    EXPECT_EQ(form4.BeaconPeriod.text(), "1");
    EXPECT_EQ(form4.BeaconSeconds.text(), "60");
    EXPECT_EQ(form4.UseDTMFDelay.value(), 0);
    EXPECT_EQ(form4.DTMFDelaySeconds.text(), "5");
    EXPECT_EQ(form4.Text111.text(), "73");
    EXPECT_EQ(form4.DTMF.text(), "123");
    EXPECT_EQ(form4.UseDTMF.value(), 1);
    EXPECT_EQ(form4.Hour3.text(), "24");
    EXPECT_EQ(form4.Mins4.text(), "00");
    EXPECT_EQ(form4.DiscMins2.text(), "0");
    EXPECT_EQ(form4.DiscPeriod2.text(), "0");
    EXPECT_EQ(form4.left(), 300);
    EXPECT_EQ(form4.top(), 300);
    // A first start holds no net back, lists no net busy, drops no station and ends no net by itself.
    for (CheckBox* b : {&form4.RFBusy, &form4.ShowBusy1, &form4.ShowBusy2, &form4.ShowBusy3, &form4.ShowBusy4,
                        &form4.DisconnectAll1, &form4.DisconnectAll2, &form4.DisconnectAll3, &form4.DisconnectAll4,
                        &form4.Check3, &form4.Check2, &form4.Check11, &form4.Check20})
        EXPECT_EQ(b->value(), 0) << b->name();
    for (Timer* t : {&form4.Timer3, &form4.Timer4, &form4.Timer5, &form4.Timer6}) EXPECT_FALSE(t->enabled());
    for (Timer* t : {&form4.Timer1, &form4.Timer2, &form4.DTMFDelay}) EXPECT_TRUE(t->enabled());
    EXPECT_FALSE(iniExists()) << "start-up never creates the file";
}

// Every stored control is in the window, and none twice.
TEST_F(DtmfTest, LayoutHoldsEveryStoredControlOnce) {
    std::vector<const Control*> shown;
    collect(form4.layoutItems(), shown);
    std::set<std::string> names;
    for (const Control* c : shown) EXPECT_TRUE(names.insert(upperCase(c->name())).second) << c->name();
    for (const std::string& k : kKeys) {
        if (k == "LEFT" || k == "TOP") continue;
        EXPECT_TRUE(names.count(k)) << k;
    }
    for (const char* n : {"LASTCONNECTED", "CHECK4", "SHOWTIME", "PTT3", "DTMFDELAYPERIOD", "BEACONSECONDS",
                          "DISCPERIOD4", "COMMAND15", "COMMAND16", "COMMAND1", "COMMAND2"})
        EXPECT_TRUE(names.count(n)) << n;
}

// Callsign boxes turn typing into capitals, number boxes take digits only.
TEST_F(DtmfTest, BoxesTypeCapitalsOrDigits) {
    for (TextBox* b : {&form4.Call1, &form4.Call8, &form4.GroupCall1, &form4.GroupCall6, &form4.NetCall1,
                       &form4.NetCall4}) {
        b->type("w1aw-l");
        EXPECT_EQ(b->text(), "W1AW-L") << b->name();
    }
    for (TextBox* b : {&form4.BeaconPeriod, &form4.DTMFDelaySeconds, &form4.Hour, &form4.Mins4, &form4.DiscMins1,
                       &form4.DiscMins4}) {
        b->type("1a2");
        EXPECT_EQ(b->text(), "12") << b->name();
    }
    form4.Hour2.type("123");
    EXPECT_EQ(form4.Hour2.text(), "12");
    // Code boxes take any text.
    form4.DTMF1.type("*a#");
    EXPECT_EQ(form4.DTMF1.text(), "*a#");
}

TEST_F(DtmfTest, SaveWritesEveryKeyInOrderAndReadsBackTheSame) {
    start();
    form4.Call1.setText("w1aw");
    form4.GroupCall5.setText("k1abc");
    form4.NetCall3.setText("n2xyz-r");
    form4.Text555.setText("55*");
    form4.Check1.setValue(0);
    form4.UseDTMFDelay.setValue(1);
    form4.Thur2.setValue(1);
    form4.Sat4.setValue(1);
    form4.Hour4.setText("07");
    form4.DiscMins3.setText("45");
    form4.Check11.setValue(1);
    form4.ShowBusy2.setValue(1);
    form4.RFBusy.setValue(1);
    form4.Check4.setValue(1);
    form4.LastConnected.setText("G4XYZ");
    form4.setPosition(1234, -50);
    form4.Command14.click();
    const std::string first = readIni();
    EXPECT_EQ(keysOf(first), kKeys);
    // Calls are stored in capitals; the boxes go on showing what was typed.
    EXPECT_NE(first.find("CALL1=W1AW\n"), std::string::npos);
    EXPECT_NE(first.find("GROUPCALL5=K1ABC\n"), std::string::npos);
    EXPECT_NE(first.find("NETCALL3=N2XYZ-R\n"), std::string::npos);
    EXPECT_EQ(form4.Call1.text(), "w1aw");
    EXPECT_NE(first.find("LEFT=1234\nTOP=-50\n"), std::string::npos);
    // Two saves in a row give the same file.
    form4.Command2.click();
    EXPECT_EQ(readIni(), first);

    // A new start reads back every stored control.
    Form4 again{ctx};
    again.load();
    EXPECT_EQ(again.Call1.text(), "W1AW");
    EXPECT_EQ(again.Check1.value(), 0);
    EXPECT_EQ(again.Check4.value(), 0) << "not stored";
    EXPECT_EQ(again.LastConnected.text(), "") << "not stored";
    EXPECT_EQ(again.DiscPeriod3.text(), "2700");
    EXPECT_FALSE(again.Timer5.enabled());
    EXPECT_EQ(again.left(), 1234);
    again.SaveData();
    EXPECT_EQ(readIni(), first);
}

// What a hand-edited file may hold.
struct StoredCase {
    const char* name;
    std::string ini;
    std::function<void(const Form4&)> check;
};

void PrintTo(const StoredCase& c, std::ostream* os) { *os << c.name; }

class StoredValues : public DtmfTest, public ::testing::WithParamInterface<StoredCase> {};

TEST_P(StoredValues, LoadAsAnOperatorExpects) {
    writeIni(GetParam().ini);
    start();
    GetParam().check(form4);
}

INSTANTIATE_TEST_SUITE_P(
    Dtmf, StoredValues,
    ::testing::Values(
        StoredCase{"CheckBoxOtherValues", "CHECK1=2\nUSEDTMF=abc\nRFBUSY=-1\nMON=7\n",
                   [](const Form4& f) {
                       EXPECT_EQ(f.Check1.value(), 1);
                       EXPECT_EQ(f.UseDTMF.value(), 0);
                       EXPECT_EQ(f.RFBusy.value(), 0);
                       EXPECT_EQ(f.Mon.value(), 1);
                   }},
        StoredCase{"PositionThatIsNoNumber", "LEFT=abc\nTOP=99999\n",
                   [](const Form4& f) {
                       EXPECT_EQ(f.left(), 300);
                       EXPECT_EQ(f.top(), 99999);
                   }},
        StoredCase{"KeysInAnotherCase", "text111=99\nNetCall2=w1aw\n",
                   [](const Form4& f) {
                       EXPECT_EQ(f.Text111.text(), "99");
                       EXPECT_EQ(f.NetCall2.text(), "w1aw");
                   }},
        StoredCase{"EmptyValuesStayEmpty", "TEXT111=\nHOUR=\nDISCMINS1=\n",
                   [](const Form4& f) {
                       EXPECT_EQ(f.Text111.text(), "");
                       EXPECT_EQ(f.Hour.text(), "");
                       EXPECT_EQ(f.DiscMins1.text(), "0");
                   }},
        StoredCase{"LongValueCut", "DTMF1=" + std::string(300, '1') + "\n",
                   [](const Form4& f) { EXPECT_EQ(f.DTMF1.text(), std::string(255, '1')); }},
        StoredCase{"NumbersThatAreNoNumbers", "BEACONPERIOD=x\nDTMFDELAYSECONDS=y\nDISCMINS2=99999999999999999999\n",
                   [](const Form4& f) {
                       EXPECT_EQ(f.BeaconSeconds.text(), "0");
                       EXPECT_EQ(f.DTMFDelayPeriod.text(), "y");
                       EXPECT_FALSE(f.DTMFDelay.enabled());
                       EXPECT_EQ(f.DiscPeriod2.text(), std::to_string(std::numeric_limits<long long>::max() / 60 * 60));
                   }}));

TEST_F(DtmfTest, QuitPromptEndsWithoutSavingAndLeavesNothingKeyed) {
    start();
    rt.answers = {MsgAnswer::No};
    ASSERT_TRUE(form4.onCloseRequest);
    EXPECT_FALSE(form4.onCloseRequest());
    ASSERT_EQ(rt.boxes.size(), 1u);
    EXPECT_EQ(rt.boxes[0].title, "Exit Program");
    EXPECT_EQ(rt.boxes[0].text, "Quit Larkvale - Are You Sure ? Remember To Save Any Changes  ");
    EXPECT_EQ(rt.boxes[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(rt.boxes[0].icon, MsgIcon::Question);
    EXPECT_FALSE(rt.processEnded());
    EXPECT_EQ(calls(), Calls{});

    rt.answers = {MsgAnswer::Yes};
    EXPECT_TRUE(form4.onCloseRequest());
    EXPECT_TRUE(rt.processEnded());
    EXPECT_EQ(calls(), (Calls{"SetPTT false", "SetBusy false"}));
    EXPECT_FALSE(iniExists());
}

TEST_F(DtmfTest, EchoLinkClosingSavesNothingAndCallsNothing) {
    start();
    form4.Text111.setText("99");
    raise("closing");
    EXPECT_TRUE(rt.processEnded());
    EXPECT_EQ(calls(), Calls{});
    EXPECT_FALSE(iniExists());
}

// Hiding stops nothing: codes and nets still act.
TEST_F(DtmfTest, HiddenWindowKeepsWorking) {
    writeIni("MON=1\nHOUR=10\nMINS=01\nNETCALL1=W1AW\n");
    start();
    form4.show();
    form4.Command16.click();
    EXPECT_FALSE(form4.isVisible());
    dtmf("73");
    runTo(10, 1, 16);
    EXPECT_EQ(calls(false), (Calls{"DisconnectAllStations", "ConnectTo W1AW true"}));
}

}  // namespace
}  // namespace tarnwick::test
