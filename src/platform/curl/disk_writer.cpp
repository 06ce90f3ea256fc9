#include "platform/curl/disk_writer.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <deque>

#include "runtime/runtime.h"

namespace tarnwick {

struct DiskWriter::State {
    int fd = -1;
    std::function<void()> changed;  // the loop's alone
    // Shared with the thread, under the writer's mutex.
    std::deque<std::string> queue;
    std::size_t queued = 0;
    bool refused = false;  // full() said so: room is news
    bool finishing = false, synced = false, closed = false, news = false;
    int error = 0;
    // The thread's alone: where the file started, how far it is written, sent to the disk and waited for.
    off_t base = 0;
    std::int64_t written = 0, sent = 0, settled = 0;
};

DiskWriter::DiskWriter(Runtime& rt, Options options) : rt_(rt), options_(options) {}

DiskWriter::~DiskWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    if (thread_.joinable()) thread_.join();
    for (auto& s : states_)
        if (s->fd >= 0) ::close(s->fd);
    if (watch_ >= 0) rt_.removeWatch(watch_);
    if (eventFd_ >= 0) ::close(eventFd_);
}

std::shared_ptr<DiskWriter::Sink> DiskWriter::open(int fd, std::function<void()> changed) {
    if (eventFd_ < 0) {
        eventFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (eventFd_ < 0) return nullptr;
        watch_ = rt_.addReadWatch(eventFd_, [this] { onWake(); });
    }
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            return nullptr;
        }
    }
    auto state = std::make_shared<State>();
    state->fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (state->fd < 0) return nullptr;
    state->base = ::lseek(state->fd, 0, SEEK_CUR);
    if (state->base < 0) state->base = 0;
    state->changed = std::move(changed);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        states_.push_back(state);
    }
    return std::shared_ptr<Sink>(new Sink(*this, state));
}

void DiskWriter::wake(State& s) {
    // Under the mutex.
    s.news = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(eventFd_, &one, sizeof one);
}

void DiskWriter::onWake() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(eventFd_, &count, sizeof count);
    std::vector<std::shared_ptr<State>> told;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& s : states_)
            if (s->news && !s->closed) {
                s->news = false;
                told.push_back(s);
            }
    }
    // A handler may close its own sink or another's.
    for (auto& s : told) {
        bool closed;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed = s->closed;
        }
        if (!closed && s->changed) {
            auto changed = s->changed;
            changed();
        }
    }
}

namespace {

int writeAll(int fd, const char* data, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, data, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += w;
        n -= static_cast<std::size_t>(w);
    }
    return 0;
}

}  // namespace

void DiskWriter::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        std::shared_ptr<State> s;
        enum { Write, Sync, Close } job = Write;
        for (auto it = states_.begin(); it != states_.end() && !s; ++it) {
            State& st = **it;
            if (st.closed) {
                s = *it;
                job = Close;
                states_.erase(it);
                break;
            }
            if (st.error) continue;
            if (!st.queue.empty()) {
                s = *it;
                job = Write;
            } else if (st.finishing && !st.synced) {
                s = *it;
                job = Sync;
            }
        }
        if (!s) {
            if (stopping_) return;
            work_.wait(lock);
            continue;
        }
        if (job == Close) {
            const int fd = s->fd;
            s->fd = -1;
            lock.unlock();
            if (fd >= 0) ::close(fd);
            lock.lock();
            continue;
        }
        if (job == Sync) {
            lock.unlock();
            int err = ::fsync(s->fd) == 0 ? 0 : errno;
            // A pipe or a device cannot be synced; its bytes are where they go.
            if (err == EINVAL || err == EROFS) err = 0;
            if (!err) ::posix_fadvise(s->fd, s->base, 0, POSIX_FADV_DONTNEED);
            lock.lock();
            s->error = err;
            s->synced = !err;
            wake(*s);
            continue;
        }

        std::string chunk = std::move(s->queue.front());
        s->queue.pop_front();
        lock.unlock();
        const int err = writeAll(s->fd, chunk.data(), chunk.size());
        if (!err) {
            s->written += static_cast<std::int64_t>(chunk.size());
            if (s->written - s->sent >= static_cast<std::int64_t>(options_.step)) {
                // Send the new step to the disk, then wait for the step before it: at most two steps
                // of this file are ever dirty. The cache of what is on the disk is let go, so a large
                // file does not push everything else out of memory. A file these calls cannot take
                // (a pipe) is simply written.
                ::sync_file_range(s->fd, s->base + s->sent, s->written - s->sent, SYNC_FILE_RANGE_WRITE);
                if (s->sent > s->settled) {
                    ::sync_file_range(s->fd, s->base + s->settled, s->sent - s->settled,
                                      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
                    ::posix_fadvise(s->fd, s->base + s->settled, s->sent - s->settled, POSIX_FADV_DONTNEED);
                    s->settled = s->sent;
                }
                s->sent = s->written;
            }
        }
        lock.lock();
        s->queued -= chunk.size();
        if (err) {
            s->error = err;
            s->queue.clear();
            s->queued = 0;
            wake(*s);
        } else if (s->refused && s->queued <= options_.room) {
            s->refused = false;
            wake(*s);
        }
    }
}

bool DiskWriter::Sink::full() const {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    if (state_->queued < owner_.options_.full) return false;
    state_->refused = true;
    return true;
}

void DiskWriter::Sink::write(const char* data, std::size_t n) {
    if (n == 0) return;
    {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        if (state_->closed || state_->error || state_->finishing) return;
        state_->queue.emplace_back(data, n);
        state_->queued += n;
    }
    owner_.work_.notify_one();
}

void DiskWriter::Sink::finish() {
    {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        state_->finishing = true;
    }
    owner_.work_.notify_one();
}

bool DiskWriter::Sink::synced() const {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    return state_->synced;
}

int DiskWriter::Sink::error() const {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    return state_->error;
}

void DiskWriter::Sink::close() {
    {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        if (state_->closed) return;
        state_->closed = true;
        state_->queue.clear();
        state_->queued = 0;
    }
    state_->changed = nullptr;
    owner_.work_.notify_one();
}

}  // namespace tarnwick
