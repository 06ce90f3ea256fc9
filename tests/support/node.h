#pragma once
// One node for end-to-end tests: a real tarnwick-host on a private socket, a settings folder and a
// drive folder of its own, and the real tarnwick started against it, headless and unattended.

#include <memory>

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
        host_ = std::make_unique<Process>(
            std::vector<std::string>{TARNWICK_HOST_BIN, "serve", "--callsign", callsign, "--log", dir_.file("host.log")},
            env_, dir_.file("host.err"));
        eventually([&] { return hostCommand({"state"}) == 0; }, std::chrono::seconds(5));
    }

    // Starts tarnwick; `answer` sets TARNWICK_ANSWER.
    Process& start(const std::string& answer = "ok") {
        auto env = env_;
        env["TARNWICK_ANSWER"] = answer;
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
    const TempDir& dir() const { return dir_; }
    std::string settings(const std::string& file) const { return Process::slurp(dir_.file("cfg/" + file)); }

private:
    TempDir dir_;
    std::map<std::string, std::string> env_;
    std::unique_ptr<Process> host_;
    std::vector<std::unique_ptr<Process>> apps_;
};

}  // namespace tarnwick::testing
