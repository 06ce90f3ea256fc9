#include "download/target_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "settings/settings_file.h"

namespace tarnwick {

namespace fs = std::filesystem;

bool TargetFile::open(const std::string& target) {
    discard();
    error_.clear();
    target_ = target;
    if (target.empty()) {
        error_ = "no local file name";
        return false;
    }
    const fs::path p(target);
    std::error_code ec;
    if (p.has_parent_path()) fs::create_directories(p.parent_path(), ec);
    std::string pattern = temporaryPattern(target);
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) {
        error_ = "cannot write beside " + target + ": " + std::strerror(errno);
        return false;
    }
    ::flock(fd_, LOCK_EX | LOCK_NB);
    // mkstemp makes the file private; a news file gets the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
    temp_ = pattern;
    return true;
}

bool TargetFile::commit() {
    if (fd_ < 0) {
        error_ = "no file to put in place";
        return false;
    }
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!closed) {
        error_ = "cannot write " + temp_ + ": " + std::strerror(errno);
        discard();
        return false;
    }
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        error_ = "cannot replace " + target_ + ": " + std::strerror(errno);
        discard();
        return false;
    }
    temp_.clear();
    return true;
}

void TargetFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

}  // namespace tarnwick
