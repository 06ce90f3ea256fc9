#pragma once
// One node for end-to-end tests: a real tarnwick-host on a private socket, a settings folder and a
// drive folder of its own, and the real tarnwick started against it, headless and unattended.

#include <gtest/gtest.h>

#include <ctime>
#include <memory>

#include "support/ini_text.h"
#include "support/process.h"
#include "support/stepped_clock.h"
#include "support/temp_dir.h"

namespace tarnwick::testing {

class Node {
public:
    explicit Node(const std::string& callsign = "N0CALL-L") {
        env_ = {{"TARNWICK_HOST", dir_.file("host.sock")},
                {"TARNWICK_CONFIG_DIR", dir_.file("cfg")},
                {"TARNWICK_DRIVES", dir_.file("drives")},
                {"XDG_RUNTIME_DIR", dir_.path()},
                {"QT_QPA_PLATFORM", "offscreen"},
                {"TARNWICK_AUDIO", "null"},
                {"TARNWICK_ANSWER", "ok"}};
        callsign_ = callsign;
        startHost();
    }

    // Stops the host, as EchoLink going away would, and starts a fresh one on the same socket.
    void stopHost() {
        host_->terminate();
        host_->wait(std::chrono::seconds(5));
    }
    // Sends the host a signal: SIGSTOP leaves a host that hangs (its socket takes connections and
    // calls, and nothing answers), SIGKILL one that is gone at once.
    void signalHost(int sig) {
        ::kill(host_->pid(), sig);
        if (sig == SIGKILL) host_->wait(std::chrono::seconds(5));
    }
    void startHost() {
        host_ = std::make_unique<Process>(
            std::vector<std::string>{TARNWICK_HOST_BIN, "serve", "--callsign", callsign_, "--log", dir_.file("host.log")},
            env_, dir_.file("host.err"));
        eventually([&] { return hostCommand({"state"}) == 0; }, std::chrono::seconds(5));
    }

    // Starts tarnwick; `answer` sets TARNWICK_ANSWER; `extra` adds to its environment.
    Process& start(const std::string& answer = "ok", const std::map<std::string, std::string>& extra = {}) {
        auto env = env_;
        env["TARNWICK_ANSWER"] = answer;
        for (const auto& [k, v] : extra) env[k] = v;
        apps_.push_back(std::make_unique<Process>(std::vector<std::string>{TARNWICK_BIN}, env,
                                                  dir_.file("tarnwick" + std::to_string(apps_.size()) + ".err")));
        return *apps_.back();
    }
    // The last program started.
    Process& app() { return *apps_.back(); }
    // Waits until every tool has loaded (the About window, loaded last, has read the callsign).
    bool started() {
        return eventually([&] { return log().find("\"link\":\"Form14\"") != std::string::npos; });
    }
    // What the last program started wrote on stderr.
    std::string lastErr() const { return apps_.empty() ? std::string() : apps_.back()->err(); }
    // Runs `tarnwick-host ARGS...` and returns its exit code.
    int hostCommand(const std::vector<std::string>& args) {
        std::vector<std::string> argv{TARNWICK_HOST_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        Process p(argv, env_, dir_.file("cli.err"));
        return p.wait(std::chrono::seconds(5));
    }
    std::string log() const { return Process::slurp(dir_.file("host.log")); }
    // The host's state as the one JSON line `tarnwick-host state` prints, or "" when it cannot tell.
    std::string hostState() {
        if (hostCommand({"state"}) != 0) return {};
        return Process::slurp(dir_.file("cli.err.out"));
    }
    std::uintmax_t logSize() const {
        std::error_code ec;
        const auto n = std::filesystem::file_size(dir_.file("host.log"), ec);
        return ec ? 0 : n;
    }
    // The log lines that contain every one of the given pieces, in order.
    std::vector<std::string> lines(const std::vector<std::string>& pieces) const {
        std::vector<std::string> out;
        std::istringstream in(log());
        for (std::string line; std::getline(in, line);) {
            bool all = true;
            for (const auto& p : pieces) all = all && line.find(p) != std::string::npos;
            if (all) out.push_back(line);
        }
        return out;
    }
    // The last line of the host's log so far.
    std::string lastLine() const {
        std::istringstream in(log());
        std::string line, last;
        while (std::getline(in, line))
            if (!line.empty()) last = line;
        return last;
    }
    // Waits until the speech tool's one-second clock has ticked `n` times after a line of the host's
    // log (it asks the host whether the link is active at every tick): so much of the program's own
    // time has passed, however slowly the machine runs it. For what must not happen within it.
    bool secondsPassed(const std::string& after, int n, std::chrono::milliseconds deadline = std::chrono::seconds(30)) {
        return eventually(
            [&] {
                int seen = 0;
                for (const auto& line : lines({R"("link":"Form3","op":"IsLinkActive")"})) seen += seqOf(line) > seqOf(after);
                return seen >= n;
            },
            deadline);
    }
    // The "seq" of a log line: the order in which the host saw it.
    static long long seqOf(const std::string& line) {
        auto at = line.find("\"seq\":");
        return at == std::string::npos ? -1 : std::stoll(line.substr(at + 6));
    }
    // Milliseconds since midnight now, in local time, as the log's "time" counts them.
    static long long timeOfDayMs() {
        const auto now = std::chrono::system_clock::now();
        const std::time_t t = std::chrono::system_clock::to_time_t(now);
        std::tm tm{};
        ::localtime_r(&t, &tm);
        const long long ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
        return tm.tm_hour * 3600000LL + tm.tm_min * 60000LL + tm.tm_sec * 1000LL + ms;
    }
    // Milliseconds since midnight of a log line's "time".
    static long long timeOf(const std::string& line) {
        auto at = line.find("\"time\":\"");
        if (at == std::string::npos) return -1;
        auto t = line.substr(at + 19, 12);  // hh:mm:ss.mmm after the date and 'T'
        return std::stoll(t.substr(0, 2)) * 3600000 + std::stoll(t.substr(3, 2)) * 60000 +
               std::stoll(t.substr(6, 2)) * 1000 + std::stoll(t.substr(9, 3));
    }
    // On a clock that stands still between steps (SteppedClock), the passes of the program's loop that
    // took a step: the series player's transmitter monitor, a tenth-of-a-second timer, falls due once
    // in each and asks the host whether the transmitter is keyed, so its calls count the ticks of
    // every one-second timer, whatever the machine's load.
    long long ticks() {
        std::ifstream in(dir_.file("host.log"), std::ios::binary);
        in.seekg(static_cast<std::streamoff>(tickRead_));
        std::string rest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto end = rest.rfind('\n');
        if (end == std::string::npos) return ticks_;
        std::istringstream lines(rest.substr(0, end + 1));
        for (std::string line; std::getline(lines, line);)
            if (line.find(kTick) != std::string::npos) ++ticks_;
        tickRead_ += end + 1;
        return ticks_;
    }
    // The ticks between two lines of the host's log, or after the first.
    long long ticksBetween(const std::string& from, const std::string& to) const {
        long long n = 0;
        for (const auto& line : lines({kTick}))
            if (seqOf(line) > seqOf(from) && seqOf(line) < seqOf(to)) ++n;
        return n;
    }
    long long ticksAfter(const std::string& from) const {
        long long n = 0;
        for (const auto& line : lines({kTick})) n += seqOf(line) > seqOf(from);
        return n;
    }
    // Writes a settings file of the node before the program starts.
    void writeSettings(const std::string& file, const std::string& text) const {
        std::filesystem::create_directories(dir_.file("cfg"));
        dir_.write("cfg/" + file, text);
    }
    // The Linux path of a Windows drive path on this node ("c", "News1.wav").
    std::string drivePath(const std::string& drive, const std::string& name) const {
        std::filesystem::create_directories(dir_.file("drives/" + drive));
        return dir_.file("drives/" + drive + "/" + name);
    }
    const TempDir& dir() const { return dir_; }
    pid_t hostPid() const { return host_->pid(); }
    std::string settings(const std::string& file) const { return iniText(dir_.file("cfg/" + file)); }

private:
    static constexpr const char* kTick = R"("link":"Form12","op":"IsTransmitting")";

    TempDir dir_;
    std::map<std::string, std::string> env_;
    std::string callsign_;
    std::unique_ptr<Process> host_;
    std::vector<std::unique_ptr<Process>> apps_;
    std::size_t tickRead_ = 0;
    long long ticks_ = 0;
};

// Waits until the node's loop has taken the clock's latest step and gone quiet. The loop re-arms its
// wake-up from two readings of the clock (its own and Qt's); a step that lands between them makes it
// sleep through that step, which costs nothing on a real clock. It is stepped on again then, and its
// timers take the two steps as one late tick, as after a held thread.
inline bool awaitStep(Node& node, SteppedClock& clock, long long before, std::chrono::seconds by) {
    using namespace std::chrono;
    const auto giveUp = steady_clock::now() + seconds(20);
    auto stepped = steady_clock::now();
    while (node.ticks() <= before) {
        if (steady_clock::now() > giveUp) return false;
        if (steady_clock::now() - stepped > milliseconds(500)) {
            clock.step(by);
            stepped = steady_clock::now();
        }
        std::this_thread::sleep_for(milliseconds(1));
    }
    // The rest of the pass: the log stops growing.
    auto size = node.logSize();
    auto still = steady_clock::now();
    while (steady_clock::now() - still < milliseconds(5) && steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(milliseconds(1));
        if (const auto now = node.logSize(); now != size) {
            size = now;
            still = steady_clock::now();
        }
    }
    return true;
}

// Steps the clock (by a second unless told) until done() holds, each step once every node's loop has
// taken the one before, so steps do not run together. False after `most` steps, or when a node takes
// no more steps (a program that ended, or one held by something on air).
template <class Pred>
bool stepUntil(SteppedClock& clock, const std::vector<Node*>& nodes, Pred done, int most,
               std::chrono::seconds by = std::chrono::seconds(1)) {
    for (int i = 0; i < most; ++i) {
        if (done()) return true;
        std::vector<long long> before;
        for (Node* n : nodes) before.push_back(n->ticks());
        clock.step(by);
        for (std::size_t k = 0; k < nodes.size(); ++k) {
            if (!awaitStep(*nodes[k], clock, before[k], by)) {
                ADD_FAILURE() << "node " << k << " takes no more steps, at " << clock.now() << "\n"
                              << nodes[k]->lastErr();
                return false;
            }
        }
    }
    return done();
}

}  // namespace tarnwick::testing
