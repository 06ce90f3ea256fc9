// The auto-connect keepers and the DTMF help tool.

#include "speech_fixture.h"

namespace tarnwick::test {
namespace {

class KeeperTest : public SpeechTest {
protected:
    void SetUp() override {
        start();
        form3.Timer4.setEnabled(false);
        form3.ConDisc.setValue(0);
    }
    std::vector<std::string> connects() const { return textCalls("ConnectTo"); }
};

TEST_F(KeeperTest, ReconnectsUnlessNewsThatDisconnectedEverybodyIsOnAir) {
    struct Case {
        const char* name;
        int stayCon;
        const char* call;
        bool newsUnderWay, newsDisconnectAll;
        const char* seriesPTT;
        int seriesDisconnectAll;
        bool reconnects;
    } cases[] = {
        {"plain", 1, "gb3xx-l", false, false, "PTT OFF", 0, true},
        {"stay con off", 0, "GB3XX-L", false, false, "PTT OFF", 0, false},
        {"empty call", 1, "", false, false, "PTT OFF", 0, false},
        {"news with disconnect all", 1, "GB3XX-L", true, true, "PTT OFF", 0, false},
        {"news without disconnect all", 1, "GB3XX-L", true, false, "PTT OFF", 0, true},
        {"news stopped, disconnect all", 1, "GB3XX-L", false, true, "PTT OFF", 0, true},
        {"series on air with disconnect all", 1, "GB3XX-L", false, false, "PTT ON", 1, false},
        {"series on air without", 1, "GB3XX-L", false, false, "PTT ON", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (host.state().isConnectedTo("GB3XX-L")) form3.hostLink()->DisconnectFrom("GB3XX-L");
        rt.runPending();
        host.state().clearLog();
        form3.StayCon1.setValue(c.stayCon);
        form3.ConnectStation1.setText(c.call);
        player.underWay = c.newsUnderWay;
        player.DisconnectAll.setValue(c.newsDisconnectAll ? 1 : 0);
        series.PTT.setCaption(c.seriesPTT);
        series.DisconnectAll.setValue(c.seriesDisconnectAll);
        rt.advance(60000);
        EXPECT_EQ(connects(), c.reconnects ? std::vector<std::string>{"GB3XX-L"} : std::vector<std::string>{});
        // Once connected, the keeper leaves it alone.
        rt.advance(60000);
        EXPECT_EQ(connects().size(), c.reconnects ? 1u : 0u);
    }
}

TEST_F(KeeperTest, BothRowsKeepTheirOwnStation) {
    form3.StayCon1.setValue(1);
    form3.StayCon2.setValue(1);
    form3.ConnectStation1.setText("*IRELAND*");
    form3.ConnectStation2.setText("*IRELAND*");
    rt.advance(60000);
    EXPECT_EQ(connects(), std::vector<std::string>{"*IRELAND*"});
}

TEST_F(KeeperTest, FailingConnectIsTriedAgainNextMinute) {
    form3.StayCon1.setValue(1);
    form3.ConnectStation1.setText("G4ABC");
    host.set("fail", "ConnectTo");
    rt.advance(60000);
    EXPECT_TRUE(connects().empty());
    host.set("fail", "none");
    rt.advance(60000);
    EXPECT_EQ(connects(), std::vector<std::string>{"G4ABC"});
}

TEST_F(KeeperTest, ButtonConnectsOrDisconnects) {
    form3.ConnectStation2.type("g4abc");
    EXPECT_EQ(form3.ConnectStation2.text(), "G4ABC");
    form3.Command2.click();
    rt.runPending();
    EXPECT_TRUE(host.state().isConnectedTo("G4ABC"));
    form3.Command2.click();
    rt.runPending();
    EXPECT_FALSE(host.state().isConnectedTo("G4ABC"));
}

TEST_F(KeeperTest, ButtonPassesAnEmptyCallsignToEchoLink) {
    form3.ConnectStation1.setText("");
    host.state().clearLog();
    form3.Connect1.click();
    rt.runPending();
    ASSERT_EQ(host.state().calls("IsConnectedTo").size(), 1u);
    ASSERT_EQ(host.state().calls("ConnectTo").size(), 1u);
    EXPECT_EQ(std::get<std::string>(host.state().calls("ConnectTo")[0].args.at(0)), "");
}

class DtmfHelpTest : public SpeechTest {
protected:
    void SetUp() override {
        start();
        form3.Timer4.setEnabled(false);
        form7.code(3).setText("31");
        form7.help(3).setText("Row three help");
        form7.code(7).setText("31");
        form7.help(7).setText("Row seven help");
        form7.code(8).setText("32 ");
        form7.help(8).setText("Trailing blank");
    }
};

TEST_F(DtmfHelpTest, MatchingRowsFillTheMailboxHighestWins) {
    struct Case {
        const char* digits;
        int enable;
        const char* request;  // nullptr: nothing queued
    } cases[] = {
        {"31", 1, "Row seven help"}, {"31", 0, nullptr}, {"32", 1, nullptr}, {"32 ", 1, "Trailing blank"},
        {"3", 1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.digits);
        dtmf.Check1.setValue(c.enable);
        form3.flag2 = 0;
        form3.SayTheText = std::string();
        form7.hostLink()->DTMFString(c.digits);
        EXPECT_EQ(form3.flag2, c.request ? 1 : 0);
        EXPECT_EQ(speechTextOf(form3.SayTheText), c.request ? c.request : "");
    }
    // An empty code box matches nothing, not even an empty string.
    form7.hostLink()->DTMFString("");
    EXPECT_EQ(form3.flag2, 0);
}

TEST_F(DtmfHelpTest, RowButtonQueuesTheBoxAndAnEditBeforeServingIsSpoken) {
    dtmf.Check1.setValue(0);
    form3.Check1.setValue(1);
    form7.button(3).click();
    EXPECT_EQ(form3.flag2, 1);
    form7.help(3).setText("Edited help");
    form3.Check1.setValue(0);
    rt.advance(1000);
    EXPECT_EQ(voice.texts(), std::vector<std::string>{"Edited help"});
    EXPECT_TRUE(voice.sync[0].keyed);
}

TEST_F(DtmfHelpTest, HelpRowOutlivesItsClosedWindow) {
    form7.button(7).click();
    ASSERT_TRUE(form7.onCloseRequest());
    EXPECT_FALSE(form7.loaded());
    rt.advance(1000);
    EXPECT_EQ(voice.texts(), std::vector<std::string>{"Row seven help"});
}

TEST_F(DtmfHelpTest, ClosingEchoLinkUnkeys) {
    bool ended = false;
    hub.afterClosing = [&] { ended = true; };
    host.state().clearLog();
    raise("closing");
    EXPECT_TRUE(ended);
    EXPECT_EQ(pttCalls("Form7"), std::vector<bool>{false});
    EXPECT_EQ(pttCalls("Form3"), std::vector<bool>{false});
    EXPECT_EQ(host.state().calls("SetDTR").size(), 1u);
    EXPECT_EQ(host.state().calls("SetRTS").size(), 1u);
}

TEST_F(SpeechTest, DtmfHelpStartUpReadsItsRowsWhenAHostCallFails) {
    // The rows must come in whatever the host answers: a later save writes them back.
    for (const char* op : {"GetCallsign", "SetPTT"}) {
        SCOPED_TRACE(op);
        writeIni("dtmfhelp.ini", "TEXT1=11\nTEXT21=Help one\n");
        form7.unload();
        host.set("fail", op);
        form7.load();
        host.set("fail", "none");
        EXPECT_EQ(form7.code(1).text(), "11");
        EXPECT_EQ(form7.help(1).text(), "Help one");
        EXPECT_NE(form7.windowCaption().find("   DTMFHelpTTS"), std::string::npos);
        ASSERT_TRUE(form7.SaveData());
        EXPECT_NE(readIni("dtmfhelp.ini").find("TEXT21=Help one"), std::string::npos);
    }
}

}  // namespace
}  // namespace tarnwick::test
