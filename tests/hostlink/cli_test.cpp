// The `tarnwick-host` program itself, run as a person or a script runs it.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hostlink/json.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

struct Result {
    int code = -1;
    std::string out, err;
};

std::vector<char*> argvOf(std::vector<std::string>& args) {
    std::vector<char*> v;
    for (auto& a : args) v.push_back(a.data());
    v.push_back(nullptr);
    return v;
}

// Starts tarnwick-host with the arguments and TARNWICK_HOST=socket; its stdout and stderr come back as pipes.
pid_t spawnHost(std::vector<std::string> args, const std::string& socket, int& outFd, int& errFd) {
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) return -1;
    args.insert(args.begin(), TARNWICK_HOST_BIN);
    auto argv = argvOf(args);
    // The child's environment, made before fork so the child only calls exec.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("TARNWICK_HOST=", 0) != 0) env.emplace_back(*e);
    env.push_back("TARNWICK_HOST=" + socket);
    auto envp = argvOf(env);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::close(out[0]);
        ::close(err[0]);
        ::close(out[1]);
        ::close(err[1]);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    outFd = out[0];
    errFd = err[0];
    return pid;
}

Result runHost(std::vector<std::string> args, const std::string& socket) {
    int outFd, errFd;
    pid_t pid = spawnHost(std::move(args), socket, outFd, errFd);
    Result r;
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    int open = 2;
    while (open > 0 && ::poll(fds, 2, 10000) > 0) {
        for (auto& p : fds) {
            if (p.fd < 0 || !p.revents) continue;
            char buf[4096];
            ssize_t n = ::read(p.fd, buf, sizeof buf);
            if (n <= 0) {
                ::close(p.fd);
                p.fd = -1;
                --open;
            } else {
                (p.fd == outFd ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Reads one line from fd, waiting at most a few seconds.
std::string readLine(int fd) {
    std::string line;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char c;
        if (::read(fd, &c, 1) != 1) break;
        if (c == '\n') return line;
        line += c;
    }
    return line;
}

class HostProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/twcli-XXXXXX";
        dir = ::mkdtemp(tmpl);
        socket = dir + "/host.sock";
    }
    void TearDown() override {
        if (serverPid > 0) {
            ::kill(serverPid, SIGKILL);
            ::waitpid(serverPid, nullptr, 0);
        }
        fs::remove_all(dir);
    }

    // Starts `serve` and waits for its first line.
    std::string serve(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"serve"};
        args.insert(args.end(), extra.begin(), extra.end());
        serverPid = spawnHost(args, socket, serverOut, serverErr);
        return readLine(serverOut);
    }

    Result run(std::vector<std::string> args) { return runHost(std::move(args), socket); }

    std::string dir, socket;
    pid_t serverPid = -1;
    int serverOut = -1, serverErr = -1;
};

TEST_F(HostProgramTest, BadArgumentsGiveOneUsageLineAndExitCodeTwo) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"bogus"},
        {"dtmf"},
        {"dtmf", "1", "2"},
        {"rx", "2"},
        {"carrier", "yes"},
        {"connected"},
        {"disconnected"},
        {"closing", "now"},
        {"set", "fail", "FormatDisk"},
        {"set", "linkactive"},
        {"set", "volume", "3"},
        {"state", "all"},
        {"serve", "--bogus"},
        {"serve", "--callsign"},
    };
    for (const auto& args : bad) {
        Result r = run(args);
        std::string shown = args.empty() ? "(none)" : args[0];
        EXPECT_EQ(r.code, 2) << shown;
        EXPECT_EQ(r.out, "") << shown;
        EXPECT_EQ(r.err.rfind("usage: tarnwick-host ", 0), 0u) << shown << ": " << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    }
    EXPECT_FALSE(fs::exists(socket));
}

TEST_F(HostProgramTest, WithoutARunningHostCommandsSaySoAndExitOne) {
    for (std::vector<std::string> args : {std::vector<std::string>{"state"}, {"dtmf", "AA"}, {"set", "callsign", "X"}}) {
        Result r = run(args);
        EXPECT_EQ(r.code, 1) << args[0];
        EXPECT_EQ(r.err, "tarnwick-host: no host is running at " + socket + "\n");
    }
}

TEST_F(HostProgramTest, ServeRaiseSetInspectAndStop) {
    const std::string logFile = dir + "/host.log";
    EXPECT_EQ(serve({"--callsign", "W1XYZ-L", "--log", logFile}), "tarnwick-host listening on " + socket);

    struct Step {
        std::vector<std::string> args;
        std::string out;
    };
    const Step steps[] = {
        {{"dtmf", "AA"}, "raised DTMFString AA\n"},
        {{"rx", "1"}, "raised RX 1\n"},
        {{"carrier", "1"}, "raised CarrierDetect 1\n"},
        {{"connected", "W1AW", "Ann", "10.0.0.1"}, "raised connected W1AW Ann 10.0.0.1\n"},
        {{"connected", "K1ABC"}, "raised connected K1ABC\n"},
        {{"disconnected", "K1ABC"}, "raised Disconnected K1ABC\n"},
        {{"chat", "hello", "there"}, "raised ChatTextReceived hello there\n"},
        {{"closing"}, "raised Closing\n"},
        {{"set", "linkactive", "1"}, "linkactive 0 -> 1\n"},
        {{"set", "fail", "SetPTT"}, "fail none -> SetPTT\n"},
        {{"set", "callsign", "W2XYZ-L"}, "callsign W1XYZ-L -> W2XYZ-L\n"},
    };
    for (const auto& s : steps) {
        Result r = run(s.args);
        EXPECT_EQ(r.code, 0) << s.args[0] << ": " << r.err;
        EXPECT_EQ(r.out, s.out);
    }

    Result st = run({"state"});
    ASSERT_EQ(st.code, 0);
    Json state = parseJson(st.out);
    EXPECT_EQ(state["callsign"], "W2XYZ-L");
    EXPECT_EQ(state["receiving"], true);
    EXPECT_EQ(state["carrier"], true);
    EXPECT_EQ(state["linkactive"], true);
    EXPECT_EQ(state["fail"], "SetPTT");
    EXPECT_EQ(dumpJson(state["stations"]), R"([{"call":"W1AW","name":"Ann","addr":"10.0.0.1"}])");

    Result log = run({"log"});
    ASSERT_EQ(log.code, 0);
    std::vector<std::string> lines;
    for (std::size_t p = 0, nl; (nl = log.out.find('\n', p)) != std::string::npos; p = nl + 1)
        lines.push_back(log.out.substr(p, nl - p));
    ASSERT_EQ(lines.size(), 8u) << "one line per raised event; settings are no calls";
    Json first = parseJson(lines[0]);
    EXPECT_EQ(first["seq"], 1);
    EXPECT_EQ(first["event"], "DTMFString");
    EXPECT_EQ(first["time"].get<std::string>().size(), 23u);

    Result second = runHost({"serve"}, socket);
    EXPECT_EQ(second.code, 1);
    EXPECT_EQ(second.err, "tarnwick-host: another host is already running on " + socket + "\n");

    ::kill(serverPid, SIGTERM);
    int status = 0;
    ::waitpid(serverPid, &status, 0);
    serverPid = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(fs::exists(socket));

    std::ifstream in(logFile);
    std::string fileText((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(fileText, log.out);
}

}  // namespace
}  // namespace tarnwick
