// The downloader end to end: the real tarnwick against the real tarnwick-host, fetching from local
// HTTP and FTP servers on its schedules.

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/node.h"
#include "support/wav.h"
#include "transfers/local_servers.h"

namespace tarnwick::testing {
namespace {

// Seconds since 1970 of each logged request for `path`.
std::vector<double> requestTimes(const LocalServer& http, const std::string& path) {
    std::vector<double> out;
    std::istringstream in(http.log());
    for (std::string line; std::getline(in, line);)
        if (line.find(" GET " + path + " ") != std::string::npos) out.push_back(std::stod(line));
    return out;
}

struct DownloadNode : Node {
    DownloadNode() {
        std::filesystem::create_directories(dir().file("root/pub"));
        dir().write("root/pub/News1.mp3", std::string(150000, 'n') + "end");
    }
    std::string news(const std::string& name) { return Process::slurp(drivePath("c", name)); }
};

// The program's time of day stands at Monday 08:04:59 until the test steps it to 08:05:00; its timers
// keep the real time, as do the host and the server.
TEST(DownloadEndToEnd, WeeklyUrlSlotFetchesAtSecondZeroOnceAndA404KeepsTheOldFile) {
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    SteppedClock clock("2026-12-14 08:04:59", SteppedClock::Kind::TimeOfDayOnly);  // a Monday
    DownloadNode node;
    LocalServer http("http", node.dir().file("root"));
    ASSERT_TRUE(http.up()) << http.err();
    const std::string base = "http://127.0.0.1:" + std::to_string(http.port());
    node.writeSettings("brannockd.ini", "[SETTINGS]\nMON=1\nHOUR=08\nMINS=05\nCHECK1=1\nCHECK2=1\nTXTURL11=" + base +
                                            "/pub/News1.mp3\nTXTURL22=" + base + "/status/404\nBEACONPERIOD4=600\n");
    std::ofstream(node.drivePath("c", "News2.mp3")) << "old news";
    Process& app = node.start("ok", clock.env());
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_TRUE(node.secondsPassed(node.lastLine(), 2)) << node.log();
    EXPECT_TRUE(http.log().empty()) << "a second early\n" << http.log();
    clock.step();
    ASSERT_TRUE(eventually([&] { return node.news("News1.mp3").size() == 150003; }, std::chrono::seconds(30)))
        << app.err() << http.log();
    EXPECT_TRUE(eventually([&] {
        return app.err().find("ERROR Form13 download " + base + "/status/404: HTTP status 404") != std::string::npos;
    })) << app.err();
    // Once: not again in the seconds after.
    clock.step();
    clock.step();
    ASSERT_TRUE(node.secondsPassed(node.lastLine(), 2)) << node.log();
    EXPECT_EQ(requestTimes(http, "/pub/News1.mp3").size(), 1u) << http.log();
    EXPECT_EQ(requestTimes(http, "/status/404").size(), 1u) << http.log();
    EXPECT_EQ(node.news("News2.mp3"), "old news");
    EXPECT_EQ(node.news("News1.mp3"), std::string(150000, 'n') + "end");
}

TEST(DownloadEndToEnd, FtpSlotFetchesFromPortTwentyOne) {
    if (::geteuid() != 0) GTEST_SKIP() << "port 21 needs root";
    if (!hasPyftpdlib()) GTEST_SKIP() << "python3-pyftpdlib is not installed";
    DownloadNode node;
    LocalServer ftpd("ftp", node.dir().file("root"), 21);
    if (!ftpd.up()) GTEST_SKIP() << "port 21 is taken: " << ftpd.err();
    // The FTP countdown's first action comes ten ticks of the downloader's clock after the window loads,
    // on a clock stepped two seconds at a time (a tick each); only an address that begins with "ftp"
    // makes an FTP slot.
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    SteppedClock clock("2026-12-14 10:00:00");
    node.writeSettings("brannockd.ini",
                       "[SETTINGS]\nCHECK55=1\nBEACONPERIOD44=15\nCHECK11=1\nREMOTEADDRESS1=ftp://127.0.0.1\n"
                       "REMOTEFILENAME1=/pub/News1.mp3\nMYFILE1=C:\\News3.mp3\n");
    Process& app = node.start("ok", clock.env());
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_TRUE(stepUntil(clock, {&node}, [&] { return node.news("News3.mp3").size() == 150003; }, 30,
                          std::chrono::seconds(2)))
        << app.err() << ftpd.log();
    EXPECT_GE(node.ticks(), 10);
    const std::string log = ftpd.log();
    EXPECT_NE(log.find("USER anonymous"), std::string::npos) << log;
    EXPECT_NE(log.find("PASS zq_fernhold"), std::string::npos) << log;
    EXPECT_NE(log.find("RETR /pub/News1.mp3"), std::string::npos) << log;
    EXPECT_EQ(log.find("PASV"), std::string::npos) << log;
}

// The URL countdown runs out a minute after the window's load and every minute after, each time a
// fetch. The downloader's one-second clock ticks just after each second turns, so the clock steps two
// seconds at a time: one tick each. (That the countdown stands still while the news is on air is
// shown on virtual time, by the news player's tests and the downloader's.)
TEST(DownloadEndToEnd, UrlCountdownFetchesEveryMinute) {
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    SteppedClock clock("2026-12-14 10:00:00");
    DownloadNode node;
    LocalServer http("http", node.dir().file("root"));
    ASSERT_TRUE(http.up()) << http.err();
    const std::string base = "http://127.0.0.1:" + std::to_string(http.port());
    node.writeSettings("brannockd.ini", "[SETTINGS]\nCHECK5=1\nBEACONPERIOD4=1\nCHECK1=1\nTXTURL11=" + base +
                                            "/pub/News1.mp3\n");
    Process& app = node.start("ok", clock.env());
    ASSERT_TRUE(node.started()) << app.err();
    // The tick at which each fetch was first seen.
    std::vector<long long> fetched;
    ASSERT_TRUE(stepUntil(clock, {&node},
                          [&] {
                              const auto n = requestTimes(http, "/pub/News1.mp3").size();
                              while (fetched.size() < n) fetched.push_back(node.ticks());
                              return n >= 2;
                          },
                          150, std::chrono::seconds(2)))
        << http.log() << app.err();
    // A fetch may be seen a tick after the one that asked for it.
    EXPECT_GE(fetched[0], 60);
    EXPECT_LE(fetched[0], 62);
    EXPECT_GE(fetched[1] - fetched[0], 59);
    EXPECT_LE(fetched[1] - fetched[0], 61);
    EXPECT_TRUE(eventually([&] { return node.news("News1.mp3") == std::string(150000, 'n') + "end"; }));
}

}  // namespace
}  // namespace tarnwick::testing
