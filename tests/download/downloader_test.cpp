// Form13: its settings, slots, batches, schedules and life cycle.

#include "download_fixture.h"

namespace tarnwick::test {
namespace {

const char* const kKeys[] = {"SUNx", "MONx", "TUEx", "WEDx", "THURx", "FRIx", "SATx", "HOURx", "MINSx", "CHECK11",
                             "CHECK22", "CHECK33", "CHECK55", "REMOTEADDRESS1", "REMOTEADDRESS2", "REMOTEADDRESS3",
                             "REMOTEFILENAME1", "REMOTEFILENAME2", "REMOTEFILENAME3", "MYFILE1", "MYFILE2", "MYFILE3",
                             "BEACONPERIOD44", "SUN", "MON", "TUE", "WED", "THUR", "FRI", "SAT", "HOUR", "MINS",
                             "TXTURL11", "TXTURL22", "TXTURL33", "BEACONPERIOD4", "CHECK1", "CHECK2", "CHECK3",
                             "CHECK4", "CHECK5", "TEXT1", "LEFT", "TOP"};

TEST_F(DownloadTest, SettingsHoldFortyFourKeysInOrderWithTheirDefaults) {
    Form13& f = start();
    EXPECT_EQ(f.windowCaption(), "Tarnwick    N0CALL-L   v7.2.1   MP3 Downloader");
    EXPECT_EQ(f.Hour.text(), "24");
    EXPECT_EQ(f.Minsx.text(), "00");
    EXPECT_EQ(f.RemoteAddress2.text(), "ftp.example.org");
    EXPECT_EQ(f.RemoteFilename3.text(), "/pub/news/News3.mp3");
    EXPECT_EQ(f.MyFile1.text(), "C:\\News1.mp3");
    EXPECT_EQ(f.BeaconPeriod44.text(), "15");
    EXPECT_EQ(f.BeaconPeriod4.text(), "60");
    EXPECT_EQ(f.BeaconSeconds4.text(), "3600");
    EXPECT_EQ(f.BeaconSeconds44.text(), "10");
    EXPECT_EQ(f.txtURL22.text(), "Enter Your URL here");
    ASSERT_TRUE(f.SaveData());
    std::istringstream in(readIni());
    std::vector<std::string> keys;
    for (std::string line; std::getline(in, line);)
        if (auto eq = line.find('='); eq != std::string::npos) keys.push_back(line.substr(0, eq));
    EXPECT_EQ(keys, std::vector<std::string>(std::begin(kKeys), std::end(kKeys)));

    // What is stored comes back, keys matched in any case.
    f.Check22.setValue(1);
    f.txtURL33.setText("http://x/3.mp3");
    f.Hourx.setText("07");
    f.setPosition(1440, 720);
    ASSERT_TRUE(f.SaveData());
    form->unload();
    std::string text = readIni();
    text.replace(text.find("TXTURL33"), 8, "txturl33");
    std::ofstream(dir + "/brannockd.ini") << text;
    form->load();
    EXPECT_EQ(f.Check22.value(), 1);
    EXPECT_EQ(f.txtURL33.text(), "http://x/3.mp3");
    EXPECT_EQ(f.Hourx.text(), "07");
    EXPECT_EQ(f.left(), 1440);
}

TEST_F(DownloadTest, UrlWeeklyScheduleRunsOnItsDaysAtSecondZeroOnly) {
    writeIni("MON=1\nHOUR=08\nMINS=05\nCHECK1=1\nTXTURL11=http://a/1\nBEACONPERIOD4=600\n");
    net.resources["http://a/1"] = {"news"};
    start();
    runTo(8, 4, 59, 2);  // Monday 14 December
    EXPECT_TRUE(net.requests.empty());
    rt.advance(1010);  // the one-second clocks tick just after the second turns
    EXPECT_EQ(net.requests.size(), 1u);
    rt.advance(59000);
    EXPECT_EQ(net.requests.size(), 1u);
    EXPECT_EQ(readNews(1), "news");
    // A clock set back over the minute does not run it twice.
    rt.setLocalTime(2026, 12, 14, 8, 4, 59);
    rt.advance(3000);
    EXPECT_EQ(net.requests.size(), 1u);
    runTo(8, 5, 30, 3);  // Tuesday
    EXPECT_EQ(net.requests.size(), 1u);
}

TEST_F(DownloadTest, WeeklyTimesMustBeWrittenAsTheClockWritesThem) {
    for (const char* hour : {"8", "24"}) {
        SCOPED_TRACE(hour);
        writeIni(std::string("MONx=1\nTUEx=1\nHOURx=") + hour + "\nMINSx=05\nCHECK11=1\nMON=1\nTUE=1\nHOUR=" + hour +
                 "\nMINS=05\nCHECK1=1\nTXTURL11=http://a/1\nBEACONPERIOD4=600\nBEACONPERIOD44=600\n");
        net.requests.clear();
        start();
        runTo(8, 10, 0, 3);
        runTo(0, 10, 0);
        runTo(0, 10, 0);
        EXPECT_TRUE(net.requests.empty());
    }
}

TEST_F(DownloadTest, CountdownsRunTheirOwnRoad) {
    writeIni("CHECK5=1\nBEACONPERIOD4=2\nCHECK1=1\nTXTURL11=http://a/1\n"
             "CHECK55=1\nBEACONPERIOD44=3\nCHECK11=1\nREMOTEADDRESS1=ftp.example.org\n");
    net.resources["http://a/1"] = {"news"};
    net.resources["ftp://ftp.example.org:21/%2Fpub/news/News1.mp3"] = {"ftp news"};
    Form13& f = start();
    auto count = [&](const char* prefix) {
        int n = 0;
        for (const auto& r : net.requests) n += r.url.rfind(prefix, 0) == 0;
        return n;
    };
    // The FTP countdown starts from its design value of 10 seconds.
    rt.advance(10500);
    EXPECT_EQ(count("ftp://"), 1);
    EXPECT_EQ(count("http://"), 0);
    EXPECT_EQ(f.BeaconSeconds44.text(), "180");
    rt.advance(110000);  // two minutes from load
    EXPECT_EQ(count("http://"), 1);
    rt.advance(120000);
    EXPECT_EQ(count("http://"), 2);
    EXPECT_EQ(count("ftp://"), 2);
    // Unticked: the seconds stand still.
    f.Check5.setValue(0);
    const std::string seconds = f.BeaconSeconds4.text();
    rt.advance(5000);
    EXPECT_EQ(f.BeaconSeconds4.text(), seconds);
}

// The news player holds the URL schedule while its file is on air: the countdown stands still and
// goes on from where it stood, so the fetch comes as much later as the file lasted.
TEST_F(DownloadTest, UrlCountdownStandsStillWhileTheNewsIsOnAir) {
    writeIni("CHECK5=1\nBEACONPERIOD4=1\nCHECK1=1\nTXTURL11=http://a/1\n");
    net.resources["http://a/1"] = {"news"};
    Form13& f = start();
    auto* face = tools.face<DownloaderFace>("Form13");
    ASSERT_EQ(face, &f);
    rt.advance(5500);
    EXPECT_EQ(f.BeaconSeconds4.text(), "55");
    face->Beacon4.setEnabled(false);  // a news file of 70 s goes on air
    rt.advance(70000);
    EXPECT_EQ(f.BeaconSeconds4.text(), "55");
    face->Beacon4.setEnabled(true);  // and ends
    rt.advance(54000);
    EXPECT_TRUE(net.requests.empty());
    rt.advance(1500);
    EXPECT_EQ(net.requests.size(), 1u);
}

TEST_F(DownloadTest, PeriodRulesNeverFetchEverySecond) {
    writeIni("BEACONPERIOD4=0\nBEACONPERIOD44=\n");
    Form13& f = start();
    EXPECT_EQ(f.BeaconSeconds4.text(), "0");
    rt.advance(1010);
    EXPECT_EQ(f.BeaconPeriod4.text(), "1");
    EXPECT_EQ(f.BeaconSeconds4.text(), "60");
    EXPECT_EQ(f.BeaconPeriod44.text(), "1");
    // Clearing the URL period stops the whole URL schedule, clock included.
    f.BeaconPeriod4.type("");
    EXPECT_EQ(f.BeaconPeriod4.text(), "0");
    EXPECT_EQ(f.BeaconSeconds4.text(), "0");
    EXPECT_FALSE(f.Beacon4.enabled());
    const std::string clock = f.ShowTime2.text();
    rt.advance(3000);
    EXPECT_EQ(f.ShowTime2.text(), clock);
    f.BeaconPeriod4.type("00");
    rt.advance(1000);
    EXPECT_EQ(f.BeaconPeriod4.text(), "1");
    f.BeaconPeriod44.setText("abc");
    rt.advance(1000);
    EXPECT_EQ(f.BeaconPeriod44.text(), "1");
    EXPECT_TRUE(net.requests.empty());
}

TEST_F(DownloadTest, AHugeHandEditedPeriodIsHeldToAThirtyTwoBitCount) {
    writeIni("BEACONPERIOD4=99999999999999999999\nCHECK5=1\nBEACONPERIOD44=-99999999999999999999\nCHECK55=1\n");
    Form13& f = start();
    EXPECT_EQ(f.BeaconSeconds4.text(), "128849018820");  // 2147483647 minutes
    // The FTP countdown runs out of its design 10 seconds and reloads from the negative period: it
    // counts away from 0 and never fetches, as a negative period always did.
    rt.advance(10500);
    EXPECT_EQ(f.BeaconSeconds4.text(), "128849018810");
    EXPECT_EQ(f.BeaconSeconds44.text(), "-128849018820");
    EXPECT_TRUE(net.requests.empty());
}

TEST_F(DownloadTest, PausedUrlScheduleLetsItsMomentsPassAndSwitchingItLoadsTheWindow) {
    writeIni("MON=1\nHOUR=08\nMINS=05\nCHECK1=1\nTXTURL11=http://a/1\nBEACONPERIOD4=600\n");
    net.resources["http://a/1"] = {"news"};
    Form13& f = start();
    runTo(8, 4, 50, 2);
    f.Beacon4.setEnabled(false);  // the news player goes on air
    runTo(8, 5, 20);
    f.Beacon4.setEnabled(true);  // and ends within the minute: the moment is not made up
    rt.advance(5000);
    EXPECT_TRUE(net.requests.empty());

    // Closed while idle, the window's schedules stop; the player's switching loads it again.
    EXPECT_TRUE(f.onCloseRequest());
    EXPECT_FALSE(f.loaded());
    runTo(8, 5, 0, 2);
    EXPECT_TRUE(net.requests.empty());
    runTo(8, 4, 0, 2);
    auto* face = tools.face<DownloaderFace>("Form13");
    ASSERT_TRUE(face);
    face->Beacon4.setEnabled(true);
    EXPECT_TRUE(f.loaded());
    EXPECT_TRUE(f.hostLink());
    runTo(8, 5, 1);
    EXPECT_EQ(net.requests.size(), 1u);
}

TEST_F(DownloadTest, FtpSlotFillsTheTransferBoxesAndEndsIdle) {
    writeIni("REMOTEADDRESS2=ftp://ftp.example.org\nREMOTEFILENAME2=/pub/x.mp3\nMYFILE2=C:\\News2.mp3\n"
             "REMOTEADDRESS3=FTP.example.org\n");
    net.resources["ftp://ftp.example.org:21/%2Fpub/x.mp3"] = {"ftp news"};
    Form13& f = start();
    f.cmdDownload2.click();
    EXPECT_FALSE(f.cmdDownload.enabled());
    EXPECT_EQ(f.RemoteAddress.text(), "ftp://ftp.example.org");
    EXPECT_EQ(f.MyFile.text(), "C:\\News2.mp3");
    EXPECT_EQ(f.LabelInfo.text(), "Downloading");
    EXPECT_EQ(f.LabelInfo.foreColour(), kRed);
    EXPECT_EQ(f.ftpControl1.ftp_password(), "zq_fernhold");
    EXPECT_EQ(f.ftpControl1.ftp_username(), "anonymous");
    rt.advance(2000);
    EXPECT_EQ(readNews(2), "ftp news");
    for (TextBox* b : {&f.RemoteAddress, &f.RemoteFilename, &f.MyFile}) EXPECT_EQ(b->text(), "100%");
    EXPECT_EQ(f.LabelInfo.text(), "Status: Idle");
    EXPECT_TRUE(f.cmdDownload3.enabled());
    // An address that does not begin with lower-case "ftp" is no FTP slot.
    f.cmdDownload3.click();
    EXPECT_EQ(net.requests.size(), 1u);
    EXPECT_TRUE(f.cmdDownload3.enabled());
}

TEST_F(DownloadTest, FailedFtpSlotWritesItsAddressAndReason) {
    writeIni("REMOTEFILENAME1=/pub/gone.mp3\n");
    Form13& f = start();
    putNews(1, "old");
    ::testing::internal::CaptureStderr();
    f.cmdDownload.click();
    rt.advance(2000);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("ERROR Form13 FTP download ftp://ftp.example.org:21/%2Fpub/gone.mp3: Item Not Found"),
              std::string::npos)
        << err;
    EXPECT_EQ(readNews(1), "old");
    EXPECT_EQ(f.LabelInfo.text(), "Status: Idle");
}

TEST_F(DownloadTest, BatchesSkipWhatIsNotTheirsAndNeverNest) {
    writeIni("CHECK1=1\nCHECK2=1\nCHECK3=1\nCHECK4=1\nTXTURL11=ftp://a/1\nTXTURL22=http://a/2\nTXTURL33=http://a/3\n"
             "TEXT1=http://a/4\nCHECK11=1\nCHECK33=1\nREMOTEADDRESS3=ftp.other.org\n");
    for (int n = 2; n <= 4; ++n) net.resources["http://a/" + std::to_string(n)] = {std::string(2000, 'u')};
    Form13& f = start();
    f.GetURL2();
    EXPECT_FALSE(f.Command1.enabled());
    f.GetURL2();  // falls due while the batch runs: passed over
    f.Command17.click();
    f.GetURL();  // the FTP road runs beside it
    f.GetURL();
    ::testing::internal::CaptureStderr();
    rt.advance(10000);
    ::testing::internal::GetCapturedStderr();
    std::vector<std::string> urls, ftps;
    for (const auto& r : net.requests) (r.url.rfind("ftp", 0) == 0 ? ftps : urls).push_back(r.url);
    EXPECT_EQ(urls, (std::vector<std::string>{"http://a/2", "http://a/3", "http://a/4"}));
    EXPECT_EQ(ftps, (std::vector<std::string>{"ftp://ftp.example.org:21/%2Fpub/news/News1.mp3",
                                              "ftp://ftp.other.org:21/%2Fpub/news/News3.mp3"}));
    EXPECT_EQ(readNews(4), std::string(2000, 'u'));
    EXPECT_TRUE(f.Command1.enabled());
    EXPECT_FALSE(f.cmdCancel.enabled());
}

TEST_F(DownloadTest, ConnectFetchesTheSecondFileAndQuickUploadShowsItsResult) {
    net.resources["http://example.org/news/News4.mp3"] = {"second"};
    Form13& f = start();
    f.cmdGo.click();
    EXPECT_FALSE(f.cmdGo.enabled());
    rt.advance(1000);
    EXPECT_EQ(readNews(4), "second");
    EXPECT_TRUE(f.cmdGo.enabled());

    f.RemoteAddress.setText("ftp.example.org");
    f.RemoteFilename.setText("/in/up.mp3");
    f.MyFile.setText("C:\\News4.mp3");
    f.cmdUpload.click();
    rt.advance(1000);
    EXPECT_EQ(net.uploads["ftp://ftp.example.org:21/%2Fin/up.mp3"], "second");
    ASSERT_EQ(rt.boxes.size(), 1u);
    EXPECT_EQ(rt.boxes[0].title, "Success!");
    EXPECT_EQ(rt.boxes[0].text, "Result: upload complete.");
    EXPECT_EQ(rt.boxes[0].icon, MsgIcon::Information);
    // Right after a download the boxes read "100%": there is no such local file.
    f.MyFile.setText("100%");
    ::testing::internal::CaptureStderr();
    f.cmdUpload.click();
    rt.advance(1000);
    ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(rt.boxes.size(), 2u);
    EXPECT_EQ(rt.boxes[1].title, "Failed.");
}

TEST_F(DownloadTest, SaveChangesHidesAndShowsThePlayerAndClosingUnkeys) {
    Form13& f = start();
    f.show();
    f.Command55.click();
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(player.isVisible());
    EXPECT_TRUE(tmp.exists("brannockd.ini"));
    f.show();
    f.Command2.click();
    EXPECT_FALSE(f.isVisible());

    host.raise("closing");
    rt.runPending();
    bool unkeyed = false;
    for (const auto& line : host.logLines())
        unkeyed = unkeyed || (line.find("\"link\":\"Form13\",\"op\":\"SetPTT\",\"args\":[false") != std::string::npos);
    EXPECT_TRUE(unkeyed);
}

}  // namespace
}  // namespace tarnwick::test
