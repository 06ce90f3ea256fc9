#pragma once
// Runs the real programs for end-to-end tests: a child with its own environment, its stderr kept in a
// file, waited for with a deadline.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tarnwick::testing {

class Process {
public:
    Process(std::vector<std::string> argv, const std::map<std::string, std::string>& env, const std::string& errFile)
        : errFile_(errFile) {
        pid_ = ::fork();
        if (pid_ == 0) {
            // Headless unless the caller names a display.
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
            for (const auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
            int fd = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(fd, 2);
            int out = ::open((errFile + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(out, 1);
            int in = ::open("/dev/null", O_RDONLY);
            ::dup2(in, 0);
            std::vector<char*> args;
            for (auto& a : argv) args.push_back(a.data());
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
    }
    ~Process() {
        if (running()) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool running() {
        if (done_) return false;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            done_ = true;
            code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return false;
        }
        return true;
    }
    // The exit code, or -1 when the process did not end within the deadline.
    int wait(std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
        auto end = std::chrono::steady_clock::now() + deadline;
        while (running()) {
            if (std::chrono::steady_clock::now() > end) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return code_;
    }
    void terminate() {
        if (running()) ::kill(pid_, SIGTERM);
    }
    pid_t pid() const { return pid_; }
    std::string err() const { return slurp(errFile_); }
    std::string out() const { return slurp(errFile_ + ".out"); }

    static std::string slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    pid_t pid_ = -1;
    bool done_ = false;
    int code_ = -1;
    std::string errFile_;
};

// Polls until pred() holds or the deadline passes.
template <class Pred>
bool eventually(Pred pred, std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
    auto end = std::chrono::steady_clock::now() + deadline;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace tarnwick::testing
