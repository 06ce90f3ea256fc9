#pragma once
// The local file an upload sends, opened and read on a thread of its own, so a file system that
// answers slowly or not at all (a stalled network mount) never holds the program's loop. Only a
// regular file is sent: a named pipe, a device or a folder has no end the server could be told of
// (and a pipe with no writer would hold whoever opens it), so it is refused with the reason.
//
// The thread hands the bytes over through a socket pair: the loop takes what has arrived without
// waiting, and the thread waits while the loop has not taken the last bytes, so at most the pair's
// buffer is held in memory.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tarnwick {

class Runtime;

class UploadSource {
public:
    // Starts opening `path` on a thread. `ready` runs once, on the loop, when the file is open (its
    // size known) or refused (error() says why). Null when no thread or socket pair could be made.
    static std::unique_ptr<UploadSource> open(Runtime& rt, const std::string& path, std::function<void()> ready);
    // The thread stops at its next step; one held in a stalled open or read ends once that returns.
    ~UploadSource();
    UploadSource(const UploadSource&) = delete;
    UploadSource& operator=(const UploadSource&) = delete;

    // Why the file cannot be sent (it could not be opened or read, or it is no regular file); empty
    // while nothing failed.
    std::string error() const;
    // The size the file had when it was opened: what is sent, at most.
    std::int64_t size() const;

    // What take() returns when no byte has come yet.
    static constexpr long kWait = -1;
    // Copies up to n bytes that have come: their count, 0 at the end (or after a failure: see
    // error()), or kWait; then `readable` runs once, on the loop, when more has come.
    long take(char* data, std::size_t n, std::function<void()> readable);

    // What the thread and the loop share.
    struct Shared;

private:
    // The thread: opens the file and sends its bytes to `out`, then closes `out`.
    static void run(std::shared_ptr<Shared> shared, int out);
    UploadSource(Runtime& rt, std::shared_ptr<Shared> shared, int fd);
    void watch(std::function<void()> fn);
    void unwatch();

    Runtime& rt_;
    std::shared_ptr<Shared> shared_;
    int fd_ = -1;  // the loop's end of the pair
    int watch_ = -1;
};

}  // namespace tarnwick
