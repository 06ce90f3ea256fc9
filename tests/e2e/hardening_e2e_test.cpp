// The node stays safe when things go wrong: refused unkeys, tools on air at once, signals, modal
// boxes, a host that goes away, a settings folder that cannot be made, strangers on the socket.

#include <gtest/gtest.h>

#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <thread>

#include "support/desktop.h"
#include "support/node.h"
#include "support/wav.h"

namespace tarnwick::testing {
namespace {

const std::string kPlayerKey = R"("link":"Form1","op":"SetPTT","args":[true])";
const std::string kUnkey = R"("op":"SetPTT","args":[false])";

// A node whose Audio File 1 (DTMF "AA") is a tone of the given length.
struct PlayNode : Node {
    explicit PlayNode(double seconds, const std::string& extraKeys = "") {
        wav = drivePath("c", "News1.wav");
        writeToneWav(wav, seconds);
        writeSettings("brannock.ini", "[SETTINGS]\nTEXT4=C:\\News1.wav\n" + extraKeys);
    }
    bool keyed() { return hostState().find("\"ptt\":true") != std::string::npos; }
    bool unkeyed() { return hostState().find("\"ptt\":false") != std::string::npos; }
    // Accepted unkeys (from any link) logged after the given sequence number.
    std::vector<std::string> unkeysAfter(long long seq) {
        std::vector<std::string> out;
        for (const auto& l : lines({kUnkey}))
            if (seqOf(l) > seq && l.find("\"error\"") == std::string::npos) out.push_back(l);
        return out;
    }
    // Whether the player's own unkey went through after the given sequence number.
    bool playerUnkeyedAfter(long long seq) {
        for (const auto& l : unkeysAfter(seq))
            if (l.find(R"("link":"Form1")") != std::string::npos) return true;
        return false;
    }
    std::string wav;
};

TEST(HardeningEndToEnd, ARefusedUnkeyIsRetriedUntilTheHostShowsPttOff) {
    PlayNode node(3.0);  // long enough to set the fault while it plays, even on a busy machine
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "AA"}), 0);
    ASSERT_TRUE(eventually([&] { return !node.lines({kPlayerKey}).empty(); })) << node.log();
    ASSERT_EQ(node.hostCommand({"set", "fail", "SetPTT"}), 0);
    // The wrap-up's unkey is refused, and so are its retries while the fault lasts.
    ASSERT_TRUE(eventually([&] { return node.lines({R"("link":"Form1")", kUnkey, "\"error\""}).size() >= 2; }))
        << node.log();
    EXPECT_TRUE(node.keyed());
    const long long refused = Node::seqOf(node.lines({R"("link":"Form1")", kUnkey, "\"error\""}).back());
    ASSERT_EQ(node.hostCommand({"set", "fail", "none"}), 0);
    // The player's own retry goes through within a second or so; the speech tool may then key for its
    // end-of-news announcement, so the transmitter is free once that is spoken too.
    EXPECT_TRUE(eventually([&] { return node.playerUnkeyedAfter(refused); }, std::chrono::seconds(5))) << node.log();
    EXPECT_TRUE(eventually([&] { return node.unkeyed(); }, std::chrono::seconds(15))) << node.log();
    EXPECT_TRUE(app.running());
}

TEST(HardeningEndToEnd, ADtmfPlayThatStartsDuringKeyedSpeechStaysKeyedToItsEnd) {
    PlayNode node(2.0);
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "*1*"}), 0);  // "Auto Connects Enabled." is spoken, keyed
    ASSERT_TRUE(eventually([&] { return app.err().find("SPEAK ") != std::string::npos; })) << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "AA"}), 0);  // reaches the tools while the speech holds the thread
    ASSERT_TRUE(eventually([&] { return !node.lines({kPlayerKey}).empty(); })) << node.log();
    const std::string key = node.lines({kPlayerKey}).front();
    ASSERT_TRUE(eventually([&] { return !node.unkeysAfter(Node::seqOf(key)).empty(); })) << node.log();
    const std::string unkey = node.unkeysAfter(Node::seqOf(key)).front();
    EXPECT_NE(unkey.find(R"("link":"Form1")"), std::string::npos) << "the play was cut: " << unkey;
    EXPECT_GE(Node::timeOf(unkey) - Node::timeOf(key), 2000) << node.log();
}

TEST(HardeningEndToEnd, SigtermDuringAPlayLeavesTheHostUnkeyedWithDtrDown) {
    PlayNode node(20.0);
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    ASSERT_EQ(node.hostCommand({"dtmf", "AA"}), 0);
    // On air, the transmitter fan's serial line up.
    ASSERT_TRUE(eventually([&] {
        const std::string s = node.hostState();
        return s.find("\"ptt\":true") != std::string::npos && s.find("\"dtr\":true") != std::string::npos;
    })) << node.hostState() << node.log();
    app.terminate();
    EXPECT_EQ(app.wait(std::chrono::seconds(5)), 0) << app.err();
    const std::string s = node.hostState();
    EXPECT_NE(s.find("\"ptt\":false"), std::string::npos) << s;
    EXPECT_NE(s.find("\"dtr\":false"), std::string::npos) << s;
}

// Stands where the host's socket was and drops every connection the moment it comes, as a host that
// goes away under each call does, counting them: each is one call of the program that fails.
class HangingUpHost {
public:
    explicit HangingUpHost(const std::string& path) : path_(path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        ::unlink(path.c_str());
        ok_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(fd_, 64) == 0;
        if (ok_) thread_ = std::thread([this] { serve(); });
    }
    ~HangingUpHost() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) ::close(fd_);
        ::unlink(path_.c_str());
    }
    bool ok() const { return ok_; }
    int calls() const { return calls_; }

private:
    void serve() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) != 1) continue;
            const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) continue;
            ::close(c);
            ++calls_;
        }
    }
    std::string path_;
    int fd_ = -1;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<int> calls_{0};
    std::thread thread_;
};

TEST(HardeningEndToEnd, OneErrorLineNotHundredsWhileTheHostIsDownAndTheLinksSayHelloWhenItIsBack) {
    Node node;
    Process& app = node.start();
    ASSERT_TRUE(node.started()) << app.err();
    const std::size_t before = app.err().size();
    node.stopHost();
    // Gone: its socket with it. The program says so.
    ASSERT_TRUE(eventually([&] { return app.err().find("ERROR ", before) != std::string::npos; })) << app.err();
    {
        // Then each call finds a host that hangs up: forty calls that fail, each of which would write its
        // line but for the once-a-minute rule, however slowly the machine runs the program.
        HangingUpHost gone(node.dir().file("host.sock"));
        ASSERT_TRUE(gone.ok()) << std::strerror(errno);
        EXPECT_TRUE(eventually([&] { return gone.calls() >= 40; }, std::chrono::seconds(60)))
            << gone.calls() << " calls\n" << app.err();
    }
    std::map<std::string, int> seen;
    std::istringstream err(app.err().substr(before));
    for (std::string line; std::getline(err, line);)
        if (line.rfind("ERROR ", 0) == 0) ++seen[line];
    EXPECT_FALSE(seen.empty()) << "the operator hears of it";
    for (const auto& [line, n] : seen) EXPECT_EQ(n, 1) << line;
    EXPECT_TRUE(app.running());

    node.startHost();
    EXPECT_TRUE(eventually([&] {
        const std::string state = node.hostState();
        return state.find("\"Form1\"") != std::string::npos && state.find("\"Form3\"") != std::string::npos;
    })) << node.hostState();
}

TEST(HardeningEndToEnd, ASettingsFolderThatCannotBeMadeGivesItsOwnMessage) {
    Node node;
    node.dir().write("plain", "a file where a folder should go");
    const std::string folder = node.dir().file("plain/tarnwick");
    Process& app = node.start("ok", {{"TARNWICK_CONFIG_DIR", folder}});
    EXPECT_NE(app.wait(std::chrono::seconds(10)), 0);
    EXPECT_EQ(app.err().find("Program is already running."), std::string::npos) << app.err();
    EXPECT_NE(app.err().find("MSGBOX Tarnwick: The settings folder " + folder + " cannot be made"), std::string::npos)
        << app.err();
}

// Runs fn as another user in a child process and returns its exit code.
constexpr unsigned kStranger = 65534;
int asStranger(const std::function<int()>& fn) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kStranger) != 0 || ::setuid(kStranger) != 0) ::_exit(99);
        ::_exit(fn());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Tries to key the transmitter through the socket: 10 when the connection itself is refused, 0 when
// the host hangs up without an answer, 20 when the host answered.
int tryToKey(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return 10;
    const std::string req = R"({"id":1,"link":"Stranger","op":"SetPTT","args":[true]})" "\n";
    if (::send(fd, req.data(), req.size(), MSG_NOSIGNAL) < 0) return 0;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 3000) <= 0) return 30;
    char buf[256];
    return ::recv(fd, buf, sizeof buf, 0) > 0 ? 20 : 0;
}

// 0 when the calling user may run the program at `path`: every folder on the way may be entered.
int canRun(const std::string& path) { return ::access(path.c_str(), X_OK) == 0 ? 0 : 1; }

TEST(HardeningEndToEnd, AnotherUserCannotUseTheSocketWhateverTheUmask) {
    if (::geteuid() != 0) GTEST_SKIP() << "acting as another user needs root";
    const mode_t umask = ::umask(0);
    auto node = std::make_unique<PlayNode>(1.0);
    ::umask(umask);
    // The stranger's own folder, beside the node's, with a copy of the host program to run there: the
    // build folder may lie where other users cannot go (a checkout in a folder only its owner enters).
    TempDir theirs;
    ASSERT_EQ(::chown(theirs.path().c_str(), kStranger, kStranger), 0);
    ::chmod(theirs.path().c_str(), 0755);
    const std::string theirHost = theirs.file("tarnwick-host");
    std::error_code copied;
    std::filesystem::copy_file(TARNWICK_HOST_BIN, theirHost, copied);
    ASSERT_FALSE(copied) << theirHost << ": " << copied.message();
    ::chmod(theirHost.c_str(), 0755);
    if (asStranger([&] { return canRun(theirHost); }) != 0)
        GTEST_SKIP() << "another user cannot enter the temporary folder " << theirs.path()
                     << ": a folder above it is closed to others (TMPDIR may name one that is not)";

    const std::string sock = node->dir().file("host.sock");
    struct stat st {};
    ASSERT_EQ(::stat(sock.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ::chmod(node->dir().path().c_str(), 0711);
    EXPECT_EQ(asStranger([&] { return tryToKey(sock); }), 10) << "the socket's mode keeps strangers out";

    // Even through a socket someone opened up, the host serves its own user only, and says so once.
    ::chmod(sock.c_str(), 0666);
    EXPECT_EQ(asStranger([&] { return tryToKey(sock); }), 0);
    EXPECT_EQ(asStranger([&] { return tryToKey(sock); }), 0);
    EXPECT_TRUE(node->unkeyed());
    const std::string hostErr = Process::slurp(node->dir().file("host.err"));
    std::size_t refusals = 0;
    for (std::size_t at = 0; (at = hostErr.find("ERROR host: refused a connection from another user", at)) != std::string::npos; ++at)
        ++refusals;
    EXPECT_EQ(refusals, 1u) << hostErr;

    // And the program and the command-line client talk to no host that runs as somebody else.
    node.reset();
    const std::string theirSock = theirs.file("host.sock");
    const pid_t host = ::fork();
    if (host == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kStranger) != 0 || ::setuid(kStranger) != 0) ::_exit(99);
        ::setenv("TARNWICK_HOST", theirSock.c_str(), 1);
        const int out = ::open(theirs.file("host.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(out, 2);
        if (::chdir(theirs.path().c_str()) != 0) ::_exit(98);
        ::execl(theirHost.c_str(), theirHost.c_str(), "serve", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    struct Reaper {
        pid_t pid;
        ~Reaper() {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    } reaper{host};
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(theirSock); }, std::chrono::seconds(30)))
        << "the stranger's host did not start: " << theirs.read("host.err");
    ::chmod(theirSock.c_str(), 0666);  // even opened up to everyone
    Process cli({TARNWICK_HOST_BIN, "state"}, {{"TARNWICK_HOST", theirSock}}, theirs.file("cli.err"));
    EXPECT_NE(cli.wait(std::chrono::seconds(30)), 0);
    EXPECT_NE(cli.err().find("another user"), std::string::npos) << cli.err();
    Process app({TARNWICK_BIN}, {{"TARNWICK_HOST", theirSock}, {"TARNWICK_CONFIG_DIR", theirs.file("cfg")},
                                 {"QT_QPA_PLATFORM", "offscreen"}, {"TARNWICK_AUDIO", "null"}, {"TARNWICK_ANSWER", "ok"}},
                theirs.file("app.err"));
    EXPECT_NE(app.wait(std::chrono::seconds(30)), 0);
    EXPECT_NE(app.err().find("ERROR host: refusing the host at " + theirSock), std::string::npos) << app.err();
}

TEST(HardeningEndToEnd, TheTraysRightClickRestoresTheLauncherAndTheProgramLivesOn) {
    NEED_DESKTOP(desktop);
    Node node;
    node.writeSettings("tarnwick.ini", "[SETTINGS]\r\nCHECK1=1\r\n");  // starts in the tray
    Process& app = node.start("", desktop.appEnv());
    ASSERT_TRUE(node.started()) << app.err();
    // The icon's window exists before the panel has docked it: click where it has come to rest.
    std::optional<std::pair<int, int>> icon;
    std::pair<int, int> before{-1, -1};
    ASSERT_TRUE(eventually([&] {
        icon = desktop.trayIcon();
        if (icon && *icon == before) return true;
        if (icon) before = *icon;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        return false;
    })) << "no tray icon";
    EXPECT_FALSE(desktop.visible("Tarnwick"));
    // Generous waits: a machine busy with other tests may be slow to map a window; a crash is final.
    // A click the panel swallowed while still settling is given again, never a second one after the first worked.
    bool shown = false;
    for (int attempt = 0; attempt < 3 && !shown && app.running(); ++attempt) {
        if (const auto now = desktop.trayIcon()) icon = now;
        else if (attempt > 0) break;  // the icon has gone: the click was taken
        desktop.run({"/usr/bin/xdotool", "mousemove", std::to_string(icon->first), std::to_string(icon->second),
                     "click", "3"});
        shown = eventually([&] { return desktop.visible("Tarnwick"); }, std::chrono::seconds(attempt < 2 ? 5 : 15));
    }
    if (!shown) shown = eventually([&] { return desktop.visible("Tarnwick"); }, std::chrono::seconds(10));
    EXPECT_TRUE(shown) << app.err();
    EXPECT_TRUE(eventually([&] { return !desktop.trayIcon().has_value(); }, std::chrono::seconds(5)))
        << "the icon leaves the tray";
    // Two more seconds of the program's own clock: it ticks on, so it lives on.
    EXPECT_TRUE(node.secondsPassed(node.lastLine(), 2)) << app.err();
    EXPECT_TRUE(app.running()) << app.err();
}

// Audio File 3 is scheduled with its 2nd File chained, and the 2nd File is missing: "Please select a
// file" opens from the playback monitor and waits for a person. The program's time of day stands just
// before the scheduled moment until the test steps it there; its timers, the host and the sound keep
// the real time.
TEST(HardeningEndToEnd, AModalBoxOpenedDuringATransmissionDoesNotStopTheWrapUp) {
    if (!SteppedClock::available()) GTEST_SKIP() << "libfaketime is not installed";
    NEED_DESKTOP(desktop);
    SteppedClock clock("2026-12-10 10:00:14", SteppedClock::Kind::TimeOfDayOnly);  // a Thursday
    PlayNode node(1.5, "TEXT7=C:\\News1.wav\nTHUR=1\nHOUR=10\nMINS=00\nCHECK2=1\nTEXT8=C:\\Missing.wav\n");
    auto env = desktop.appEnv();
    env.merge(clock.env());
    Process& app = node.start("", env);
    ASSERT_TRUE(node.started()) << app.err();
    clock.step();
    ASSERT_TRUE(eventually([&] { return !node.lines({kPlayerKey}).empty(); }, std::chrono::seconds(20)))
        << node.log() << app.err();
    const long long key = Node::seqOf(node.lines({kPlayerKey}).front());
    ASSERT_TRUE(eventually([&] { return desktop.visible("Error"); }, std::chrono::seconds(15))) << app.err();
    // Nobody answers the box; the transmission still ends soon after the file (stopped timers never would;
    // the wait is generous for a machine busy with other tests).
    EXPECT_TRUE(eventually([&] { return node.playerUnkeyedAfter(key); }, std::chrono::seconds(15))) << node.log();
    // The speech tool may key for its end-of-news announcement right after: the air is free once it
    // has been spoken.
    EXPECT_TRUE(eventually([&] { return node.unkeyed(); }, std::chrono::seconds(15))) << node.log();
    EXPECT_TRUE(desktop.visible("Error")) << "the box was still open";
}

// The resident memory of a process, in kB.
long residentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// Raises chat lines through the host's socket as fast as it takes them: a thousand requests, then
// their replies. False when the host could not be reached or stopped answering.
bool floodChat(const std::string& sock, int lines, const std::string& text) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, sock.c_str(), sizeof addr.sun_path - 1);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    for (int sent = 0; ok && sent < lines;) {
        std::string batch;
        const int n = std::min(1000, lines - sent);
        for (int k = sent; k < sent + n; ++k)
            batch += R"({"id":)" + std::to_string(k) + R"(,"cmd":"raise","event":"ChatTextReceived","args":[")" + text +
                     std::to_string(k) + "\"]}\n";
        ok = ::send(fd, batch.data(), batch.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(batch.size());
        for (int replies = 0; ok && replies < n;) {
            pollfd p{fd, POLLIN, 0};
            char buf[65536];
            const ssize_t got = ::poll(&p, 1, 10000) == 1 ? ::recv(fd, buf, sizeof buf, 0) : -1;
            ok = got > 0;
            if (ok) replies += static_cast<int>(std::count(buf, buf + got, '\n'));
        }
        sent += n;
    }
    ::close(fd);
    return ok;
}

// With the conference controller's window on a desktop, a flood of chat lines leaves the program as
// quick to answer as before it, and its memory where it was.
TEST(HardeningEndToEnd, AChatFloodOnTheShownConferenceControllerLeavesVerAnsweredAtOnce) {
    NEED_DESKTOP(desktop);
    Node node;
    Process& app = node.start("", desktop.appEnv());
    ASSERT_TRUE(node.started()) << app.err();
    // The launcher's buttons are pressed from the keyboard, one after the other, until the controller's
    // window is up (the tools before it in the launcher show their windows on the way).
    auto toolWindows = [&] { return desktop.shownWindows("^Tarnwick    ").size(); };
    ASSERT_TRUE(eventually([&] { return desktop.visible("Tarnwick"); }, std::chrono::seconds(20))) << app.err();
    for (int press = 0; press < 8 && !desktop.visible(".* Conference Controller"); ++press) {
        const auto shown = toolWindows();
        desktop.run({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "^Tarnwick$", "windowactivate", "--sync",
                     "key", "--clearmodifiers", "Tab", "space"});
        eventually([&] { return toolWindows() > shown; }, std::chrono::seconds(5));
    }
    ASSERT_TRUE(desktop.visible(".* Conference Controller")) << app.err();

    const long rssBefore = residentKb(app.pid());
    const std::string text = "Q0ABC-L: how are things on the net tonight, all well here? line ";
    ASSERT_TRUE(floodChat(node.dir().file("host.sock"), 20'000, text)) << Process::slurp(node.dir().file("host.err"));
    ASSERT_EQ(node.hostCommand({"chat", "/ver/"}), 0);
    const std::vector<std::string> answer = {R"("link":"Form6","op":"SendChatText","args":["Tarnwick  v7.2"])"};
    ASSERT_TRUE(eventually([&] { return !node.lines(answer).empty(); }, std::chrono::seconds(60))) << app.err();
    const long grown = residentKb(app.pid()) - rssBefore;
    // The program keeps pace with the host: it is through the flood, and answers, within twice the time
    // the host took to raise it (a line costs the program, with its panes on a desktop, more than it costs
    // the host). Both times are read off the host's clock in the same run, so a busy machine stretches
    // them alike; a program whose cost per line grew with what it holds would need minutes.
    const long long raisedFrom = Node::timeOf(node.lines({R"("event":"ChatTextReceived")", text}).at(0));
    const long long asked = Node::timeOf(node.lines({R"("event":"ChatTextReceived","args":["/ver/"])"}).at(0));
    const long long answeredAfter = Node::timeOf(node.lines(answer).at(0)) - asked;
    RecordProperty("flood_raised_ms", static_cast<int>(asked - raisedFrom));
    RecordProperty("ver_answered_after_ms", static_cast<int>(answeredAfter));
    RecordProperty("rss_growth_kb", static_cast<int>(grown));
    EXPECT_LE(answeredAfter, 2 * (asked - raisedFrom) + 2000) << "the host raised the flood in " << asked - raisedFrom
                                                              << " ms";
    // Panes that kept every line of the flood hold about 34 MB more. With only their last 2,000 lines,
    // and what the allocator and the desktop's caches keep on the way, 5 to 16 MB remain, the more the
    // busier the machine (the panes then take the flood in smaller bursts).
    EXPECT_LE(grown, 24 * 1024) << "kB more after the flood";
    EXPECT_TRUE(app.running());
}

}  // namespace
}  // namespace tarnwick::testing
