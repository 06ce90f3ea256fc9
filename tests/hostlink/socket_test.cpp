#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "hostlink/host_link.h"
#include "hostlink/host_protocol.h"
#include "hostlink/host_server.h"
#include "hostlink/socket_transport.h"
#include "runtime/virtual_runtime.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_)
            ::setenv(name_, old_.c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

// A short private folder: socket paths must stay under about a hundred bytes.
std::string makeTempDir() {
    char tmpl[] = "/tmp/twhl-XXXXXX";
    const char* d = ::mkdtemp(tmpl);
    return d ? d : "";
}

// Runs the loop until pred holds or a couple of seconds pass.
bool pumpUntil(VirtualRuntime& rt, const std::function<bool()>& pred) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < end) {
        rt.runPending();
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

Json ask(const std::string& path, const std::string& cmd, std::vector<std::pair<std::string, Json>> members = {}) {
    Json req = Json::object();
    req["cmd"] = cmd;
    for (auto& [k, v] : members) req[k] = std::move(v);
    return hostRequest(path, std::move(req));
}

Json raiseOutside(const std::string& path, const std::string& event, Json args) {
    return ask(path, "raise", {{"event", Json(event)}, {"args", std::move(args)}});
}

class SocketTest : public ::testing::Test {
public:
    void SetUp() override {
        dir = makeTempDir();
        ASSERT_FALSE(dir.empty());
        path = dir + "/host.sock";
    }
    void TearDown() override {
        stopServer();
        fs::remove_all(dir);
    }

    void startServer() {
        server = std::make_unique<HostServer>(path);
        server->open();
        thread = std::thread([s = server.get()] { s->run(); });
    }
    void stopServer() {
        if (!server) return;
        server->stop();
        thread.join();
        server.reset();
    }

    std::string dir, path;
    std::unique_ptr<HostServer> server;
    std::thread thread;
    VirtualRuntime rt;
};

TEST_F(SocketTest, CallsReachTheHostWithTheirLinkAndRepliesComeBack) {
    startServer();
    SocketTransport transport(rt, path);
    transport.connect();
    HostHub hub(rt, transport);
    HostLink link(hub, "Form1");

    EXPECT_EQ(link.GetCallsign(), "N0CALL-L");
    link.SetPTT(true);
    EXPECT_TRUE(link.IsTransmitting());
    link.SendChatText("line with \"quotes\" and \\ and é");
    EXPECT_EQ(link.GetConnectedCount(), 0);

    Json state = ask(path, "state");
    ASSERT_EQ(state["ok"], true);
    EXPECT_EQ(state["value"]["ptt"], true);
    EXPECT_EQ(dumpJson(state["value"]["links"]), "[\"Form1\"]");
    EXPECT_EQ(state["value"]["clients"], 1);

    Json log = ask(path, "log")["value"].at(4);
    Json line = parseJson(log.get<std::string>());
    EXPECT_EQ(line["link"], "Form1");
    EXPECT_EQ(line["op"], "SendChatText");
    EXPECT_EQ(line["args"].at(0), "line with \"quotes\" and \\ and é");
}

TEST_F(SocketTest, EventsFromOutsideReachEveryConnectedProgramThroughTheLoop) {
    startServer();
    SocketTransport t1(rt, path), t2(rt, path);
    t1.connect();
    t2.connect();
    HostHub hub1(rt, t1), hub2(rt, t2);
    HostLink a(hub1, "Form1"), b(hub2, "Form3");
    std::vector<std::string> got;
    a.DTMFString = [&](const std::string& d) { got.push_back("Form1 " + d); };
    b.DTMFString = [&](const std::string& d) { got.push_back("Form3 " + d); };

    Json reply = raiseOutside(path, "DTMFString", Json::array({"AA"}));
    EXPECT_EQ(reply["value"], "DTMFString AA");
    EXPECT_TRUE(pumpUntil(rt, [&] { return got.size() == 2; }));
    EXPECT_EQ(got, (std::vector<std::string>{"Form1 AA", "Form3 AA"}));

    // The tool that asks nothing of the host still hears it: a plain `tarnwick-host` request is no subscriber.
    EXPECT_EQ(ask(path, "state")["value"]["clients"], 2);
}

TEST_F(SocketTest, EventsArrivingDuringACallAreKeptAndDeliveredAfterItInOrder) {
    startServer();
    SocketTransport transport(rt, path);
    transport.connect();
    HostHub hub(rt, transport);
    HostLink link(hub, "Form1");
    std::vector<std::string> got;
    bool inCall = false;
    link.DTMFString = [&](const std::string& d) {
        EXPECT_FALSE(inCall);
        got.push_back(d);
    };
    link.connected = [&](const std::string& c, const std::string&, const std::string&) {
        EXPECT_FALSE(inCall);
        got.push_back("connected " + c);
    };

    for (const char* d : {"1", "2", "3"}) raiseOutside(path, "DTMFString", Json::array({d}));
    inCall = true;
    link.ConnectTo("W1AW");  // the three events are already waiting on the socket; its own event follows
    EXPECT_TRUE(link.IsConnectedTo("W1AW"));
    inCall = false;
    EXPECT_TRUE(got.empty());
    EXPECT_TRUE(pumpUntil(rt, [&] { return got.size() == 4; }));
    EXPECT_EQ(got, (std::vector<std::string>{"1", "2", "3", "connected W1AW"}));
}

TEST_F(SocketTest, ARefusedCallIsAHostError) {
    startServer();
    SocketTransport transport(rt, path);
    transport.connect();
    HostHub hub(rt, transport);
    HostLink link(hub, "Form1");
    Json r = ask(path, "set", {{"key", Json("fail")}, {"value", Json("SetBusy")}});
    EXPECT_EQ(r["value"], "fail none -> SetBusy");
    try {
        link.SetBusy(true);
        FAIL() << "SetBusy should fail";
    } catch (const HostError& e) {
        EXPECT_STREQ(e.what(), "the host refused SetBusy");
    }
    EXPECT_EQ(ask(path, "state")["value"]["busy"], false);
    EXPECT_EQ(ask(path, "raise", {{"event", Json("Bogus")}})["ok"], false);
}

TEST_F(SocketTest, AHostThatGoesAwayTurnsCallsIntoErrorsAndAReturningHostIsFoundAgain) {
    startServer();
    SocketTransport transport(rt, path);
    transport.connect();
    HostHub hub(rt, transport);
    HostLink link(hub, "Form1");
    link.SetPTT(true);
    stopServer();
    EXPECT_FALSE(fs::exists(path)) << "the host removes its socket when it ends";

    ::testing::internal::CaptureStderr();
    EXPECT_THROW(link.SetPTT(false), HostError);
    EXPECT_THROW(link.IsTransmitting(), HostError);
    rt.runPending();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("ERROR HostLink: "), std::string::npos) << err;
    EXPECT_FALSE(transport.isConnected());

    startServer();
    EXPECT_FALSE(link.IsTransmitting()) << "a new host, a fresh state";
    EXPECT_TRUE(transport.isConnected());
    const std::string state = dumpJson(hostRequest(path, {{"cmd", "state"}}, 2000));
    EXPECT_NE(state.find(R"("links":["Form1"])"), std::string::npos) << "the link introduced itself again: " << state;
}

// How the program finds a host that was restarted under a transmission: by the loop's next call, or
// by the upkeep that a speech holding the loop runs.
struct FindAgain {
    const char* name;
    // Stops the host, starts a new one, and lets the program find it.
    std::function<void(SocketTest&, HostHub&, HostLink&)> find;
};

void PrintTo(const FindAgain& f, std::ostream* os) { *os << f.name; }

class SocketRestartTest : public SocketTest, public ::testing::WithParamInterface<FindAgain> {};

TEST_P(SocketRestartTest, AHostRestartedUnderATransmissionIsKeyedAgainWhenTheLinksSayHello) {
    startServer();
    SocketTransport transport(rt, path);
    transport.connect();
    HostHub hub(rt, transport);
    HostLink link(hub, "Form1");
    link.SetBusy(true);
    link.SetPTT(true);
    ::testing::internal::CaptureStderr();
    GetParam().find(*this, hub, link);
    ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(link.IsTransmitting()) << "keyed again before the first call on the new host";
    EXPECT_TRUE(transport.isConnected());
    const Json state = ask(path, "state");
    EXPECT_EQ(state["value"]["busy"], true);
    std::vector<std::string> order;
    for (const auto& e : server->state().calls())
        if (e.op != "IsTransmitting") order.push_back(e.link + " " + e.op);
    EXPECT_EQ(order, (std::vector<std::string>{"Form1 Hello", "Form1 SetBusy", "Form1 SetPTT"}));
}

INSTANTIATE_TEST_SUITE_P(
    Finders, SocketRestartTest,
    ::testing::Values(FindAgain{"ByTheNextCall",
                                [](SocketTest& t, HostHub&, HostLink& link) {
                                    t.stopServer();
                                    t.startServer();
                                    EXPECT_THROW(link.IsTransmitting(), HostError) << "the old connection is found gone";
                                }},
                      FindAgain{"ByTheUpkeepWithoutACall",
                                [](SocketTest& t, HostHub& hub, HostLink&) {
                                    t.stopServer();
                                    hub.keepUp();  // the old connection is found closed; no host to find yet
                                    hub.keepUp();
                                    t.startServer();
                                    hub.keepUp();
                                    EXPECT_TRUE(t.server->state().ptt()) << "keyed again by the upkeep alone";
                                }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SocketTest, TheLastResortDropsWhatTheProgramLeftOnOnAConnectionOfItsOwn) {
    startServer();
    SocketTransport transport(rt, path);
    transport.connect();
    HostHub hub(rt, transport);
    HostLink launcher(hub, "Form5");
    HostLink speech(hub, "Form3");
    // Nothing on: nothing is sent.
    const std::size_t calls = server->state().calls().size();
    SocketTransport::dropLinesNow();
    EXPECT_EQ(server->state().calls().size(), calls);

    speech.SetPTT(true);
    speech.SetDTR(true);
    speech.SetRTS(true);
    speech.SetRTS(false);
    SocketTransport::dropLinesNow();
    const Json state = ask(path, "state");
    EXPECT_EQ(state["value"]["ptt"], false);
    EXPECT_EQ(state["value"]["dtr"], false);
    std::vector<std::string> dropped;
    for (const auto& e : server->state().calls())
        if (e.link == "Form5" && e.op != "Hello") dropped.push_back(e.op + (std::get<bool>(e.args.at(0)) ? " on" : " off"));
    EXPECT_EQ(dropped, (std::vector<std::string>{"SetPTT off", "SetDTR off"})) << "only what was on";
}

TEST_F(SocketTest, AClientThatAsksWithoutReadingIsDroppedBeforeItHoldsTheHostsMemory) {
    server = std::make_unique<HostServer>(path);
    server->open();
    for (int i = 0; i < 2000; ++i) server->state().call("Form1", "SetPTT", {i % 2 == 0});  // a big log
    thread = std::thread([s = server.get()] { s->run(); });

    const int fd = connectHostSocket(path);
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    const std::string ask = R"({"id":1,"cmd":"log"})" "\n";
    for (int i = 0; i < 400; ++i)
        if (::send(fd, ask.data(), ask.size(), MSG_NOSIGNAL) < 0) break;  // dropped already
    // Without reading a byte: the host hangs up instead of queueing 400 copies of its log.
    pollfd hup{fd, POLLRDHUP, 0};
    EXPECT_EQ(::poll(&hup, 1, 10'000), 1);
    EXPECT_TRUE(hup.revents & (POLLRDHUP | POLLHUP)) << hup.revents;
    std::size_t total = 0;
    char buf[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) break;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        total += static_cast<std::size_t>(n);
    }
    ::close(fd);
    const std::size_t oneReply = 2000 * 60;
    EXPECT_LT(total, 150 * oneReply) << "read " << total << " bytes";
}

TEST_F(SocketTest, EachMalformedLineGetsOneClearErrorAndTheHostServesOn) {
    startServer();
    const int fd = connectHostSocket(path);
    const std::int64_t deadline = steadyMs() + 5000;
    const std::vector<std::string> bad = {
        R"({"id":1,"op":"SetPTT","args":[1e400]})",            // a number no double holds
        std::string(kJsonMaxDepth + 1, '[') + std::string(kJsonMaxDepth + 1, ']'),
        "{\"id\":3,\"op\":\"SendChatText\",\"args\":[\"caf\xe9\"]}",  // not UTF-8
        "SetPTT true",
    };
    for (const std::string& line : bad) sendLine(fd, line, deadline);
    sendLine(fd, R"({"id":9,"cmd":"state"})", deadline);
    LineReader reader;
    std::vector<Json> replies;
    while (replies.size() < bad.size() + 1 && waitReadable(fd, deadline)) {
        reader.fill(fd);
        for (std::string line; reader.next(line);) replies.push_back(parseJson(line));
    }
    ::close(fd);
    ASSERT_EQ(replies.size(), bad.size() + 1);
    for (std::size_t i = 0; i < bad.size(); ++i) {
        EXPECT_EQ(replies[i]["ok"], false) << bad[i];
        EXPECT_EQ(replies[i]["error"].get<std::string>().rfind("bad request: bad JSON", 0), 0u) << replies[i];
    }
    EXPECT_EQ(replies.back()["ok"], true);
    EXPECT_FALSE(replies.back()["value"]["ptt"].get<bool>()) << "no malformed line keyed the transmitter";
}

TEST_F(SocketTest, TheLoopNoticesAHostThatEnds) {
    startServer();
    SocketTransport transport(rt, path);
    transport.connect();
    ::testing::internal::CaptureStderr();
    stopServer();
    bool noticed = pumpUntil(rt, [&] { return !transport.isConnected(); });
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(noticed);
    EXPECT_NE(err.find("ERROR HostLink: the host closed the connection"), std::string::npos) << err;
}

TEST_F(SocketTest, ConnectingWithoutAHostFails) {
    SocketTransport transport(rt, path);
    try {
        transport.connect();
        FAIL() << "connect should fail";
    } catch (const HostUnreachable& e) {
        EXPECT_EQ(std::string(e.what()), "no host is running at " + path);
        EXPECT_EQ(e.reason(), "no host is running");
        EXPECT_FALSE(e.sent());
    }
    EXPECT_THROW(hostRequest(path, {{"cmd", "state"}}), HostError);
}

sockaddr_un unixAddress(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    return addr;
}

// How connecting failed: the reason an operator is told and whether the call went out, or what a
// failure of another kind says.
std::string failedConnect(SocketTransport& transport) {
    try {
        transport.connect();
    } catch (const HostUnreachable& e) {
        return e.reason() + (e.sent() ? ", the call went out" : ", nothing went out");
    } catch (const HostError& e) {
        return e.what();
    }
    return "connected";
}

// Something listens at the path but never answers: `backlog` connections may wait for it.
int listenWithoutAnswering(const std::string& path, int backlog) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un addr = unixAddress(path);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, backlog) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TEST_F(SocketTest, AHostThatNeverAnswersTimesOut) {
    const int fd = listenWithoutAnswering(path, 4);
    ASSERT_GE(fd, 0);

    SocketTransport transport(rt, path, 200);
    ::testing::internal::CaptureStderr();
    auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(transport.connect(), HostError);
    auto took = std::chrono::steady_clock::now() - start;
    ::testing::internal::GetCapturedStderr();
    EXPECT_GE(took, std::chrono::milliseconds(150));
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_FALSE(transport.isConnected());
    ::close(fd);
}

TEST_F(SocketTest, OnTheWayOutAHostThatNeverAnswersHoldsTheCallsForTheirBudgetAndNoLonger) {
    const int fd = listenWithoutAnswering(path, 64);
    ASSERT_GE(fd, 0);
    SocketTransport transport(rt, path, 5000);
    transport.windDown(300);
    ::testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failedConnect(transport), "the host does not answer, the call went out");
    const auto first = std::chrono::steady_clock::now() - start;
    // The budget is spent: the next tries fail without waiting.
    for (int i = 0; i < 3; ++i) EXPECT_THROW(transport.call("Form1", "SetPTT", {false}), HostUnreachable);
    const auto all = std::chrono::steady_clock::now() - start;
    ::testing::internal::GetCapturedStderr();
    EXPECT_GE(first, std::chrono::milliseconds(250));
    EXPECT_LT(all, std::chrono::milliseconds(2500)) << "a reply time of five seconds would take 20";
    ::close(fd);
}

TEST_F(SocketTest, AHostWithNoRoomForAnotherConnectionIsReportedAtOnceAndNotTakenOver) {
    const int fd = listenWithoutAnswering(path, 0);
    ASSERT_GE(fd, 0);
    // Its queue of waiting connections fills up, as a hung host's does while the program keeps trying.
    std::vector<int> waiting;
    for (int i = 0; i < 64; ++i) {
        const int c = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
        const sockaddr_un addr = unixAddress(path);
        if (::connect(c, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(c);
            break;
        }
        waiting.push_back(c);
    }
    ASSERT_LT(waiting.size(), 64u) << "the queue never filled";
    // Should a connect wait for room after all, the listener goes away after a while and frees it.
    std::promise<void> done;
    std::thread unblock([fd, finished = done.get_future()] {
        finished.wait_for(std::chrono::seconds(3));
        ::close(fd);
    });
    SocketTransport transport(rt, path);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failedConnect(transport), "the host does not answer, nothing went out");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_THROW(HostServer(path).open(), HostError) << "a hung host is still a running host";
    EXPECT_TRUE(fs::exists(path));
    done.set_value();
    unblock.join();
    EXPECT_LT(took, std::chrono::seconds(1));
    for (int c : waiting) ::close(c);
}

TEST_F(SocketTest, ASecondHostIsRefusedAStaleSocketIsReplacedAndOtherFilesAreLeftAlone) {
    startServer();
    HostServer second(path);
    try {
        second.open();
        FAIL() << "a second host must not start";
    } catch (const HostError& e) {
        EXPECT_EQ(std::string(e.what()), "another host is already running on " + path);
    }
    stopServer();

    // A socket file nobody listens on, as a killed host leaves it.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    ASSERT_TRUE(fs::exists(path));
    EXPECT_NO_THROW(startServer());
    stopServer();

    std::ofstream(path) << "precious";
    HostServer third(path);
    EXPECT_THROW(third.open(), HostError);
    std::ifstream in(path);
    std::string content;
    in >> content;
    EXPECT_EQ(content, "precious");
}

TEST_F(SocketTest, TheLogFileGetsEveryLine) {
    server = std::make_unique<HostServer>(path);
    server->setLogFile(dir + "/host.log");
    server->open();
    thread = std::thread([s = server.get()] { s->run(); });
    raiseOutside(path, "RX", Json::array({true}));
    Json lines = ask(path, "log")["value"];
    stopServer();
    std::ifstream in(dir + "/host.log");
    std::string line;
    std::vector<std::string> fileLines;
    while (std::getline(in, line)) fileLines.push_back(line);
    ASSERT_EQ(fileLines.size(), 1u);
    EXPECT_EQ(fileLines[0], lines.at(0));
    EXPECT_NE(fileLines[0].find(R"("event":"RX","args":[true]})"), std::string::npos);
}

// Bytes waiting unread on a socket.
int unread(int fd) {
    int n = 0;
    return ::ioctl(fd, FIONREAD, &n) == 0 ? n : -1;
}

// A reply is one line; reading on after it only ends in a read that finds nothing. What follows a
// whole line stays on the socket for the next fill, lines longer than one read still come whole, and
// the peer's end is still noticed.
TEST(LineReader, StopsReadingOnceAWholeLineIsBuffered) {
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    ASSERT_EQ(::fcntl(sv[0], F_SETFL, ::fcntl(sv[0], F_GETFL) | O_NONBLOCK), 0);
    const std::string longLine(100000, 'b');
    const std::string sent = "a\n" + longLine + "\n";
    ASSERT_EQ(::send(sv[1], sent.data(), sent.size(), 0), static_cast<ssize_t>(sent.size()));
    ::close(sv[1]);

    LineReader reader;
    std::string line;
    ASSERT_TRUE(reader.fill(sv[0]));
    ASSERT_TRUE(reader.next(line));
    EXPECT_EQ(line, "a");
    EXPECT_GT(unread(sv[0]), 0) << "the reader went on reading after a whole line";

    int fills = 0;
    while (!reader.hasLine() && fills < 10) {
        ASSERT_TRUE(reader.fill(sv[0]));
        ++fills;
    }
    ASSERT_TRUE(reader.next(line));
    EXPECT_EQ(line, longLine);
    EXPECT_FALSE(reader.fill(sv[0])) << "the peer has closed";
    ::close(sv[0]);
}

TEST(HostSocketPath, FollowsTheEnvironment) {
    const std::string uid = std::to_string(::getuid());
    {
        ScopedEnv a("TARNWICK_HOST", "/somewhere/h.sock"), b("XDG_RUNTIME_DIR", "/run/user/7");
        EXPECT_EQ(hostSocketPath(), "/somewhere/h.sock");
    }
    {
        ScopedEnv a("TARNWICK_HOST", ""), b("XDG_RUNTIME_DIR", "/run/user/7");
        EXPECT_EQ(hostSocketPath(), "/run/user/7/tarnwick/host.sock");
    }
    {
        ScopedEnv a("TARNWICK_HOST", nullptr), b("XDG_RUNTIME_DIR", nullptr);
        EXPECT_EQ(hostSocketPath(), "/tmp/tarnwick-" + uid + "/host.sock");
    }
}

TEST(HostSocketPath, TheDefaultFolderIsPrivate) {
    const std::string dir = makeTempDir();
    ScopedEnv a("TARNWICK_HOST", nullptr), b("XDG_RUNTIME_DIR", dir.c_str());
    prepareSocketDir(hostSocketPath());
    struct stat st {};
    ASSERT_EQ(::stat((dir + "/tarnwick").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A folder others may write to could hold someone else's socket: refuse it.
    ::chmod((dir + "/tarnwick").c_str(), 0777);
    EXPECT_THROW(prepareSocketDir(hostSocketPath()), HostError);
    // The program will not talk to a socket in such a folder either, whoever made it.
    try {
        ::close(connectOwnHost(hostSocketPath()));
        ADD_FAILURE() << "connected through a folder others may write to";
    } catch (const HostError& e) {
        EXPECT_NE(std::string(e.what()).find("others may write there"), std::string::npos) << e.what();
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tarnwick
