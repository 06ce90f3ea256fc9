// The FTP transfer control: its status lines, banners, bar and result texts, its properties and size.

#include "download_fixture.h"

namespace tarnwick::test {
namespace {

const std::string kUrl = "ftp://ftp.example.org:21/%2Fpub/news/News1.mp3";

class FtpControlTest : public DownloadTest {
protected:
    FtpControlTest() {
        ftp.lblStatus.viewChanged = [this] {
            if (statuses.empty() || statuses.back() != ftp.lblStatus.text()) statuses.push_back(ftp.lblStatus.text());
        };
        ftp.set_ftp_remote_address("ftp.example.org");
        ftp.set_ftp_remote_filename("/pub/news/News1.mp3");
        ftp.set_ftp_local_filename("C:\\News1.mp3");
    }
    // Runs a transfer to its end; returns its result and result text.
    std::pair<bool, std::string> run(bool upload) {
        std::pair<bool, std::string> out{false, "not finished"};
        auto finished = [&](bool ok, const std::string& text) { out = {ok, text}; };
        ::testing::internal::CaptureStderr();
        upload ? ftp.ftp_Upload_quick(finished) : ftp.ftp_Download_quick(finished);
        rt.advance(3000);
        ::testing::internal::GetCapturedStderr();
        return out;
    }
    ftpControl ftp{rt, &net};
    std::vector<std::string> statuses;
};

TEST_F(FtpControlTest, DownloadShowsEachStepAndReplacesTheLocalFile) {
    net.resources[kUrl] = {"fresh news"};
    putNews(1, "old news");
    EXPECT_EQ(ftp.lblStatus.text(), "Status: Idle.");
    EXPECT_EQ(ftp.Label1.text(), ftpControl::kReadyBanner);
    EXPECT_EQ(ftp.Label1.foreColour(), kBannerGreen);
    EXPECT_EQ(run(false), (std::pair<bool, std::string>{true, "download complete."}));
    EXPECT_EQ(statuses, (std::vector<std::string>{"Creating Session..", "Creating FTP Session..",
                                                  "Connected! Downloading File..  (Binary Mode).. Please Wait. (75%)",
                                                  "Download Success, disconnecting. (100%)"}));
    EXPECT_EQ(ftp.pbTransferStatus.value(), 100);
    EXPECT_EQ(ftp.Label1.text(), ftpControl::kCompleteBanner);
    EXPECT_EQ(ftp.Label1.foreColour(), kBannerGreen);
    EXPECT_EQ(readNews(1), "fresh news");
    EXPECT_TRUE(leftovers().empty());
    ASSERT_EQ(net.requests.size(), 1u);
    const TransferRequest& r = net.requests[0];
    EXPECT_EQ(r.url, kUrl);
    EXPECT_EQ(r.user, "anonymous");
    EXPECT_TRUE(r.active);
    EXPECT_TRUE(r.direct);
    EXPECT_FALSE(r.ascii);
    EXPECT_EQ(r.agent, "Tarnwick FTP Download");
}

TEST_F(FtpControlTest, FailuresNameTheirStepAndKeepTheLocalFile) {
    struct Case {
        const char* name;
        bool upload;
        FakeResource res;
        bool exists;  // the resource is known to the fake server
        const char* result;
        std::vector<std::string> tail;  // the last status lines
        const char* banner;
    } cases[] = {
        {"no server", false, {"", -2, 512, 100, -1, 200, TransferFailure::Connect, false}, true,
         "Unable to connect. Please check your username, password, FTP Address and Port. Alternativly the server may "
         "be down.",
         {"Creating FTP Session..",
          "Unable to connect. Please check your username, password, FTP Address and Port. Alternativly the server "
          "may be down."},
         ftpControl::kFailedBanner},
        {"no server, upload", true, {"", -2, 512, 100, -1, 200, TransferFailure::Connect, false}, true,
         "Unable to connect. Please check your username, password, FTP Address and Port. Alternativly the server may "
         "be down.",
         {"Creating FTP Session.. (50%)",
          "Unable to connect. Please check your username, password, FTP Address and Port. Alternativly the server "
          "may be down."},
         ftpControl::kFailedBanner},
        {"missing file", false, {}, false,
         "Failed downloading file, check file permissions (both remote & local) and try again.",
         {"Connected! Downloading File..  (Binary Mode).. Please Wait. (75%)", "Failed"},
         ftpControl::kFailedBanner},
        {"cut", false, {std::string(5000, 'x'), -2, 512, 100, 1024}, true,
         "Failed downloading file, check file permissions (both remote & local) and try again.",
         {"Failed"}, ftpControl::kFailedBanner},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        net.resources.clear();
        if (c.exists) net.resources[kUrl] = c.res;
        putNews(1, "old news");
        statuses.clear();
        const auto [ok, text] = run(c.upload);
        EXPECT_FALSE(ok);
        EXPECT_EQ(text, c.result);
        ASSERT_GE(statuses.size(), c.tail.size());
        EXPECT_EQ(std::vector<std::string>(statuses.end() - static_cast<long>(c.tail.size()), statuses.end()), c.tail);
        // Nothing of the failed transfer's steps stays on show: no "please wait", no part of the bar.
        EXPECT_EQ(ftp.Label1.text(), c.banner);
        EXPECT_EQ(ftp.Label1.foreColour(), kBannerRed);
        EXPECT_EQ(ftp.pbTransferStatus.value(), 0);
        EXPECT_EQ(readNews(1), "old news");
        EXPECT_TRUE(leftovers().empty());
        EXPECT_FALSE(ftp.lastFailure().empty());
    }
}

TEST_F(FtpControlTest, AsciiModeAndUploadLeaveTheirOwnTexts) {
    putNews(1, "to send");
    ftp.set_ftp_is_ascii_mode(true);
    EXPECT_EQ(run(true), (std::pair<bool, std::string>{true, "upload complete."}));
    EXPECT_EQ(statuses, (std::vector<std::string>{"Creating Session.. (25%)", "Creating FTP Session.. (50%)",
                                                  "Connected! Uploading File..  (Ascii Mode).. Please Wait. (75%)",
                                                  "Upload Success, disconnecting. (100%)"}));
    // The upload never shows a banner of its own.
    EXPECT_EQ(ftp.Label1.text(), ftpControl::kDownloadingBanner);
    EXPECT_EQ(ftp.Label1.foreColour(), kBannerRed);
    EXPECT_EQ(net.uploads[kUrl], "to send");
    EXPECT_TRUE(net.requests.back().ascii);
    EXPECT_EQ(net.requests.back().agent, "Tarnwick FTP Upload");
}

TEST_F(FtpControlTest, ProgressStepsShowWholePercentagesAndAZeroTotalLeavesTheBanner) {
    for (int done = 1; done <= 4; ++done) {
        ftp.ShowTransferProgress(done, 4, "step");
        EXPECT_EQ(ftp.lblStatus.text(), "step (" + std::to_string(done * 25) + "%)");
        EXPECT_EQ(ftp.pbTransferStatus.value(), done * 25);
    }
    ftp.ShowTransferProgress(1, 3, "third");
    EXPECT_EQ(ftp.lblStatus.text(), "third (33%)");
    ftp.Label1.setText("kept");
    ftp.ShowTransferProgress(0, 0, "plain");
    EXPECT_EQ(ftp.lblStatus.text(), "plain");
    EXPECT_EQ(ftp.pbTransferStatus.value(), 0);
    EXPECT_EQ(ftp.Label1.text(), "kept");
    ftp.cmdCancel.click();
    EXPECT_EQ(ftp.lblStatus.text(), "plain");
}

TEST_F(FtpControlTest, PropertiesKeepTheirDefaultsAndStoreOnlyWhatDiffers) {
    ftpControl fresh(rt, &net);
    std::vector<std::string> changes;
    fresh.PropertyChanged = [&](const std::string& name) { changes.push_back(name); };
    fresh.ReadProperties({});
    EXPECT_EQ(fresh.ftp_remote_port(), 21);
    EXPECT_EQ(fresh.ftp_remote_address(), "ftp://ftp.");
    EXPECT_EQ(fresh.ftp_password(), "");
    EXPECT_FALSE(fresh.ftp_is_ascii_mode());
    EXPECT_EQ(fresh.ftp_username(), "anonymous");
    EXPECT_EQ(fresh.ftp_local_filename(), "c:\\");
    EXPECT_EQ(fresh.ftp_remote_filename(), "/public_html/");
    EXPECT_EQ(fresh.BackColour(), kButtonFaceColour);
    EXPECT_EQ(fresh.FontColour(), kButtonTextColour);
    EXPECT_EQ(fresh.CancelButton_Text(), "Cancel Transfer");
    EXPECT_TRUE(fresh.CancelButton_Enabled());
    EXPECT_EQ(fresh.CancelButton_Width(), 1575);
    EXPECT_EQ(changes.size(), 12u);
    // The empty password differs from the write default and is stored; the placeholder is not.
    EXPECT_EQ(fresh.WriteProperties(), (ftpControl::PropertyBag{{"ftp_password", ""}}));
    fresh.set_ftp_password(ftpControl::kPasswordWriteDefault);
    fresh.set_ftp_remote_port(2121);
    fresh.set_CancelButton_Width(1600.6);
    EXPECT_EQ(fresh.CancelButton_Width(), 1601);
    const auto bag = fresh.WriteProperties();
    EXPECT_EQ(bag, (ftpControl::PropertyBag{{"ftp_remote_port", "2121"}, {"CancelButton_Width", "1601"}}));
    ftpControl again(rt, &net);
    again.ReadProperties(bag);
    EXPECT_EQ(again.ftp_remote_port(), 2121);
    EXPECT_EQ(again.ftp_password(), "");
    // What cannot be read is passed over.
    again.ReadProperties({{"ftp_remote_port", "many"}, {"BackColour", "&HFF&"}, {"CancelButton_Enabled", "False"}});
    EXPECT_EQ(again.ftp_remote_port(), 2121);
    EXPECT_EQ(again.BackColour(), 255u);
    EXPECT_FALSE(again.CancelButton_Enabled());
}

TEST_F(FtpControlTest, SizeKeepsItsHeightAndCentresTheCancelButton) {
    ftp.setSize(6000, 300);
    EXPECT_EQ(ftp.height(), 1410);
    EXPECT_EQ(ftp.cancelLeft(), (6000 - 1575) / 2.0);
    EXPECT_EQ(ftp.barWidth(), 6000 - 240);
}

TEST(FtpAddress, HostPartPortAndPathAsWritten) {
    EXPECT_EQ(ftpUrl("ftp.example.org", 21, "/pub/a b.mp3"), "ftp://ftp.example.org:21/%2Fpub/a%20b.mp3");
    EXPECT_EQ(ftpUrl("FTP://ftp.example.org/files", 2121, "news.mp3"), "ftp://ftp.example.org:2121/news.mp3");
    EXPECT_EQ(ftpUrl("ftp://ftp.", 21, "/x#?.mp3"), "ftp://ftp.:21/%2Fx%23%3F.mp3");
}

}  // namespace
}  // namespace tarnwick::test
