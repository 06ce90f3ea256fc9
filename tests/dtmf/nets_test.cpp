// The weekly nets: when they start, what a start and an end call, their countdowns, and the "Stay
// Con" switches held off while a net runs.

#include <algorithm>

#include "dtmf/dtmf_fixture.h"

namespace tarnwick::test {
namespace {

using Calls = std::vector<std::string>;

std::vector<int> switches(const FakeSpeech& sp, const FakeConference& conf) {
    return {sp.StayCon1.value(), sp.StayCon2.value(), conf.StayCon1.value()};
}

// Monday 14 December to Monday 21 December: only net 1 (Mondays at 20:00) starts, once. Net 2's
// one-digit hour, net 3's hour "24" and net 4's empty callsign never match, though every day is ticked.
TEST_F(DtmfTest, AWeekOfNets) {
    std::string ini = "MON=1\nHOUR=20\nMINS=00\nNETCALL1=w1aw-r\nDISCMINS1=1\nCHECK3=1\nSHOWBUSY1=1\nDISCONNECTALL1=1\n"
                      "HOUR2=7\nMINS2=30\nNETCALL2=K1ABC\nHOUR3=24\nNETCALL3=N2XYZ\nHOUR4=21\nMINS4=00\n";
    for (const char* d : {"SUN", "MON", "TUE", "WED", "THUR", "FRI", "SAT"})
        ini += std::string(d) + "2=1\n" + d + "3=1\n" + d + "4=1\n";
    writeIni(ini);
    start();
    speech.StayCon1.setValue(1);
    conference.StayCon1.setValue(1);
    runTo(20, 0, 15);
    EXPECT_EQ(timedCalls(), Calls{});
    EXPECT_EQ(switches(speech, conference), (std::vector<int>{1, 0, 1}));
    rt.advance(10);
    EXPECT_EQ(timedCalls(),
              (Calls{"14T20:00:15 SetBusy true", "14T20:00:15 DisconnectAllStations", "14T20:00:15 ConnectTo W1AW-R true"}));
    EXPECT_EQ(switches(speech, conference), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(form4.DiscPeriod1.text(), "60");
    EXPECT_EQ(form4.ShowTime.text(), "20:00:15");
    forget();
    runTo(20, 1, 16);
    EXPECT_EQ(timedCalls(), (Calls{"14T20:01:15 SetBusy false", "14T20:01:15 DisconnectFrom W1AW-R"}));
    EXPECT_EQ(switches(speech, conference), (std::vector<int>{1, 0, 1}));
    EXPECT_FALSE(form4.Timer3.enabled());
    forget();
    runTo(20, 0, 14, 2);  // on to next Monday, one second before the start
    EXPECT_EQ(timedCalls(), Calls{});
    runTo(20, 0, 16);
    EXPECT_EQ(timedCalls().size(), 3u);
}

// Nets due in the same second start in the order 4, 3, 2, 1, each start whole before the next.
TEST_F(DtmfTest, NetsOfTheSameSecondStartFromTheLast) {
    std::string ini = "DISCONNECTALL2=1\nSHOWBUSY3=1\n";
    for (const char* n : {"", "2", "3", "4"}) ini += std::string("MON") + n + "=1\nHOUR" + n + "=20\nMINS" + n + "=00\n";
    ini += "NETCALL1=N1\nNETCALL2=N2\nNETCALL3=local\nNETCALL4=N4\n";
    writeIni(ini);
    start();
    runTo(20, 0, 16);
    EXPECT_EQ(timedCalls(),
              (Calls{"14T20:00:15 ConnectTo N4 true", "14T20:00:15 SetBusy true", "14T20:00:15 ConnectTo LOCAL true",
                     "14T20:00:15 DisconnectAllStations", "14T20:00:15 ConnectTo N2 true",
                     "14T20:00:15 ConnectTo N1 true"}));
    for (Timer* t : {&form4.Timer3, &form4.Timer4, &form4.Timer5, &form4.Timer6}) EXPECT_TRUE(t->enabled());
}

// A start second that a held thread let pass is made at the next tick, once.
TEST_F(DtmfTest, StartSecondSkippedByAHeldThreadIsCaught) {
    writeIni("MON=1\nHOUR=20\nMINS=00\nNETCALL1=W1AW\n");
    start();
    runTo(20, 0, 14);
    rt.blockingDelay(3000);
    rt.advance(1000);
    EXPECT_EQ(form4.ShowTime.text(), "20:00:17");
    EXPECT_EQ(timedCalls(), Calls{"14T20:00:17 ConnectTo W1AW true"});
    runTo(20, 5, 0);
    EXPECT_EQ(timedCalls().size(), 1u);
}

// A clock set back over the start second does not start the net again that day.
TEST_F(DtmfTest, ClockSetBackStartsNoSecondNet) {
    writeIni("MON=1\nHOUR=20\nMINS=00\nNETCALL1=W1AW\n");
    start();
    runTo(20, 0, 16);
    rt.setLocalTime(2026, 12, 14, 20, 0, 10, 500);
    runTo(20, 0, 20);
    EXPECT_EQ(timedCalls(), Calls{"14T20:00:15 ConnectTo W1AW true"});
}

// The local-RF hold: while the speech tool shows "Receiving Signal" and the hold is ticked, no net
// starts, and a start second met under the hold is spent.
struct GateCase {
    const char* name;
    int rfBusy;
    bool receiving;
    bool starts;
};

void PrintTo(const GateCase& c, std::ostream* os) { *os << c.name; }

class RfGate : public DtmfTest, public ::testing::WithParamInterface<GateCase> {};

TEST_P(RfGate, HoldsNetStarts) {
    const GateCase& c = GetParam();
    writeIni("MON=1\nHOUR=20\nMINS=00\nNETCALL1=W1AW\nRFBUSY=" + std::to_string(c.rfBusy) + "\n");
    start();
    runTo(20, 0, 10);
    if (c.receiving) speech.PTT2.setText("Receiving Signal");
    runTo(20, 0, 20);
    EXPECT_EQ(form4.ShowTime.text(), "20:00:19");
    speech.PTT2.setText("      ");
    runTo(20, 2, 0);
    EXPECT_EQ(timedCalls().size(), c.starts ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Dtmf, RfGate,
                         ::testing::Values(GateCase{"HeldWhileReceiving", 1, true, false},
                                           GateCase{"HoldOffIgnoresTheReceiver", 0, true, true},
                                           GateCase{"HoldOnWithoutReceive", 1, false, true}));

// Overlapping nets: the operator's switches are saved by the first start and put back by the last end.
TEST_F(DtmfTest, OverlappingNetsRestoreTheSwitchesWhenTheLastEnds) {
    writeIni("MON=1\nHOUR=20\nMINS=00\nNETCALL1=N1\nDISCMINS1=2\nCHECK3=1\n"
             "MON2=1\nHOUR2=20\nMINS2=01\nNETCALL2=N2\nDISCMINS2=2\nCHECK2=1\n");
    start();
    speech.StayCon1.setValue(1);
    conference.StayCon1.setValue(1);
    runTo(20, 1, 16);
    EXPECT_EQ(switches(speech, conference), (std::vector<int>{0, 0, 0}));
    runTo(20, 2, 16);
    EXPECT_FALSE(form4.Timer3.enabled());
    EXPECT_EQ(switches(speech, conference), (std::vector<int>{0, 0, 0})) << "net 2 still runs";
    // A switch the operator changes during the net is overwritten at its end.
    speech.StayCon2.setValue(1);
    runTo(20, 3, 17);
    EXPECT_FALSE(form4.Timer4.enabled());
    EXPECT_EQ(switches(speech, conference), (std::vector<int>{1, 0, 1}));
}

TEST_F(DtmfTest, NetsOfTheSameSecondRestoreTheSwitches) {
    writeIni("MON=1\nHOUR=20\nMINS=00\nNETCALL1=N1\nDISCMINS1=1\nCHECK3=1\n"
             "MON4=1\nHOUR4=20\nMINS4=00\nNETCALL4=N4\nDISCMINS4=1\nCHECK20=1\n");
    start();
    speech.StayCon2.setValue(1);
    runTo(20, 0, 16);
    EXPECT_EQ(switches(speech, conference), (std::vector<int>{0, 0, 0}));
    runTo(20, 1, 17);
    EXPECT_EQ(switches(speech, conference), (std::vector<int>{0, 1, 0}));
}

// A net whose "Use" box is clear never ends and its countdown timer stays on; it is no running net to a
// later one, which saves the switches the operator has ticked again and puts them back at its end.
TEST_F(DtmfTest, ANetThatFollowsANetWithUseClearPutsBackTheSwitchesTickedSince) {
    writeIni("MON2=1\nHOUR2=20\nMINS2=00\nNETCALL2=N2\nDISCMINS2=1\n"
             "MON=1\nHOUR=20\nMINS=05\nNETCALL1=N1\nDISCMINS1=1\nCHECK3=1\n");
    start();
    speech.StayCon1.setValue(1);
    conference.StayCon1.setValue(1);
    runTo(20, 0, 16);
    EXPECT_EQ(switches(speech, conference), (std::vector<int>{0, 0, 0}));
    speech.StayCon1.setValue(1);
    speech.StayCon2.setValue(1);
    runTo(20, 5, 16);
    EXPECT_EQ(switches(speech, conference), (std::vector<int>{0, 0, 0}));
    runTo(20, 6, 17);
    EXPECT_FALSE(form4.Timer3.enabled());
    EXPECT_TRUE(form4.Timer4.enabled()) << "the first net stands";
    EXPECT_EQ(switches(speech, conference), (std::vector<int>{1, 1, 0}));
}

// A net started again while its own countdown still runs is no other net to itself: the new start
// saves the switches as they stand then, and its end puts those back.
TEST_F(DtmfTest, ANetStartedAgainWhileItRunsSavesTheSwitchesAnew) {
    writeIni("MON=1\nTUE=1\nHOUR=20\nMINS=00\nNETCALL1=N1\nDISCMINS1=1500\nCHECK3=1\n");
    start();
    speech.StayCon1.setValue(1);
    runTo(20, 0, 16);
    speech.StayCon2.setValue(1);  // the operator, during the long net
    runTo(20, 0, 16, 3);
    EXPECT_EQ(switches(speech, conference), (std::vector<int>{0, 0, 0}));
    runTo(21, 0, 17, 4);
    EXPECT_FALSE(form4.Timer3.enabled());
    EXPECT_EQ(switches(speech, conference), (std::vector<int>{0, 1, 0}));
}

// The countdowns of nets 1 and 4 apply the zero rule before they count, those of nets 2 and 3 after:
// a length of "0" ends nets 1 and 4 at the 60th tick and nets 2 and 3 at the 61st.
struct NetCase {
    int net;
    TextBox Form4::*discMins;
    Label Form4::*discPeriod;
    Timer Form4::*timer;
    int endTick;
    std::string label;  // after the first tick
};

void PrintTo(const NetCase& c, std::ostream* os) { *os << "Net" << c.net; }

class Countdown : public DtmfTest, public ::testing::WithParamInterface<NetCase> {
protected:
    // The keys of net n: weekday and time keys carry no suffix for net 1.
    static std::string netIni(int n, const std::string& length, int use) {
        const std::string s = n == 1 ? "" : std::to_string(n);
        const char* useKey[] = {"CHECK3", "CHECK2", "CHECK11", "CHECK20"};
        return "MON" + s + "=1\nHOUR" + s + "=20\nMINS" + s + "=00\nNETCALL" + std::to_string(n) + "=W1AW\nDISCMINS" +
               std::to_string(n) + "=" + length + "\n" + useKey[n - 1] + "=" + std::to_string(use) + "\n";
    }
};

TEST_P(Countdown, ZeroLengthEndsAfterOneMinute) {
    const NetCase& c = GetParam();
    int week = 0;
    for (const char* length : {"0", "00"}) {
        SCOPED_TRACE(length);
        writeIni(netIni(c.net, length, 1));
        form4.unload();
        rt.setLocalTime(2026, 12, 14 + 7 * week++, 20, 0, 10, 500);
        form4.load();
        runTo(20, 0, 15);
        rt.advance(10);
        Timer& timer = form4.*c.timer;
        ASSERT_TRUE(timer.enabled());
        EXPECT_EQ((form4.*c.discPeriod).text(), "0");
        forget();
        seconds(1);
        EXPECT_EQ((form4.*c.discMins).text(), "1");
        EXPECT_EQ((form4.*c.discPeriod).text(), c.label);
        int ticks = 1;
        while (timer.enabled() && ticks < 100) {
            seconds(1);
            ++ticks;
        }
        EXPECT_EQ(ticks, c.endTick);
        EXPECT_EQ((form4.*c.discPeriod).text(), "60");
        EXPECT_EQ(timedCalls().size(), 1u) << "the net's call is dropped";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Dtmf, Countdown,
    ::testing::Values(NetCase{1, &Form4::DiscMins1, &Form4::DiscPeriod1, &Form4::Timer3, 60, "59"},
                      NetCase{2, &Form4::DiscMins2, &Form4::DiscPeriod2, &Form4::Timer4, 61, "60"},
                      NetCase{3, &Form4::DiscMins3, &Form4::DiscPeriod3, &Form4::Timer5, 61, "60"},
                      NetCase{4, &Form4::DiscMins4, &Form4::DiscPeriod4, &Form4::Timer6, 60, "59"}));

// Without its "Use" box the countdown stands: the station stays, the switches stay cleared.
TEST_F(DtmfTest, CountdownNotInUseNeverEndsTheNet) {
    writeIni("MON=1\nHOUR=20\nMINS=00\nNETCALL1=W1AW\nDISCMINS1=0\nSHOWBUSY1=1\n");
    start();
    speech.StayCon1.setValue(1);
    runTo(20, 0, 16);
    forget();
    runTo(22, 0, 0);
    EXPECT_EQ(form4.DiscMins1.text(), "1");
    EXPECT_EQ(form4.DiscPeriod1.text(), "60");
    EXPECT_TRUE(form4.Timer3.enabled());
    EXPECT_EQ(timedCalls(), Calls{});
    EXPECT_EQ(speech.StayCon1.value(), 0);
    // Ticking "Use" later counts down from where it stands.
    form4.Check3.setValue(1);
    seconds(60);
    EXPECT_FALSE(form4.Timer3.enabled());
    EXPECT_EQ(speech.StayCon1.value(), 1);
}

// Emptying or zeroing the length box during a net stops its countdown without ending the net; a new
// length restarts the count in full.
TEST_F(DtmfTest, LengthEditsDuringANet) {
    writeIni("MON=1\nHOUR=20\nMINS=00\nNETCALL1=W1AW\nDISCMINS1=5\nCHECK3=1\nSHOWBUSY1=1\n");
    start();
    runTo(20, 1, 0);
    EXPECT_EQ(form4.DiscPeriod1.text(), "256");
    form4.DiscMins1.type("2");
    EXPECT_EQ(form4.DiscPeriod1.text(), "120");
    for (const char* typed : {"", "0"}) {
        form4.DiscMins1.type(typed);
        EXPECT_EQ(form4.DiscMins1.text(), "0");
        EXPECT_EQ(form4.DiscPeriod1.text(), "0");
        EXPECT_FALSE(form4.Timer3.enabled());
    }
    forget();
    runTo(21, 0, 0);
    EXPECT_EQ(timedCalls(), Calls{});
}

// The length box emptied while a countdown tick yields: the net stops there and is not ended.
TEST_F(DtmfTest, LengthEmptiedInsideACountdownTicksYieldStopsTheNetWithoutEndingIt) {
    writeIni("MON=1\nHOUR=20\nMINS=00\nNETCALL1=W1AW\nDISCMINS1=1\nCHECK3=1\nSHOWBUSY1=1\n");
    start();
    speech.StayCon1.setValue(1);
    runTo(20, 0, 20);
    forget();
    bool once = true;
    auto tick = form4.Timer3.onTick;
    form4.Timer3.onTick = [&, tick] {
        if (once) rt.post([&] { form4.DiscMins1.type(""); });  // runs inside the tick's yield
        once = false;
        tick();
    };
    seconds(1);
    EXPECT_FALSE(form4.Timer3.enabled());
    EXPECT_EQ(form4.DiscMins1.text(), "0");
    EXPECT_EQ(form4.DiscPeriod1.text(), "0");
    runTo(21, 0, 0);
    EXPECT_EQ(timedCalls(), Calls{}) << "no busy release, no disconnect";
    EXPECT_EQ(speech.StayCon1.value(), 0) << "nothing put back";
}

// A start time changed on the day of a net starts the net again at the new time.
TEST_F(DtmfTest, AStartTimeChangedTheSameDayStartsTheNetAgain) {
    writeIni("MON=1\nHOUR=20\nMINS=00\nNETCALL1=W1AW\nDISCMINS1=1\nCHECK3=1\n");
    start();
    runTo(20, 2, 0);
    form4.Mins.type("05");
    forget();
    runTo(20, 6, 0);
    EXPECT_EQ(timedCalls(), (Calls{"14T20:05:15 ConnectTo W1AW true"}));
}

// Failing host calls at a net's start and end are passed over: the countdown still runs, and a call
// that cannot be asked about is dropped, without its blanks.
TEST_F(DtmfTest, NetPassesOverFailingHostCalls) {
    writeIni("MON=1\nHOUR=20\nMINS=00\nNETCALL1= w1aw \nDISCMINS1=1\nCHECK3=1\nSHOWBUSY1=1\n");
    start();
    host.set("fail", "SetBusy");
    runTo(20, 0, 16);
    EXPECT_TRUE(form4.Timer3.enabled());
    EXPECT_EQ(timedCalls(), (Calls{"14T20:00:15 SetBusy true !", "14T20:00:15 ConnectTo  W1AW  true"}));
    host.set("fail", "IsConnectedTo");
    forget();
    runTo(20, 1, 16);
    EXPECT_EQ(timedCalls(), (Calls{"14T20:01:15 SetBusy false", "14T20:01:15 DisconnectFrom W1AW"}));
    // The question is asked with the callsign as stored, blanks included.
    const Calls all = calls();
    EXPECT_NE(std::find(all.begin(), all.end(), "IsConnectedTo  W1AW  !"), all.end()) << ::testing::PrintToString(all);
}

}  // namespace
}  // namespace tarnwick::test
