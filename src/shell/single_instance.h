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

    // Makes the folder when it is missing (private to this user) and takes the lock in it. False when
    // another copy holds the lock (heldElsewhere) or when the folder or the lock cannot be made (error
    // says what failed where).
    bool acquire(const std::string& folder);
    bool heldElsewhere() const { return heldElsewhere_; }
    const std::string& error() const { return error_; }
    // Whether a process other than this one holds the lock in folder.
    static bool heldByAnotherProcess(const std::string& folder);

private:
    int fd_ = -1;
    bool heldElsewhere_ = false;
    std::string error_;
};

}  // namespace tarnwick
