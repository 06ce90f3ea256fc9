#include "shell/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <filesystem>

namespace tarnwick {

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) ::close(fd_);
}

bool SingleInstance::acquire(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::string path = folder + "/tarnwick.lock";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error_ = path + ": " + std::strerror(errno);
        return false;
    }
    // The kernel drops the lock when the process ends, however it ends.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error_ = errno == EWOULDBLOCK ? "another copy holds " + path : path + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    // The holder's process id, so a window of this process can tell its own lock from another copy's.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size()))
        error_ = path + ": the process id could not be written";
    return true;
}

bool SingleInstance::heldByAnotherProcess(const std::string& folder) {
    const std::string path = folder + "/tarnwick.lock";
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool another = false;
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
        ::flock(fd, LOCK_UN);
    } else {
        char buf[32] = {};
        const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
        another = n <= 0 || std::atol(buf) != static_cast<long>(::getpid());
    }
    ::close(fd);
    return another;
}

}  // namespace tarnwick
