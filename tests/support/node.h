#pragma once
// One node for end-to-end tests: a real tarnwick-host on a private socket, a settings folder and a
// drive folder of its own, and the real tarnwick started against it, headless and unattended.

#include <memory>

#include "support/ini_text.h"
#include "support/process.h"
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
    // Waits until every tool has loaded (the About window, loaded last, has read the callsign).
    bool started() {
        return eventually([&] { return log().find("\"link\":\"Form14\"") != std::string::npos; });
    }
    // Runs `tarnwick-host ARGS...` and returns its exit code.
    int hostCommand(const std::vector<std::string>& args) {
        std::vector<std::string> argv{TARNWICK_HOST_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        Process p(argv, env_, dir_.file("cli.err"));
        return p.wait(std::chrono::seconds(5));
    }
    std::string log() const { return Process::slurp(dir_.file("host.log")); }
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
    // The "seq" of a log line: the order in which the host saw it.
    static long long seqOf(const std::string& line) {
        auto at = line.find("\"seq\":");
        return at == std::string::npos ? -1 : std::stoll(line.substr(at + 6));
    }
    // Milliseconds since midnight of a log line's "time".
    static long long timeOf(const std::string& line) {
        auto at = line.find("\"time\":\"");
        if (at == std::string::npos) return -1;
        auto t = line.substr(at + 19, 12);  // hh:mm:ss.mmm after the date and 'T'
        return std::stoll(t.substr(0, 2)) * 3600000 + std::stoll(t.substr(3, 2)) * 60000 +
               std::stoll(t.substr(6, 2)) * 1000 + std::stoll(t.substr(9, 3));
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
    std::string settings(const std::string& file) const { return iniText(dir_.file("cfg/" + file)); }

private:
    TempDir dir_;
    std::map<std::string, std::string> env_;
    std::string callsign_;
    std::unique_ptr<Process> host_;
    std::vector<std::unique_ptr<Process>> apps_;
};

}  // namespace tarnwick::testing
