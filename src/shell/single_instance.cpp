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

namespace {

// Makes every missing folder of the path, each private to this user: the settings say which stations
// the node calls and hold conference passwords. Returns "" or what failed.
std::string makeFolder(const std::string& folder) {
    std::filesystem::path sofar;
    for (const auto& part : std::filesystem::path(folder)) {
        sofar /= part;
        struct stat st {};
        if (::stat(sofar.c_str(), &st) == 0) continue;
        if (errno != ENOENT || (::mkdir(sofar.c_str(), 0700) != 0 && errno != EEXIST))
            return "The settings folder " + folder + " cannot be made (" + sofar.string() + ": " + std::strerror(errno) + ").";
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return "The settings folder " + folder + " cannot be made (" + folder + ": not a folder).";
    return {};
}

}  // namespace

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) ::close(fd_);
}

bool SingleInstance::acquire(const std::string& folder) {
    heldElsewhere_ = false;
    error_ = makeFolder(folder);
    if (!error_.empty()) return false;
    const std::string path = folder + "/tarnwick.lock";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error_ = "The lock file " + path + " cannot be made: " + std::strerror(errno) + ".";
        return false;
    }
    // The kernel drops the lock when the process ends, however it ends.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        heldElsewhere_ = errno == EWOULDBLOCK;
        error_ = heldElsewhere_ ? "another copy holds " + path
                                : "The lock file " + path + " cannot be locked: " + std::strerror(errno) + ".";
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
