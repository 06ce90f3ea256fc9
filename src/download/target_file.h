#pragma once
// A downloaded file reaches its target whole or not at all: the bytes go to a temporary file beside
// the target (the program's own temporary form, locked while it is written, so a start-up that finds
// one left by a killed program removes it and nothing else), which replaces the target only when the
// transfer succeeded and its bytes are on the disk.

#include <string>

namespace tarnwick {

class TargetFile {
public:
    TargetFile() = default;
    ~TargetFile() { discard(); }
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;

    // Makes a new temporary file beside `target` (a Linux path), creating the target's folder when it
    // is missing. False with the reason in error().
    bool open(const std::string& target);
    // The temporary file, open for writing from its start; the transfer writes and syncs it.
    int fd() const { return fd_; }
    // Puts the bytes in place of the target. False with the reason; the temporary file is then gone.
    bool commit();
    // Drops the temporary file; the target stays as it was.
    void discard();

    bool isOpen() const { return fd_ >= 0; }
    const std::string& temporaryPath() const { return temp_; }
    const std::string& error() const { return error_; }

private:
    std::string target_, temp_, error_;
    int fd_ = -1;
};

}  // namespace tarnwick
