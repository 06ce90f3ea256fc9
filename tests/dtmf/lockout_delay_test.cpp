// The lock-out that switches DTMF use back on, and the acceptance delay of a received over.

#include "dtmf/dtmf_fixture.h"

namespace tarnwick::test {
namespace {

using Calls = std::vector<std::string>;

TEST_F(DtmfTest, LockOutCountsDownWhileDisabledAndFreezesWhileEnabled) {
    writeIni("TEXT222=1\nTEXT333=0\n");
    start();
    EXPECT_EQ(form4.BeaconSeconds.text(), "60");
    dtmf("0");
    ASSERT_EQ(form4.Check1.value(), 0);
    seconds(1);
    EXPECT_EQ(form4.BeaconSeconds.text(), "59");
    seconds(19);
    EXPECT_EQ(form4.BeaconSeconds.text(), "40");
    // Enabling freezes the count where it stands; disabling again goes on from there.
    dtmf("1");
    seconds(30);
    EXPECT_EQ(form4.BeaconSeconds.text(), "40");
    dtmf("0");
    seconds(39);
    EXPECT_EQ(form4.Check1.value(), 0);
    EXPECT_EQ(form4.BeaconSeconds.text(), "1");
    seconds(1);
    EXPECT_EQ(form4.Check1.value(), 1);
    EXPECT_EQ(form4.BeaconSeconds.text(), "60");
    // The operator's click starts the same countdown.
    form4.Check1.click();
    seconds(60);
    EXPECT_EQ(form4.Check1.value(), 1);
}

// However the minutes box is emptied or zeroed, a cleared switch comes back.
struct PeriodCase {
    const char* name;
    std::string typed;
    std::string box, count;  // right after the edit
    int backAfter;           // seconds until the switch is ticked again
};

void PrintTo(const PeriodCase& c, std::ostream* os) { *os << c.name; }

class LockOutPeriod : public DtmfTest, public ::testing::WithParamInterface<PeriodCase> {};

TEST_P(LockOutPeriod, ClearedSwitchComesBack) {
    const PeriodCase& c = GetParam();
    start();
    form4.BeaconPeriod.type(c.typed);
    EXPECT_EQ(form4.BeaconPeriod.text(), c.box);
    EXPECT_EQ(form4.BeaconSeconds.text(), c.count);
    form4.Check1.setValue(0);
    seconds(c.backAfter - 1);
    EXPECT_EQ(form4.Check1.value(), 0);
    seconds(1);
    EXPECT_EQ(form4.Check1.value(), 1);
}

INSTANTIATE_TEST_SUITE_P(Dtmf, LockOutPeriod,
                         ::testing::Values(PeriodCase{"Emptied", "", "0", "0", 60},
                                           PeriodCase{"Zero", "0", "0", "0", 60},
                                           PeriodCase{"DoubleZero", "00", "00", "0", 60},
                                           PeriodCase{"TwoMinutes", "2", "2", "120", 120},
                                           PeriodCase{"LettersDropped", "3x", "3", "180", 180}));

// A settings file that holds the box's design text still sets the count from it.
TEST_F(DtmfTest, StoredPeriodEqualToTheDesignTextSetsTheCount) {
    writeIni("BEACONPERIOD=5\nDISCMINS1=1\nDTMFDELAYSECONDS=5\n");
    start();
    EXPECT_EQ(form4.BeaconSeconds.text(), "300");
    EXPECT_EQ(form4.DiscPeriod1.text(), "60");
    EXPECT_EQ(form4.DTMFDelayPeriod.text(), "5");
}

// A received over with a 5-second delay: the speech tool's clock holds the count at 5 between overs.
class Delay : public DtmfTest {
protected:
    void SetUp() override {
        writeIni("USEDTMFDELAY=1\nDTMFDELAYSECONDS=5\n");
        start();
        connect({"W1AW"});
        seconds(3);
    }
    bool acted() {
        forget();
        dtmf("73");
        return calls() == Calls{"DisconnectAllStations"};
    }
};

TEST_F(Delay, StringsInTheFirstSecondsOfAnOverAreIgnored) {
    EXPECT_FALSE(acted()) << "between overs the count stands at 5";
    EXPECT_EQ(form4.DTMFDelayPeriod.text(), "5");
    raise("rx", {"1"});
    seconds(3);
    EXPECT_EQ(form4.PTT3.text(), "Receiving Signal");
    EXPECT_FALSE(acted());
    // One second early is still too early.
    seconds(1);
    EXPECT_EQ(form4.DTMFDelayPeriod.text(), "1");
    EXPECT_FALSE(acted());
    seconds(1);
    EXPECT_EQ(form4.DTMFDelayPeriod.text(), "0");
    EXPECT_FALSE(form4.DTMFDelay.enabled());
    EXPECT_TRUE(acted());
    // Still open just after the over, until a tick without receive reloads the count.
    raise("rx", {"0"});
    EXPECT_TRUE(acted());
    seconds(3);
    EXPECT_EQ(form4.PTT3.text(), "      ");
    EXPECT_EQ(form4.DTMFDelayPeriod.text(), "5");
    EXPECT_FALSE(acted());
}

// An over that begins before the count was reloaded gets no fresh delay, and is not shut out either:
// whether the timer is still stopped or has been restarted but not yet ticked.
TEST_F(Delay, OverBeforeTheReloadIsNotShutOut) {
    raise("rx", {"1"});
    seconds(6);
    ASSERT_EQ(form4.DTMFDelayPeriod.text(), "0");
    raise("rx", {"0"});
    raise("rx", {"1"});
    EXPECT_TRUE(acted());
    form4.DTMFDelay.setEnabled(true);
    seconds(1);
    EXPECT_EQ(form4.DTMFDelayPeriod.text(), "0");
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(acted()) << i;
        seconds(1);
    }
}

TEST_F(Delay, ZeroSecondsStopsTheTimerAndOpensTheCodes) {
    for (const char* typed : {"", "0"}) {
        form4.DTMFDelaySeconds.type("9");
        form4.DTMFDelaySeconds.type(typed);
        EXPECT_EQ(form4.DTMFDelaySeconds.text(), "0");
        EXPECT_EQ(form4.DTMFDelayPeriod.text(), "0");
        EXPECT_FALSE(form4.DTMFDelay.enabled());
        EXPECT_TRUE(acted());
        // Restarted by the speech tool's clock, each tick reloads "0" and stops it again.
        seconds(3);
        EXPECT_EQ(form4.DTMFDelayPeriod.text(), "0");
        EXPECT_TRUE(acted());
    }
}

TEST_F(Delay, NotInUseTheCountStandsAndTheIndicatorFollowsTheReceiver) {
    form4.UseDTMFDelay.setValue(0);
    EXPECT_TRUE(acted());
    raise("rx", {"1"});
    seconds(8);
    EXPECT_EQ(form4.DTMFDelayPeriod.text(), "5");
    EXPECT_EQ(form4.PTT3.text(), "Receiving Signal");
    EXPECT_TRUE(acted());
}

// A host that cannot say whether it receives counts as not receiving: the count is reloaded.
TEST_F(Delay, FailingReceiveQueryCountsAsNotReceiving) {
    raise("rx", {"1"});
    seconds(2);
    ASSERT_EQ(form4.DTMFDelayPeriod.text(), "3");
    host.set("fail", "IsReceiving");
    seconds(2);
    EXPECT_EQ(form4.PTT3.text(), "      ");
    EXPECT_EQ(form4.DTMFDelayPeriod.text(), "5");
}

}  // namespace
}  // namespace tarnwick::test
