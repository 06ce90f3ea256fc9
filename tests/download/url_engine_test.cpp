// The URL engine on virtual time: what reaches the news file, the readouts block by block, the speed
// tick, cancel and close.

#include "download_fixture.h"

namespace tarnwick::test {
namespace {

const std::string kUrl = "http://news.example/n1.mp3";

TEST(ReadoutText, OneDecimalAndPercent) {
    EXPECT_EQ(oneDecimal(512, 1000), "0.5");
    EXPECT_EQ(oneDecimal(700, 1000), "0.7");
    EXPECT_EQ(oneDecimal(250, 1000), "0.3");  // a half goes up
    EXPECT_EQ(oneDecimal(0, 1000), "0.0");
    EXPECT_EQ(oneDecimal(1234567, 1000), "1234.6");
    EXPECT_EQ(oneDecimal(43520, 1024), "42.5");
    struct Case {
        std::int64_t done, size;
        int percent;
    } cases[] = {{512, 700, 73}, {512, 1024, 50}, {1, 8, 12}, {3, 8, 38}, {5, 8, 62}, {7, 8, 88},
                 {700, 700, 100}, {900, 700, 100}, {0, 700, 0}, {5, 0, 0}};
    for (const Case& c : cases) EXPECT_EQ(roundedPercent(c.done, c.size), c.percent) << c.done << "/" << c.size;
}

struct Step {
    const char* caption;  // of the bar, "" while untouched
    Colour text;          // of the percentage
    const char* bytes;
};

struct ReadoutCase {
    const char* name;
    std::size_t size;
    std::int64_t stated;
    std::vector<Step> steps;  // the readouts after each 100 ms step
};

class Readouts : public DownloadTest, public ::testing::WithParamInterface<ReadoutCase> {};

TEST_P(Readouts, FollowTheBlocksAndTheFileHoldsTheBody) {
    const ReadoutCase& c = GetParam();
    std::string body(c.size, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7);
    net.resources[kUrl] = {body, c.stated};
    Form13& f = start();
    putNews(1, "old");
    int result = -1;
    f.DownloadAFile("C:\\News1.mp3", kUrl, false, true, [&](bool ok) { result = ok; });
    EXPECT_TRUE(f.urlBusy());
    for (const Step& s : c.steps) {
        rt.advance(100);
        EXPECT_EQ(f.Percent.caption(), s.caption);
        if (*s.caption) {
            EXPECT_EQ(f.txtPercent.foreColour(), s.text);
        }
        EXPECT_EQ(f.lblData[0].caption(), s.bytes);
    }
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(f.urlBusy());
    EXPECT_FALSE(f.tmrSpeedTest.enabled());
    EXPECT_EQ(readNews(1), body);
    EXPECT_TRUE(leftovers().empty());
    if (*c.steps.back().caption) {
        const int percent = std::stoi(c.steps.back().caption);
        EXPECT_DOUBLE_EQ(f.Percent.width(), percent * 57.8);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, Readouts,
    ::testing::Values(ReadoutCase{"Bytes700", 700, -2,
                                  {{"73 %", kWhite, "0.5Kb / 0.7 Kb"}, {"100 %", kWhite, "0.7Kb / 0.7 Kb"}}},
                      ReadoutCase{"Bytes1100", 1100, -2,
                                  {{"47 %", kBlack, "0.5Kb / 1.1 Kb"},
                                   {"93 %", kWhite, "1.0Kb / 1.1 Kb"},
                                   {"100 %", kWhite, "1.1Kb / 1.1 Kb"}}},
                      ReadoutCase{"Bytes1024", 1024, -2,
                                  {{"50 %", kWhite, "0.5Kb / 1.0 Kb"}, {"100 %", kWhite, "1.0Kb / 1.0 Kb"}}},
                      // Nothing arrives: the bar and the readout are not touched, the file is empty.
                      ReadoutCase{"Empty", 0, -2, {{"", kBlack, "FileSize"}}},
                      // No stated size: only the byte readout moves until the last block.
                      ReadoutCase{"NoStatedSize", 1100, -1,
                                  {{"", kBlack, "0.5Kb / 0.0 Kb"},
                                   {"", kBlack, "1.0Kb / 0.0 Kb"},
                                   {"100 %", kWhite, "1.1Kb / 1.1 Kb"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DownloadTest, SpeedTickShowsTheGrowthOfEachSecondOnBothReadouts) {
    // 85 blocks of 512 bytes (43520) a second.
    net.resources[kUrl] = {std::string(43520 * 3, 'x'), -2, 512 * 85, 1000};
    Form13& f = start();
    rt.advance(300);  // the speed tick's phase: 1000, 2000, ...
    f.DownloadAFile("C:\\News1.mp3", kUrl, false, true, {});
    rt.advance(1700);  // first block of the transfer at 1300, tick at 2000
    EXPECT_EQ(f.lblData[1].caption(), "Average : 42.5 / Kbps");
    EXPECT_EQ(f.lblData[2].caption(), "Average : 42.5 / Kbps");
    f.lblData[1].setCaption("seen");
    rt.advance(1000);  // one more second's worth
    EXPECT_EQ(f.lblData[1].caption(), "Average : 42.5 / Kbps");
    // The transfer has ended: no growth, no new text.
    rt.advance(3000);
    f.lblData[1].setCaption("seen");
    rt.advance(2000);
    EXPECT_EQ(f.lblData[1].caption(), "seen");
}

TEST_F(DownloadTest, FailuresKeepTheOldFileAndWriteTheAddressAndReason) {
    struct Case {
        const char* name;
        std::string url;
        FakeResource res;
        const char* reason;
    } cases[] = {
        {"not found", "http://news.example/missing.mp3", {"<html>404</html>", -2, 512, 100, -1, 404}, "HTTP status 404"},
        {"cut", "http://news.example/cut.mp3", {std::string(10000, 'x'), -2, 512, 100, 2048}, "Connection Terminated"},
        {"no server", "http://nowhere.example/a.mp3",
         {"", -2, 512, 100, -1, 200, TransferFailure::Resolve}, "Server not resolved"},
        {"https", "https://news.example/n1.mp3", {"x"}, "only http:// and ftp:// addresses"},
        {"design text", "Enter Your URL here", {"x"}, "only http:// and ftp:// addresses"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        net.resources[c.url] = c.res;
        Form13& f = form ? *form : start();
        putNews(1, "old news");
        int result = -1;
        ::testing::internal::CaptureStderr();
        f.DownloadAFile("C:\\News1.mp3", c.url, false, true, [&](bool ok) { result = ok; });
        rt.advance(5000);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, 0);
        EXPECT_EQ(readNews(1), "old news");
        EXPECT_TRUE(leftovers().empty());
        EXPECT_NE(err.find("ERROR Form13 download " + c.url + ": "), std::string::npos) << err;
        EXPECT_NE(err.find(c.reason), std::string::npos) << err;
        // The window says so beside the bar until the next transfer starts.
        EXPECT_EQ(f.txtPercent.caption().rfind("Failed: ", 0), 0u) << f.txtPercent.caption();
        EXPECT_NE(f.txtPercent.caption().find(c.reason), std::string::npos) << f.txtPercent.caption();
        EXPECT_EQ(f.txtPercent.foreColour(), kRed);
    }
}

TEST_F(DownloadTest, CapitalSchemeIsAcceptedAndAFailureEmptiesTheBarUntilTheNextTransfer) {
    net.resources["HTTP://news.example/n1.mp3"] = {std::string(2000, 'a')};
    net.resources[kUrl] = {std::string(10000, 'b'), -2, 512, 100, 2048};
    Form13& f = start();
    int result = -1;
    f.DownloadAFile("C:\\News1.mp3", "HTTP://news.example/n1.mp3", false, true, [&](bool ok) { result = ok; });
    rt.advance(1000);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(readNews(1), std::string(2000, 'a'));
    ::testing::internal::CaptureStderr();
    f.DownloadAFile("C:\\News1.mp3", kUrl, false, true, [&](bool ok) { result = ok; });
    rt.advance(2000);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(f.Percent.caption(), "");
    EXPECT_EQ(f.Percent.width(), 0);
    EXPECT_EQ(f.txtPercent.caption().rfind("Failed: Connection Terminated", 0), 0u) << f.txtPercent.caption();
    // A 404 after a whole file: no "100 %" left from the file before.
    net.resources["http://news.example/gone.mp3"] = {"", -2, 512, 100, -1, 404};
    f.DownloadAFile("C:\\News1.mp3", "HTTP://news.example/n1.mp3", false, true, [&](bool ok) { result = ok; });
    rt.advance(1000);
    EXPECT_EQ(f.Percent.caption(), "100 %");
    EXPECT_EQ(f.txtPercent.caption(), "");
    ::testing::internal::CaptureStderr();
    f.DownloadAFile("C:\\News1.mp3", "http://news.example/gone.mp3", false, true, [&](bool ok) { result = ok; });
    rt.advance(1000);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(f.Percent.caption(), "");
    EXPECT_EQ(f.txtPercent.caption(), "Failed: HTTP status 404");
}

TEST_F(DownloadTest, CancelEndsTheBatchAndEveryTargetKeepsItsFile) {
    writeIni("CHECK1=1\nCHECK2=1\nCHECK3=1\nTXTURL11=http://a/1\nTXTURL22=http://a/2\nTXTURL33=http://a/3\n");
    for (int n = 1; n <= 3; ++n) net.resources["http://a/" + std::to_string(n)] = {std::string(5000, 'n')};
    Form13& f = start();
    for (int n = 1; n <= 3; ++n) putNews(n, "old" + std::to_string(n));
    f.GetURL2();
    EXPECT_FALSE(f.Command12.enabled());
    EXPECT_TRUE(f.cmdCancel.enabled());
    rt.advance(350);
    ASSERT_TRUE(f.urlBusy());
    f.cmdCancel.click();
    EXPECT_FALSE(f.urlBusy());
    rt.advance(5000);
    EXPECT_EQ(net.requests.size(), 1u);
    for (int n = 1; n <= 3; ++n) EXPECT_EQ(readNews(n), "old" + std::to_string(n));
    EXPECT_TRUE(leftovers().empty());
    EXPECT_TRUE(f.Command12.enabled());
    EXPECT_FALSE(f.cmdCancel.enabled());
    // The flag stays until the next caller starts: a bare engine call takes the cancel path at once.
    EXPECT_TRUE(f.CancelFlag);
    int result = -1;
    f.DownloadAFile("C:\\News1.mp3", "http://a/1", false, true, [&](bool ok) { result = ok; });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(net.requests.size(), 1u);
    f.Command12.click();
    EXPECT_FALSE(f.CancelFlag);
    rt.advance(2000);
    EXPECT_EQ(readNews(1), std::string(5000, 'n'));
}

TEST_F(DownloadTest, ClosingDuringATransferHidesCancelsAndClosesWithinHalfASecond) {
    net.resources[kUrl] = {std::string(50000, 'z')};
    Form13& f = start();
    putNews(1, "old");
    f.show();
    f.DownloadAFile("C:\\News1.mp3", kUrl, false, true, {});
    rt.advance(250);
    EXPECT_FALSE(f.onCloseRequest());
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(f.loaded());
    EXPECT_TRUE(f.CancelFlag);
    rt.advance(500);
    EXPECT_FALSE(f.loaded());
    EXPECT_FALSE(f.Beacon4.enabled());
    EXPECT_FALSE(f.hostLink());
    EXPECT_EQ(readNews(1), "old");
    EXPECT_TRUE(leftovers().empty());
    // Closing while idle closes at once.
    f.show();
    EXPECT_TRUE(f.onCloseRequest());
    EXPECT_FALSE(f.loaded());
}

}  // namespace
}  // namespace tarnwick::test
