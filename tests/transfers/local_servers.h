#pragma once
// Python's HTTP server (with replies made on purpose) and pyftpdlib on 127.0.0.1, each in its own
// folder, stopping by itself when the test ends.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "support/process.h"
#include "support/temp_dir.h"

namespace tarnwick::testing {

// Debian's interpreter, which has Debian's pyftpdlib.
inline std::string python() {
    return std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
}

inline std::string serverScript() {
    // The source tree's path, not __FILE__: a compiler cache may record that one relative to the build.
    return (std::filesystem::path(TARNWICK_TESTS_DIR) / "transfers" / "local_servers.py").string();
}

inline bool hasPyftpdlib() {
    Process p({python(), "-c", "import pyftpdlib"}, {}, "/dev/null");
    return p.wait(std::chrono::seconds(10)) == 0;
}

class LocalServer {
public:
    // kind "http" or "ftp"; port 0 lets the system choose (FTP only takes a fixed one).
    LocalServer(const std::string& kind, const std::string& root, int port = 0, int seconds = 300) {
        std::vector<std::string> argv{python(), serverScript(), kind, root};
        if (kind == "ftp") argv.push_back(std::to_string(port));
        argv.insert(argv.end(), {dir_.file("port"), dir_.file("log"), std::to_string(seconds)});
        process_ = std::make_unique<Process>(argv, std::map<std::string, std::string>{}, dir_.file("err"));
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!dir_.exists("port") && process_->running() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (dir_.exists("port")) port_ = std::stoi(dir_.read("port"));
    }
    ~LocalServer() { process_->terminate(); }

    int port() const { return port_; }
    bool up() const { return port_ > 0; }
    std::string log() const { return dir_.read("log"); }
    std::string err() const { return process_->err(); }

private:
    TempDir dir_;
    std::unique_ptr<Process> process_;
    int port_ = 0;
};

}  // namespace tarnwick::testing
