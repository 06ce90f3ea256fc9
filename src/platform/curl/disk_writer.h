#pragma once
// Writes downloaded bodies to disk on a thread of its own, so a slow or saturated disk never holds the
// program's loop. Each file is pushed to the disk in steps as it grows: little written data then waits
// for the disk at any time, and the kernel never has to throttle this program (or the host, or anything
// else that writes) to let the disk catch up with a large file.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnwick {

class Runtime;

class DiskWriter {
public:
    struct Options {
        // Written data is sent to the disk every `step` bytes, and the step before is waited for.
        std::size_t step = 8u << 20;
        // Bytes queued for the thread: above `full` the sink refuses more until it is under `room`.
        std::size_t full = 8u << 20;
        std::size_t room = 2u << 20;
    };

    class Sink;

    DiskWriter(Runtime& rt, Options options);
    // Waits for a write under way to return.
    ~DiskWriter();
    DiskWriter(const DiskWriter&) = delete;
    DiskWriter& operator=(const DiskWriter&) = delete;

    // A sink for the open file `fd` (which it duplicates: the caller keeps and closes its own),
    // written from its current start. `changed` runs on the loop whenever the sink has news: room
    // after it was full, an error, or its bytes synced after finish(). Null when the thread or its
    // wake-up could not be made; then nothing can be written.
    std::shared_ptr<Sink> open(int fd, std::function<void()> changed);

private:
    struct State;
    void run();
    void wake(State& s);
    void onWake();

    Runtime& rt_;
    Options options_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::vector<std::shared_ptr<State>> states_;
    std::thread thread_;
    bool stopping_ = false;
    int eventFd_ = -1;
    int watch_ = -1;

    friend class Sink;
};

// One file being written. Everything here is called on the loop.
class DiskWriter::Sink {
public:
    ~Sink() { close(); }
    // Whether the queue is full: the caller holds its bytes back until `changed` says there is room.
    bool full() const;
    // Queues a copy of the bytes.
    void write(const char* data, std::size_t n);
    // No more bytes: once all are written, the file is synced and `changed` runs.
    void finish();
    bool synced() const;
    // The system error of a failed write or sync, 0 while none failed.
    int error() const;
    // Stops: queued bytes are dropped and the duplicate is closed on the thread. No `changed` follows.
    void close();

private:
    friend class DiskWriter;
    Sink(DiskWriter& owner, std::shared_ptr<State> state) : owner_(owner), state_(std::move(state)) {}
    DiskWriter& owner_;
    std::shared_ptr<State> state_;
};

}  // namespace tarnwick
