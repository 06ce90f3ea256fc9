#include "platform/curl/upload_source.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "runtime/runtime.h"

namespace tarnwick {

struct UploadSource::Shared {
    explicit Shared(std::string p) : path(std::move(p)) {}
    const std::string path;
    std::mutex mutex;
    // Under the mutex; set by the thread before it sends its first byte or closes its end.
    bool opened = false;
    std::int64_t size = 0;
    std::string error;

    void fail(int err) { fail(std::error_code(err, std::generic_category()).message()); }
    void fail(const std::string& why) {
        std::lock_guard<std::mutex> lock(mutex);
        if (error.empty()) error = "cannot read " + path + ": " + why;
    }
};

namespace {

constexpr std::size_t kChunk = 256u << 10;

// What a path that is no regular file names, in the operator's words.
std::string notAFile(mode_t mode) {
    const char* kind = "something else";
    if (S_ISFIFO(mode)) kind = "a named pipe";
    if (S_ISDIR(mode)) kind = "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode)) kind = "a device";
    if (S_ISSOCK(mode)) kind = "a socket";
    return std::string("it is ") + kind + ", not a regular file";
}

// False once the loop has let go of its end.
bool sendAll(int fd, const char* data, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::send(fd, data, n, MSG_NOSIGNAL);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// Opens the file the thread reads: a regular file only. The path is looked at before it is opened,
// since opening a pipe may wait for a writer and opening a device may act on it; it is opened without
// waiting and looked at again, in case it was replaced in between.
int openRegular(UploadSource::Shared& shared, std::int64_t& size) {
    struct stat st {};
    if (::stat(shared.path.c_str(), &st) != 0) {
        shared.fail(errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        shared.fail(notAFile(st.st_mode));
        return -1;
    }
    const int fd = ::open(shared.path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        shared.fail(errno);
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (S_ISREG(st.st_mode))
            shared.fail(errno);
        else
            shared.fail(notAFile(st.st_mode));
        ::close(fd);
        return -1;
    }
    size = st.st_size;
    return fd;
}

}  // namespace

void UploadSource::run(std::shared_ptr<Shared> shared, int out) {
    std::int64_t size = 0;
    const int fd = openRegular(*shared, size);
    if (fd >= 0) {
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            shared->opened = true;
            shared->size = size;
        }
        // The size the server was told is what is sent: a file that grows meanwhile is cut there,
        // one that shrinks ends short and the server's count tells.
        std::vector<char> buf(kChunk);
        for (std::int64_t left = size; left > 0;) {
            const ssize_t r = ::read(fd, buf.data(), static_cast<std::size_t>(std::min<std::int64_t>(left, kChunk)));
            if (r < 0) {
                if (errno == EINTR) continue;
                shared->fail(errno);
                break;
            }
            if (r == 0 || !sendAll(out, buf.data(), static_cast<std::size_t>(r))) break;
            left -= r;
        }
        ::close(fd);
    }
    // The end of the bytes, or of the opening that failed: the loop wakes for it.
    ::close(out);
}

std::unique_ptr<UploadSource> UploadSource::open(Runtime& rt, const std::string& path, std::function<void()> ready) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return nullptr;
    // The loop's end never waits; the thread's does, while the loop has not taken what it sent.
    if (::fcntl(pair[0], F_SETFL, ::fcntl(pair[0], F_GETFL) | O_NONBLOCK) != 0) {
        ::close(pair[0]);
        ::close(pair[1]);
        return nullptr;
    }
    auto shared = std::make_shared<Shared>(path);
    try {
        // Not joined: a thread held by a stalled file system must not hold the loop either. It owns
        // its end of the pair and the file, and shares nothing else with the loop.
        std::thread(&UploadSource::run, shared, pair[1]).detach();
    } catch (const std::system_error&) {
        ::close(pair[0]);
        ::close(pair[1]);
        return nullptr;
    }
    std::unique_ptr<UploadSource> source(new UploadSource(rt, std::move(shared), pair[0]));
    UploadSource* self = source.get();
    source->watch([self, ready = std::move(ready)] {
        {
            std::lock_guard<std::mutex> lock(self->shared_->mutex);
            if (!self->shared_->opened && self->shared_->error.empty()) return;
        }
        auto fn = ready;
        self->unwatch();
        fn();
    });
    return source;
}

UploadSource::UploadSource(Runtime& rt, std::shared_ptr<Shared> shared, int fd)
    : rt_(rt), shared_(std::move(shared)), fd_(fd) {}

UploadSource::~UploadSource() {
    unwatch();
    // The thread's next send fails, and it stops.
    ::close(fd_);
}

void UploadSource::watch(std::function<void()> fn) {
    unwatch();
    watch_ = rt_.addReadWatch(fd_, std::move(fn));
}

void UploadSource::unwatch() {
    if (watch_ >= 0) rt_.removeWatch(watch_);
    watch_ = -1;
}

std::string UploadSource::error() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->error;
}

std::int64_t UploadSource::size() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->size;
}

long UploadSource::take(char* data, std::size_t n, std::function<void()> readable) {
    for (;;) {
        const ssize_t r = ::recv(fd_, data, n, 0);
        if (r >= 0) return static_cast<long>(r);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            watch([this, readable = std::move(readable)] {
                auto fn = readable;
                unwatch();
                fn();
            });
            return kWait;
        }
        shared_->fail(errno);
        return 0;
    }
}

}  // namespace tarnwick
