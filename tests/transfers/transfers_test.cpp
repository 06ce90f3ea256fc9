// The downloader's transfers through libcurl on the real event loop, against local servers:
// what reaches the news files, what the servers were asked, and what is kept when a transfer fails.

#include <fstream>

#include "download/downloader.h"
#include "hostlink/local_host_transport.h"
#include "local_servers.h"
#include "platform/curl/curl_transfers.h"
#include "support/stepped_clock.h"
#include "toolbox/tool_registry.h"
// Qt last: its keywords would clash with names above.
#include "platform/qt/qt_runtime.h"
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace tarnwick::testing {
namespace {

QCoreApplication& app() {
    static QCoreApplication* a = [] {
        static int argc = 1;
        static char name[] = "tarnwick_transfers_tests";
        static char* argv[] = {name, nullptr};
        return new QCoreApplication(argc, argv);
    }();
    return *a;
}

std::string pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 13) % 256);
    return s;
}

class TransfersTest : public ::testing::Test {
protected:
    TransfersTest() {
        setenv("TARNWICK_DRIVES", tmp.file("drives").c_str(), 1);
        std::filesystem::create_directories(tmp.file("drives/c"));
        std::filesystem::create_directories(tmp.file("root/pub"));
        heartbeat.start(20);
        form.load();
    }
    ~TransfersTest() override {
        form.unload();
        heartbeat.stop();
    }

    // Runs the loop until `done` holds or the time is up.
    bool until(const std::function<bool()>& done, int ms = 15000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return true;
    }
    // Fetches through the URL engine; returns the result (-1: no result in time).
    int fetch(const std::string& url, const std::string& target = "C:\\News1.mp3") {
        int result = -1;
        form.DownloadAFile(target, url, false, true, [&](bool ok) { result = ok; });
        until([&] { return result >= 0; });
        return result;
    }
    std::string news(int n) const { return tmp.read("drives/c/News" + std::to_string(n) + ".mp3"); }
    void putNews(int n, const std::string& text) const { tmp.write("drives/c/News" + std::to_string(n) + ".mp3", text); }
    std::size_t filesInDriveC() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(tmp.file("drives/c")),
                                                      std::filesystem::directory_iterator()));
    }

    QCoreApplication& app_ = app();
    TempDir tmp;
    QTimer heartbeat;
    QtRuntime rt;
    LocalHostTransport host{rt};
    HostHub hub{rt, host};
    ToolRegistry tools;
    ToolContext ctx{rt, hub, tools, tmp.path()};
    std::unique_ptr<TransferService> curl = makeCurlTransfers(rt);
    Form13 form{ctx, curl.get()};
};

TEST_F(TransfersTest, HttpRepliesReachTheNewsFileWholeOrNotAtAll) {
    tmp.write("root/pub/big.mp3", pattern(300000));
    LocalServer http("http", tmp.file("root"));
    ASSERT_TRUE(http.up()) << http.err();
    const std::string base = "http://127.0.0.1:" + std::to_string(http.port());
    struct Case {
        std::string path;
        bool ok;
        std::string body;  // when ok
    } cases[] = {
        {"/pub/big.mp3", true, pattern(300000)},
        {"/chunked/70000", true, pattern(70000)},
        {"/redirect/pub/big.mp3", true, pattern(300000)},
        {"/status/404", false, ""},
        {"/status/500", false, ""},
        {"/status/304", false, ""},
        {"/cut/10000/2048", false, ""},
        {"/redirect-https", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        putNews(1, "old news");
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(fetch(base + c.path), c.ok ? 1 : 0);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(news(1), c.ok ? c.body : "old news");
        EXPECT_EQ(filesInDriveC(), 1u);
        if (!c.ok) {
            EXPECT_NE(err.find("ERROR Form13 download " + base + c.path + ": "), std::string::npos) << err;
        }
    }
    EXPECT_EQ(form.Percent.caption(), "20 %");  // the cut reply's last shown step
    EXPECT_NE(http.log().find("GET /pub/big.mp3 Downloader Demo"), std::string::npos) << http.log();

    // Nobody listens: the connection fails.
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(fetch("http://127.0.0.1:1/x.mp3"), 0);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("Connection Failed"), std::string::npos);
}

TEST_F(TransfersTest, CancelDuringASlowReplyKeepsTheOldFileAndTheReadoutsFollow) {
    LocalServer http("http", tmp.file("root"));
    ASSERT_TRUE(http.up()) << http.err();
    putNews(2, "old news");
    int result = -1;
    form.DownloadAFile("C:\\News2.mp3", "http://127.0.0.1:" + std::to_string(http.port()) + "/slow/200000", false,
                       true, [&](bool ok) { result = ok; });
    ASSERT_TRUE(until([&] { return form.lblData[0].caption().find("Kb / 200.0 Kb") != std::string::npos; }));
    // The speed tick sees the bytes of a second.
    ASSERT_TRUE(until([&] { return form.lblData[1].caption().rfind("Average : ", 0) == 0; }));
    form.cmdCancel.click();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(news(2), "old news");
    EXPECT_EQ(filesInDriveC(), 1u);
}

// The minute passes on a stepped clock: the test runs again in a process of its own on it, and steps
// it a second at a time once the reply's first bytes are in.
TEST_F(TransfersTest, AReplyThatStopsSendingFailsAfterAMinuteAndKeepsTheOldFile) {
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    const std::unique_ptr<SteppedClock> clock = SteppedClock::runHere();
    if (!clock) {
        std::string output;
        EXPECT_EQ(SteppedClock("2026-12-10 10:00:00").runCurrentTest(output), 0) << output;
        return;
    }
    ::unsetenv("LD_PRELOAD");  // the server keeps the real clock
    LocalServer http("http", tmp.file("root"));
    ASSERT_TRUE(http.up()) << http.err();
    putNews(1, "old news");
    int result = -1;
    form.DownloadAFile("C:\\News1.mp3", "http://127.0.0.1:" + std::to_string(http.port()) + "/stall/100000/2048",
                       false, true, [&](bool ok) { result = ok; });
    // The clock stands still: the loop runs on real time until the first bytes are shown.
    for (int i = 0; i < 10000 && form.lblData[0].caption().find("Kb / 100.0 Kb") == std::string::npos; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_NE(form.lblData[0].caption().find("Kb / 100.0 Kb"), std::string::npos) << form.lblData[0].caption();
    int seconds = 0;
    while (result < 0 && seconds < 120) {
        clock->step();
        ++seconds;
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    EXPECT_EQ(result, 0) << "a stalled transfer never ended";
    // A minute below a byte a second, as curl measures it: its rate falls to nothing once the last
    // bytes have left its five-second average.
    EXPECT_GE(seconds, 60);
    EXPECT_LE(seconds, 70);
    EXPECT_EQ(news(1), "old news");
    EXPECT_EQ(filesInDriveC(), 1u);
}

class FtpTransfersTest : public TransfersTest {
protected:
    FtpTransfersTest() {
        if (!hasPyftpdlib()) return;
        ftpd = std::make_unique<LocalServer>("ftp", tmp.file("root"));
        ftp.set_ftp_remote_address("127.0.0.1");
        ftp.set_ftp_remote_port(static_cast<std::int16_t>(ftpd->port()));
        ftp.set_ftp_password(Form13::kFtpPassword);
        ftp.set_ftp_local_filename("C:\\News3.mp3");
    }
    std::pair<bool, std::string> run(bool upload) {
        std::pair<bool, std::string> out{false, "no result"};
        bool finished = false;
        auto done = [&](bool ok, const std::string& text) {
            out = {ok, text};
            finished = true;
        };
        upload ? ftp.ftp_Upload_quick(done) : ftp.ftp_Download_quick(done);
        until([&] { return finished; });
        return out;
    }
    std::unique_ptr<LocalServer> ftpd;
    ftpControl ftp{rt, curl.get()};
};

TEST_F(FtpTransfersTest, DownloadsInActiveModeWithThePathAsWrittenInBothTypes) {
    if (!ftpd) GTEST_SKIP() << "python3-pyftpdlib is not installed";
    ASSERT_TRUE(ftpd->up()) << ftpd->err();
    const std::string binary("line1\r\nline2\n\0\xff tail", 20);
    tmp.write("root/pub/x.mp3", binary);
    ftp.set_ftp_remote_filename("/pub/x.mp3");
    putNews(3, "old news");
    EXPECT_EQ(run(false), (std::pair<bool, std::string>{true, "download complete."})) << ftpd->log() << ftp.lastFailure();
    EXPECT_EQ(news(3), binary);
    EXPECT_EQ(ftp.lblStatus.text(), "Download Success, disconnecting. (100%)");
    const std::string log = ftpd->log();
    EXPECT_NE(log.find("PASS zq_fernhold"), std::string::npos) << log;
    EXPECT_NE(log.find("TYPE I"), std::string::npos) << log;
    EXPECT_NE(log.find("RETR /pub/x.mp3"), std::string::npos) << log;
    EXPECT_TRUE(log.find("EPRT") != std::string::npos || log.find("PORT") != std::string::npos) << log;
    EXPECT_EQ(log.find("PASV"), std::string::npos) << log;

    tmp.write("root/pub/notes.txt", "one\ntwo\n");
    ftp.set_ftp_remote_filename("/pub/notes.txt");
    ftp.set_ftp_is_ascii_mode(true);
    EXPECT_TRUE(run(false).first);
    EXPECT_EQ(news(3), "one\ntwo\n");
    EXPECT_NE(ftpd->log().find("TYPE A"), std::string::npos);
    EXPECT_EQ(ftp.lblStatus.text(), "Download Success, disconnecting. (100%)");

    // A URL slot takes an ftp:// address too.
    EXPECT_EQ(fetch("ftp://127.0.0.1:" + std::to_string(ftpd->port()) + "/pub/x.mp3", "C:\\News4.mp3"), 1);
    EXPECT_EQ(news(4), binary);
    EXPECT_EQ(form.Percent.caption(), "100 %");
}

TEST_F(FtpTransfersTest, MissingFileOrNoServerKeepsTheOldFileAndUploadStoresIt) {
    if (!ftpd) GTEST_SKIP() << "python3-pyftpdlib is not installed";
    ASSERT_TRUE(ftpd->up()) << ftpd->err();
    putNews(3, "old news");
    ftp.set_ftp_remote_filename("/pub/missing.mp3");
    auto [ok, text] = run(false);
    EXPECT_FALSE(ok);
    EXPECT_EQ(text, "Failed downloading file, check file permissions (both remote & local) and try again.");
    EXPECT_EQ(ftp.Label1.text(), ftpControl::kFailedBanner);
    EXPECT_EQ(news(3), "old news");
    EXPECT_EQ(filesInDriveC(), 1u);

    ftp.set_ftp_remote_filename("/pub/up.mp3");
    EXPECT_EQ(run(true), (std::pair<bool, std::string>{true, "upload complete."}));
    EXPECT_EQ(tmp.read("root/pub/up.mp3"), "old news");

    ftp.set_ftp_remote_port(1);
    std::tie(ok, text) = run(false);
    EXPECT_FALSE(ok);
    EXPECT_EQ(ftp.lblStatus.text(),
              "Unable to connect. Please check your username, password, FTP Address and Port. Alternativly the server "
              "may be down. (50%)");
    EXPECT_EQ(news(3), "old news");
}

}  // namespace
}  // namespace tarnwick::testing
