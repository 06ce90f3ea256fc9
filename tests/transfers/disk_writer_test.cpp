// The downloads' disk writer: the loop never waits for the disk, and a growing file never has more
// than a few steps of written data waiting for it.

#include "platform/curl/disk_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "support/temp_dir.h"
// Qt last: its keywords would clash with names above.
#include "platform/qt/qt_runtime.h"

#include "qt_loop.h"

namespace tarnwick::testing {
namespace {

std::string block(std::size_t n, int seed) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + static_cast<std::size_t>(seed)) % 251);
    return s;
}

// cachestat, which older system headers do not name; new system calls have one number on every
// architecture but alpha.
#if !defined(__NR_cachestat) && !defined(__alpha__)
#define __NR_cachestat 451
#endif

// The page cache's count of a file's dirty pages (Linux 6.5 on), or -1 when the system cannot say;
// with `inFlight`, also those on their way to the disk.
long long dirtyPages(int fd, bool inFlight = false) {
#ifdef __NR_cachestat
    struct {
        std::uint64_t off, len;
    } range{0, 0};
    struct {
        std::uint64_t cache, dirty, writeback, evicted, recentlyEvicted;
    } stat{};
    if (::syscall(__NR_cachestat, fd, &range, &stat, 0) == 0)
        return static_cast<long long>(stat.dirty + (inFlight ? stat.writeback : 0));
#else
    (void)fd;
#endif
    return -1;
}

class DiskWriterTest : public ::testing::Test {
protected:
    QCoreApplication& app_ = app();
    TempDir tmp;
    QtRuntime rt;
};

// One end of a pipe, closed with its owner.
struct PipeEnd {
    int fd = -1;
    ~PipeEnd() { close(); }
    void close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

// Reads a pipe on a thread of its own once started, keeping what comes, until the pipe's end or until
// it is let go.
class PipeReader {
public:
    explicit PipeReader(int fd) : fd_(fd) {}
    ~PipeReader() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    void start() {
        if (thread_.joinable()) return;
        thread_ = std::thread([this] {
            char buf[65536];
            while (!stop_) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0) continue;
                const ssize_t n = ::read(fd_, buf, sizeof buf);
                if (n <= 0) {
                    ended_ = true;
                    return;
                }
                std::lock_guard<std::mutex> lock(m_);
                received_.append(buf, static_cast<std::size_t>(n));
            }
        });
    }
    // The pipe has ended: every writer has let go of it.
    bool ended() const { return ended_; }
    std::string received() {
        std::lock_guard<std::mutex> lock(m_);
        return received_;
    }

private:
    int fd_;
    std::thread thread_;
    std::atomic<bool> stop_{false}, ended_{false};
    std::mutex m_;
    std::string received_;
};

TEST_F(DiskWriterTest, ADiskThatTakesNothingHoldsTheWriterAndNeverTheLoop) {
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    PipeEnd readEnd{pipeFds[0]}, writeEnd{pipeFds[1]};
    PipeReader reader(readEnd.fd);
    int told = 0;
    {
        auto writer = std::make_unique<DiskWriter>(rt, DiskWriter::Options{64 << 10, 256 << 10, 64 << 10});
        auto sink = writer->open(writeEnd.fd, [&] { ++told; });
        ASSERT_TRUE(sink);
        // However the test leaves this scope, the pipe is read before the writer goes: its thread, held
        // in a write to the full pipe, is let go, and the writer's end (which waits for it) comes.
        struct ReadOnTheWayOut {
            PipeReader& reader;
            ~ReadOnTheWayOut() { reader.start(); }
        } readOnTheWayOut{reader};
        // Nobody reads the pipe: the writer's thread stops on its first write once the pipe is full.
        std::string sent;
        for (int i = 0; !sink->full(); ++i) {
            const std::string b = block(32 << 10, i);
            sink->write(b.data(), b.size());
            sent += b;
            ASSERT_LT(sent.size(), 4u << 20) << "the queue never fills";
        }
        // The loop goes on meanwhile: its timers run.
        int ticks = 0;
        Timer timer(rt, 10, true);
        timer.onTick = [&] { ++ticks; };
        ASSERT_TRUE(until([&] { return ticks >= 20; }, 5000));
        EXPECT_EQ(told, 0);

        // A reader comes: the writer says there is room, and the rest follows.
        reader.start();
        ASSERT_TRUE(until([&] { return told > 0; })) << "the writer never said there was room";
        const std::string tail = block(100000, 99);
        sink->write(tail.data(), tail.size());
        sent += tail;
        sink->finish();
        // A pipe cannot be synced: its bytes are where they go once written.
        ASSERT_TRUE(until([&] { return sink->synced(); })) << "the writer never finished";
        EXPECT_EQ(sink->error(), 0);
        // The writer lets its duplicate go; the reader then sees the end.
        sink.reset();
        writer.reset();
        writeEnd.close();
        ASSERT_TRUE(until([&] { return reader.ended(); })) << "the pipe never ended: the writer kept its copy open";
        const std::string received = reader.received();
        EXPECT_EQ(received.size(), sent.size());
        EXPECT_TRUE(received == sent);
    }
}

TEST_F(DiskWriterTest, AGrowingFileNeverHasMoreThanAStepWaitingForTheDisk) {
    const std::string path = tmp.file("big.part");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    const int probe = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (dirtyPages(probe) < 0) GTEST_SKIP() << "this system cannot count a file's dirty pages";
    // Not a whole number of steps: the last bytes reach the disk only by the sync at the end.
    const std::size_t step = 2 << 20, chunk = 256 << 10, total = (64 << 20) + 3 * chunk;
    std::atomic<long long> most{0};
    std::atomic<bool> sampling{true};
    std::thread sampler([&] {
        while (sampling) {
            const long long d = dirtyPages(probe);
            if (d > most) most = d;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    bool room = false;
    DiskWriter writer(rt, {step, 4 << 20, 1 << 20});
    auto sink = writer.open(fd, [&] { room = true; });
    ASSERT_TRUE(sink);
    for (std::size_t done = 0; done < total; done += chunk) {
        if (sink->full()) {
            room = false;
            ASSERT_TRUE(until([&] { return room; }));
        }
        const std::string b = block(chunk, static_cast<int>(done / chunk));
        sink->write(b.data(), b.size());
    }
    sink->finish();
    ASSERT_TRUE(until([&] { return sink->synced(); }, 60000));
    sampling = false;
    sampler.join();
    EXPECT_EQ(sink->error(), 0);
    // Written but not yet sent to the disk: at most the step under way and the chunk that crossed it.
    EXPECT_LE(most * 4096, static_cast<long long>(step + chunk)) << most * 4096 / 1024 << " KiB were waiting";
    EXPECT_GT(most, 0) << "the sampler saw no written data at all";
    EXPECT_EQ(dirtyPages(probe, true), 0);
    EXPECT_EQ(std::filesystem::file_size(path), total);
    ::close(probe);
    ::close(fd);
}

}  // namespace
}  // namespace tarnwick::testing
