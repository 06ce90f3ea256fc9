#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

sockaddr_un unixAddress(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    return addr;
}

// A socket listening at path that never answers, as a stand-in for a host: `backlog` connections may
// wait for it. -1 when it cannot be made.
int listenAt(const std::string& path, int backlog = 4) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un addr = unixAddress(path);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, backlog) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    return fd;
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

TEST_F(SocketTest, AHostThatNeverAnswersTimesOut) {
    const int fd = listenAt(path);
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

TEST_F(SocketTest, AnEventWhoseArgumentsCannotBeReadIsAnErrorLineAndTheNextOneArrives) {
    // A faulty host: it takes the subscription, then sends an event whose callsign is no call value.
    const int listener = listenAt(path, 1);
    ASSERT_GE(listener, 0);
    std::thread faulty([listener] {
        const int c = ::accept(listener, nullptr, nullptr);
        std::string request;
        for (char ch; ::read(c, &ch, 1) == 1 && ch != '\n';) request += ch;
        const std::string lines = "{\"id\":" + dumpJson(parseJson(request)["id"]) + ",\"ok\":true}\n" +
                                  R"({"event":"connected","args":[{"call":"W1AW"},"Ann","1.2.3.4"]})" "\n" +
                                  R"({"event":"Disconnected","args":["K1ABC"]})" "\n";
        [[maybe_unused]] const ssize_t n = ::write(c, lines.data(), lines.size());
        for (char ch; ::read(c, &ch, 1) == 1;) {
        }
        ::close(c);
    });
    std::vector<std::string> got;
    {
        SocketTransport transport(rt, path, 2000);
        transport.eventSink = [&](HostEvent ev) { got.push_back(ev.name); };
        ::testing::internal::CaptureStderr();
        transport.connect();
        EXPECT_TRUE(pumpUntil(rt, [&] { return !got.empty(); }));
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(err,
                  "ERROR HostLink: event connected passed over (its arguments cannot be read: unexpected value from "
                  "the host: object)\n");
    }
    faulty.join();
    ::close(listener);
    EXPECT_EQ(got, std::vector<std::string>{"Disconnected"});
}

TEST_F(SocketTest, OnTheWayOutAHostThatNeverAnswersHoldsTheCallsForTheirBudgetAndNoLonger) {
    const int fd = listenAt(path, 64);
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
    const int fd = listenAt(path, 0);
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

// A line of at most the reader's cap comes through, whether it arrives whole or in pieces; one byte
// more ends the reading, and neither that line nor anything after it is handed out (the lines before
// it are).
TEST(LineReader, ALineOverTheCapEndsTheReadingHoweverItArrives) {
    const struct {
        const char* name;
        std::vector<std::string> pieces;
        std::vector<std::string> lines;
        bool ends;
    } cases[] = {
        {"at the cap, whole", {"12345678\n"}, {"12345678"}, false},
        {"at the cap, in pieces", {"1234", "5678", "\n"}, {"12345678"}, false},
        {"at the cap, with CR", {"1234567\r\n"}, {"1234567"}, false},
        {"over, whole", {"123456789\n"}, {}, true},
        {"over, in pieces", {"12345", "6789", "\n"}, {}, true},
        {"over, after a good line", {"ab\n123456789\ncd\n"}, {"ab"}, true},
        {"over, still under way", {"ab\n", "123456789"}, {"ab"}, true},
    };
    for (const auto& c : cases) {
        int sv[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
        ASSERT_EQ(::fcntl(sv[0], F_SETFL, ::fcntl(sv[0], F_GETFL) | O_NONBLOCK), 0);
        LineReader reader(8);
        bool open = true;
        std::vector<std::string> lines;
        for (const std::string& piece : c.pieces) {
            ASSERT_EQ(::send(sv[1], piece.data(), piece.size(), 0), static_cast<ssize_t>(piece.size()));
            open = reader.fill(sv[0]);
            for (std::string line; reader.next(line);) lines.push_back(line);
            if (!open) break;
        }
        EXPECT_EQ(lines, c.lines) << c.name;
        EXPECT_EQ(!open, c.ends) << c.name;
        ::close(sv[0]);
        ::close(sv[1]);
    }
}

// The host answers a request line of its cap's length; a longer one is no request of ours: that
// connection is dropped, and the host serves on.
TEST_F(SocketTest, ARequestLineAtTheCapIsAnsweredALongerOneDropsOnlyItsConnection) {
    startServer();
    auto request = [](std::size_t length) {
        const std::string head = R"({"id":1,"cmd":"state","pad":")", tail = R"("})";
        return head + std::string(length - head.size() - tail.size(), 'x') + tail;
    };
    for (const std::size_t length : {HostServer::kMaxRequestLine, HostServer::kMaxRequestLine + 1}) {
        const bool over = length > HostServer::kMaxRequestLine;
        const int fd = connectHostSocket(path);
        const std::int64_t deadline = steadyMs() + 10'000;
        try {
            sendLine(fd, request(length), deadline);
        } catch (const HostError& e) {
            EXPECT_TRUE(over) << e.what();  // dropped before the whole line was sent
        }
        LineReader reader;
        std::vector<std::string> replies;
        bool open = true;
        while (open && replies.empty() && waitReadable(fd, deadline)) {
            open = reader.fill(fd);
            for (std::string line; reader.next(line);) replies.push_back(line);
        }
        ::close(fd);
        if (over) {
            EXPECT_FALSE(open) << "the connection of a line over the cap is dropped";
            EXPECT_TRUE(replies.empty()) << replies.front().substr(0, 80);
        } else {
            ASSERT_EQ(replies.size(), 1u);
            EXPECT_EQ(parseJson(replies[0])["ok"], true) << replies[0].substr(0, 80);
        }
    }
    EXPECT_EQ(ask(path, "state")["ok"], true);
}

// A line from the host longer than the program reads ends the connection, and the program says so
// rather than that the host went away.
TEST_F(SocketTest, AnOverlongLineFromTheHostEndsTheConnectionAndSaysWhy) {
    const int listening = listenAt(path);
    ASSERT_GE(listening, 0);
    const std::size_t cap = LineReader().maxLine();
    std::thread host([&] {
        const int fd = ::accept(listening, nullptr, nullptr);
        if (fd < 0) return;
        std::string request;
        for (char ch = 0; ::recv(fd, &ch, 1, 0) == 1 && ch != '\n';) request += ch;
        const std::string reply = R"({"id":)" + dumpJson(parseJson(request)["id"]) + R"(,"ok":true,"value":null})" "\n";
        ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        // Then one line of cap + 1 bytes, without its line break yet.
        const std::string block(64 << 10, 'x');
        for (std::size_t left = cap + 1; left > 0;) {
            const ssize_t n = ::send(fd, block.data(), std::min(left, block.size()), MSG_NOSIGNAL);
            if (n <= 0) break;  // the program hung up
            left -= static_cast<std::size_t>(n);
        }
        ::close(fd);
    });
    SocketTransport transport(rt, path);
    transport.connect();
    ::testing::internal::CaptureStderr();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (transport.isConnected() && std::chrono::steady_clock::now() < end) {
        rt.runPending();
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    const std::string err = ::testing::internal::GetCapturedStderr();
    host.join();
    ::close(listening);
    EXPECT_FALSE(transport.isConnected());
    EXPECT_NE(err.find("ERROR HostLink: a line from the host is longer than " + std::to_string(cap) + " bytes"),
              std::string::npos)
        << err;
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
    // A folder that the group or everyone may write to could hold someone else's socket: the host
    // refuses to serve there, and the program will not talk to a socket there either, whoever made
    // it. Reading and entering alone is harmless.
    const struct {
        mode_t mode;
        bool refused;
    } cases[] = {{0700, false}, {0750, false}, {0755, false}, {0720, true},
                 {0702, true},  {0770, true},  {0707, true},  {0777, true}};
    for (const auto& c : cases) {
        ASSERT_EQ(::chmod((dir + "/tarnwick").c_str(), c.mode), 0);
        char mode[16];
        std::snprintf(mode, sizeof mode, "mode %03o", static_cast<unsigned>(c.mode));
        std::string hostSays, programSays;
        try {
            prepareSocketDir(hostSocketPath());
        } catch (const HostError& e) {
            hostSays = e.what();
        }
        try {
            ::close(connectOwnHost(hostSocketPath()));
        } catch (const HostError& e) {
            programSays = e.what();
        }
        EXPECT_EQ(hostSays.find("others may write there") != std::string::npos, c.refused) << mode << ": " << hostSays;
        EXPECT_EQ(hostSays.empty(), !c.refused) << mode << ": " << hostSays;
        // An accepted folder holds no host in this test: the program then finds none running.
        EXPECT_NE(programSays.find(c.refused ? "others may write there" : "no host is running at"), std::string::npos)
            << mode << ": " << programSays;
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tarnwick
