// The speech tool window: its settings file, start-up, quit prompt and EchoLink closing; and the
// settings files of the speech settings and DTMF help windows.

#include <sys/stat.h>

#include <algorithm>

#include "speech_fixture.h"
#include "support/ini_text.h"

namespace tarnwick::test {
namespace {

using testing::keysOf;

std::string valueOf(const std::string& ini, const std::string& key) {
    std::istringstream in(ini);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // the file has CR LF line ends
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    }
    return "<missing>";
}

TEST_F(SpeechTest, SavesAll82KeysWithTheirWrittenSpellings) {
    start();
    form3.ConnectStation1.setText("gb3xx-r");
    ASSERT_TRUE(form3.SaveData());
    const std::string ini = readIni("brightcalltts.ini");

    std::vector<std::string> expected;
    for (std::string n : {"", "2", "3"}) {
        for (std::string d : {"SUN", "MON", "TUE", "WED", "THUR", "FRI", "SAT"}) expected.push_back(d + n);
        std::string k = n.empty() ? "1" : n;
        for (std::string t : {"HOUROFF", "MINSOFF", "HOURON", "MINSON"})
            expected.push_back(t + k + (t.find("ON") == 4 ? "B" : ""));
    }
    for (const char* k :
         {"ANNOUNCEOFF", "ANNOUNCEON", "CHECK1", "CHECK2", "OPTION1", "OPTION2", "SAYTEXT", "STAYCON1", "STAYCON2",
          "ENABLEAUTOCONNECT", "DISABLEAUTOCONNECT", "IDCHECK", "VOICEPERIOD", "TEXTINPUT3", "INFOTEXT", "TXTIMEHOUR",
          "TXQUARTERHOUR", "TXHALFHOUR", "INFOHOURLY", "INFOQUATER", "INFOHALF", "BEACONPERIOD3", "STOPCLOCK3",
          "CONNECTSTATION1", "CONNECTSTATION2", "STOPCLOCK6", "BEACONPERIOD6", "CALLSIGN", "STOPCLOCK7",
          "BEACONPERIOD7", "CWCALLSIGN", "CONDISC", "ADDTIME", "LEFT", "TOP", "COURTESYID", "IPCOURTESY", "HANGTIME",
          "KERCHUNKWAIT", "USECT", "FANPERIOD", "FANCTRL", "TTSPERIOD", "TOGGLETEXT", "TTSCTRL", "USEDTR", "USERTS",
          "DELAYPERIOD", "DELAYCTRL"})
        expected.push_back(k);
    ASSERT_EQ(expected.size(), 82u);
    EXPECT_EQ(keysOf(ini), expected);

    // Defaults and stored forms.
    EXPECT_EQ(valueOf(ini, "HOURON1B"), "24");
    EXPECT_EQ(valueOf(ini, "MINSON3B"), "00");
    EXPECT_EQ(valueOf(ini, "OPTION1"), "True");
    EXPECT_EQ(valueOf(ini, "OPTION2"), "False");
    EXPECT_EQ(valueOf(ini, "USEDTR"), "True");
    EXPECT_EQ(valueOf(ini, "CWCALLSIGN"), " ");
    EXPECT_EQ(valueOf(ini, "CALLSIGN"), "");
    EXPECT_EQ(valueOf(ini, "CONNECTSTATION1"), "GB3XX-R");
    EXPECT_EQ(valueOf(ini, "ENABLEAUTOCONNECT"), "*1*");
    EXPECT_EQ(valueOf(ini, "KERCHUNKWAIT"), "3000");
    EXPECT_EQ(valueOf(ini, "LEFT"), "300");
}

TEST_F(SpeechTest, LoadsEitherSpellingAndResolvesOptionGroups) {
    writeIni("brightcalltts.ini",
             "HOURON1B=07\nminson1b=30\nHOURON2b=08\nOPTION1=True\nOPTION2=True\nUSEDTR=True\nUSERTS=True\n"
             "HANGTIME=800\nINFOQUATER=1\nCONNECTSTATION2=gb7abc\nVOICEPERIOD=4\n");
    start();
    EXPECT_EQ(form3.HourON1b.text(), "07");
    EXPECT_EQ(form3.MinsON1b.text(), "30");
    EXPECT_EQ(form3.HourON2b.text(), "08");
    EXPECT_FALSE(form3.Option1.value());
    EXPECT_TRUE(form3.Option2.value());
    EXPECT_FALSE(form3.UseDTR.value());
    EXPECT_TRUE(form3.UseRTS.value());
    EXPECT_EQ(form3.KickBackCheck.interval(), 800);
    EXPECT_EQ(form3.Kerchunker.interval(), 3000);
    EXPECT_EQ(form3.InfoQuarter.value(), 1);
    EXPECT_EQ(form3.IDSeconds.text(), "240");
    // Shown as stored; saved in capitals.
    EXPECT_EQ(form3.ConnectStation2.text(), "gb7abc");
    form3.SaveData();
    EXPECT_EQ(valueOf(readIni("brightcalltts.ini"), "CONNECTSTATION2"), "GB7ABC");
}

TEST_F(SpeechTest, BothLineOptionsFalseLeaveNeitherSelected) {
    writeIni("brightcalltts.ini", "USEDTR=False\nUSERTS=False\n");
    start();
    EXPECT_FALSE(form3.UseDTR.value());
    EXPECT_FALSE(form3.UseRTS.value());
}

TEST_F(SpeechTest, StartUpWithoutAFile) {
    start();
    EXPECT_EQ(form3.windowCaption(), "Tarnwick    N0CALL-L   v7.2.1   BrightcallTTS");
    EXPECT_EQ(form3.CWCallsign.text(), " ");
    EXPECT_EQ(form3.Callsign.text(), "");
    EXPECT_EQ(form3.ConnectStation1.text(), "");
    EXPECT_EQ(form3.KerchunkWait.text(), "3000");
    EXPECT_EQ(form3.DelaySeconds.text(), "10");
    EXPECT_EQ(form3.flag2, 0);
    EXPECT_EQ(form3.flag3, 1);
    EXPECT_EQ(form3.cwIdentPending(), "0");
    EXPECT_TRUE(form3.Timer1.enabled());
    EXPECT_FALSE(form3.Fan.enabled());
    EXPECT_FALSE(form3.FanDelay.enabled());
    // The start-up unkeyed the transmitter and dropped both lines.
    rt.advance(10);
    EXPECT_FALSE(host.state().ptt());
    EXPECT_EQ(form8.windowCaption(), "Tarnwick   v7.2.1  TTS Setup");
    EXPECT_EQ(form7.windowCaption(), "Tarnwick    N0CALL-L   v7.2.1   DTMFHelpTTS");
}

TEST_F(SpeechTest, QuitPromptNoKeepsRunningYesEndsWithoutSaving) {
    start();
    rt.answers.push_back(MsgAnswer::No);
    EXPECT_FALSE(form3.onCloseRequest());
    EXPECT_FALSE(rt.processEnded());
    ASSERT_EQ(rt.boxes.size(), 1u);
    EXPECT_EQ(rt.boxes[0].title, "Exit Program");
    EXPECT_EQ(rt.boxes[0].text, "Quit Larkvale - Are You Sure ? Remember To Save Any Changes  ");

    // Unkey, then RTS, then DTR; a failing call does not keep the next line up. RTS is up, so its
    // refused release is tried again on the way out.
    HostLink other(hub, "Form12");
    other.SetRTS(true);
    host.state().clearLog();
    host.set("fail", "SetRTS");
    rt.answers.push_back(MsgAnswer::Yes);
    EXPECT_TRUE(form3.onCloseRequest());
    EXPECT_TRUE(rt.processEnded());
    std::vector<std::string> ops;
    for (const auto& e : host.state().calls()) ops.push_back(e.op);
    ASSERT_GE(ops.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(ops.begin(), ops.begin() + 3),
              (std::vector<std::string>{"SetPTT", "SetRTS", "SetDTR"}));
    EXPECT_EQ(std::count(ops.begin(), ops.end(), "SetRTS"), static_cast<long>(ops.size()) - 2);
    EXPECT_TRUE(host.state().calls("SetDTR").at(0).error.empty());
    EXPECT_EQ(pttCalls(), std::vector<bool>{false});
    EXPECT_EQ(readIni("brightcalltts.ini"), "");
}

TEST_F(SpeechTest, SaveFailureIsReportedToTheOperator) {
    start();
    // A folder where the settings file should be makes the save fail.
    std::filesystem::create_directories(dir + "/brightcalltts.ini");
    // Both the launcher's "Save / Exit" (SaveData) and the window's own button are the operator asking.
    EXPECT_FALSE(form3.SaveData());
    ASSERT_EQ(rt.boxes.size(), 1u);
    EXPECT_NE(rt.boxes[0].text.find("could not be saved"), std::string::npos);
    form3.Command6.click();
    EXPECT_EQ(rt.boxes.size(), 2u);
}

TEST_F(SpeechTest, AWindowsFileEditedAndSavedKeepsItsAccents) {
    // Copied from Windows: ANSI text, "Café" with the single byte 0xE9.
    std::ofstream(dir + "/brightcalltts.ini", std::ios::binary) << "[SETTINGS]\r\nINFOTEXT=Caf\xE9 at eight\r\n";
    start();
    EXPECT_EQ(form3.InfoText.text(), "Caf\u00e9 at eight");
    form3.TextInput3.type("Cr\u00e8me br\u00fbl\u00e9e");
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(form3.SaveData());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    std::string ini = readIni("brightcalltts.ini");
    EXPECT_NE(ini.find("INFOTEXT=Caf\xE9 at eight\r\n"), std::string::npos);
    EXPECT_NE(ini.find("TEXTINPUT3=Cr\xE8me br\xFBl\xE9" "e\r\n"), std::string::npos);

    // A character the file's encoding cannot hold is written as "?" and reported once.
    form3.Callsign.type("\u0416\u0416");
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(form3.SaveData());
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(readIni("brightcalltts.ini").find("CALLSIGN=??\r\n"), std::string::npos);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("ERROR Form3 save: "), std::string::npos) << err;
}

TEST_F(SpeechTest, ASettingsFileThatIsNoRegularFileIsReportedAndDefaultsApply) {
    ASSERT_EQ(::mkfifo((dir + "/brightcalltts.ini").c_str(), 0600), 0);
    ::testing::internal::CaptureStderr();
    start();  // returns: the pipe is never read
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("ERROR Form3 settings: cannot read " + dir + "/brightcalltts.ini: not a regular file"),
              std::string::npos)
        << err;
    EXPECT_EQ(form3.InfoText.text(), "TTS Text Here");
}

TEST_F(SpeechTest, DtmfHelpSettings) {
    writeIni("dtmfhelp.ini", "TEXT1=11\nTEXT21=" + std::string(1200, 'a') + "\nLEFT=120.5\n");
    start();
    EXPECT_EQ(form7.code(1).text(), "11");
    EXPECT_EQ(form7.help(1).text().size(), 999u);
    EXPECT_DOUBLE_EQ(form7.left(), 120.5);
    EXPECT_DOUBLE_EQ(form7.top(), 300);
    form7.help(20).setText("Last row");
    ASSERT_TRUE(form7.SaveData());
    const std::string ini = readIni("dtmfhelp.ini");
    EXPECT_EQ(valueOf(ini, "TEXT40"), "Last row");
    EXPECT_EQ(valueOf(ini, "LEFT"), "120.5");
    EXPECT_EQ(valueOf(ini, "TOP"), "300");
}

TEST_F(SpeechTest, DtmfHelpWritesIts42KeysInOrder) {
    start();
    ASSERT_TRUE(form7.SaveData());
    std::vector<std::string> expected;
    for (int n = 1; n <= 40; ++n) expected.push_back("TEXT" + std::to_string(n));
    expected.push_back("LEFT");
    expected.push_back("TOP");
    EXPECT_EQ(keysOf(readIni("dtmfhelp.ini")), expected);
}

TEST_F(SpeechTest, SpeechSettingsFile) {
    writeIni("ttssettings.ini", "VOLLEV=70\nVOICESPEED=-3\n");
    start();
    EXPECT_EQ(form8.VolLev.value(), 70);
    EXPECT_EQ(form8.Label1.text(), "70");
    EXPECT_EQ(form8.Label6.text(), "-3");
    form8.VoiceSpeed.setValue(4);
    ASSERT_TRUE(form8.SaveData());
    EXPECT_EQ(keysOf(readIni("ttssettings.ini")), (std::vector<std::string>{"VOLLEV", "VOICESPEED"}));
    EXPECT_EQ(valueOf(readIni("ttssettings.ini"), "VOICESPEED"), "4");
}

}  // namespace
}  // namespace tarnwick::test
