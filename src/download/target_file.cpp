#include "download/target_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

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
    std::string pattern =
        (p.has_parent_path() ? p.parent_path().string() + "/" : std::string()) + "." + p.filename().string() + ".XXXXXX";
    fd_ = ::mkstemp(pattern.data());
    if (fd_ < 0) {
        error_ = "cannot write beside " + target + ": " + std::strerror(errno);
        return false;
    }
    // mkstemp makes the file private; a news file gets the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
    temp_ = pattern;
    return true;
}

bool TargetFile::write(const char* data, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd_, data, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            error_ = "cannot write " + temp_ + ": " + std::strerror(errno);
            return false;
        }
        data += w;
        n -= static_cast<std::size_t>(w);
    }
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
