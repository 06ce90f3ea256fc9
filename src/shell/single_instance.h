#pragma once
// One copy of the program per settings folder: a lock file held for the life of the process.

#include <string>

namespace tarnwick {

class SingleInstance {
public:
    SingleInstance() = default;
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the lock in folder; false when another copy holds it (or the lock cannot be made).
    bool acquire(const std::string& folder);
    const std::string& error() const { return error_; }
    // Whether a process other than this one holds the lock in folder.
    static bool heldByAnotherProcess(const std::string& folder);

private:
    int fd_ = -1;
    std::string error_;
};

}  // namespace tarnwick
